#include "exporter/batch/batch_log.h"

#include <cstdio>

#include "exporter/pipeline/messages.h"
#include "host/cp932.h"

namespace kavro {
namespace {

bool write_text(const std::string& path, const char* mode, const std::string& text) {
  std::FILE* f = std::fopen(host::system_path(path).c_str(), mode);
  if (f == nullptr) return false;
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

void BatchLog::clear() {
  open_ = false;
  path_.clear();
}

bool BatchLog::create(const std::string& path, const std::string& text) {
  if (!write_text(path, "wb", text)) return false;
  open_ = true;
  path_ = path;
  return true;
}

bool BatchLog::append(const std::string& text) const {
  if (!open_) return true;
  return write_text(path_, "ab", text);
}

std::string batch_log_header(const std::string& user, const std::string& computer,
                             const host::LocalTime& t, const std::string& k3be_path) {
  return "# Log of KVS_Batch_Export\n# user: " + user + "\n# host: " + computer + "\n" +
         format("# date: %d-%02d-%02dT%02d:%02d:%02d\n", t.year, t.month, t.day, t.hour, t.minute,
                t.second) +
         "# k3be: " + k3be_path + "\n\n";
}

std::string batch_log_result(const std::vector<std::string>& warnings, bool success) {
  std::string out;
  for (const std::string& w : warnings) out += w + "\n";
  out += "\n";
  if (success) out += format("Success ( Warning = %d )\n", static_cast<int>(warnings.size()));
  out += "\n";
  return out;
}

}  // namespace kavro
