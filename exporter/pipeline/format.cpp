#include "exporter/pipeline/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kavro {
namespace {

// One conversion of the formats the exporter writes with.
struct Directive {
  char conversion = 0;  // 'd', 'i', 'u', 'x', 'f', 's', '%'
  int precision = -1;   // -1: none given
};

// Reads the conversion at fmt (just after '%'); false for anything outside
// the plain forms handled here (flags, widths, length modifiers, other
// conversions), which the C library then formats.
bool read_directive(const char*& fmt, Directive& directive) {
  directive = Directive{};
  if (*fmt == '.') {
    ++fmt;
    if (*fmt < '0' || *fmt > '9') return false;
    directive.precision = 0;
    while (*fmt >= '0' && *fmt <= '9') {
      directive.precision = directive.precision * 10 + (*fmt - '0');
      if (directive.precision > 60) return false;
      ++fmt;
    }
  }
  const char c = *fmt;
  if (c == '%' && directive.precision < 0) {
    directive.conversion = c;
  } else if (c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'f') {
    directive.conversion = c;
  } else if (c == 's' && directive.precision < 0) {
    directive.conversion = c;
  } else {
    return false;
  }
  ++fmt;
  return true;
}

// The decimal digits of q / 10^P with P digits after the point; the
// fraction's digits go two at a time.
template <int P>
char* put_scaled(char* p, std::uint64_t q) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  std::uint64_t scale = 1;
  for (int i = 0; i < P; ++i) scale *= 10;
  const std::uint64_t whole = q / scale;
  auto fraction = static_cast<std::uint32_t>(q % scale);
  if (whole < 10) {
    *p++ = static_cast<char>('0' + whole);
  } else {
    p = std::to_chars(p, p + 20, whole).ptr;
  }
  if constexpr (P > 0) {
    *p++ = '.';
    char* digit = p + P;
    for (int i = P; i >= 2; i -= 2) {
      digit -= 2;
      std::memcpy(digit, kPairs + 2 * (fraction % 100), 2);
      fraction /= 100;
    }
    if constexpr (P % 2 == 1) *--digit = static_cast<char>('0' + fraction);
    p += P;
  }
  return p;
}

}  // namespace

// "%.Nf" for N up to 6 of a value below 2^43 in size, the numbers the files
// hold. The value is m * 2^e exactly (m below 2^53), so value * 10^N is
// m * 5^N * 2^(e+N): an integer of at most 67 bits shifted right. The bits
// shifted out round it to the nearest integer, a tie to the even one, as
// the C library rounds the exact value; that integer's digits with the
// point N places from the right are the text. Returns the end of the text,
// or nullptr for a value or precision outside that range.
char* put_short_fixed(char* out, double value, int precision) {
  static constexpr std::uint64_t kPow5[] = {1, 5, 25, 125, 625, 3125, 15625};
  if (precision < 0 || precision > 6) return nullptr;
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int field = static_cast<int>((bits >> 52) & 0x7ff);
  if (field >= 1023 + 43) return nullptr;  // 2^43 and above, infinities and NaNs
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int e = -1074;  // subnormal
  if (field != 0) {
    m |= std::uint64_t{1} << 52;
    e = field - 1075;
  }
  __extension__ typedef unsigned __int128 u128;
  const u128 n = static_cast<u128>(m) * kPow5[precision];
  // e is at most -10 here, so the shift is at least 4.
  const int shift = -(e + precision);
  std::uint64_t q = 0;
  if (shift < 68) {  // n is below 2^67: a longer shift leaves less than a half
    // Adding just under a half, and one more when the quotient is odd,
    // carries exactly when the rest is above a half or is a half with an
    // odd quotient: round to nearest, ties to even.
    const u128 odd = (n >> shift) & 1;
    q = static_cast<std::uint64_t>((n + (u128{1} << (shift - 1)) - 1 + odd) >> shift);
  }
  char* p = out;
  if ((bits >> 63) != 0) *p++ = '-';  // "-0.000000" too, as the C library writes
  switch (precision) {
    case 0:
      return put_scaled<0>(p, q);
    case 1:
      return put_scaled<1>(p, q);
    case 2:
      return put_scaled<2>(p, q);
    case 3:
      return put_scaled<3>(p, q);
    case 4:
      return put_scaled<4>(p, q);
    case 5:
      return put_scaled<5>(p, q);
    default:
      return put_scaled<6>(p, q);
  }
}

namespace {

// Digits of an integer with at least `precision` of them, as "%.Nd" gives.
template <typename T>
void append_integer(std::string& out, T value, int base, int precision) {
  char digits[32];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, base);
  const char* start = digits;
  if (value < 0) {
    out += '-';
    ++start;
  }
  const int count = static_cast<int>(end - start);
  if (precision == 0 && count == 1 && *start == '0') return;  // "%.0d" of 0 prints nothing
  if (precision > count) out.append(static_cast<std::size_t>(precision - count), '0');
  out.append(start, static_cast<std::size_t>(end - start));
}

}  // namespace

// "%.Nf": the exact binary value correctly rounded to N decimals, as the C
// library prints it. Small values take the integer path above; others go to
// to_chars with a precision, which is specified to give the bytes of printf
// in the "C" locale. Infinities and NaNs go to the C library.
void append_fixed(std::string& out, double value, int precision) {
  char buf[400];  // the largest double has 309 digits before the point
  if (const char* end = put_short_fixed(buf, value, precision)) {
    out.append(buf, static_cast<std::size_t>(end - buf));
    return;
  }
  if (!std::isfinite(value)) {
    int n = std::snprintf(buf, sizeof buf, "%.*f", precision, value);
    if (n > 0) out.append(buf, std::min(static_cast<std::size_t>(n), sizeof buf - 1));
    return;
  }
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
  if (ec == std::errc{}) {
    out.append(buf, static_cast<std::size_t>(end - buf));
  } else {
    int n = std::snprintf(buf, sizeof buf, "%.*f", precision, value);
    if (n > 0) out.append(buf, std::min(static_cast<std::size_t>(n), sizeof buf - 1));
  }
}

void append_int(std::string& out, int value) {
  char buf[16];
  out.append(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf));
}

void append_unsigned(std::string& out, unsigned value) {
  char buf[16];
  out.append(buf, static_cast<std::size_t>(std::to_chars(buf, buf + sizeof buf, value).ptr - buf));
}

namespace {

// Formats the plain forms; at the first other one, takes back what it
// appended and returns false.
bool append_plain(std::string& out, const char* fmt, va_list args, bool& non_finite) {
  const std::size_t start = out.size();
  const char* text = fmt;
  Directive directive;
  while (*text != '\0') {
    const char* percent = std::strchr(text, '%');
    if (percent == nullptr) {
      out.append(text);
      return true;
    }
    out.append(text, static_cast<std::size_t>(percent - text));
    text = percent + 1;
    if (!read_directive(text, directive)) {
      out.resize(start);
      return false;
    }
    switch (directive.conversion) {
      case '%':
        out += '%';
        break;
      case 'd':
      case 'i':
        append_integer(out, va_arg(args, int), 10, directive.precision);
        break;
      case 'u':
        append_integer(out, va_arg(args, unsigned), 10, directive.precision);
        break;
      case 'x':
        append_integer(out, va_arg(args, unsigned), 16, directive.precision);
        break;
      case 'f': {
        const double value = va_arg(args, double);
        if (!std::isfinite(value)) non_finite = true;
        append_fixed(out, value, directive.precision < 0 ? 6 : directive.precision);
        break;
      }
      case 's': {
        const char* s = va_arg(args, const char*);
        out.append(s != nullptr ? s : "(null)");
        break;
      }
      default:
        break;
    }
  }
  return true;
}

}  // namespace

void append_format_v(std::string& out, const char* fmt, va_list args) {
  // The forms the files are written with are formatted here, numbers with
  // std::to_chars (same bytes, a fraction of the C library's cost); any
  // other form goes to the C library.
  {
    va_list copy;
    va_copy(copy, args);
    bool non_finite = false;
    const bool plain = append_plain(out, fmt, copy, non_finite);
    va_end(copy);
    if (plain) return;
  }
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

bool append_plain_format_v(std::string& out, const char* fmt, va_list args, bool& non_finite) {
  va_list copy;
  va_copy(copy, args);
  const bool plain = append_plain(out, fmt, copy, non_finite);
  va_end(copy);
  return plain;
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
