// Writes the image files of examples/textured.kscene into a folder (default
// examples/maps): colour-mapped TGA files of a few colours each, a
// true-colour PNG with a soft alpha edge, an image list of three frames and a
// file whose name asks for 4x4 block compression.
// Usage: example_make_maps [FOLDER]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};

bool write_bytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// A colour-mapped TGA: 24-bit map, 8-bit indices, top row first.
bool write_indexed_tga(const std::string& path, int width, int height, const std::vector<Rgb>& map,
                       const std::function<int(int x, int y)>& index) {
  const auto entries = static_cast<int>(map.size());
  std::string b(18, '\0');
  b[1] = 1;  // a colour map follows
  b[2] = 1;  // colour-mapped, uncompressed
  b[5] = static_cast<char>(entries & 0xFF);
  b[6] = static_cast<char>(entries >> 8);
  b[7] = 24;
  b[12] = static_cast<char>(width & 0xFF);
  b[13] = static_cast<char>(width >> 8);
  b[14] = static_cast<char>(height & 0xFF);
  b[15] = static_cast<char>(height >> 8);
  b[16] = 8;
  b[17] = 0x20;  // top-left origin
  for (const Rgb& c : map) {
    b += static_cast<char>(c.b);
    b += static_cast<char>(c.g);
    b += static_cast<char>(c.r);
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) b += static_cast<char>(index(x, y));
  }
  return write_bytes(path, b);
}

std::uint8_t byte(double v) {
  return static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "examples/maps";
  bool ok = true;

  // Four colours in checks: a four-colour palette.
  ok &= write_indexed_tga(dir + "/checker.tga", 32, 32,
                          {{200, 40, 40}, {240, 220, 200}, {40, 40, 160}, {20, 20, 20}},
                          [](int x, int y) { return ((x / 8) + (y / 8)) % 4; });

  // Stripes of sixty-four blues that scroll across the surface.
  std::vector<Rgb> blues;
  for (int i = 0; i < 64; ++i) {
    blues.push_back({byte(10 + i), byte(60 + 2 * i), byte(120 + 2 * i)});
  }
  ok &= write_indexed_tga(dir + "/water.tga", 32, 32, blues,
                          [](int x, int y) { return (x * 2 + y) % 64; });

  // Two faces for the morpher: ten colours each, in rings.
  for (int face = 0; face < 2; ++face) {
    std::vector<Rgb> map;
    for (int i = 0; i < 10; ++i) {
      map.push_back({byte(250 - 20 * i), byte(180 - 10 * i + 40 * face), byte(120 + 12 * i)});
    }
    const std::string name = dir + (face == 0 ? "/face_calm.tga" : "/face_smile.tga");
    ok &= write_indexed_tga(name, 16, 16, map, [face](int x, int y) {
      int dx = x - 8, dy = y - 8 - face;
      return static_cast<int>(std::sqrt(dx * dx + dy * dy)) % 10;
    });
  }

  // Three frames of a walk: a bar moving across, two colours each.
  for (int frame = 0; frame < 3; ++frame) {
    char name[64];
    std::snprintf(name, sizeof name, "/walk%02d.tga", frame + 1);
    ok &= write_indexed_tga(dir + name, 16, 16, {{30, 30, 30}, {250, 200, 60}},
                            [frame](int x, int) { return x / 4 == frame + 1 ? 1 : 0; });
  }
  ok &= write_bytes(dir + "/walk.ifl",
                    "; a walk of three frames\r\nwalk01.tga 4\r\nwalk02.tga 4\r\nwalk03.tga 8\r\n");

  // A smooth colour ramp, block compressed by its name.
  ok &= write_indexed_tga(
      dir + "/stone_cmp.tga", 32, 32,
      [] {
        std::vector<Rgb> map;
        for (int i = 0; i < 256; ++i) map.push_back({byte(i), byte(i * 0.8 + 20), byte(i * 0.6)});
        return map;
      }(),
      [](int x, int y) { return (x * 8 + y * 3) % 256; });

  // A true-colour image with a soft alpha edge: too many colours for a palette.
  const int side = 32;
  std::vector<std::uint8_t> rgba;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      double d = std::hypot(x - 15.5, y - 15.5) / 16.0;
      rgba.push_back(byte(x * 8));
      rgba.push_back(byte(y * 8));
      rgba.push_back(byte(128 + (x ^ y) * 4));
      rgba.push_back(byte(255 * (1.0 - d)));
    }
  }
  ok &= stbi_write_png((dir + "/glass.png").c_str(), side, side, 4, rgba.data(), side * 4) != 0;

  if (!ok) {
    std::fprintf(stderr, "example_make_maps: cannot write the maps into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
