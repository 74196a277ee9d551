#include "exporter/pipeline/text.h"

namespace kavro {

bool is_lead_byte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}

std::string sanitize_name(const std::string& name) {
  std::string out = name;
  for (char& ch : out) {
    unsigned char c = static_cast<unsigned char>(ch);
    bool keep =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!keep) ch = '_';
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
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (is_lead_byte(c)) {
      ++i;
    } else if (c == '\\' || c == '/') {
      found = i;
    }
  }
  return found;
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
  return name.size() <= 4 ? std::string() : name.substr(0, name.size() - 4);
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
