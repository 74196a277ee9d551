#include "host/plugin_host.h"

#include "host/script_host.h"

namespace kavro::host {

bool PluginHost::ExecuteStringScript(const std::string& text) {
  if (script == nullptr) return false;
  return script->execute(text, "ExecuteStringScript");
}

}  // namespace kavro::host
