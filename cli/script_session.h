// What `kavro batch` and `kavro script` share: a console host whose script
// listener is standard output, the host's open scene with the exporter
// registered for export-to-file, the script host with kvsExport and
// kvsAbout, and the batch environment that joins them.
#pragma once

#include <memory>
#include <string>

#include "cli/command.h"
#include "exporter/batch/batch_runner.h"
#include "exporter/kavro_exporter.h"
#include "host/plugin_host.h"
#include "host/scene_session.h"
#include "host/script_host.h"

namespace kavro::cli {

struct ScriptSession {
  ScriptSession(const CommandContext& context, bool quiet, double script_timeout);

  std::unique_ptr<host::ConsoleHost> console;
  host::SceneSession session;
  host::ScriptHost script;
  KavroExporterPlugin exporter;
  BatchEnvironment env;
  // The menu plug-in's view of the host, for its script commands
  // (kvsMakeKavroMaterial).
  host::PluginHost plugin;
};

// --script-timeout SECONDS: the run-time limit of each script.
void add_script_timeout(CLI::App& command, double& seconds);

}  // namespace kavro::cli
