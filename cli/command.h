// What the subcommands of `kavro` share: where they write, how they report
// usage errors, the help layout, and the console host they export through.
//
// Each subcommand lives in a file of its own, cli/<name>_command.cpp, and
// adds itself to the command line through one add_<name>_command function
// declared here; cli.cpp calls them in the order the help lists them.
#pragma once

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "exporter/pipeline/options.h"
#include "host/console_host.h"
#include "host/scene_io.h"

namespace kavro::cli {

// Where a command writes, and the exit status its action leaves.
struct CommandContext {
  std::FILE* out = nullptr;
  std::FILE* err = nullptr;
  int status = kExitOk;
};

// The subcommands. Each adds its options and an action that sets
// `context.status`.
void add_export_command(CLI::App& app, CommandContext& context);
void add_import_command(CLI::App& app, CommandContext& context);
void add_info_command(CLI::App& app, CommandContext& context);
void add_settings_command(CLI::App& app, CommandContext& context);
void add_about_command(CLI::App& app, CommandContext& context);
void add_batch_command(CLI::App& app, CommandContext& context);
void add_script_command(CLI::App& app, CommandContext& context);
void add_tool_command(CLI::App& app, CommandContext& context);

// Prints "kavro: TEXT" and a pointer to the help of `command` (empty: the
// top-level help) on the error stream; returns kExitUsage.
int usage_error(const CommandContext& context, const std::string& command, const std::string& text);

// The help layout of every command. A subcommand's description is its
// one-line summary in the command list; a paragraph after the first blank
// line ("\n\n") is shown on the subcommand's own help page instead.
std::shared_ptr<CLI::FormatterBase> help_formatter();

// Paths and text options come from the UTF-8 command line; inside the
// exporter they are byte strings in the host code page. A transforming
// validator (Option::transform) that first applies `check` to the UTF-8 value,
// then converts it in place and refuses text the code page cannot hold.
CLI::Validator to_host_text(std::function<std::string(const std::string&)> check = {});

// --set KEY=VALUE, repeatable: export options by their settings keywords.
// Each value is checked against its keyword and stored as given ("KEY=VALUE",
// text values converted to the host code page); apply_option_settings puts
// them into the options record.
void add_option_settings(CLI::App& command, std::vector<std::string>& settings);
void apply_option_settings(const std::vector<std::string>& settings, ExportOptions& options);
// A command's own settings over the process-wide options: the settings file
// of --settings (when given), then every --set. False, with the message
// shown, when the file cannot be read.
bool apply_command_settings(host::Host& host, const std::string& settings_file,
                            const std::vector<std::string>& settings);
// The table of every option keyword and its values, for help pages.
std::string option_keys_help();

// The switches of every command that runs the exporter through the console
// host: -q/--quiet and --overwrite=MODE.
struct ConsoleFlags {
  bool quiet = false;
  std::string overwrite;  // "ask", "yes", "no" or empty: not given
};
void add_console_flags(CLI::App& command, ConsoleFlags& flags);

// The console host of a command: messages on the error stream, the overwrite
// question asked on the terminal when standard input and error are one.
// Without --overwrite a run that is not interactive replaces files.
std::unique_ptr<host::ConsoleHost> open_console(const CommandContext& context,
                                                const ConsoleFlags& flags);

// The switches of commands that read files from modelling tools
// (cli/import_flags.cpp): --animation, --fps, --scale, --kavro-materials,
// --standard-materials, -v/--verbose.
struct ImportFlags {
  std::string animation;
  double fps = 0;
  double scale = 1;
  bool kavro_materials = false;
  bool standard_materials = false;
  bool verbose = false;
};
void add_import_flags(CLI::App& command, ImportFlags& flags);
host::ImportOptions import_options(const ImportFlags& flags);

// The importer's log (verbose mode) and its progress, shown through the
// host once the reading takes longer than a moment; `attach` hands both to
// the import options.
class ImportReporting {
 public:
  ImportReporting(host::Host& host, const ImportFlags& flags, const std::string& file);
  ~ImportReporting();
  ImportReporting(const ImportReporting&) = delete;
  ImportReporting& operator=(const ImportReporting&) = delete;
  void attach(host::ImportOptions& options);

 private:
  host::Host& host_;
  std::string file_;
  std::function<void(const std::string&)> log_;
  std::function<void(float)> progress_;
  std::chrono::steady_clock::time_point started_;
  bool shown_ = false;
};

// The names of repeated NAME[,NAME...] options, in order.
std::vector<std::string> split_names(const std::vector<std::string>& lists);

}  // namespace kavro::cli
