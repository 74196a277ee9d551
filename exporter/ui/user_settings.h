// The user's kept settings and their lifecycle: "max.k3es" and
// menusettings.bin in the host's settings folder, the options an exporter
// reads when it starts and writes when it goes, the scene settings chunk of the
// exporter's class, and the options dialog's menu commands that act on
// settings files.
//
// The process-wide options record (current_options()) is the only owner of
// the settings; these functions move it to and from files.
#pragma once

#include <string>
#include <vector>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/options.h"
#include "exporter/pipeline/stages.h"
#include "exporter/ui/options_dialog.h"
#include "host/class_data.h"
#include "host/host.h"

namespace kavro {

constexpr const char* kUserSettingsFile = "max.k3es";
constexpr const char* kMenuSettingsFile = "menusettings.bin";

// The plug-in is loaded: the process-wide record is reset to defaults with
// the names cleared, save_scene_settings is set, settings_from_scene and
// menu_settings_read are cleared.
void reset_options_at_plugin_load();

class UserSettings;

// The settings files as the options dialog's menu and "Apply" use them.
class DialogSettings final : public ui::DialogSettingsFiles {
 public:
  explicit DialogSettings(UserSettings& user) : user_(user) {}
  void write_menu_settings(const ExportOptions& current) override;
  bool read_settings_file(const std::string& path, ExportOptions& current) override;
  void write_settings_file(const std::string& path, ExportOptions& current) override;
  void write_kept_settings(ExportOptions& current) override;

 private:
  UserSettings& user_;
};

// The user's settings files in the host's settings folder. The folder is
// created when a file is first written there. With write-back off (a command
// line run) the files are read but never written.
class UserSettings final : public SettingsStore {
 public:
  UserSettings(host::Host& host, bool write_back)
      : host_(host), write_back_(write_back), dialog_(*this) {}
  UserSettings(const UserSettings&) = delete;
  UserSettings& operator=(const UserSettings&) = delete;

  std::string path_of(const std::string& name) const;

  bool read_menu_settings(ExportOptions& options) override;
  bool read_settings_file(ExportOptions& options) override;
  // max.k3es, then menusettings.bin.
  void write_settings(ExportOptions& options) override;
  bool write_menu_settings(const ExportOptions& options);
  // "max.k3es" alone (the dialog's "Apply").
  bool write_user_settings_file(ExportOptions& options);
  // A file the user chose; written whatever write-back says.
  bool write_chosen_file(const std::string& path, ExportOptions& options);

  // The same files for the options dialog.
  ui::DialogSettingsFiles& dialog_files() { return dialog_; }

  bool write_back() const { return write_back_; }
  void set_write_back(bool write_back) { write_back_ = write_back; }
  // False once a write has failed (its message has been shown).
  bool writes_ok() const { return writes_ok_; }

 private:
  bool prepare_folder();

  host::Host& host_;
  bool write_back_;
  bool writes_ok_ = true;
  DialogSettings dialog_;
};

// The exporter class's data in scenes: chunk 1, the whole options record.
class ExporterClassData final : public host::ClassDataOwner {
 public:
  host::ClassId class_id() const override { return kKavroExporterClassId; }
  // Nothing unless menusettings.bin has been consulted; then menusettings.bin
  // is written and, with "Save / Load Scene Settings" on, chunk 1.
  void save_class_data(host::Host& host, std::vector<host::ClassDataChunk>& chunks) override;
  // Clears settings_from_scene and reads menusettings.bin; with "Save / Load
  // Scene Settings" on, chunk 1 is read over the process-wide record, which
  // sets settings_from_scene. A chunk of the wrong size is ignored with a
  // warning naming `source`.
  void load_class_data(host::Host& host, const std::string& source,
                       const std::vector<host::ClassDataChunk>& chunks) override;

  // A command-line run reads the user's files but leaves them unchanged.
  void set_write_back(bool write_back) { write_back_ = write_back; }

 private:
  bool write_back_ = true;
};

// --- The options dialog's menu commands on settings ---------------------------
// `working` is the working copy of the exporter the dialog belongs to.

// "Reset Settings": the process-wide record goes back to the defaults,
// keeping the output file name and folder, and is copied to the working copy.
void reset_settings_command(ExportOptions& working);

// "Load Settings from k3es File": the file is read over the process-wide
// record, which is copied to the working copy. False, changing nothing, when
// the file cannot be read.
bool load_settings_command(const std::string& path, ExportOptions& working);

// "Save Settings to k3es File": the working copy goes to the process-wide
// record, which is written under the chosen name (".k3es" appended unless it
// is the extension). `written` receives the name written.
bool save_settings_command(const std::string& chosen, ExportOptions& working, host::Host& host,
                           std::string* written = nullptr);

// "Save / Load Scene Settings": toggles save_scene_settings, then writes
// menusettings.bin.
void toggle_scene_settings_command(UserSettings& settings);

}  // namespace kavro
