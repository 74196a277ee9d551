#include "host/bitmap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/cp932.h"
#include "host/file_journal.h"

// stb_image decodes the files; only the formats the host is expected to read
// are compiled in, and sides above the limit are refused inside the decoder
// as well (before it allocates).
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_ONLY_GIF
#define STBI_ONLY_PSD
#define STBI_MAX_DIMENSIONS 16384
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#pragma GCC diagnostic ignored "-Wpedantic"
#include <stb_image.h>
#pragma GCC diagnostic pop

static_assert(STBI_MAX_DIMENSIONS == kavro::host::kMaxBitmapSide);

namespace kavro::host {

namespace {

// A FILE that closes itself.
struct File {
  std::FILE* f = nullptr;
  explicit File(const std::string& path) : f(std::fopen(system_path(path).c_str(), "rb")) {
    if (f != nullptr) note_file_read(path);
  }
  ~File() {
    if (f != nullptr) std::fclose(f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
};

std::string reason() {
  const char* r = stbi_failure_reason();
  return r != nullptr ? r : "unknown image format";
}

// Reads the size from the header and checks it against the limits.
bool header_size(std::FILE* f, int& width, int& height, std::string& error) {
  int w = 0, h = 0, channels = 0;
  if (stbi_info_from_file(f, &w, &h, &channels) == 0) {
    error = reason();
    return false;
  }
  if (w <= 0 || h <= 0) {
    error = "empty image";
    return false;
  }
  if (w > kMaxBitmapSide || h > kMaxBitmapSide) {
    error = "image too large";
    return false;
  }
  width = w;
  height = h;
  return true;
}

// True for a file the decoder reads as a TGA whose rows are stored right to
// left (image descriptor bit 4). The decoder takes a file for a TGA only when
// its colour map type (byte 1) is 0 or 1, which no other format it reads has
// in its signature ("\x89P", "BM", "GI", "8B", "\xFF\xD8"); it places the rows
// by bit 5 itself but ignores bit 4.
bool tga_right_to_left(std::FILE* f) {
  unsigned char header[18];
  const long start = std::ftell(f);
  const bool whole = std::fread(header, 1, sizeof header, f) == sizeof header;
  std::fseek(f, start, SEEK_SET);
  return whole && header[1] <= 1 && (header[17] & 0x10) != 0;
}

// Mirrors every row of a decoded RGBA image.
void mirror_rows(RgbaImage& image) {
  const std::size_t w = static_cast<std::size_t>(image.width);
  for (std::size_t y = 0; y < static_cast<std::size_t>(image.height); ++y) {
    std::uint8_t* row = image.pixels.data() + y * w * 4;
    for (std::size_t l = 0, r = w - 1; l < r; ++l, --r) {
      std::swap_ranges(row + l * 4, row + l * 4 + 4, row + r * 4);
    }
  }
}

}  // namespace

bool bitmap_info(const std::string& path, int& width, int& height, std::string& error) {
  File file(path);
  if (file.f == nullptr) {
    error = "cannot open file";
    return false;
  }
  return header_size(file.f, width, height, error);
}

bool load_bitmap(const std::string& path, RgbaImage& image, std::string& error) {
  image = RgbaImage{};
  File file(path);
  if (file.f == nullptr) {
    error = "cannot open file";
    return false;
  }
  int w = 0, h = 0;
  if (!header_size(file.f, w, h, error)) return false;
  const bool right_to_left = tga_right_to_left(file.f);
  int channels = 0;
  stbi_uc* data = stbi_load_from_file(file.f, &w, &h, &channels, 4);
  if (data == nullptr) {
    error = reason();
    return false;
  }
  if (w <= 0 || h <= 0 || w > kMaxBitmapSide || h > kMaxBitmapSide) {
    stbi_image_free(data);
    error = "image size out of range";
    return false;
  }
  std::size_t bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
  image.width = w;
  image.height = h;
  image.pixels.assign(data, data + bytes);
  stbi_image_free(data);
  // TGA pixels are placed by all four origins, as the colour-mapped reader
  // places them.
  if (right_to_left) mirror_rows(image);
  return true;
}

}  // namespace kavro::host
