// The host of the `kavro` command: messages and listener lines on standard
// error, a redrawn progress line when standard error is a terminal, and the
// overwrite question asked on the terminal or answered by a policy.
#pragma once

#include <cstdio>
#include <string>

#include "host/host.h"

namespace kavro::host {

enum class OverwritePolicy { kAsk, kYes, kNo };

class ConsoleHost : public Host {
 public:
  ConsoleHost();
  ConsoleHost(std::FILE* err, bool err_is_terminal, std::FILE* terminal_in);

  void set_overwrite_policy(OverwritePolicy policy) { policy_ = policy; }
  // Silences the listener (warnings) and information messages.
  void set_quiet(bool quiet) { quiet_ = quiet; }

  void message_box(const std::string& text, const std::string& caption, MessageIcon icon) override;
  void listener_print(const std::string& line) override;
  void listener_show() override {}
  void progress_start(const std::string& title) override;
  void progress_update(int percent, const std::string& text) override;
  void progress_end() override;
  bool progress_cancelled() override { return false; }
  void progress_reset_cancel() override {}
  LocalTime local_time() override;
  std::string user_name() override;
  std::string computer_name() override;
  // $KAVRO_SETTINGS_DIR, else $XDG_CONFIG_HOME/kavro, else ~/.config/kavro,
  // made absolute.
  std::string settings_dir() override;
  bool file_exists(const std::string& path) override;
  bool folder_exists(const std::string& path) override;
  bool is_read_only(const std::string& path) override;
  OverwriteAnswer ask_overwrite(const std::string& path) override;

 private:
  void clear_progress_line();

  std::FILE* err_;
  bool err_is_terminal_;
  std::FILE* terminal_in_;
  OverwritePolicy policy_ = OverwritePolicy::kAsk;
  bool quiet_ = false;
  bool progress_shown_ = false;
  std::string progress_title_;
};

}  // namespace kavro::host
