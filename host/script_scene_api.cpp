// The scene API of the script language (docs/scripting.md): the open scene's
// nodes in depth-first order, their names, parents, children, hidden flags,
// user properties and materials; materials' names, classes, sub-materials and
// platform parameters; the selection; loading and saving scenes.
//
// Nodes and materials reach scripts as handles (full userdata) holding the
// scene's generation and the position of the record, so a handle kept across
// a scene load reports that its scene is gone instead of reading another
// scene's record.
#include <cstring>
#include <string>
#include <vector>

#include "host/scene_session.h"
#include "host/script_host.h"

namespace kavro::host {
namespace {

const char* const kNodeType = "kavro.node";
const char* const kMaterialType = "kavro.material";
constexpr int kMaxMaterialPath = doc::kMaxMaterialDepth + 1;

struct NodeHandle {
  std::uint64_t generation;
  int index;
};

struct MaterialHandle {
  std::uint64_t generation;
  int depth;
  int path[kMaxMaterialPath];  // root material, then sub-material positions
};

SceneSession* session_of(lua_State* L, std::string& error) {
  SceneSession* s = ScriptHost::from(L).session();
  if (s == nullptr || !s->has_scene()) {
    error = "no scene is open";
    return nullptr;
  }
  return s;
}

void push_node(lua_State* L, const SceneSession& s, int index) {
  auto* h = static_cast<NodeHandle*>(lua_newuserdatauv(L, sizeof(NodeHandle), 0));
  h->generation = s.generation();
  h->index = index;
  luaL_setmetatable(L, kNodeType);
}

void push_material(lua_State* L, const SceneSession& s, const int* path, int depth) {
  auto* h = static_cast<MaterialHandle*>(lua_newuserdatauv(L, sizeof(MaterialHandle), 0));
  h->generation = s.generation();
  h->depth = depth;
  std::memcpy(h->path, path, sizeof(int) * depth);
  luaL_setmetatable(L, kMaterialType);
}

void push_node_list(lua_State* L, const SceneSession& s, const std::vector<int>& nodes) {
  lua_createtable(L, static_cast<int>(nodes.size()), 0);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    push_node(L, s, nodes[i]);
    lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
  }
}

// The node a handle refers to, or null with the reason.
doc::Node* node_at(lua_State* L, int index, std::string& error, SceneSession** out = nullptr) {
  auto* h = static_cast<NodeHandle*>(luaL_testudata(L, index, kNodeType));
  if (h == nullptr) {
    error = std::string("node expected, got ") + luaL_typename(L, index);
    return nullptr;
  }
  SceneSession* s = session_of(L, error);
  if (s == nullptr) return nullptr;
  if (h->generation != s->generation() || h->index < 0 ||
      h->index >= static_cast<int>(s->scene().nodes.size())) {
    error = "the node belongs to a scene that is no longer open";
    return nullptr;
  }
  if (out != nullptr) *out = s;
  return &s->scene().nodes[h->index];
}

doc::Material* material_at(lua_State* L, int index, std::string& error,
                           MaterialHandle** handle = nullptr, SceneSession** out = nullptr) {
  auto* h = static_cast<MaterialHandle*>(luaL_testudata(L, index, kMaterialType));
  if (h == nullptr) {
    error = std::string("material expected, got ") + luaL_typename(L, index);
    return nullptr;
  }
  SceneSession* s = session_of(L, error);
  if (s == nullptr) return nullptr;
  const char* gone = "the material belongs to a scene that is no longer open";
  if (h->generation != s->generation() || h->depth < 1) {
    error = gone;
    return nullptr;
  }
  std::vector<doc::Material>* level = &s->scene().materials;
  doc::Material* m = nullptr;
  for (int i = 0; i < h->depth; ++i) {
    int at = h->path[i];
    if (at < 0 || at >= static_cast<int>(level->size())) {
      error = gone;
      return nullptr;
    }
    m = &(*level)[at];
    level = &m->sub_materials;
  }
  if (handle != nullptr) *handle = h;
  if (out != nullptr) *out = s;
  return m;
}

const char* class_word(doc::MaterialClass cls) {
  switch (cls) {
    case doc::MaterialClass::kStandard:
      return "standard";
    case doc::MaterialClass::kMulti:
      return "multi";
    case doc::MaterialClass::kKavroStandard:
      return "kavro_standard";
    case doc::MaterialClass::kKavroMorpher:
      return "kavro_morpher";
    case doc::MaterialClass::kOther:
      return "other";
  }
  return "other";
}

void push_property(lua_State* L, const doc::UserProperty& p) {
  switch (p.kind) {
    case doc::UserProperty::kString:
      lua_pushlstring(L, p.text.data(), p.text.size());
      break;
    case doc::UserProperty::kBool:
      lua_pushboolean(L, p.flag ? 1 : 0);
      break;
    case doc::UserProperty::kNumber:
      lua_pushnumber(L, p.number);
      break;
  }
}

// ---------------------------------------------------------------------------
// scene.*

int scene_load(lua_State* L) {
  if (lua_gettop(L) != 1) return argument_count_error(L, "scene.load", 1);
  if (lua_type(L, 1) != LUA_TSTRING) return argument_type_error(L, "scene.load <scene_file>", 1);
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = ScriptHost::from(S).session();
    std::string path = lua_tostring(S, 1);
    if (s == nullptr) {
      error = "scenes cannot be loaded here";
      return -1;
    }
    if (!s->LoadFromFile(path)) {
      error = "can't load the scene " + path + ": " + s->last_error();
      return -1;
    }
    return 0;
  });
}

int scene_save(lua_State* L) {
  if (lua_gettop(L) > 1) return argument_count_error(L, "scene.save", 1);
  if (lua_gettop(L) == 1 && lua_type(L, 1) != LUA_TSTRING) {
    return argument_type_error(L, "scene.save <scene_file>", 1);
  }
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = session_of(S, error);
    if (s == nullptr) return -1;
    std::string path = lua_gettop(S) == 1 ? lua_tostring(S, 1) : s->scene_path();
    if (!s->SaveToFile(path)) {
      error = "can't save the scene " + path + ": " + s->last_error();
      return -1;
    }
    return 0;
  });
}

int scene_path(lua_State* L) {
  SceneSession* s = ScriptHost::from(L).session();
  if (s == nullptr || !s->has_scene()) return 0;
  lua_pushlstring(L, s->scene_path().data(), s->scene_path().size());
  return 1;
}

int scene_nodes(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = session_of(S, error);
    if (s == nullptr) return -1;
    push_node_list(S, *s, s->nodes_depth_first());
    return 1;
  });
}

int scene_roots(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = session_of(S, error);
    if (s == nullptr) return -1;
    push_node_list(S, *s, s->children_of(doc::kNone));
    return 1;
  });
}

int scene_node(lua_State* L) {
  if (lua_gettop(L) != 1) return argument_count_error(L, "scene.node", 1);
  if (lua_type(L, 1) != LUA_TSTRING) return argument_type_error(L, "scene.node <name>", 1);
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = session_of(S, error);
    if (s == nullptr) return -1;
    std::string name = lua_tostring(S, 1);
    for (int index : s->nodes_depth_first()) {
      if (s->scene().nodes[index].name == name) {
        push_node(S, *s, index);
        return 1;
      }
    }
    lua_pushnil(S);
    return 1;
  });
}

int scene_materials(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = session_of(S, error);
    if (s == nullptr) return -1;
    const auto& materials = s->scene().materials;
    lua_createtable(S, static_cast<int>(materials.size()), 0);
    for (std::size_t i = 0; i < materials.size(); ++i) {
      int path[1] = {static_cast<int>(i)};
      push_material(S, *s, path, 1);
      lua_rawseti(S, -2, static_cast<lua_Integer>(i + 1));
    }
    return 1;
  });
}

int scene_select(lua_State* L) {
  int n = lua_gettop(L);
  if (n < 1 || n > 2) return argument_count_error(L, "scene.select", 1);
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = nullptr;
    if (node_at(S, 1, error, &s) == nullptr) return -1;
    bool add = lua_gettop(S) == 2 && lua_toboolean(S, 2);
    s->SelectNode(static_cast<NodeHandle*>(lua_touserdata(S, 1))->index, !add);
    return 0;
  });
}

int scene_clear_selection(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = session_of(S, error);
    if (s == nullptr) return -1;
    s->ClearSelection();
    return 0;
  });
}

int scene_selection(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = session_of(S, error);
    if (s == nullptr) return -1;
    push_node_list(S, *s, s->selection());
    return 1;
  });
}

// ---------------------------------------------------------------------------
// Nodes

int node_get_prop(lua_State* L) {
  if (lua_gettop(L) != 2) return argument_count_error(L, "node:prop", 1);
  if (lua_type(L, 2) != LUA_TSTRING) return argument_type_error(L, "node:prop <key>", 2);
  return guarded(L, [](lua_State* S, std::string& error) {
    doc::Node* node = node_at(S, 1, error);
    if (node == nullptr) return -1;
    std::string key = lua_tostring(S, 2);
    for (const doc::UserProperty& p : node->user_properties) {
      if (p.key == key) {
        push_property(S, p);
        return 1;
      }
    }
    lua_pushnil(S);
    return 1;
  });
}

int node_set_prop(lua_State* L) {
  if (lua_gettop(L) != 3) return argument_count_error(L, "node:set_prop", 2);
  if (lua_type(L, 2) != LUA_TSTRING) return argument_type_error(L, "node:set_prop <key>", 2);
  int t = lua_type(L, 3);
  if (t != LUA_TSTRING && t != LUA_TBOOLEAN && t != LUA_TNUMBER && t != LUA_TNIL) {
    return argument_type_error(L, "node:set_prop <key> <string|boolean|number|nil>", 3);
  }
  return guarded(L, [](lua_State* S, std::string& error) {
    doc::Node* node = node_at(S, 1, error);
    if (node == nullptr) return -1;
    std::string key = lua_tostring(S, 2);
    auto& props = node->user_properties;
    std::size_t at = 0;
    while (at < props.size() && props[at].key != key) ++at;
    if (lua_isnil(S, 3)) {
      if (at < props.size()) props.erase(props.begin() + static_cast<std::ptrdiff_t>(at));
      return 0;
    }
    if (at == props.size()) {
      props.emplace_back();
      props.back().key = key;
    }
    doc::UserProperty& p = props[at];
    switch (lua_type(S, 3)) {
      case LUA_TBOOLEAN:
        p.kind = doc::UserProperty::kBool;
        p.flag = lua_toboolean(S, 3) != 0;
        break;
      case LUA_TNUMBER:
        p.kind = doc::UserProperty::kNumber;
        p.number = lua_tonumber(S, 3);
        break;
      default:
        p.kind = doc::UserProperty::kString;
        string_argument(S, 3, p.text);
        break;
    }
    return 0;
  });
}

int node_prop_names(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    doc::Node* node = node_at(S, 1, error);
    if (node == nullptr) return -1;
    lua_createtable(S, static_cast<int>(node->user_properties.size()), 0);
    for (std::size_t i = 0; i < node->user_properties.size(); ++i) {
      const std::string& key = node->user_properties[i].key;
      lua_pushlstring(S, key.data(), key.size());
      lua_rawseti(S, -2, static_cast<lua_Integer>(i + 1));
    }
    return 1;
  });
}

int node_index(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    SceneSession* s = nullptr;
    doc::Node* node = node_at(S, 1, error, &s);
    if (node == nullptr) return -1;
    std::string key = lua_tostring(S, 2) != nullptr ? lua_tostring(S, 2) : "";
    if (key == "name") {
      lua_pushlstring(S, node->name.data(), node->name.size());
    } else if (key == "hidden") {
      lua_pushboolean(S, node->hidden ? 1 : 0);
    } else if (key == "parent") {
      int parent = node->parent == doc::kNone ? doc::kNone : s->index_of_id(node->parent);
      if (parent == doc::kNone) {
        lua_pushnil(S);
      } else {
        push_node(S, *s, parent);
      }
    } else if (key == "children") {
      push_node_list(S, *s, s->children_of(static_cast<NodeHandle*>(lua_touserdata(S, 1))->index));
    } else if (key == "material") {
      int count = static_cast<int>(s->scene().materials.size());
      if (node->material < 0 || node->material >= count) {
        lua_pushnil(S);
      } else {
        int path[1] = {node->material};
        push_material(S, *s, path, 1);
      }
    } else if (key == "prop") {
      lua_pushcfunction(S, node_get_prop);
    } else if (key == "set_prop") {
      lua_pushcfunction(S, node_set_prop);
    } else if (key == "prop_names") {
      lua_pushcfunction(S, node_prop_names);
    } else {
      error = "a node has no field '" + key + "'";
      return -1;
    }
    return 1;
  });
}

int node_newindex(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    doc::Node* node = node_at(S, 1, error);
    if (node == nullptr) return -1;
    std::string key = lua_tostring(S, 2) != nullptr ? lua_tostring(S, 2) : "";
    if (key == "name") {
      if (!string_argument(S, 3, node->name)) {
        error = "a node's name must be a string";
        return -1;
      }
    } else if (key == "hidden") {
      if (lua_type(S, 3) != LUA_TBOOLEAN) {
        error = "a node's hidden flag must be true or false";
        return -1;
      }
      node->hidden = lua_toboolean(S, 3) != 0;
    } else {
      error = "a node's field '" + key + "' cannot be set";
      return -1;
    }
    return 0;
  });
}

int node_eq(lua_State* L) {
  auto* a = static_cast<NodeHandle*>(luaL_testudata(L, 1, kNodeType));
  auto* b = static_cast<NodeHandle*>(luaL_testudata(L, 2, kNodeType));
  lua_pushboolean(
      L, a != nullptr && b != nullptr && a->generation == b->generation && a->index == b->index);
  return 1;
}

int node_tostring(lua_State* L) {
  std::string error;
  doc::Node* node = node_at(L, 1, error);
  if (node == nullptr) {
    lua_pushstring(L, "node (gone)");
  } else {
    lua_pushfstring(L, "node: %s", node->name.c_str());
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Materials

int material_param(lua_State* L) {
  if (lua_gettop(L) != 2) return argument_count_error(L, "material:param", 1);
  if (lua_type(L, 2) != LUA_TSTRING) return argument_type_error(L, "material:param <name>", 2);
  return guarded(L, [](lua_State* S, std::string& error) {
    doc::Material* m = material_at(S, 1, error);
    if (m == nullptr) return -1;
    std::string name = lua_tostring(S, 2);
    for (const auto& [key, value] : m->params) {
      if (key == name) {
        lua_pushnumber(S, value);
        return 1;
      }
    }
    lua_pushnil(S);
    return 1;
  });
}

int material_set_param(lua_State* L) {
  if (lua_gettop(L) != 3) return argument_count_error(L, "material:set_param", 2);
  if (lua_type(L, 2) != LUA_TSTRING) return argument_type_error(L, "material:set_param <name>", 2);
  if (lua_type(L, 3) != LUA_TNUMBER && lua_type(L, 3) != LUA_TBOOLEAN) {
    return argument_type_error(L, "material:set_param <name> <number|boolean>", 3);
  }
  return guarded(L, [](lua_State* S, std::string& error) {
    doc::Material* m = material_at(S, 1, error);
    if (m == nullptr) return -1;
    std::string name = lua_tostring(S, 2);
    double value =
        lua_type(S, 3) == LUA_TBOOLEAN ? (lua_toboolean(S, 3) ? 1.0 : 0.0) : lua_tonumber(S, 3);
    for (auto& [key, stored] : m->params) {
      if (key == name) {
        stored = value;
        return 0;
      }
    }
    m->params.emplace_back(name, value);
    return 0;
  });
}

int material_param_names(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    doc::Material* m = material_at(S, 1, error);
    if (m == nullptr) return -1;
    lua_createtable(S, static_cast<int>(m->params.size()), 0);
    for (std::size_t i = 0; i < m->params.size(); ++i) {
      lua_pushlstring(S, m->params[i].first.data(), m->params[i].first.size());
      lua_rawseti(S, -2, static_cast<lua_Integer>(i + 1));
    }
    return 1;
  });
}

int material_index(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    MaterialHandle* h = nullptr;
    SceneSession* s = nullptr;
    doc::Material* m = material_at(S, 1, error, &h, &s);
    if (m == nullptr) return -1;
    std::string key = lua_tostring(S, 2) != nullptr ? lua_tostring(S, 2) : "";
    if (key == "name") {
      lua_pushlstring(S, m->name.data(), m->name.size());
    } else if (key == "class") {
      lua_pushstring(S, class_word(m->cls));
    } else if (key == "sub_materials") {
      lua_createtable(S, static_cast<int>(m->sub_materials.size()), 0);
      if (h->depth < kMaxMaterialPath) {
        int path[kMaxMaterialPath];
        std::memcpy(path, h->path, sizeof(int) * h->depth);
        for (std::size_t i = 0; i < m->sub_materials.size(); ++i) {
          path[h->depth] = static_cast<int>(i);
          push_material(S, *s, path, h->depth + 1);
          lua_rawseti(S, -2, static_cast<lua_Integer>(i + 1));
        }
      }
    } else if (key == "param") {
      lua_pushcfunction(S, material_param);
    } else if (key == "set_param") {
      lua_pushcfunction(S, material_set_param);
    } else if (key == "param_names") {
      lua_pushcfunction(S, material_param_names);
    } else {
      error = "a material has no field '" + key + "'";
      return -1;
    }
    return 1;
  });
}

int material_newindex(lua_State* L) {
  return guarded(L, [](lua_State* S, std::string& error) {
    doc::Material* m = material_at(S, 1, error);
    if (m == nullptr) return -1;
    std::string key = lua_tostring(S, 2) != nullptr ? lua_tostring(S, 2) : "";
    if (key != "name") {
      error = "a material's field '" + key + "' cannot be set";
      return -1;
    }
    if (!string_argument(S, 3, m->name)) {
      error = "a material's name must be a string";
      return -1;
    }
    return 0;
  });
}

int material_eq(lua_State* L) {
  auto* a = static_cast<MaterialHandle*>(luaL_testudata(L, 1, kMaterialType));
  auto* b = static_cast<MaterialHandle*>(luaL_testudata(L, 2, kMaterialType));
  bool same = a != nullptr && b != nullptr && a->generation == b->generation &&
              a->depth == b->depth && std::memcmp(a->path, b->path, sizeof(int) * a->depth) == 0;
  lua_pushboolean(L, same ? 1 : 0);
  return 1;
}

int material_tostring(lua_State* L) {
  std::string error;
  doc::Material* m = material_at(L, 1, error);
  if (m == nullptr) {
    lua_pushstring(L, "material (gone)");
  } else {
    lua_pushfstring(L, "material: %s", m->name.c_str());
  }
  return 1;
}

void make_metatable(lua_State* L, const char* name, lua_CFunction index, lua_CFunction newindex,
                    lua_CFunction eq, lua_CFunction tostring) {
  luaL_newmetatable(L, name);
  lua_pushcfunction(L, index);
  lua_setfield(L, -2, "__index");
  lua_pushcfunction(L, newindex);
  lua_setfield(L, -2, "__newindex");
  lua_pushcfunction(L, eq);
  lua_setfield(L, -2, "__eq");
  lua_pushcfunction(L, tostring);
  lua_setfield(L, -2, "__tostring");
  lua_pop(L, 1);
}

}  // namespace

void register_scene_api(ScriptHost& script) {
  lua_State* L = script.state();
  make_metatable(L, kNodeType, node_index, node_newindex, node_eq, node_tostring);
  make_metatable(L, kMaterialType, material_index, material_newindex, material_eq,
                 material_tostring);
  static const luaL_Reg functions[] = {
      {"load", scene_load},
      {"save", scene_save},
      {"path", scene_path},
      {"nodes", scene_nodes},
      {"roots", scene_roots},
      {"node", scene_node},
      {"materials", scene_materials},
      {"select", scene_select},
      {"clear_selection", scene_clear_selection},
      {"selection", scene_selection},
      {nullptr, nullptr},
  };
  luaL_newlib(L, functions);
  lua_setglobal(L, "scene");
}

}  // namespace kavro::host
