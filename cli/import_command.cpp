// `kavro import`: reads a scene file of a modelling tool (or a scene
// document) and saves it as a scene document.
#include <memory>

#include "cli/command.h"
#include "exporter/pipeline/messages.h"

namespace kavro::cli {
namespace {

const char* const kSummary =
    "import a scene file (FBX, glTF, COLLADA, 3DS, OBJ...) as a .kscene\n"
    "\n"
    "Reads IN through the importer (a .kscene is read as it is) and saves the\n"
    "scene as the scene document OUT.kscene. Images embedded in IN are written\n"
    "beside OUT (or into --maps-dir) and referred to by relative path. The\n"
    "mapping is described in docs/importing.md.";

struct ImportArgs {
  std::string input;
  std::string output;
  std::string maps_dir;
  ImportFlags flags;
  bool quiet = false;
};

std::string check_document_name(const std::string& o) {
  if (!host::is_scene_document(o) || o.size() <= 7) {
    return "OUT must name a scene document ending in .kscene, got '" + o + "'";
  }
  return {};
}

int run_import(const ImportArgs& a, const CommandContext& context) {
  ConsoleFlags console_flags;
  console_flags.quiet = a.quiet;
  std::unique_ptr<host::ConsoleHost> console = open_console(context, console_flags);
  host::ImportOptions options = import_options(a.flags);
  ImportReporting reporting(*console, a.flags, a.input);
  reporting.attach(options);
  host::SceneLoadResult loaded = host::load_scene_file(a.input, options);
  if (!loaded.ok) {
    show_error(*console, "Can't read the scene " + loaded.error, "Scene Error");
    return kExitFailed;
  }
  for (const std::string& warning : loaded.warnings) console->listener_print(warning + "\n");
  host::SaveOptions save;
  save.maps_dir = a.maps_dir;
  std::string error;
  if (!host::save_scene_file(loaded.document, a.output, save, error)) {
    show_error(*console, "Can't save the scene " + error, "Scene Error");
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

void add_import_command(CLI::App& app, CommandContext& context) {
  CLI::App* command = app.add_subcommand("import", kSummary);
  auto args = std::make_shared<ImportArgs>();
  command->add_option("IN", args->input, "the scene file to read")
      ->required()
      ->transform(to_host_text());
  command->add_option("OUT.kscene", args->output, "the scene document to write")
      ->required()
      ->transform(to_host_text(check_document_name));
  add_import_flags(*command, args->flags);
  command
      ->add_option("--maps-dir", args->maps_dir,
                   "write embedded images into DIR instead of beside\n"
                   "OUT")
      ->type_name("DIR")
      ->transform(to_host_text(
          [](const std::string& dir) { return dir.empty() ? "needs a folder" : std::string(); }));
  command->add_flag("-q,--quiet", args->quiet, "print no warnings or progress, only errors");
  command->footer("Exit status: 0 success, 1 the import failed, 2 usage error.");
  command->callback([args, &context] { context.status = run_import(*args, context); });
}

}  // namespace kavro::cli
