// A host for tests: it records every message, listener line, progress call and
// question, and answers questions from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "host/host.h"

namespace kavro::host {

struct RecordedMessage {
  std::string text, caption;
  MessageIcon icon;
};

struct RecordedProgress {
  enum Kind { kStart, kUpdate, kEnd } kind;
  int percent;
  std::string text;
};

class RecordingHost : public Host {
 public:
  void message_box(const std::string& text, const std::string& caption, MessageIcon icon) override {
    messages.push_back({text, caption, icon});
  }
  void listener_print(const std::string& line) override { listener.push_back(line); }
  void listener_show() override { ++listener_shown; }
  void progress_start(const std::string& title) override {
    progress.push_back({RecordedProgress::kStart, 0, title});
  }
  void progress_update(int percent, const std::string& text) override {
    progress.push_back({RecordedProgress::kUpdate, percent, text});
  }
  void progress_end() override { progress.push_back({RecordedProgress::kEnd, 0, {}}); }
  bool progress_cancelled() override { return cancel_pressed; }
  void progress_reset_cancel() override {
    cancel_pressed = false;
    ++cancel_resets;
  }
  LocalTime local_time() override { return time; }
  std::string user_name() override { return user; }
  std::string computer_name() override { return computer; }
  std::string settings_dir() override { return settings_folder; }
  bool file_exists(const std::string& path) override;
  bool folder_exists(const std::string& path) override;
  bool is_read_only(const std::string& path) override;
  OverwriteAnswer ask_overwrite(const std::string& path) override;
  DialogResult show_options_dialog() override {
    ++dialogs_shown;
    return dialog_answer;
  }
  void batch_log_error(const std::string& text) override {
    batch_errors.push_back(text);
    Host::batch_log_error(text);
  }
  void batch_log_result(const std::vector<std::string>& warnings, bool success) override {
    batch_results.push_back({warnings, success});
    Host::batch_log_result(warnings, success);
  }

  // Recorded.
  std::vector<RecordedMessage> messages;
  std::vector<std::string> listener;
  int listener_shown = 0;
  std::vector<RecordedProgress> progress;
  std::vector<std::string> questions;  // paths asked about
  int dialogs_shown = 0;
  int cancel_resets = 0;
  std::vector<std::string> batch_errors;
  std::vector<std::pair<std::vector<std::string>, bool>> batch_results;

  // Script.
  std::deque<OverwriteAnswer> overwrite_answers;  // used in order; Yes when empty
  DialogResult dialog_answer = DialogResult::kExport;
  bool cancel_pressed = false;
  LocalTime time{2009, 5, 28, 12, 34, 56};
  std::string user = "tester";
  std::string computer = "testhost";
  std::string settings_folder = "/nonexistent/kavro-settings";
};

}  // namespace kavro::host
