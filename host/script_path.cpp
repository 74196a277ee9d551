#include "host/script_path.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/files.h"

namespace kavro::host {

std::vector<std::string> script_search_path() {
  std::vector<std::string> folders;
  if (const char* env = std::getenv("KAVRO_SCRIPT_PATH")) {
    std::string list = env;
    std::size_t start = 0;
    while (start <= list.size()) {
      std::size_t colon = list.find(':', start);
      if (colon == std::string::npos) colon = list.size();
      if (colon > start) folders.push_back(list.substr(start, colon - start));
      start = colon + 1;
    }
  }
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    folders.push_back((exe.parent_path().parent_path() / "share" / "kavro" / "scripts").string());
  }
#ifdef KAVRO_SOURCE_SCRIPT_DIR
  folders.push_back(KAVRO_SOURCE_SCRIPT_DIR);
#endif
  return folders;
}

std::string find_script_file(const std::string& name) {
  if (name.empty() || path_is_file(name)) return name;
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) return name;
  for (const std::string& folder : script_search_path()) {
    std::string candidate = folder + "/" + name;
    if (path_is_file(candidate)) return candidate;
  }
  return name;
}

}  // namespace kavro::host
