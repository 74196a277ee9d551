#include "host/recording_host.h"

#include "host/files.h"

namespace kavro::host {

bool RecordingHost::file_exists(const std::string& path) {
  return path_is_file(path);
}
bool RecordingHost::folder_exists(const std::string& path) {
  return path_is_folder(path);
}
bool RecordingHost::is_read_only(const std::string& path) {
  return path_is_read_only(path);
}

OverwriteAnswer RecordingHost::ask_overwrite(const std::string& path) {
  questions.push_back(path);
  if (overwrite_answers.empty()) return OverwriteAnswer::kYes;
  OverwriteAnswer answer = overwrite_answers.front();
  overwrite_answers.pop_front();
  return answer;
}

}  // namespace kavro::host
