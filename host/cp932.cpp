#include "host/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace kavro::host {
namespace {

// Decodes the UTF-8 character at text[i]; returns its length (0 when the
// bytes are not a valid UTF-8 character) and the code point.
std::size_t decode_utf8(const std::string& text, std::size_t i, unsigned& code) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = byte(i);
  std::size_t len;
  if (c < 0x80) {
    code = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2;
    code = c & 0x1Fu;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    code = c & 0x0Fu;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    code = c & 0x07u;
  } else {
    return 0;
  }
  if (i + len > text.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3Fu);
  }
  static const unsigned kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kMin[len] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return len;
}

std::string describe(unsigned code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", code);
  return buf;
}

}  // namespace

std::size_t cp932_last_separator(const std::string& path) {
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (is_cp932_lead_byte(c)) {
      ++i;
    } else if (c == '\\' || c == '/') {
      found = i;
    }
  }
  return found;
}

Cp932Result utf8_to_cp932(const std::string& utf8) {
  Cp932Result r;
  bool ascii = true;
  for (char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    r.ok = true;
    r.text = utf8;
    return r;
  }
  iconv_t cd = ::iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    r.error = "the system cannot convert text to the host code page (CP932)";
    return r;
  }
  // Character by character, so that the one that fails can be named.
  std::size_t i = 0;
  while (i < utf8.size()) {
    unsigned code = 0;
    std::size_t len = decode_utf8(utf8, i, code);
    if (len == 0) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "the text is not valid UTF-8 (byte %zu)", i);
      r.error = buf;
      ::iconv_close(cd);
      return r;
    }
    if (len == 1) {
      r.text += utf8[i];
      i += 1;
      continue;
    }
    std::string in = utf8.substr(i, len);
    char out[8];
    char* inp = in.data();
    std::size_t inleft = in.size();
    char* outp = out;
    std::size_t outleft = sizeof out;
    std::size_t n = ::iconv(cd, &inp, &inleft, &outp, &outleft);
    if (n == static_cast<std::size_t>(-1) || inleft != 0 || n != 0) {
      // A reversible conversion returns 0; anything else was substituted.
      r.error = "the character " + describe(code) + " (\"" + in +
                "\") cannot be written in the host code page (CP932)";
      ::iconv_close(cd);
      return r;
    }
    r.text.append(out, static_cast<std::size_t>(outp - out));
    i += len;
  }
  ::iconv_close(cd);
  r.ok = true;
  return r;
}

std::string cp932_to_utf8(const std::string& cp932) {
  bool ascii = true;
  for (char c : cp932) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return cp932;
  iconv_t cd = ::iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return cp932;
  std::string in = cp932;
  std::string out(in.size() * 3 + 4, '\0');
  char* inp = in.data();
  std::size_t inleft = in.size();
  char* outp = out.data();
  std::size_t outleft = out.size();
  std::size_t n = ::iconv(cd, &inp, &inleft, &outp, &outleft);
  ::iconv_close(cd);
  if (n == static_cast<std::size_t>(-1) || inleft != 0) return cp932;
  out.resize(out.size() - outleft);
  return out;
}

}  // namespace kavro::host
