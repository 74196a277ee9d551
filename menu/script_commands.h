// The menu plug-in's script commands:
//   kvsMakeKavroMaterial(name) makes the material of that name (a root
//   material or a sub-material) a "KAVRO Standard" platform material with
//   the default parameters it lacks, for scenes from tools that know no
//   platform materials. Returns true, or false when no material has the
//   name or it is a multi-material.
#pragma once

#include "host/plugin_host.h"
#include "host/script_host.h"

namespace kavro::menu {

void register_script_commands(host::ScriptHost& script, host::PluginHost& plugin);

// The operation behind the command: false with a message when no material
// bears the name or it is a multi-material.
bool make_platform_material(host::PluginHost& plugin, const std::string& name, std::string& error);

}  // namespace kavro::menu
