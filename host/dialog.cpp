#include "host/dialog.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kavro::host {

namespace {

bool blank(char c) {
  return c == ' ' || c == '\t';
}

// The text without the blanks around it.
std::string trimmed(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

template <typename T>
T not_a_number(bool* valid) {
  if (valid != nullptr) *valid = false;
  return T{0};
}

}  // namespace

float read_dialog_float(const std::string& text, bool* valid) {
  std::string t = trimmed(text);
  if (t.empty()) return not_a_number<float>(valid);
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  // strtod also takes "inf", "nan" and hexadecimal forms; an edit box holds
  // decimal numbers only.
  for (char c : t) {
    bool decimal =
        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!decimal) return not_a_number<float>(valid);
  }
  if (*end != '\0' || errno != 0 || !std::isfinite(static_cast<float>(v))) {
    return not_a_number<float>(valid);
  }
  if (valid != nullptr) *valid = true;
  return static_cast<float>(v);
}

int read_dialog_int(const std::string& text, bool* valid) {
  std::string t = trimmed(text);
  std::size_t i = t.size() > 0 && t[0] == '-' ? 1 : 0;
  if (i == t.size()) return not_a_number<int>(valid);
  long long value = 0;
  for (std::size_t j = i; j < t.size(); ++j) {
    if (t[j] < '0' || t[j] > '9') return not_a_number<int>(valid);
    value = value * 10 + (t[j] - '0');
    if (value > 2147483648LL) return not_a_number<int>(valid);
  }
  if (i == 1) value = -value;
  if (value > 2147483647LL) return not_a_number<int>(valid);
  if (valid != nullptr) *valid = true;
  return static_cast<int>(value);
}

}  // namespace kavro::host
