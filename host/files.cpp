#include "host/files.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

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

bool path_is_absolute(const std::string& path) {
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::string absolute_path(const std::string& path) {
  if (path_is_absolute(path)) return path;
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  if (error) return path;
  Cp932Result folder = utf8_to_cp932(current.string());
  if (!folder.ok || folder.text.empty()) return path;
  std::string rest = path;
  while (rest.size() >= 2 && rest[0] == '.' && (rest[1] == '/' || rest[1] == '\\')) {
    rest.erase(0, 2);
  }
  if (rest == ".") rest.clear();
  if (rest.empty()) return folder.text;
  return folder.text.back() == '/' ? folder.text + rest : folder.text + "/" + rest;
}

}  // namespace kavro::host
