// `kavro script`: runs a script file or a script text in the host's script
// language, optionally on a scene loaded first.
#include <memory>

#include "cli/command.h"
#include "cli/script_session.h"

namespace kavro::cli {
namespace {

const char* const kSummary =
    "run a Lua script (see docs/scripting.md)\n"
    "\n"
    "Runs FILE.lua, or the text given with -e, in the host's script language:\n"
    "the scene API, fileIn, kvsExport and kvsAbout are at hand; print writes\n"
    "to standard output. With --scene the scene is loaded first. A script\n"
    "error stops the script with its file and line.";

struct ScriptArgs {
  std::string file;
  std::string code;
  std::string scene;
  double script_timeout = host::kDefaultScriptTimeout;
};

}  // namespace

void add_script_command(CLI::App& app, CommandContext& context) {
  CLI::App* command = app.add_subcommand("script", kSummary);
  auto args = std::make_shared<ScriptArgs>();
  CLI::Option* file =
      command->add_option("FILE.lua", args->file, "the script file")->transform(to_host_text());
  CLI::Option* code = command->add_option("-e", args->code, "run CODE instead of a file")
                          ->type_name("CODE")
                          ->allow_extra_args(false);
  file->excludes(code);
  command->add_option("--scene", args->scene, "load SCENE before the script runs")
      ->type_name("SCENE")
      ->allow_extra_args(false)
      ->transform(to_host_text());
  add_script_timeout(*command, args->script_timeout);
  command->footer("Exit status: 0 the script ran, 1 it failed, 2 usage error.");
  command->callback([args, file, code, &context] {
    if (file->count() == 0 && code->count() == 0) {
      context.status = usage_error(context, "script", "script needs FILE.lua or -e CODE");
      return;
    }
    ScriptSession run(context, false, args->script_timeout);
    if (!args->scene.empty() && !run.session.LoadFromFile(args->scene)) {
      std::fprintf(context.err, "kavro: can't load the scene %s: %s\n", args->scene.c_str(),
                   run.session.last_error().c_str());
      context.status = kExitFailed;
      return;
    }
    bool ok =
        file->count() != 0 ? run.script.file_in(args->file) : run.script.execute(args->code, "-e");
    context.status = ok ? kExitOk : kExitFailed;
  });
}

}  // namespace kavro::cli
