#include "exporter/pipeline/format.h"

#include <cstdio>

namespace kavro {

void append_format_v(std::string& out, const char* fmt, va_list args) {
  // Most pieces are short: format them on the stack, and only a longer one
  // a second time straight into the string.
  char small[256];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n <= 0) return;
  std::size_t length = static_cast<std::size_t>(n);
  if (length < sizeof small) {
    out.append(small, length);
    return;
  }
  std::size_t start = out.size();
  out.resize(start + length + 1);
  std::vsnprintf(out.data() + start, length + 1, fmt, args);
  out.resize(start + length);
}

void append_format(std::string& out, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  append_format_v(out, fmt, args);
  va_end(args);
}

std::string format(const char* fmt, ...) {
  std::string out;
  va_list args;
  va_start(args, fmt);
  append_format_v(out, fmt, args);
  va_end(args);
  return out;
}

}  // namespace kavro
