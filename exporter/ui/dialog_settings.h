// The settings files behind the options dialog: its menu's "Save / Load
// Scene Settings" (menusettings.bin), the k3es files the user loads and
// saves, and "max.k3es" written after "Apply", all in the user's settings
// folder of the host.
#pragma once

#include <string>

#include "exporter/ui/options_dialog.h"
#include "exporter/ui/user_settings.h"

namespace kavro::ui {

class UserDialogSettings : public DialogSettingsFiles {
 public:
  explicit UserDialogSettings(host::Host& host) : host_(host), user_(host, true) {}

  void write_menu_settings(const ExportOptions& current) override;
  bool read_settings_file(const std::string& path, ExportOptions& current) override;
  void write_settings_file(const std::string& path, ExportOptions& current) override;
  void write_kept_settings(ExportOptions& current) override;

 private:
  host::Host& host_;
  UserSettings user_;
};

}  // namespace kavro::ui
