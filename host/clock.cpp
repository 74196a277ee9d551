#include "host/clock.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace kavro::host {
namespace {

std::optional<std::time_t> source_date_epoch() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr || *text == '\0') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return std::nullopt;
  return static_cast<std::time_t>(value);
}

}  // namespace

std::time_t clock_seconds() {
  if (auto fixed = source_date_epoch()) return *fixed;
  return std::time(nullptr);
}

LocalTime clock_breakdown(std::time_t t) {
  std::tm parts{};
  if (source_date_epoch()) {
    gmtime_r(&t, &parts);
  } else {
    localtime_r(&t, &parts);
  }
  LocalTime out;
  out.year = parts.tm_year + 1900;
  out.month = parts.tm_mon + 1;
  out.day = parts.tm_mday;
  out.hour = parts.tm_hour;
  out.minute = parts.tm_min;
  out.second = parts.tm_sec;
  return out;
}

LocalTime clock_now() {
  return clock_breakdown(clock_seconds());
}

}  // namespace kavro::host
