// Helpers shared by the tests: temporary folders, file reading, and small
// scene models built in code.
#pragma once

#include <string>

#include "exporter/pipeline/scene.h"

namespace kavro::test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);
bool file_exists(const std::string& path);
// Every CR LF becomes LF.
std::string lf(const std::string& text);
// Every LF becomes CR LF (for expected texts written with "\n").
std::string crlf(const std::string& text);

// A colour-mapped TGA file (8-bit indices, 24-bit map, top-left origin) of
// the given size whose texels are all entry 0, the colour (r, g, b).
std::string indexed_tga(int width, int height, int r = 255, int g = 0, int b = 0);

// Whether xmllint (Debian libxml2-utils) can be run. When it cannot, the
// calling test fails: a well-formedness check that is skipped passes silently.
bool xmllint_available();

// A node with one frame of identity samples, visible.
SceneNode make_node(int id, const std::string& name, int kind = kNodeMesh, int frames = 1);

}  // namespace kavro::test
