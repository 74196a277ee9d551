// Feeds arbitrary bytes to the colour-mapped TGA reader, from memory and
// through a file with the "tga" extension.
#include "exporter/texture/colormap_tga.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// One scratch file per process, removed when the process ends.
struct ScratchFile {
  std::string path;
  ScratchFile() {
    char name[] = "/tmp/kavro-fuzz-XXXXXX.tga";
    int fd = ::mkstemps(name, 4);
    if (fd < 0) std::abort();
    ::close(fd);
    path = name;
  }
  ~ScratchFile() { ::unlink(path.c_str()); }
};

const std::string& temp_path() {
  static ScratchFile file;
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kavro::SourceImage image;
  kavro::decode_colormap_tga_bytes(data, size, image);

  const std::string& path = temp_path();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  int w = 0, h = 0;
  kavro::colormap_tga_size(path, w, h);
  kavro::SceneTexture texture;
  texture.width = 16;
  texture.height = 16;
  kavro::read_colormap_tga(path, texture);
  return 0;
}
