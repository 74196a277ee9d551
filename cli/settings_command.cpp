// `kavro settings`: shows the effective export options as a settings file
// holds them, and saves, loads and resets the user's kept settings
// ("max.k3es" and menusettings.bin in the settings folder) as the options
// dialog's menu commands do.
#include <memory>

#include "cli/command.h"
#include "exporter/kavro_exporter.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/options.h"
#include "exporter/ui/settings_file.h"
#include "exporter/ui/user_settings.h"
#include "host/cp932.h"

namespace kavro::cli {
namespace {

const char* const kSummary =
    "show, save, load or reset the kept export options\n"
    "\n"
    "The user's options are kept in max.k3es and menusettings.bin in the\n"
    "settings folder: $KAVRO_SETTINGS_DIR, else $XDG_CONFIG_HOME/kavro, else\n"
    "~/.config/kavro (made when first written). 'kavro export' starts from\n"
    "them (unless --defaults) but never writes them; these commands do.";

struct SettingsArgs {
  std::string scene;
  std::string file;
  std::string settings_file;
  std::vector<std::string> settings;
  bool defaults = false;
};

// Paths in messages: the host code page on the terminal's UTF-8.
std::string shown(const std::string& path) {
  return host::cp932_to_utf8(path);
}

// A session of the options dialog over the user's settings: the exporter
// object reads them when it starts and writes them back when it goes.
struct Session {
  explicit Session(const CommandContext& context)
      : console(open_console(context, ConsoleFlags{})), user(*console, true) {
    load_exporter_plugin();
    stages = exporter_stages();
    attach_user_settings(stages, user);
  }
  std::unique_ptr<host::ConsoleHost> console;
  UserSettings user;
  Stages stages;
};

int run_show(const SettingsArgs& a, const CommandContext& context) {
  load_exporter_plugin();
  // Showing changes no file.
  exporter_class_data().set_write_back(false);
  std::unique_ptr<host::ConsoleHost> console = open_console(context, ConsoleFlags{});
  std::unique_ptr<SceneExtraction> scene;
  if (!a.scene.empty()) {
    SceneOpenOptions open_options;
    open_options.restore_class_data = !a.defaults;
    scene = open_scene(a.scene, *console, open_options);
    if (!scene) return kExitFailed;
  }
  UserSettings user(*console, false);
  Stages stages = exporter_stages();
  if (!a.defaults) attach_user_settings(stages, user);
  KavroExporter exporter(*console, stages);
  if (!apply_command_settings(*console, a.settings_file, a.settings)) return kExitFailed;
  ExportOptions& current = current_options();
  // What an export started now would use.
  ExportOptions effective = exporter.working_options();
  copy_options(current, effective);
  apply_lower_bounds(effective);
  std::string text = settings_file_text(effective, console->local_time());
  for (char c : text) {
    if (c == '\n') std::fputc('\r', context.out);
    std::fputc(c, context.out);
  }
  std::fputs("\r\n", context.out);
  return kExitOk;
}

int run_save(const SettingsArgs& a, const CommandContext& context) {
  Session session(context);
  std::string written;
  bool saved;
  {
    KavroExporter exporter(*session.console, session.stages);
    // The options as the dialog's controls would hold them.
    apply_option_settings(a.settings, exporter.working_options());
    saved = save_settings_command(a.file, exporter.working_options(), *session.console, &written);
    // A failed command leaves the user's files as they were.
    if (!saved) session.user.set_write_back(false);
  }
  if (!saved) return kExitFailed;
  std::fprintf(context.out, "Saved the settings to %s\n", shown(written).c_str());
  if (!session.user.writes_ok()) return kExitFailed;
  std::fprintf(context.out, "Kept them as the user's settings in %s\n",
               shown(session.user.path_of(kUserSettingsFile)).c_str());
  return kExitOk;
}

int run_load(const SettingsArgs& a, const CommandContext& context) {
  Session session(context);
  bool loaded;
  {
    KavroExporter exporter(*session.console, session.stages);
    loaded = load_settings_command(a.file, exporter.working_options());
    if (!loaded) {
      show_error(*session.console, "\"k3es\" is wrong: " + a.file, "Settings Error");
      session.user.set_write_back(false);
    }
  }
  if (!loaded) return kExitFailed;
  if (!session.user.writes_ok()) return kExitFailed;
  std::fprintf(context.out, "Loaded %s into the user's settings in %s\n", shown(a.file).c_str(),
               shown(session.user.path_of(kUserSettingsFile)).c_str());
  return kExitOk;
}

int run_reset(const CommandContext& context) {
  Session session(context);
  {
    KavroExporter exporter(*session.console, session.stages);
    reset_settings_command(exporter.working_options());
  }
  if (!session.user.writes_ok()) return kExitFailed;
  std::fprintf(context.out,
               "Reset the user's settings in %s to the defaults, keeping the output file name "
               "and folder\n",
               shown(session.user.path_of(kUserSettingsFile)).c_str());
  return kExitOk;
}

}  // namespace

void add_settings_command(CLI::App& app, CommandContext& context) {
  CLI::App* command = app.add_subcommand("settings", kSummary);
  command->require_subcommand(1);
  auto args = std::make_shared<SettingsArgs>();

  CLI::App* show =
      command->add_subcommand("show",
                              "print the options an export would use, as a settings file\n"
                              "holds them (kavro settings show > mine.k3es)\n"
                              "\n"
                              "The user's settings, then the scene's own (when SCENE is given\n"
                              "and carries them), then --settings and --set, as 'kavro export'\n"
                              "takes them.");
  show->add_option("SCENE", args->scene, "a scene whose own settings count too")
      ->transform(to_host_text());
  show->add_option("--settings", args->settings_file, "read FILE.k3es over the options")
      ->type_name("FILE.k3es")
      ->transform(to_host_text());
  show->add_flag("--defaults", args->defaults,
                 "start from the defaults: ignore the user's settings\n"
                 "and the scene's own");
  add_option_settings(*show, args->settings);
  show->footer("Export option keys and their values:\n" + option_keys_help());
  show->callback([args, &context] { context.status = run_show(*args, context); });

  CLI::App* save =
      command->add_subcommand("save",
                              "save the options to FILE.k3es and keep them as the user's\n"
                              "settings (\"Save Settings to k3es File\")\n"
                              "\n"
                              "\".k3es\" is added to FILE unless it is its extension.");
  save->add_option("FILE.k3es", args->file, "the settings file to write")
      ->required()
      ->transform(to_host_text());
  add_option_settings(*save, args->settings);
  save->footer("Export option keys and their values:\n" + option_keys_help());
  save->callback([args, &context] { context.status = run_save(*args, context); });

  CLI::App* load = command->add_subcommand("load",
                                           "read FILE.k3es into the user's settings\n"
                                           "(\"Load Settings from k3es File\")");
  load->add_option("FILE.k3es", args->file, "the settings file to read")
      ->required()
      ->transform(to_host_text());
  load->callback([args, &context] { context.status = run_load(*args, context); });

  CLI::App* reset =
      command->add_subcommand("reset",
                              "reset the user's settings to the defaults, keeping the output\n"
                              "file name and folder (\"Reset Settings\")");
  reset->callback([&context] { context.status = run_reset(context); });
}

}  // namespace kavro::cli
