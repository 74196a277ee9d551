// A host for tests: it records every message, listener line, progress call and
// question, and answers questions from a script.
#pragma once

#include <deque>
#include <functional>
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
  // Runs the dialog script on the model when there is one, else answers.
  DialogResult show_dialog(DialogModel& dialog) override {
    ++dialogs_shown;
    if (dialog_script) return dialog_script(dialog);
    return dialog_answer;
  }
  Rect main_window_rect() override { return main_window; }
  bool pick_folder(const std::string& start_folder, std::string& chosen) override {
    folder_picks.push_back(start_folder);
    return next_pick(chosen);
  }
  bool pick_open_file(const FilePick& pick, std::string& chosen) override {
    file_picks.push_back({pick, false});
    return next_pick(chosen);
  }
  bool pick_save_file(const FilePick& pick, std::string& chosen) override {
    file_picks.push_back({pick, true});
    return next_pick(chosen);
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
  std::vector<std::string> folder_picks;              // start folders
  std::vector<std::pair<FilePick, bool>> file_picks;  // request, save picker
  int cancel_resets = 0;
  std::vector<std::string> batch_errors;
  std::vector<std::pair<std::vector<std::string>, bool>> batch_results;

  // Script.
  std::deque<OverwriteAnswer> overwrite_answers;  // used in order; Yes when empty
  DialogResult dialog_answer = DialogResult::kExport;
  std::function<DialogResult(DialogModel&)> dialog_script;
  std::deque<std::string> picked_paths;  // used in order; cancelled when empty
  Rect main_window{0, 0, 1280, 1024};
  bool cancel_pressed = false;
  LocalTime time{2009, 5, 28, 12, 34, 56};
  std::string user = "tester";
  std::string computer = "testhost";
  std::string settings_folder = "/nonexistent/kavro-settings";

 private:
  bool next_pick(std::string& chosen) {
    if (picked_paths.empty()) return false;
    chosen = picked_paths.front();
    picked_paths.pop_front();
    return true;
  }
};

}  // namespace kavro::host
