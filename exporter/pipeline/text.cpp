#include "exporter/pipeline/text.h"

#include "host/cp932.h"

namespace kavro {

bool is_lead_byte(unsigned char c) {
  return host::is_cp932_lead_byte(c);
}

std::string sanitize_name(const std::string& name) {
  std::string out = name;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    bool keep =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (keep) continue;
    out[i] = '_';
    // A two-byte character becomes two "_": its second byte, which may look
    // like a letter, is never kept on its own.
    if (is_lead_byte(c) && i + 1 < out.size()) out[++i] = '_';
  }
  return out;
}

std::string slash_form(const std::string& path) {
  std::string out = path;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (is_lead_byte(c)) {
      ++i;  // the second byte is copied as it is
    } else if (c == '\\') {
      out[i] = '/';
    }
  }
  return out;
}

std::size_t last_separator(const std::string& path) {
  return host::cp932_last_separator(path);
}

std::string file_name_of(const std::string& path) {
  std::size_t sep = last_separator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string folder_of(const std::string& path) {
  std::size_t sep = last_separator(path);
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string drop_last_four(const std::string& name) {
  // Where each character starts, so that a two-byte character counts once.
  std::size_t starts[4] = {};
  std::size_t count = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    starts[count % 4] = i;
    ++count;
    if (is_lead_byte(static_cast<unsigned char>(name[i]))) ++i;
  }
  // The fourth character from the end starts at the oldest kept start.
  return count <= 4 ? std::string() : name.substr(0, starts[count % 4]);
}

std::string image_name(const std::string& path) {
  return sanitize_name(drop_last_four(file_name_of(path)));
}

std::string xml_escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace kavro
