// `kavro export`: exports one scene (a scene document or any file the
// importer reads), as the menu's export or to a named model file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/command.h"
#include "exporter/batch/depfile.h"
#include "exporter/kavro_exporter.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/options.h"
#include "exporter/report.h"
#include "exporter/ui/settings_file.h"
#include "exporter/ui/user_settings.h"
#include "host/cp932.h"
#include "host/file_journal.h"

namespace kavro::cli {
namespace {

const char* const kSummary =
    "export a scene (see 'kavro export --help')\n"
    "\n"
    "With OUTPUT, the model is written to OUTPUT and the other selected files\n"
    "beside it (same name, their own extensions); existing files are replaced\n"
    "without a question.\n"
    "Without OUTPUT, the name and folder come from the options output_file_name\n"
    "and output_folder, and existing files are asked about (see --overwrite).\n"
    "The options start from the user's settings (see 'kavro settings'), then\n"
    "the scene's own settings when it carries them, then --settings and --set;\n"
    "an export never writes the user's settings back.";

struct ExportArgs {
  std::string scene;
  std::string output;
  std::vector<std::string> settings;
  std::vector<std::string> select;
  std::vector<std::string> map_paths;
  std::string report;  // --report FILE.json
  ConsoleFlags console;
  ImportFlags import;
  std::string maps_dir;
  std::string settings_file;
  bool defaults = false;
  std::string depfile;
};

// Writes the report through a temporary file and a rename, so that a failed
// write leaves no half-written report. False (a message printed) on failure.
bool write_report(const std::string& path, const std::string& text, const CommandContext& context) {
  const std::string temp = path + ".tmp";
  const std::string system = host::system_path(path), system_temp = host::system_path(temp);
  std::FILE* f = std::fopen(system_temp.c_str(), "wb");
  bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f != nullptr) ok = std::fclose(f) == 0 && ok;
  ok = ok && std::rename(system_temp.c_str(), system.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    std::remove(system_temp.c_str());
    std::fprintf(context.err, "kavro: Can't write file %s: %s\n", host::cp932_to_utf8(path).c_str(),
                 std::strerror(error));
  }
  return ok;
}

// Node names of --select, comma-separated; empty names are refused.
std::string check_node_names(const std::string& names) {
  std::size_t start = 0;
  while (true) {
    std::size_t comma = names.find(',', start);
    if (comma == start || start == names.size()) {
      return "needs node names, got '" + names + "'";
    }
    if (comma == std::string::npos) return {};
    start = comma + 1;
  }
}

// The model's name is the file name before ".imd"; "dir/.imd" has none.
std::string check_model_name(const std::string& o) {
  std::size_t slash = o.find_last_of("/\\");
  std::size_t name_size = slash == std::string::npos ? o.size() : o.size() - slash - 1;
  if (o.size() < 4 || o.compare(o.size() - 4, 4, ".imd") != 0) {
    return "OUTPUT must name a model file ending in .imd, got '" + o + "'";
  }
  if (name_size <= 4) return "OUTPUT must name a model file, not only its extension: '" + o + "'";
  return {};
}

int run_export(const ExportArgs& a, const CommandContext& context) {
  // Every file read from here on is an input of the dependency file.
  if (!a.depfile.empty()) host::start_file_journal();
  std::unique_ptr<host::ConsoleHost> console = open_console(context, a.console);
  // The host loads the scene (and with it the scene's own settings) before the
  // exporter starts; a command-line run reads the user's settings files but
  // does not write them back, so --set changes only this run.
  load_exporter_plugin();
  exporter_class_data().set_write_back(false);
  SceneOpenOptions open_options;
  open_options.select = split_names(a.select);
  open_options.map_paths = a.map_paths;
  open_options.import = import_options(a.import);
  open_options.maps_dir = a.maps_dir;
  open_options.restore_class_data = !a.defaults;
  ImportReporting reporting(*console, a.import, a.scene);
  reporting.attach(open_options.import);
  std::vector<std::string> unknown;
  std::unique_ptr<SceneExtraction> scene =
      open_scene_selecting(a.scene, *console, open_options, unknown);
  if (!unknown.empty()) {
    std::string names;
    for (const std::string& n : unknown) names += (names.empty() ? "'" : ", '") + n + "'";
    return usage_error(context, "export", "--select names no node of the scene: " + names);
  }
  if (!scene) return kExitFailed;

  UserSettings user(*console, false);
  Stages stages = exporter_stages();
  if (!a.defaults) attach_user_settings(stages, user);
  KavroExporter exporter(*console, stages);
  if (!apply_command_settings(*console, a.settings_file, a.settings)) return kExitFailed;
  ExportOptions& current = current_options();

  unsigned bits = 0;
  std::string name = a.output;
  if (a.output.empty()) {
    // The menu's export: the name and folder come from the options.
    bits = kExportPlaceholderName;
    name = "C:\\test.imd";
    if (current.process_mode == ProcessMode::kIntermediateFile) {
      if (current.output_file_name[0] == '\0') {
        return usage_error(context, "export",
                           "no OUTPUT given and output_file_name is not set "
                           "(give OUTPUT.imd or --set output_file_name=NAME)");
      }
      if (current.output_folder[0] == '\0') {
        return usage_error(context, "export",
                           "no OUTPUT given and output_folder is not set "
                           "(give OUTPUT.imd or --set output_folder=DIR)");
      }
    }
  }

  ExportRun run;
  ExportReport report;
  if (!a.report.empty()) {
    run.inspect = [&report](const ExportScene& s) { describe_scene(s, report); };
    exporter.record_run(&run);
  }
  int result = exporter.DoExport(name, *scene, true, bits);
  if (!a.report.empty()) {
    report.scene = a.scene;
    describe_run(run, exporter.working_options(), report);
    if (!write_report(a.report, report_json(report), context)) return kExitFailed;
  }
  if (result == 0) return kExitFailed;
  if (!a.depfile.empty()) {
    std::string error;
    std::vector<std::string> outputs =
        export_outputs(exporter.working_options(), exporter.export_folder());
    if (!write_depfile(a.depfile, outputs, host::files_read(), error)) {
      std::fprintf(context.err, "kavro: %s\n", error.c_str());
      return kExitFailed;
    }
  }
  return kExitOk;
}

}  // namespace

void add_export_command(CLI::App& app, CommandContext& context) {
  CLI::App* command = app.add_subcommand("export", kSummary);
  auto args = std::make_shared<ExportArgs>();

  command->add_option("SCENE", args->scene, "the scene: a .kscene or any file the importer reads")
      ->required()
      ->transform(to_host_text());
  command->add_option("OUTPUT.imd", args->output, "the model file to write")
      ->transform(to_host_text(check_model_name));
  add_option_settings(*command, args->settings);
  command
      ->add_option("--settings", args->settings_file,
                   "read a settings file over the options (before --set),\n"
                   "as a batch scene does")
      ->type_name("FILE.k3es")
      ->transform(to_host_text());
  command->add_flag("--defaults", args->defaults,
                    "start from the defaults: ignore the user's settings\n"
                    "files and the scene's own settings (a hermetic build)");
  command
      ->add_option("--select", args->select,
                   "make the named nodes the scene's selection (exact\n"
                   "node names; repeatable), for --set export=selection.\n"
                   "Without it the document's own selection holds.")
      ->type_name("NAME[,NAME...]")
      ->allow_extra_args(false)
      ->transform(to_host_text(check_node_names));
  command
      ->add_option("--map-path", args->map_paths,
                   "search DIR for bitmaps whose file names are relative,\n"
                   "after the scene's folder and the document's map\n"
                   "paths; repeatable, searched in the order given.")
      ->type_name("DIR")
      ->allow_extra_args(false)
      ->transform(to_host_text(
          [](const std::string& dir) { return dir.empty() ? "needs a folder" : std::string(); }));
  command
      ->add_option("--report", args->report,
                   "write a report of the export as JSON to FILE: options,\n"
                   "files, counts, warnings, times, memory, channels\n"
                   "(see docs/report.md).")
      ->type_name("FILE.json")
      ->allow_extra_args(false)
      ->transform(to_host_text(
          [](const std::string& f) { return f.empty() ? "needs a file name" : std::string(); }));
  command
      ->add_option("--depfile", args->depfile,
                   "write a Make-style dependency file: the written files\n"
                   "and every file the export read")
      ->type_name("FILE.d")
      ->allow_extra_args(false)
      ->transform(to_host_text());
  add_console_flags(*command, args->console);
  add_import_flags(*command, args->import);
  command
      ->add_option("--maps-dir", args->maps_dir,
                   "write the images embedded in an imported SCENE into\n"
                   "DIR (default: a cache folder in the temporary folder)")
      ->type_name("DIR")
      ->transform(to_host_text(
          [](const std::string& dir) { return dir.empty() ? "needs a folder" : std::string(); }));
  command->footer(
      "Exit status: 0 success, 1 the export failed, 2 usage error.\n\n"
      "Export option keys and their values:\n" +
      option_keys_help());
  command->callback([args, &context] { context.status = run_export(*args, context); });
}

}  // namespace kavro::cli
