// `kavro batch`: runs a batch description file as the script command
// kvsExport does, with the script listener on standard output.
#include <memory>

#include "cli/command.h"
#include "cli/script_session.h"
#include "exporter/batch/kvs_commands.h"

namespace kavro::cli {
namespace {

const char* const kSummary =
    "export the scenes a batch description lists\n"
    "\n"
    "Runs the description FILE.k3be as the script command kvsExport does: for\n"
    "every scene line the scene is loaded, its scripts run, its root nodes\n"
    "selected, the settings file and the line's options applied, and the scene\n"
    "exported. Progress and messages go to standard output (the script\n"
    "listener) and to the log the description names. The first failure stops\n"
    "the batch; files of scenes already exported stay.";

struct BatchArgs {
  std::string description;
  double script_timeout = host::kDefaultScriptTimeout;
  bool quiet = false;
};

}  // namespace

void add_batch_command(CLI::App& app, CommandContext& context) {
  CLI::App* command = app.add_subcommand("batch", kSummary);
  auto args = std::make_shared<BatchArgs>();
  command->add_option("FILE.k3be", args->description, "the batch description")
      ->required()
      ->transform(to_host_text());
  add_script_timeout(*command, args->script_timeout);
  command->add_flag("-q,--quiet", args->quiet, "print nothing on standard output");
  command->footer("Exit status: 0 the batch reached its summary, 1 it stopped, 2 usage error.");
  command->callback([args, &context] {
    ScriptSession run(context, args->quiet, args->script_timeout);
    context.status = kvs_export(args->description, run.env) ? kExitOk : kExitFailed;
  });
}

}  // namespace kavro::cli
