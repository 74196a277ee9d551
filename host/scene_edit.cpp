#include "host/scene_edit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace kavro::host {
namespace {

const doc::UserProperty* find_property(const doc::Node& node, const std::string& key) {
  for (const doc::UserProperty& p : node.user_properties) {
    if (p.key == key) return &p;
  }
  return nullptr;
}

doc::UserProperty& property_slot(doc::Node& node, const std::string& key) {
  for (doc::UserProperty& p : node.user_properties) {
    if (p.key == key) return p;
  }
  node.user_properties.push_back({});
  node.user_properties.back().key = key;
  return node.user_properties.back();
}

doc::Material* find_in(std::vector<doc::Material>& list, const std::string& name) {
  for (doc::Material& m : list) {
    if (m.name == name) return &m;
    if (doc::Material* found = find_in(m.sub_materials, name)) return found;
  }
  return nullptr;
}

}  // namespace

// The one reading of user properties, for the exporter's node views and the
// scene tools alike: numbers as "%g", and as flags a text is true when it
// says "true" or "yes" (any case) or starts with a nonzero number.
bool GetUserPropString(const doc::Node& node, const std::string& key, std::string& value) {
  const doc::UserProperty* p = find_property(node, key);
  if (p == nullptr) return false;
  switch (p->kind) {
    case doc::UserProperty::kString:
      value = p->text;
      break;
    case doc::UserProperty::kBool:
      value = p->flag ? "true" : "false";
      break;
    case doc::UserProperty::kNumber: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%g", p->number);
      value = buffer;
      break;
    }
  }
  return true;
}

bool GetUserPropBool(const doc::Node& node, const std::string& key, bool& value) {
  const doc::UserProperty* p = find_property(node, key);
  if (p == nullptr) return false;
  switch (p->kind) {
    case doc::UserProperty::kBool:
      value = p->flag;
      break;
    case doc::UserProperty::kNumber:
      value = p->number != 0;
      break;
    case doc::UserProperty::kString: {
      std::string s;
      for (char c : p->text) s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      value = s == "true" || s == "yes" || (!s.empty() && std::atoi(s.c_str()) != 0);
      break;
    }
  }
  return true;
}

doc::Material* material_at_path(doc::SceneDocument& scene, const std::vector<int>& path) {
  if (path.empty() || path[0] < 0 || path[0] >= static_cast<int>(scene.materials.size())) {
    return nullptr;
  }
  doc::Material* m = &scene.materials[path[0]];
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] < 0 || path[i] >= static_cast<int>(m->sub_materials.size())) return nullptr;
    m = &m->sub_materials[path[i]];
  }
  return m;
}

void SetUserPropString(doc::Node& node, const std::string& key, const std::string& value) {
  doc::UserProperty& p = property_slot(node, key);
  p.kind = doc::UserProperty::kString;
  p.text = value;
}

void SetUserPropBool(doc::Node& node, const std::string& key, bool value) {
  doc::UserProperty& p = property_slot(node, key);
  p.kind = doc::UserProperty::kBool;
  p.text.clear();
  p.flag = value;
}

bool is_platform_material(const doc::Material& material) {
  return material.cls == doc::MaterialClass::kKavroStandard ||
         material.cls == doc::MaterialClass::kKavroMorpher;
}

bool GetMaterialParam(const doc::Material& material, const std::string& name, double& value) {
  for (const auto& [key, stored] : material.params) {
    if (key == name) {
      value = stored;
      return true;
    }
  }
  return false;
}

void SetMaterialParam(doc::Material& material, const std::string& name, double value) {
  for (auto& [key, stored] : material.params) {
    if (key == name) {
      stored = value;
      return;
    }
  }
  material.params.emplace_back(name, value);
}

int material_int(const doc::Material& material, const std::string& name) {
  double value = 0;
  if (!GetMaterialParam(material, name, value)) return 0;
  if (!(value > -2147483648.0 && value < 2147483648.0)) return 0;
  return static_cast<int>(value);
}

doc::Material* node_material(doc::SceneDocument& scene, const doc::Node& node) {
  if (node.material < 0 || node.material >= static_cast<int>(scene.materials.size())) {
    return nullptr;
  }
  return &scene.materials[node.material];
}

const doc::Material* node_material(const doc::SceneDocument& scene, const doc::Node& node) {
  return node_material(const_cast<doc::SceneDocument&>(scene), node);
}

void DeselectNode(doc::SceneDocument& scene, int node_index) {
  if (node_index < 0 || node_index >= static_cast<int>(scene.nodes.size())) return;
  int id = scene.nodes[node_index].id;
  scene.selection.erase(std::remove(scene.selection.begin(), scene.selection.end(), id),
                        scene.selection.end());
}

const std::vector<std::pair<std::string, double>>& kavro_standard_defaults() {
  // Lighting on with light 0, front faces, modulate, no texture generation,
  // compressed when possible, priority 0: what a new material shows.
  static const std::vector<std::pair<std::string, double>> defaults = {
      {"light", 1},
      {"light_0", 1},
      {"light_1", 0},
      {"light_2", 0},
      {"light_3", 0},
      {"specularTblOn", 0},
      {"fogOn", 0},
      {"wireFrame", 0},
      {"displayFace", 1},
      {"polyMode", 1},
      {"polyID", 0},
      {"texGen", 1},
      {"texGenST", 1},
      {"comPress", 1},
      {"iflLoop", 0},
      {"depthTestDecal", 0},
      {"transUpdateDepth", 0},
      {"render1Pixel", 0},
      {"farClipping", 0},
      {"priorityRadio", 1},
      {"priorityValue", 0},
      {"tex_effect_mtx_0_0", 1},
      {"tex_effect_mtx_0_1", 0},
      {"tex_effect_mtx_1_0", 0},
      {"tex_effect_mtx_1_1", 1},
      {"tex_effect_mtx_2_0", 0},
      {"tex_effect_mtx_2_1", 0},
      {"tex_effect_mtx_3_0", 0},
      {"tex_effect_mtx_3_1", 0},
  };
  return defaults;
}

bool make_kavro_material(doc::Material& material) {
  if (material.cls == doc::MaterialClass::kMulti) return false;
  material.cls = doc::MaterialClass::kKavroStandard;
  material.class_id = {0, 0};
  for (const auto& [name, value] : kavro_standard_defaults()) {
    double existing = 0;
    if (!GetMaterialParam(material, name, existing)) material.params.emplace_back(name, value);
  }
  return true;
}

doc::Material* find_material(doc::SceneDocument& scene, const std::string& name) {
  return find_in(scene.materials, name);
}

}  // namespace kavro::host
