#include "host/import_precheck.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "host/cp932.h"

namespace kavro::host {
namespace {

std::string lower_extension(const std::string& path) {
  std::size_t dot = path.find_last_of('.');
  std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string too_many(unsigned long long count, const char* what, unsigned long long size) {
  return "the header declares " + std::to_string(count) + " " + what + ", more than a file of " +
         std::to_string(size) + " bytes can hold";
}

}  // namespace

std::string precheck_scene_file(const std::string& path) {
  std::string ext = lower_extension(path);
  std::ifstream in(system_path(path), std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  auto size = static_cast<unsigned long long>(std::max<std::streamoff>(0, in.tellg()));
  in.seekg(0, std::ios::beg);
  std::string head(65536, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  // Assimp falls back on reading the content when no reader takes the file
  // by its extension, so a file of any name that begins like a PLY file is
  // checked as one.
  if (head.rfind("ply", 0) == 0) ext = "ply";
  if (ext != "off" && ext != "ply") return {};
  std::istringstream words(head);
  std::string word;
  if (ext == "off") {
    // "OFF" (or a variant such as "COFF", "NOFF"), then vertex, face and
    // edge counts. Each vertex takes at least three numbers and each face
    // at least four: six and eight bytes of text at the least.
    words >> word;
    if (word.find("OFF") == std::string::npos) return {};
    unsigned long long vertices = 0, faces = 0;
    if (!(words >> vertices >> faces)) return {};
    if (vertices > size / 6 + 1) return too_many(vertices, "vertices", size);
    if (faces > size / 8 + 1) return too_many(faces, "faces", size);
    return {};
  }
  // PLY: Assimp's reader loops for ever on some headers it cannot parse, so
  // the header is checked line by line first: "ply", known formats, element
  // and property lines it can read, up to "end_header". Every element takes
  // at least one byte.
  std::string line;
  std::istringstream lines(head);
  bool first = true;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string keyword;
    fields >> keyword;
    if (first) {
      if (keyword != "ply" || (fields >> word)) return "the file does not begin with \"ply\"";
      first = false;
      continue;
    }
    if (keyword == "end_header") return {};
    if (keyword == "comment" || keyword == "obj_info") continue;
    if (keyword == "format") {
      std::string format, version;
      fields >> format >> version;
      if (format != "ascii" && format != "binary_little_endian" && format != "binary_big_endian") {
        return "the header names an unknown format: " + line;
      }
      continue;
    }
    if (keyword == "element") {
      std::string name;
      unsigned long long count = 0;
      if (!(fields >> name >> count)) return "the header holds a broken element line: " + line;
      if (count > size) return too_many(count, "elements", size);
      continue;
    }
    if (keyword == "property") {
      static const char* const kTypes[] = {
          "char", "uchar", "short", "ushort", "int",   "uint",   "float",   "double",
          "int8", "uint8", "int16", "uint16", "int32", "uint32", "float32", "float64"};
      auto known = [](const std::string& t) {
        for (const char* k : kTypes) {
          if (t == k) return true;
        }
        return false;
      };
      std::string type, name;
      fields >> type;
      bool ok = false;
      if (type == "list") {
        std::string count_type, item_type;
        ok = (fields >> count_type >> item_type >> name) && known(count_type) && known(item_type);
      } else {
        ok = known(type) && (fields >> name);
      }
      if (!ok) return "the header holds a broken property line: " + line;
      continue;
    }
    // Other lines (some exporters write a free text line) are skipped, as
    // the reader skips them.
  }
  return "the header has no end_header line";
}

}  // namespace kavro::host
