// Conversion of UTF-8 text (scene documents) to the host code page, CP932
// (Shift_JIS with the Windows extensions), in which every name and path of
// the exporter is a byte string.
#pragma once

#include <cstddef>
#include <string>

namespace kavro::host {

struct Cp932Result {
  bool ok = false;
  std::string text;   // the converted bytes when ok
  std::string error;  // otherwise what went wrong, naming the character
};

// A byte from 0x81 to 0x9F or from 0xE0 to 0xEF starts a two-byte character;
// its second byte is never a character of its own (it may look like "\\" or
// a letter).
inline bool is_cp932_lead_byte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}

// Position of the last "\\" or "/" of a host code page path that is a
// separator, or npos.
std::size_t cp932_last_separator(const std::string& path);

// Converts UTF-8 to CP932. Plain ASCII is taken as it is. A byte sequence
// that is not UTF-8, or a character CP932 cannot hold, is an error.
Cp932Result utf8_to_cp932(const std::string& utf8);

// Converts CP932 back to UTF-8, the encoding of this system's file names and
// terminal. Plain ASCII is taken as it is; bytes that are not CP932 are kept
// unchanged, so the result is never lost text.
std::string cp932_to_utf8(const std::string& cp932);

// The name under which the file system knows a path held in the host code
// page: every file access of the exporter goes through it.
inline std::string system_path(const std::string& host_path) {
  return cp932_to_utf8(host_path);
}

}  // namespace kavro::host
