// `kavro batch`: runs a batch description file as the script command
// kvsExport does, with the script listener on standard output.
#include <filesystem>
#include <memory>

#include "cli/command.h"
#include "cli/script_session.h"
#include "exporter/batch/depfile.h"
#include "exporter/batch/kvs_commands.h"
#include "exporter/batch/ninja_file.h"
#include "exporter/pipeline/output_file.h"
#include "host/cp932.h"
#include "host/file_journal.h"

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
  int only = 0;
  std::string depfile;
  std::string ninja;
  std::string ninja_kavro;
};

// This program's own path, for the build file to run.
std::string own_program() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("kavro") : self.string();
}

int write_ninja(const BatchArgs& a, const CommandContext& context) {
  ScriptSession run(context, a.quiet, a.script_timeout);
  std::vector<ScenePlan> plan;
  run.env.plan = &plan;
  if (!kvs_export(a.description, run.env)) return kExitFailed;
  std::string kavro = a.ninja_kavro.empty() ? own_program() : a.ninja_kavro;
  std::string text, error;
  if (!ninja_file_text(plan, kavro, host::cp932_to_utf8(a.description), text, error)) {
    std::fprintf(context.err, "kavro: %s\n", host::cp932_to_utf8(error).c_str());
    return kExitFailed;
  }
  OutputFile file;
  // Build tools read LF line ends.
  if (!file.open(a.ninja) || (file.write_bytes(text.data(), text.size()), !file.commit())) {
    std::fprintf(context.err, "kavro: can't write %s\n", host::cp932_to_utf8(a.ninja).c_str());
    return kExitFailed;
  }
  return kExitOk;
}

int run_batch_command(const BatchArgs& a, const CommandContext& context) {
  if (!a.ninja.empty()) return write_ninja(a, context);
  if (!a.depfile.empty()) host::start_file_journal();
  ScriptSession run(context, a.quiet, a.script_timeout);
  run.env.only_scene = a.only;
  std::vector<std::string> outputs;
  run.env.exported = [&outputs](const std::vector<std::string>& files) {
    outputs.insert(outputs.end(), files.begin(), files.end());
  };
  if (!kvs_export(a.description, run.env)) return kExitFailed;
  if (a.only != 0 && outputs.empty()) {
    std::fprintf(context.err, "kavro: the description has no scene line %d\n", a.only);
    return kExitFailed;
  }
  if (!a.depfile.empty()) {
    std::string error;
    if (!write_depfile(a.depfile, outputs, host::files_read(), error)) {
      std::fprintf(context.err, "kavro: %s\n", error.c_str());
      return kExitFailed;
    }
  }
  return kExitOk;
}

}  // namespace

void add_batch_command(CLI::App& app, CommandContext& context) {
  CLI::App* command = app.add_subcommand("batch", kSummary);
  auto args = std::make_shared<BatchArgs>();
  command->add_option("FILE.k3be", args->description, "the batch description")
      ->required()
      ->transform(to_host_text());
  add_script_timeout(*command, args->script_timeout);
  command->add_flag("-q,--quiet", args->quiet, "print nothing on standard output");
  command
      ->add_option("--only", args->only,
                   "export only scene line N (counted from 1); no log\n"
                   "is written (what the build file's edges run)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  command
      ->add_option("--depfile", args->depfile,
                   "write a Make-style dependency file: the written files\n"
                   "and every file the batch read")
      ->type_name("FILE.d")
      ->allow_extra_args(false)
      ->transform(to_host_text());
  CLI::Option* ninja = command
                           ->add_option("--ninja", args->ninja,
                                        "write a Ninja build file with one edge per scene line\n"
                                        "instead of exporting; run Ninja from this folder")
                           ->type_name("FILE")
                           ->allow_extra_args(false)
                           ->transform(to_host_text());
  command
      ->add_option("--ninja-kavro", args->ninja_kavro,
                   "the kavro program the build file runs (default: this one)")
      ->type_name("PATH")
      ->allow_extra_args(false)
      ->needs(ninja);
  command->footer("Exit status: 0 the batch reached its summary, 1 it stopped, 2 usage error.");
  command->callback([args, &context] { context.status = run_batch_command(*args, context); });
}

}  // namespace kavro::cli
