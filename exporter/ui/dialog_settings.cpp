#include "exporter/ui/dialog_settings.h"

#include <filesystem>
#include <system_error>

#include "exporter/ui/settings_file.h"
#include "host/cp932.h"

namespace kavro::ui {

void UserDialogSettings::write_menu_settings(const ExportOptions& current) {
  user_.write_menu_settings(current);
}

bool UserDialogSettings::read_settings_file(const std::string& path, ExportOptions& current) {
  return kavro::read_settings_file(path, current);
}

void UserDialogSettings::write_settings_file(const std::string& path, ExportOptions& current) {
  kavro::write_settings_file(path, current, host_);
}

void UserDialogSettings::write_kept_settings(ExportOptions& current) {
  // The settings folder is made on first use; a failure shows as the
  // write's own message naming the file.
  std::string folder = host_.settings_dir();
  if (!folder.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(host::system_path(folder), ignored);
  }
  kavro::write_settings_file(user_.path_of(kUserSettingsFile), current, host_);
}

}  // namespace kavro::ui
