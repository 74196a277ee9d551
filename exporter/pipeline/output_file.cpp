#include "exporter/pipeline/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "exporter/pipeline/format.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"
#include "host/cp932.h"
#include "host/files.h"
#include "host/host.h"

namespace kavro {

namespace {

// The longest file name the file systems we write to accept.
constexpr std::size_t kNameMax = 255;

// Walks the arguments of a printf call as the format converts them and tells
// whether a floating-point one is not finite. `args` is consumed.
bool has_non_finite_argument(const char* fmt, va_list args) {
  auto digits = [](const char*& p) {
    while (*p >= '0' && *p <= '9') ++p;
  };
  for (const char* p = fmt; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0'", *p) != nullptr) ++p;
    if (*p == '*') {
      (void)va_arg(args, int);
      ++p;
    } else {
      digits(p);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        (void)va_arg(args, int);
        ++p;
      } else {
        digits(p);
      }
    }
    enum { kPlain, kLong, kLongLong, kSize, kDiff, kMax, kLongDouble } length = kPlain;
    switch (*p) {
      case 'h':
        while (*p == 'h') ++p;
        break;
      case 'l':
        length = p[1] == 'l' ? kLongLong : kLong;
        p += length == kLongLong ? 2 : 1;
        break;
      case 'z':
        length = kSize;
        ++p;
        break;
      case 't':
        length = kDiff;
        ++p;
        break;
      case 'j':
        length = kMax;
        ++p;
        break;
      case 'L':
        length = kLongDouble;
        ++p;
        break;
      default:
        break;
    }
    switch (*p) {
      case '\0':
        return false;
      case 'd':
      case 'i':
      case 'o':
      case 'u':
      case 'x':
      case 'X':
      case 'c':
        switch (length) {
          case kLong:
            (void)va_arg(args, long);
            break;
          case kLongLong:
            (void)va_arg(args, long long);
            break;
          case kSize:
            (void)va_arg(args, std::size_t);
            break;
          case kDiff:
            (void)va_arg(args, std::ptrdiff_t);
            break;
          case kMax:
            (void)va_arg(args, std::intmax_t);
            break;
          default:
            (void)va_arg(args, int);
            break;
        }
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (length == kLongDouble) {
          if (!std::isfinite(va_arg(args, long double))) return true;
        } else if (!std::isfinite(va_arg(args, double))) {
          return true;
        }
        break;
      default:  // s, p, n: a pointer
        (void)va_arg(args, void*);
        break;
    }
  }
  return false;
}

}  // namespace

OutputFile::~OutputFile() {
  discard();
}

bool OutputFile::open(const std::string& path) {
  discard();
  path_ = path;
  buffer_.clear();
  error_.clear();
  non_finite_ = false;
  write_failed_ = false;
  // The file system knows the names in its own encoding.
  std::string folder = host::system_path(folder_of(path));
  std::string base = host::system_path(file_name_of(path));
  if (base.empty()) {
    error_ = "the path names no file";
    return false;
  }
  // The temporary file is named after the target; a name too long for that
  // takes a short one, so that every name the file system holds can be written.
  std::string temp = "." + base + ".XXXXXX";
  if (temp.size() > kNameMax) temp = ".kavro.XXXXXX";
  std::string pattern = (folder.empty() ? std::string(".") : folder) + "/" + temp;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  // Give the file the permissions an ordinary new file would get.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, static_cast<mode_t>(0666 & ~mask));
  fd_ = fd;
  temp_path_ = name.data();
  buffer_.reserve(kSpillRoom);
  return true;
}

void OutputFile::write(const std::string& text) {
  write(std::string_view(text));
}

void OutputFile::write(std::string_view text) {
  append_text(text.data(), text.size());
  spill();
}

void OutputFile::append_lines(const char* text, std::size_t size) {
  // Whole lines at a time, "\r" put before each "\n".
  std::string_view rest(text, size);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
      buffer_.append(rest);
      break;
    }
    buffer_.append(rest.substr(0, end));
    buffer_ += "\r\n";
    rest.remove_prefix(end + 1);
  }
}

void OutputFile::write_bytes(const void* data, std::size_t size) {
  buffer_.append(static_cast<const char*>(data), size);
  spill();
}

void OutputFile::spill_now() {
  if (fd_ >= 0 && !write_failed_) write_buffer();
}

OutputFile::Line& OutputFile::Line::operator<<(XmlEscaped piece) {
  // The longest a byte becomes is "&quot;"; a line end is written CR LF.
  for (char c : piece.text) {
    if (c == '\0') break;
    make_room(6);
    switch (c) {
      case '&':
        put("&amp;", 5);
        break;
      case '<':
        put("&lt;", 4);
        break;
      case '>':
        put("&gt;", 4);
        break;
      case '"':
        put("&quot;", 6);
        break;
      case '\n':
        put("\r\n", 2);
        break;
      default:
        text_[used_++] = c;
    }
  }
  return *this;
}

void OutputFile::Line::put_c_string(const char* text) {
  // Names and keywords are short: one pass copies them and looks for line
  // ends at once.
  char* to = end();
  char* const limit = text_ + kRoom;
  for (; *text != '\0'; ++text) {
    if (*text == '\n' || to == limit) {
      used_ = static_cast<std::size_t>(to - text_);
      flush();
      file_.append_text(text, std::strlen(text));
      return;
    }
    *to++ = *text;
  }
  used_ = static_cast<std::size_t>(to - text_);
}

bool OutputFile::write_buffer() {
  const char* data = buffer_.data();
  std::size_t left = buffer_.size();
  while (left > 0) {
    ssize_t n = ::write(fd_, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = std::strerror(errno);
      write_failed_ = true;
      return false;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  buffer_.clear();
  return true;
}

void OutputFile::printf(const char* fmt, ...) {
  const std::size_t start = buffer_.size();
  va_list args;
  va_start(args, fmt);
  // The plain forms the files use are formatted and checked in one pass,
  // straight into the buffer.
  bool non_finite = false;
  if (!append_plain_format_v(buffer_, fmt, args, non_finite)) {
    va_list check;
    va_copy(check, args);
    non_finite = has_non_finite_argument(fmt, check);
    va_end(check);
    append_format_v(buffer_, fmt, args);
  }
  va_end(args);
  if (non_finite) non_finite_ = true;
  // "\n" becomes CR LF. A line of a file has its one line end last; other
  // text moves up by one place per line end, from its end backwards.
  const void* line_end = std::memchr(buffer_.data() + start, '\n', buffer_.size() - start);
  if (line_end != nullptr) {
    const std::size_t first =
        static_cast<std::size_t>(static_cast<const char*>(line_end) - buffer_.data());
    if (first + 1 == buffer_.size()) {
      buffer_.insert(first, 1, '\r');
    } else {
      const auto lines = static_cast<std::size_t>(
          std::count(buffer_.begin() + static_cast<std::ptrdiff_t>(first), buffer_.end(), '\n'));
      std::size_t from = buffer_.size();
      buffer_.resize(from + lines);
      std::size_t to = buffer_.size();
      while (from > first) {
        const char c = buffer_[--from];
        buffer_[--to] = c;
        if (c == '\n') buffer_[--to] = '\r';
      }
    }
  }
  spill();
}

bool OutputFile::commit() {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "the file is not open";
    return false;
  }
  if (non_finite_) {
    error_ = "a number to be written is not finite";
    discard();
    return false;
  }
  // A write that failed before keeps its reason.
  bool ok = !write_failed_ && write_buffer();
  if (::close(fd_) != 0 && ok) {
    error_ = std::strerror(errno);
    ok = false;
  }
  fd_ = -1;
  if (ok && ::rename(temp_path_.c_str(), host::system_path(path_).c_str()) != 0) {
    error_ = std::strerror(errno);
    ok = false;
  }
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

namespace {

bool report_write_failure(const ExportLog& log, const std::string& path,
                          const std::string& reason) {
  if (log.host_interface == nullptr) return false;
  std::string text = "Can't write file " + path + ": " + reason;
  if (!log.written_files.empty()) {
    text += "; already written: ";
    for (std::size_t i = 0; i < log.written_files.size(); ++i) {
      if (i > 0) text += ", ";
      text += log.written_files[i];
    }
  }
  show_error(*log.host_interface, text, "Export Error");
  return false;
}

}  // namespace

bool open_for_export(ExportLog& log, OutputFile& file, const std::string& path) {
  bool exists = log.host_interface != nullptr ? log.host_interface->file_exists(path)
                                              : host::path_is_file(path);
  bool read_only = exists && (log.host_interface != nullptr ? log.host_interface->is_read_only(path)
                                                            : host::path_is_read_only(path));
  if (read_only) {
    log.add_warning("Warning: Can't write to read-only file. " + path);
    return report_write_failure(log, path, "the file is read-only");
  }
  if (!file.open(path)) return report_write_failure(log, path, file.error());
  return true;
}

bool commit_export(ExportLog& log, OutputFile& file) {
  if (!file.commit()) return report_write_failure(log, file.path(), file.error());
  return true;
}

}  // namespace kavro
