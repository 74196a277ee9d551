// Feeds arbitrary bytes to the pre-converted TGA reader through a file with
// the ".tga" extension, and writes the element of every image it accepts.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/texture/preconverted.h"
#include "tests/fuzz/scratch_file.h"

namespace {

const kavro::fuzz::ScratchFile& scratch() {
  static const kavro::fuzz::ScratchFile file(".tga");
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!scratch().write(data, size)) return 0;
  const std::string& path = scratch().path();

  // The texture's size comes from the (otherwise unread) TGA header bytes,
  // 8 to 64 texels a side, so the word counts vary with the input.
  kavro::SceneTexture texture;
  texture.path = path;
  int w = size > 0 ? 8 << (data[0] % 4) : 8;
  int h = size > 1 ? 8 << (data[1] % 4) : 8;
  texture.width = texture.original_width = static_cast<std::uint16_t>(w);
  texture.height = texture.original_height = static_cast<std::uint16_t>(h);
  if (kavro::read_preconverted(texture)) {
    kavro::OutputFile out;  // never opened: the text stays in memory
    kavro::write_preconverted(out, texture, 0);
  }
  return 0;
}
