#include "exporter/texture/colormap_tga.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"
#include "host/cp932.h"
#include "host/file_journal.h"

namespace kavro {

namespace {

constexpr std::size_t kHeaderSize = 18;

// Where everything lies in a file whose header the reader accepts.
struct TgaLayout {
  int width = 0, height = 0;
  int origin = 0;  // image descriptor bits 4-5
  std::size_t map_offset = 0;
  std::size_t map_length = 0;
  int entry_bits = 0;
  std::size_t entry_bytes = 0;
  std::size_t index_offset = 0;
  std::size_t index_bytes = 0;
  std::uint64_t total = 0;  // bytes the image needs from the start of the file
};

std::uint32_t le16(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}

std::uint32_t le32(const std::uint8_t* p) {
  return le16(p) | (le16(p + 2) << 16);
}

void set_damage(std::string* damage, const std::string& text) {
  if (damage != nullptr) *damage = text;
}

// Checks the header against what the reader supports and every size against
// the file size, so that decoding never reads past the data. A header that
// says colour-mapped but describes an image the file cannot hold sets
// `damage`.
bool parse_header(const std::uint8_t* h, std::uint64_t file_size, TgaLayout& out,
                  std::string* damage) {
  set_damage(damage, "");
  const std::uint8_t id_length = h[0];
  const std::uint8_t map_type = h[1];
  const std::uint8_t image_type = h[2];
  // Image types 1 and 4 both hold one uncompressed colour map index per pixel.
  if (image_type != 1 && image_type != 4) return false;
  if (map_type == 0) return false;
  out.map_length = le16(h + 5);
  out.entry_bits = h[7];
  switch (out.entry_bits) {
    case 15:
    case 16:
      out.entry_bytes = 2;
      break;
    case 24:
      out.entry_bytes = 3;
      break;
    case 32:
      out.entry_bytes = 4;
      break;
    default:
      return false;
  }
  // With no entries no pixel can select a colour.
  if (out.map_length == 0) {
    set_damage(damage, "the colour map has no entries");
    return false;
  }
  out.width = static_cast<int>(le16(h + 12));
  out.height = static_cast<int>(le16(h + 14));
  if (out.width == 0 || out.height == 0) {
    set_damage(damage, format("the header gives a size of %d x %d pixels", out.width, out.height));
    return false;
  }
  if (out.width > kMaxColormapTgaSide || out.height > kMaxColormapTgaSide) return false;
  switch (h[16]) {
    case 8:
      out.index_bytes = 1;
      break;
    case 16:
      out.index_bytes = 2;
      break;
    case 32:
      out.index_bytes = 4;
      break;
    default:
      return false;
  }
  out.origin = (h[17] >> 4) & 3;
  out.map_offset = kHeaderSize + id_length;
  out.index_offset = out.map_offset + out.map_length * out.entry_bytes;
  out.total = static_cast<std::uint64_t>(out.index_offset) +
              static_cast<std::uint64_t>(out.width) * static_cast<std::uint64_t>(out.height) *
                  out.index_bytes;
  if (out.total > file_size) {
    set_damage(damage, format("the file ends after %llu of the %llu bytes its header calls for",
                              static_cast<unsigned long long>(file_size),
                              static_cast<unsigned long long>(out.total)));
    return false;
  }
  return true;
}

// One colour map entry. 15- and 16-bit entries are both taken as the TGA
// A1R5G5B5 word: red in bits 10-14, green in bits 5-9, blue in bits 0-4,
// each multiplied by 8; the attribute bit 15 is ignored and alpha is 255.
SourceTexel decode_entry(const std::uint8_t* p, int bits) {
  SourceTexel t;
  switch (bits) {
    case 15:
    case 16: {
      std::uint32_t w = le16(p);
      t.red = static_cast<std::uint8_t>(((w >> 10) & 0x1F) * 8);
      t.green = static_cast<std::uint8_t>(((w >> 5) & 0x1F) * 8);
      t.blue = static_cast<std::uint8_t>((w & 0x1F) * 8);
      t.alpha = 255;
      break;
    }
    case 24:
      t.blue = p[0];
      t.green = p[1];
      t.red = p[2];
      t.alpha = 255;
      break;
    default:  // 32
      t.blue = p[0];
      t.green = p[1];
      t.red = p[2];
      t.alpha = p[3];
      break;
  }
  return t;
}

bool decode_layout(const std::uint8_t* data, const TgaLayout& l, SourceImage& image,
                   std::string* damage) {
  std::vector<SourceTexel> map(l.map_length);
  for (std::size_t i = 0; i < l.map_length; ++i) {
    map[i] = decode_entry(data + l.map_offset + i * l.entry_bytes, l.entry_bits);
  }
  const std::size_t w = l.width;
  const std::size_t h = l.height;
  std::vector<SourceTexel> texels(w * h);
  const std::uint8_t* p = data + l.index_offset;
  for (std::size_t y = 0; y < h; ++y) {
    // File row y becomes texel row `row`, read left to right or mirrored.
    const bool bottom = l.origin == 0 || l.origin == 1;
    const bool right = l.origin == 1 || l.origin == 3;
    const std::size_t row = bottom ? h - 1 - y : y;
    for (std::size_t x = 0; x < w; ++x, p += l.index_bytes) {
      std::uint32_t v = l.index_bytes == 1 ? p[0] : l.index_bytes == 2 ? le16(p) : le32(p);
      // The first entry index of the header is not applied: v selects the
      // v-th entry read, and must lie inside the map.
      if (v >= l.map_length) {
        set_damage(damage, format("colour index %u at column %zu of file row %zu is past the %zu "
                                  "%s of the colour map",
                                  static_cast<unsigned>(v), x, y, l.map_length,
                                  l.map_length == 1 ? "entry" : "entries"));
        return false;
      }
      const std::size_t col = right ? w - 1 - x : x;
      texels[row * w + col] = map[v];
    }
  }
  image.width = l.width;
  image.height = l.height;
  image.texels = std::move(texels);
  return true;
}

// A FILE that closes itself.
struct File {
  std::FILE* f = nullptr;
  explicit File(const std::string& path) : f(std::fopen(host::system_path(path).c_str(), "rb")) {
    if (f != nullptr) host::note_file_read(path);
  }
  ~File() {
    if (f != nullptr) std::fclose(f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
};

// Opens the file and reads and checks its header.
bool open_and_parse(const std::string& path, File& file, TgaLayout& layout, std::string* damage) {
  set_damage(damage, "");
  if (!has_tga_extension(path) || file.f == nullptr) return false;
  struct stat st {};
  if (::fstat(fileno(file.f), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::uint8_t header[kHeaderSize];
  if (std::fread(header, 1, kHeaderSize, file.f) != kHeaderSize) return false;
  return parse_header(header, static_cast<std::uint64_t>(st.st_size), layout, damage);
}

}  // namespace

bool has_tga_extension(const std::string& path) {
  std::string name = file_name_of(path);
  std::size_t dot = name.rfind('.');
  return dot != std::string::npos && name.compare(dot + 1, std::string::npos, "tga") == 0;
}

bool colormap_tga_size(const std::string& path, int& width, int& height, std::string* damage) {
  File file(path);
  TgaLayout layout;
  if (!open_and_parse(path, file, layout, damage)) return false;
  width = layout.width;
  height = layout.height;
  return true;
}

bool decode_colormap_tga(const std::string& path, SourceImage& image, std::string* damage) {
  image = SourceImage{};
  File file(path);
  TgaLayout layout;
  if (!open_and_parse(path, file, layout, damage)) return false;
  // The header has been checked against the file size: exactly the bytes the
  // image needs are read.
  std::vector<std::uint8_t> data(layout.total);
  if (std::fseek(file.f, 0, SEEK_SET) != 0) return false;
  if (std::fread(data.data(), 1, data.size(), file.f) != data.size()) return false;
  return decode_layout(data.data(), layout, image, damage);
}

bool decode_colormap_tga_bytes(const std::uint8_t* data, std::size_t size, SourceImage& image,
                               std::string* damage) {
  image = SourceImage{};
  set_damage(damage, "");
  TgaLayout layout;
  if (data == nullptr || size < kHeaderSize) return false;
  if (!parse_header(data, size, layout, damage)) return false;
  return decode_layout(data, layout, image, damage);
}

namespace {

// Gives a texture whose size is not yet set the image's size.
void fit_texture(const SourceImage& image, SceneTexture& texture) {
  if (texture.width < image.width || texture.height < image.height) {
    texture.original_width = static_cast<std::uint16_t>(image.width);
    texture.original_height = static_cast<std::uint16_t>(image.height);
    texture.width = texture.original_width;
    texture.height = texture.original_height;
  }
}

bool whole_image(const SourceImage& image) {
  return image.width > 0 && image.height > 0 &&
         image.texels.size() == static_cast<std::size_t>(image.width) * image.height;
}

}  // namespace

void place_source_image(const SourceImage& image, SceneTexture& texture) {
  fit_texture(image, texture);
  const std::size_t stride = texture.width;
  const std::size_t iw = image.width;
  const std::size_t ih = image.height;
  texture.texels.assign(stride * texture.height, SourceTexel{});
  if (!whole_image(image)) return;  // nothing to copy
  for (std::size_t y = 0; y < ih; ++y) {
    std::copy_n(image.texels.begin() + static_cast<std::ptrdiff_t>(y * iw), iw,
                texture.texels.begin() + static_cast<std::ptrdiff_t>(y * stride));
  }
}

void place_source_image(SourceImage&& image, SceneTexture& texture) {
  fit_texture(image, texture);
  const std::size_t stride = texture.width;
  const std::size_t iw = image.width;
  const std::size_t ih = image.height;
  if (!whole_image(image)) {
    texture.texels.assign(stride * texture.height, SourceTexel{});
    return;
  }
  // The image's own buffer is widened in place: rows move to their stride
  // from the last one up, so no row is overwritten before it has moved.
  std::vector<SourceTexel>& t = texture.texels;
  t = std::move(image.texels);
  t.resize(stride * texture.height);
  if (stride == iw) return;
  for (std::size_t y = ih; y-- > 0;) {
    auto src = t.begin() + static_cast<std::ptrdiff_t>(y * iw);
    auto dst = t.begin() + static_cast<std::ptrdiff_t>(y * stride);
    if (y > 0) {  // row 0 is already in place
      std::copy_backward(src, src + static_cast<std::ptrdiff_t>(iw),
                         dst + static_cast<std::ptrdiff_t>(iw));
    }
    std::fill(dst + static_cast<std::ptrdiff_t>(iw), dst + static_cast<std::ptrdiff_t>(stride),
              SourceTexel{});
  }
}

bool read_colormap_tga(const std::string& path, SceneTexture& texture) {
  SourceImage image;
  if (!decode_colormap_tga(path, image)) return false;
  place_source_image(std::move(image), texture);
  return true;
}

}  // namespace kavro
