// The one printf-style formatter of the exporter: messages, scene warnings
// and every line of the written files go through it, so all of them format
// numbers the same way, in the "C" locale conventions (the program never
// changes its locale).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace kavro {

// Appends the formatted text to `out`.
void append_format_v(std::string& out, const char* fmt, va_list args);
void append_format(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The same for the plain forms the files are written with (%d %i %u %x %f
// %s %% with at most a precision), telling as well whether a number given to
// %f was not finite; false, with nothing appended, for any other format.
bool append_plain_format_v(std::string& out, const char* fmt, va_list args, bool& non_finite);

// The pieces of those forms on their own, for writers that build a line
// without a format string: "%d" and "%u" of an integer, and "%.Nf" of a
// number (N at most 60; infinities and NaNs as the C library writes them).
void append_int(std::string& out, int value);
void append_unsigned(std::string& out, unsigned value);
void append_fixed(std::string& out, double value, int precision = 6);
// "%.Nf" written at `out` for N up to 6 and a value below 2^43 in size (the
// numbers the files hold), taking at most kShortFixedRoom bytes; the end of
// the text, or nullptr (nothing written) for any other value or precision.
constexpr std::size_t kShortFixedRoom = 24;
char* put_short_fixed(char* out, double value, int precision);

// The formatted text as a string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kavro
