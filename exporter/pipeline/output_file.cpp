#include "exporter/pipeline/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exporter/pipeline/format.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"
#include "host/cp932.h"
#include "host/files.h"
#include "host/host.h"

namespace kavro {

OutputFile::~OutputFile() {
  discard();
}

bool OutputFile::open(const std::string& path) {
  discard();
  path_ = path;
  buffer_.clear();
  // The file system knows the names in its own encoding.
  std::string folder = host::system_path(folder_of(path));
  std::string base = host::system_path(file_name_of(path));
  if (base.empty()) return false;
  std::string pattern = (folder.empty() ? std::string(".") : folder) + "/." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  // Give the file the permissions an ordinary new file would get.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, static_cast<mode_t>(0666 & ~mask));
  fd_ = fd;
  temp_path_ = name.data();
  return true;
}

void OutputFile::write(const char* text) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\n') buffer_ += '\r';
    buffer_ += *p;
  }
}

void OutputFile::write(const std::string& text) {
  buffer_.reserve(buffer_.size() + text.size() + 16);
  for (char c : text) {
    if (c == '\n') buffer_ += '\r';
    buffer_ += c;
  }
}

void OutputFile::printf(const char* fmt, ...) {
  scratch_.clear();
  va_list args;
  va_start(args, fmt);
  append_format_v(scratch_, fmt, args);
  va_end(args);
  write(scratch_);
}

bool OutputFile::commit() {
  if (fd_ < 0) return false;
  const char* data = buffer_.data();
  std::size_t left = buffer_.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd_, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::close(fd_) != 0) ok = false;
  fd_ = -1;
  if (ok && ::rename(temp_path_.c_str(), host::system_path(path_).c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp_path_.c_str());
  temp_path_.clear();
  return ok;
}

void OutputFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
}

bool open_for_export(ExportScene& scene, OutputFile& file, const std::string& path) {
  bool exists = scene.host_interface != nullptr ? scene.host_interface->file_exists(path)
                                                : host::path_is_file(path);
  bool read_only =
      exists && (scene.host_interface != nullptr ? scene.host_interface->is_read_only(path)
                                                 : host::path_is_read_only(path));
  if (read_only) {
    scene.add_warning("Warning: Can't write to read-only file. " + path);
    return false;
  }
  return file.open(path);
}

}  // namespace kavro
