// Everything a plug-in other than the exporter reaches of the host, in one
// object: the message and file services (Host), the open scene with its
// selection and export-to-file (SceneSession), the menu manager,
// notifications, viewport redraws, undo holds and script execution. The
// menu plug-in is given one of these and nothing else.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "host/scene_session.h"
#include "host/ui_services.h"

namespace kavro::host {

class ScriptHost;

class PluginHost {
 public:
  PluginHost(Host& host_services, SceneSession& open_scene, bool with_main_menu_bar = true)
      : host(host_services), session(open_scene), menus(with_main_menu_bar), undo(open_scene) {}
  virtual ~PluginHost() = default;
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Runs a script text through the script host (GUP::ExecuteStringScript);
  // false when it failed or there is no script host.
  virtual bool ExecuteStringScript(const std::string& text);
  // Hands the open scene to the exporter of class `id` (Interface::ExportToFile).
  virtual bool ExportToFile(const std::string& name, bool suppress_prompts, unsigned options,
                            ClassId id) {
    return session.ExportToFile(name, suppress_prompts, options, id);
  }

  // The scene, as the tools walk it.
  doc::SceneDocument& scene() { return session.scene(); }

  Host& host;
  SceneSession& session;
  MenuManager menus;
  Notifications notifications;
  ViewRedraws redraws;
  UndoHolds undo;
  ScriptHost* script = nullptr;
};

// A plug-in host for tests: records the scripts it is asked to run and the
// exports it is asked for (and still runs them when a script host or an
// exporter is attached).
class RecordingPluginHost : public PluginHost {
 public:
  struct Export {
    std::string name;
    bool suppress_prompts;
    unsigned options;
    ClassId id;
  };
  using PluginHost::PluginHost;
  bool ExecuteStringScript(const std::string& text) override {
    scripts.push_back(text);
    return script != nullptr ? PluginHost::ExecuteStringScript(text) : true;
  }
  bool ExportToFile(const std::string& name, bool suppress_prompts, unsigned options,
                    ClassId id) override {
    exports.push_back({name, suppress_prompts, options, id});
    return PluginHost::ExportToFile(name, suppress_prompts, options, id);
  }
  std::vector<std::string> scripts;
  std::vector<Export> exports;
};

}  // namespace kavro::host
