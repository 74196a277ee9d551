// The host's bitmap loading: PNG, BMP, JPEG, true-colour and run-length TGA,
// GIF (first frame) and PSD files, decoded to 8-bit RGBA, top row first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavro::host {

// Images larger than this on either side are refused before any pixel
// memory is allocated.
constexpr int kMaxBitmapSide = 16384;

struct RgbaImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // width * height * 4 bytes: red, green, blue, alpha
};

// The size of an image file without decoding its pixels. False (with a reason
// in `error`) when the file cannot be opened, is not an image of a known
// format, is empty or is too large.
bool bitmap_info(const std::string& path, int& width, int& height, std::string& error);

// Decodes an image file. TGA pixels are placed by the image's origin (bottom
// or top, left or right), as the colour-mapped TGA reader places them. On
// failure `image` is left empty and `error` says why.
bool load_bitmap(const std::string& path, RgbaImage& image, std::string& error);

}  // namespace kavro::host
