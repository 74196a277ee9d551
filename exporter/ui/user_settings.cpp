#include "exporter/ui/user_settings.h"

#include <filesystem>
#include <system_error>

#include "exporter/pipeline/messages.h"
#include "exporter/ui/settings_file.h"
#include "host/cp932.h"

namespace kavro {

void reset_options_at_plugin_load() {
  ExportOptions& o = current_options();
  reset_options(o, true);
  o.save_scene_settings = 1;
  o.settings_from_scene = 0;
  o.menu_settings_read = 0;
}

std::string UserSettings::path_of(const std::string& name) const {
  return join_settings_path(host_.settings_dir(), name);
}

bool UserSettings::read_menu_settings(ExportOptions& options) {
  return kavro::read_menu_settings(path_of(kMenuSettingsFile), options, host_);
}

bool UserSettings::read_settings_file(ExportOptions& options) {
  return kavro::read_settings_file(path_of(kUserSettingsFile), options);
}

bool UserSettings::prepare_folder() {
  // The folder is made on first use; a failure shows up as the write's own
  // message naming the file.
  std::string folder = host_.settings_dir();
  if (folder.empty()) return true;
  std::error_code ignored;
  std::filesystem::create_directories(host::system_path(folder), ignored);
  return true;
}

void UserSettings::write_settings(ExportOptions& options) {
  if (!write_back_) return;
  write_user_settings_file(options);
  write_menu_settings(options);
}

bool UserSettings::write_user_settings_file(ExportOptions& options) {
  if (!write_back_) return true;
  prepare_folder();
  bool ok = write_settings_file(path_of(kUserSettingsFile), options, host_);
  if (!ok) writes_ok_ = false;
  return ok;
}

bool UserSettings::write_chosen_file(const std::string& path, ExportOptions& options) {
  bool ok = write_settings_file(path, options, host_);
  if (!ok) writes_ok_ = false;
  return ok;
}

void DialogSettings::write_menu_settings(const ExportOptions& current) {
  user_.write_menu_settings(current);
}

bool DialogSettings::read_settings_file(const std::string& path, ExportOptions& current) {
  return kavro::read_settings_file(path, current);
}

void DialogSettings::write_settings_file(const std::string& path, ExportOptions& current) {
  user_.write_chosen_file(path, current);
}

void DialogSettings::write_kept_settings(ExportOptions& current) {
  user_.write_user_settings_file(current);
}

bool UserSettings::write_menu_settings(const ExportOptions& options) {
  if (!write_back_) return true;
  prepare_folder();
  bool ok = kavro::write_menu_settings(path_of(kMenuSettingsFile), options, host_);
  if (!ok) writes_ok_ = false;
  return ok;
}

void ExporterClassData::save_class_data(host::Host& host,
                                        std::vector<host::ClassDataChunk>& chunks) {
  ExportOptions& o = current_options();
  if (!o.menu_settings_read) return;
  UserSettings(host, write_back_).write_menu_settings(o);
  if (o.save_scene_settings) chunks.push_back({kOptionsChunkId, options_chunk(o)});
}

void ExporterClassData::load_class_data(host::Host& host, const std::string& source,
                                        const std::vector<host::ClassDataChunk>& chunks) {
  ExportOptions& o = current_options();
  o.settings_from_scene = 0;
  if (!UserSettings(host, write_back_).read_menu_settings(o)) {
    o.save_scene_settings = 1;
  } else if (!o.save_scene_settings) {
    return;
  }
  for (const host::ClassDataChunk& chunk : chunks) {
    if (chunk.id != kOptionsChunkId) continue;
    if (!restore_options_chunk(chunk.data, o)) {
      show_message(host,
                   format("Warning: The export settings stored in %s are %zu bytes long instead "
                          "of %zu; they are ignored.",
                          source.c_str(), chunk.data.size(), kOptionsChunkSize),
                   "Scene Settings", host::MessageIcon::kWarning);
      continue;
    }
    o.settings_from_scene = 1;
  }
}

void reset_settings_command(ExportOptions& working) {
  reset_options(current_options(), false);
  copy_options(current_options(), working);
}

bool load_settings_command(const std::string& path, ExportOptions& working) {
  if (!read_settings_file(path, current_options())) return false;
  copy_options(current_options(), working);
  return true;
}

bool save_settings_command(const std::string& chosen, ExportOptions& working, host::Host& host,
                           std::string* written) {
  copy_options(working, current_options());
  std::string name = k3es_save_name(chosen);
  if (written != nullptr) *written = name;
  return write_settings_file(name, current_options(), host);
}

void toggle_scene_settings_command(UserSettings& settings) {
  ExportOptions& o = current_options();
  o.save_scene_settings = o.save_scene_settings ? 0 : 1;
  settings.write_menu_settings(o);
}

}  // namespace kavro
