#include "exporter/batch/settings_reading.h"

#include <cstdio>

#include "host/cp932.h"
#include "host/files.h"

namespace kavro {

bool read_batch_settings(const std::string& path, ExportOptions& options) {
  if (!host::path_is_file(path)) return false;
  std::FILE* f = std::fopen(host::system_path(path).c_str(), "rb");
  if (f == nullptr) return false;
  std::string text;
  char chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  std::fclose(f);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::string value;
    std::size_t open = line.find('"');
    if (open != std::string::npos) {
      std::size_t close = line.find('"', open + 1);
      value =
          line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    }
    for (const OptionKeyword& k : option_keywords()) {
      if (!k.in_settings_file) continue;
      std::string prefix = std::string(k.key) + "=";
      if (line.compare(0, prefix.size(), prefix) == 0) {
        apply_option_value(options, k, value);
        break;
      }
    }
  }
  return true;
}

}  // namespace kavro
