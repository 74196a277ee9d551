// `kavro batch`: runs a batch description file as the script command
// kvsExport does, with the script listener on standard output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "cli/command.h"
#include "cli/script_session.h"
#include "exporter/batch/batch_log.h"
#include "exporter/batch/depfile.h"
#include "exporter/batch/k3be.h"
#include "exporter/batch/kvs_commands.h"
#include "exporter/batch/ninja_file.h"
#include "exporter/pipeline/output_file.h"
#include "host/clock.h"
#include "host/cp932.h"
#include "host/file_journal.h"
#include "host/recording_host.h"

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
  std::string kavro;
  int jobs = 1;
  std::string log_part;
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
  std::string kavro = a.kavro.empty() ? own_program() : a.kavro;
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

std::string read_all(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

bool append_raw(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// One scene line run as a process of its own.
struct LineProcess {
  pid_t pid = -1;
  int status = -1;  // exit status once done
  std::string out_path, log_path;
};

bool start_line(const BatchArgs& a, const std::string& kavro, int line, LineProcess& p) {
  std::vector<std::string> args = {kavro,
                                   "batch",
                                   host::cp932_to_utf8(a.description),
                                   "--only",
                                   std::to_string(line),
                                   "--script-timeout",
                                   std::to_string(a.script_timeout),
                                   "--log-part",
                                   p.log_path};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, p.out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int rc = posix_spawn(&p.pid, kavro.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0;
}

// Runs the scene lines in up to `jobs` processes; their listener output and
// log lines are put together in file order, and the run stops at the first
// line that failed, as a run in one process does.
int run_jobs(const BatchArgs& a, const CommandContext& context) {
  std::vector<ScenePlan> plan;
  std::string log_path;
  {
    host::RecordingHost quiet;  // a plan's messages: the real run repeats them
    host::SceneSession session(quiet);
    BatchEnvironment env(quiet, session);
    env.plan = &plan;
    env.planned_log = &log_path;
    if (!kvs_export(a.description, env) || plan.size() < 2) return -1;  // run in one process
  }
  std::time_t start = host::clock_seconds();
  std::unique_ptr<host::ConsoleHost> console =
      std::make_unique<host::ConsoleHost>(context.out, false, nullptr);
  console->set_quiet(a.quiet);
  if (!log_path.empty()) {
    BatchLog log;
    std::string header = batch_log_header(console->user_name().substr(0, 256),
                                          console->computer_name().substr(0, 15),
                                          console->local_time(), k3be_slash_form(a.description));
    if (!log.create(log_path, header)) {
      console->listener_print("Can't open file: " + log_path + "\n");
      return kExitFailed;
    }
  }
  std::string folder = (std::filesystem::temp_directory_path() / "kavro-jobs-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return -1;
  std::string kavro = a.kavro.empty() ? own_program() : a.kavro;
  std::vector<LineProcess> lines(plan.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    lines[i].out_path = folder + "/" + std::to_string(i + 1) + ".out";
    lines[i].log_path = folder + "/" + std::to_string(i + 1) + ".log";
  }
  std::size_t next_start = 0, next_report = 0;
  int running = 0;
  bool failed = false;
  while (next_report < lines.size() && !failed) {
    while (!failed && running < a.jobs && next_start < lines.size()) {
      if (!start_line(a, kavro, static_cast<int>(next_start) + 1, lines[next_start])) {
        lines[next_start].status = 1;
      } else {
        ++running;
      }
      ++next_start;
    }
    // Report every finished line in order.
    while (next_report < next_start && lines[next_report].status >= 0) {
      LineProcess& p = lines[next_report++];
      // The line's listener output, already in the terminal's encoding.
      if (!a.quiet) {
        std::string text = read_all(p.out_path);
        std::fwrite(text.data(), 1, text.size(), context.out);
        std::fflush(context.out);
      }
      if (!log_path.empty()) append_raw(host::system_path(log_path), read_all(p.log_path));
      if (p.status != 0) failed = true;
      if (failed) break;
    }
    if (failed || next_report >= lines.size()) break;
    int status = 0;
    pid_t done = ::waitpid(-1, &status, 0);
    if (done < 0) break;
    for (LineProcess& p : lines) {
      if (p.pid == done) p.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    --running;
  }
  // Lines still running after a failure are let finish, so that no file is
  // left half-written; their files stay.
  for (LineProcess& p : lines) {
    if (p.pid > 0 && p.status < 0) ::waitpid(p.pid, nullptr, 0);
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  if (failed) return kExitFailed;
  std::time_t end = host::clock_seconds();
  std::string summary = batch_summary(static_cast<int>(plan.size()),
                                      end > start ? static_cast<long long>(end - start) : 0);
  console->listener_print(summary + "\n");
  if (!log_path.empty()) append_raw(host::system_path(log_path), summary + "\r\n");
  return kExitOk;
}

int run_batch_command(const BatchArgs& a, const CommandContext& context) {
  if (!a.ninja.empty()) return write_ninja(a, context);
  if (a.jobs > 1 && a.only == 0 && a.depfile.empty()) {
    int status = run_jobs(a, context);
    if (status >= 0) return status;
  }
  if (!a.depfile.empty()) host::start_file_journal();
  ScriptSession run(context, a.quiet, a.script_timeout);
  run.env.only_scene = a.only;
  run.env.log_part = a.log_part;
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
                   "export only scene line N (counted from 1), with the\n"
                   "options the lines before it leave; no log header and\n"
                   "no summary (what --ninja edges and --jobs run)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  command
      ->add_option("--depfile", args->depfile,
                   "write a Make-style dependency file: the written files\n"
                   "and every file the batch read")
      ->type_name("FILE.d")
      ->allow_extra_args(false)
      ->transform(to_host_text());
  command
      ->add_option("--ninja", args->ninja,
                   "write a Ninja build file with one edge per scene line\n"
                   "instead of exporting; run Ninja from this folder")
      ->type_name("FILE")
      ->allow_extra_args(false)
      ->transform(to_host_text());
  command
      ->add_option("--kavro", args->kavro,
                   "the kavro program that runs scene lines for --ninja\n"
                   "and --jobs (default: this one)")
      ->type_name("PATH")
      ->allow_extra_args(false);
  command
      ->add_option("--jobs", args->jobs,
                   "export up to N scene lines at once in processes of\n"
                   "their own; output and log in file order as one process\n"
                   "writes them")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  command
      ->add_option("--log-part", args->log_part,
                   "with --only: write the line's log lines (no header)\n"
                   "to FILE, for whoever puts the whole log together")
      ->type_name("FILE")
      ->allow_extra_args(false)
      ->transform(to_host_text());
  command->footer("Exit status: 0 the batch reached its summary, 1 it stopped, 2 usage error.");
  command->callback([args, &context] { context.status = run_batch_command(*args, context); });
}

}  // namespace kavro::cli
