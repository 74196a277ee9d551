// Feeds arbitrary bytes to the colour-mapped TGA reader, from memory and
// through a file with the "tga" extension.
#include "exporter/texture/colormap_tga.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fuzz/scratch_file.h"

namespace {

const kavro::fuzz::ScratchFile& scratch() {
  static const kavro::fuzz::ScratchFile file(".tga");
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kavro::SourceImage image;
  kavro::decode_colormap_tga_bytes(data, size, image);

  if (!scratch().write(data, size)) return 0;
  const std::string& path = scratch().path();
  int w = 0, h = 0;
  kavro::colormap_tga_size(path, w, h);
  kavro::SceneTexture texture;
  texture.width = 16;
  texture.height = 16;
  kavro::read_colormap_tga(path, texture);
  return 0;
}
