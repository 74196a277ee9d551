#include "cli/script_session.h"

#include "exporter/batch/kvs_commands.h"
#include "exporter/ui/settings_file.h"
#include "exporter/ui/user_settings.h"
#include "host/clock.h"
#include "menu/script_commands.h"

namespace kavro::cli {

ScriptSession::ScriptSession(const CommandContext& context, bool quiet, double script_timeout)
    // The listener is the command's output; nothing is asked, since a batch
    // never asks and a script has no one to ask.
    : console(std::make_unique<host::ConsoleHost>(context.out, false, nullptr)),
      session(*console),
      script(*console, &session),
      exporter(*console),
      env(*console, session),
      plugin(*console, session, false) {
  console->set_quiet(quiet);
  console->set_overwrite_policy(host::OverwritePolicy::kYes);
  // The exporter is loaded as at host start, so scenes the session loads
  // hand it their settings chunk; a command never writes the user's settings
  // files back.
  load_exporter_plugin();
  exporter_class_data().set_write_back(false);
  session.RegisterExporter(kKavroExporterClassId, &exporter);
  script.set_timeout(script_timeout);
  env.execute_script = [this](const std::string& command, const std::string& path) {
    return script.execute(command, path);
  };
  env.read_settings = read_settings_file;
  env.clock = [] { return host::clock_seconds(); };
  register_kvs_commands(script, env);
  plugin.script = &script;
  menu::register_script_commands(script, plugin);
}

void add_script_timeout(CLI::App& command, double& seconds) {
  command
      .add_option("--script-timeout", seconds,
                  "stop a script that runs longer than SECONDS\n"
                  "(default 600; 0: no limit)")
      ->type_name("SECONDS")
      ->check(CLI::NonNegativeNumber);
}

}  // namespace kavro::cli
