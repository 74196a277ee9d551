#include "exporter/pipeline/messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace kavro {

void show_message(host::Host& host, const std::string& text, const std::string& caption,
                  host::MessageIcon icon) {
  if (host.batch_running()) {
    host.batch_log_error(text);
    return;
  }
  host.message_box(text, caption, icon);
}

void show_error(host::Host& host, const std::string& text, const std::string& caption) {
  show_message(host, text, caption, host::MessageIcon::kError);
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

}  // namespace kavro
