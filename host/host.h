// The services of the authoring host that the exporter calls: messages, the
// script listener, the progress bar, time and names, folders and files, the
// overwrite question, the dialog service with its file and folder pickers,
// and the batch hooks. The console host serves the `kavro`
// command; the recording host serves the tests.
#pragma once

#include <string>
#include <vector>

#include "host/dialog.h"

namespace kavro::host {

enum class MessageIcon { kError, kInformation, kWarning };

// Answers of the overwrite question, with the host's button values.
enum class OverwriteAnswer { kCancel = 1, kYes = 2, kYesToAll = 4, kNo = 8 };

// Where a running batch sends the error lines and export results that the
// exporter hands to the host while batch_running is set.
class BatchSink {
 public:
  virtual ~BatchSink() = default;
  virtual void error(const std::string& text) = 0;
  virtual void result(const std::vector<std::string>& warnings, bool success) = 0;
};

struct LocalTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class Host {
 public:
  virtual ~Host() = default;

  // Message box with a caption and an icon.
  virtual void message_box(const std::string& text, const std::string& caption,
                           MessageIcon icon) = 0;

  // The script listener.
  virtual void listener_print(const std::string& line) = 0;
  virtual void listener_show() = 0;

  // The host's progress bar.
  virtual void progress_start(const std::string& title) = 0;
  virtual void progress_update(int percent, const std::string& text) = 0;
  virtual void progress_end() = 0;
  virtual bool progress_cancelled() = 0;
  virtual void progress_reset_cancel() = 0;

  // Local time from the one clock of the system, and who and where we are.
  virtual LocalTime local_time() = 0;
  virtual std::string user_name() = 0;
  virtual std::string computer_name() = 0;

  // The exporter's settings folder (the host's directory 20).
  virtual std::string settings_dir() = 0;

  // Files and folders; paths are byte strings in the host code page.
  virtual bool file_exists(const std::string& path) = 0;
  virtual bool folder_exists(const std::string& path) = 0;
  virtual bool is_read_only(const std::string& path) = 0;

  // The modal overwrite question; asked only about a file that exists.
  virtual OverwriteAnswer ask_overwrite(const std::string& path) = 0;

  // Runs a dialog model modally over the active window until it closes (only
  // hosts with a user interface have dialogs).
  virtual DialogResult show_dialog(DialogModel& dialog) {
    (void)dialog;
    return DialogResult::kUnavailable;
  }
  // The main window's screen rectangle.
  virtual Rect main_window_rect() { return {}; }
  // Folder and file pickers: false when the user cancelled (or the host has
  // none); the chosen path otherwise.
  virtual bool pick_folder(const std::string& start_folder, std::string& chosen) {
    (void)start_folder;
    (void)chosen;
    return false;
  }
  virtual bool pick_open_file(const FilePick& pick, std::string& chosen) {
    (void)pick;
    (void)chosen;
    return false;
  }
  virtual bool pick_save_file(const FilePick& pick, std::string& chosen) {
    (void)pick;
    (void)chosen;
    return false;
  }

  // Batch state: set while a batch exports a scene; errors and warnings then
  // go to the batch log.
  virtual bool batch_running() const { return batch_running_; }
  void set_batch_running(bool running) { batch_running_ = running; }
  void set_batch_sink(BatchSink* sink) { batch_sink_ = sink; }
  virtual void batch_log_error(const std::string& text) {
    if (batch_sink_ != nullptr) batch_sink_->error(text);
  }
  virtual void batch_log_result(const std::vector<std::string>& warnings, bool success) {
    if (batch_sink_ != nullptr) batch_sink_->result(warnings, success);
  }

 private:
  bool batch_running_ = false;
  BatchSink* batch_sink_ = nullptr;
};

}  // namespace kavro::host
