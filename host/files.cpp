#include "host/files.h"

#include <sys/stat.h>

#include "host/cp932.h"

namespace kavro::host {

bool path_is_file(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(system_path(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool path_is_folder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(system_path(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool path_is_read_only(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(system_path(path).c_str(), &st) != 0) return false;
  return (st.st_mode & S_IWUSR) == 0;
}

}  // namespace kavro::host
