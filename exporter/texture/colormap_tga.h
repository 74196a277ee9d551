// The colour-mapped TGA reader: fills a texture's source texels straight from
// the colour map of a TGA file, entry by entry, so that palette images reach
// the converter with their exact colours. It declines (answers false, shows
// nothing) every file it cannot read. A file of a kind it does not read is
// left to the host's bitmap loading; a file whose header says colour-mapped
// (image type 1 or 4 with a colour map) but which cannot hold what the header
// describes is damaged, and the reader says how, so that the caller refuses
// it rather than have another reader make something of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {

// A decoded source image: width * height texels, top row first, each row
// left to right. The texels' index field is left 0.
struct SourceImage {
  int width = 0, height = 0;
  std::vector<SourceTexel> texels;
};

// The reader refuses images larger than this on either side.
constexpr int kMaxColormapTgaSide = 16384;

// True when the text after the last "." of the file name is exactly "tga".
bool has_tga_extension(const std::string& path);

// Where a function below takes `damage`: on false it is set to what is
// damaged in a file whose header says colour-mapped ("the colour map has no
// entries"), and emptied for a file the reader merely does not read.

// The size of a file the reader would take by its header and file size alone
// (the colour map indices themselves are checked only when decoding).
bool colormap_tga_size(const std::string& path, int& width, int& height,
                       std::string* damage = nullptr);

// Decodes a whole file. On false `image` is left empty.
bool decode_colormap_tga(const std::string& path, SourceImage& image,
                         std::string* damage = nullptr);
// Decodes a file image held in memory (the same rules, without the
// extension check).
bool decode_colormap_tga_bytes(const std::uint8_t* data, std::size_t size, SourceImage& image,
                               std::string* damage = nullptr);

// Copies `image` into `texture.texels` laid out at the texture's width and
// height (row stride `width`), with zero texels right of and below the image.
// A texture whose size is not yet set (smaller than the image) takes the
// image's size as its original and converted size.
void place_source_image(const SourceImage& image, SceneTexture& texture);
// The same, reusing the image's buffer.
void place_source_image(SourceImage&& image, SceneTexture& texture);

// Reads a colour-mapped TGA into `texture`: on true its source texel array
// has been replaced by one built from the file (see place_source_image).
bool read_colormap_tga(const std::string& path, SceneTexture& texture);

}  // namespace kavro
