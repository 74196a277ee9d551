#include "host/system.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "host/cp932.h"

namespace kavro::host {

bool environment_value(const std::string& name, std::string& value) {
  const char* text = std::getenv(name.c_str());
  if (text == nullptr) return false;
  // A value CP932 cannot hold is kept as it is: the paths made from it are
  // converted back unchanged when they reach the file system.
  Cp932Result converted = utf8_to_cp932(text);
  value = converted.ok ? converted.text : std::string(text);
  return true;
}

bool create_folder(const std::string& path) {
  return !path.empty() && ::mkdir(system_path(path).c_str(), 0777) == 0;
}

int run_command_interpreter(const std::string& command_line) {
  int status = std::system(cp932_to_utf8(command_line).c_str());
  if (status == -1) return -1;
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace kavro::host
