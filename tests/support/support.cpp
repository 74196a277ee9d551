#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace kavro::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kavro-test-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files made by tests must not keep the folder alive.
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ec)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string indexed_tga(int width, int height, int r, int g, int b) {
  // Colour-mapped image, one 24-bit map entry, 8-bit indices, top-left origin.
  std::string bytes = {0, 1, 1, 0, 0, 1, 0, 24, 0, 0, 0, 0};
  for (int side : {width, height}) {
    bytes += static_cast<char>(side & 0xFF);
    bytes += static_cast<char>((side >> 8) & 0xFF);
  }
  bytes += static_cast<char>(8);
  bytes += static_cast<char>(0x20);
  // The map entry is stored blue, green, red.
  bytes += static_cast<char>(b);
  bytes += static_cast<char>(g);
  bytes += static_cast<char>(r);
  bytes.append(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), '\0');
  return bytes;
}

bool file_exists(const std::string& path) {
  return std::filesystem::exists(path);
}

std::string lf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

SceneNode make_node(int id, const std::string& name, int kind, int frames) {
  SceneNode n;
  n.id = id;
  n.name = name;
  n.kind = kind;
  n.scale_frames.assign(static_cast<std::size_t>(frames), Vec3{1, 1, 1});
  n.rotate_frames.assign(static_cast<std::size_t>(frames), Vec3{});
  n.translate_frames.assign(static_cast<std::size_t>(frames), Vec3{});
  n.visibility_frames.assign(static_cast<std::size_t>(frames), 1);
  n.work_flags = kVisibleAtFirstFrame;
  return n;
}

bool xmllint_available() {
  bool found = std::system("xmllint --version >/dev/null 2>&1") == 0;
  if (!found) ADD_FAILURE() << "xmllint is not installed (Debian package libxml2-utils)";
  return found;
}

}  // namespace kavro::test
