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
  if (ext != "off" && ext != "ply") return {};
  std::ifstream in(system_path(path), std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  auto size = static_cast<unsigned long long>(std::max<std::streamoff>(0, in.tellg()));
  in.seekg(0, std::ios::beg);
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
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
  // PLY: "element NAME COUNT" lines up to "end_header"; every element takes
  // at least one byte.
  std::string line;
  std::istringstream lines(head);
  while (std::getline(lines, line)) {
    if (line.rfind("end_header", 0) == 0) break;
    std::istringstream fields(line);
    std::string keyword, name;
    unsigned long long count = 0;
    if (fields >> keyword >> name >> count && keyword == "element" && count > size) {
      return too_many(count, "elements", size);
    }
  }
  return {};
}

}  // namespace kavro::host
