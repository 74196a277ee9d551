#include "menu/script_commands.h"

#include "host/scene_edit.h"

namespace kavro::menu {
namespace {

int make_kavro_material_command(lua_State* L) {
  if (lua_gettop(L) != 1) return host::argument_count_error(L, "kvsMakeKavroMaterial", 1);
  if (lua_type(L, 1) != LUA_TSTRING) {
    return host::argument_type_error(L, "kvsMakeKavroMaterial <material_name>", 1);
  }
  return host::guarded(L, [](lua_State* S, std::string&) {
    auto* plugin = static_cast<host::PluginHost*>(host::command_context(S));
    std::string name;
    host::string_argument(S, 1, name);
    std::string error;
    bool ok = make_platform_material(*plugin, name, error);
    if (!ok) plugin->host.listener_print(error + "\n");
    lua_pushboolean(S, ok ? 1 : 0);
    return 1;
  });
}

}  // namespace

bool make_platform_material(host::PluginHost& plugin, const std::string& name, std::string& error) {
  doc::Material* m = host::find_material(plugin.scene(), name);
  if (m == nullptr) {
    error = "No material matches name: \"" + name + "\"";
    return false;
  }
  if (!host::make_kavro_material(*m)) {
    error =
        "\"" + name + "\" is a multi-material; make its sub-materials platform materials instead";
    return false;
  }
  return true;
}

void register_script_commands(host::ScriptHost& script, host::PluginHost& plugin) {
  script.register_command("kvsMakeKavroMaterial", make_kavro_material_command, &plugin);
}

}  // namespace kavro::menu
