#include "host/bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/support.h"

// Private copy of the writer: other test files may carry their own.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace kavro::host {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// A 24-bit BMP: rows stored bottom-up, blue-green-red, padded to 4 bytes.
// `rows` are given top row first as RGB triples.
Bytes bmp(int width, int height, const std::vector<std::vector<std::uint8_t>>& rows) {
  Bytes pixels;
  for (int y = height - 1; y >= 0; --y) {
    const auto& row = rows[y];
    for (int x = 0; x < width; ++x) {
      std::size_t i = static_cast<std::size_t>(x) * 3;
      pixels.insert(pixels.end(), {row[i + 2], row[i + 1], row[i]});
    }
    while (pixels.size() % 4 != 0) pixels.push_back(0);
  }
  Bytes b = {'B', 'M'};
  put32(b, static_cast<std::uint32_t>(54 + pixels.size()));
  put32(b, 0);
  put32(b, 54);
  put32(b, 40);
  put32(b, static_cast<std::uint32_t>(width));
  put32(b, static_cast<std::uint32_t>(height));
  put16(b, 1);
  put16(b, 24);
  for (int i = 0; i < 6; ++i) put32(b, 0);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

class BitmapTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string put(const std::string& name, const Bytes& b) {
    std::string path = dir.file(name);
    test::write_file(path, std::string(b.begin(), b.end()));
    return path;
  }
  static std::vector<int> pixel(const RgbaImage& image, int x, int y) {
    std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                     static_cast<std::size_t>(x)) *
                    4;
    return {image.pixels[i], image.pixels[i + 1], image.pixels[i + 2], image.pixels[i + 3]};
  }
};

TEST_F(BitmapTest, PngKeepsColoursAlphaAndRowOrder) {
  // 3 x 2: top row red, green, blue; bottom row half-transparent grey, black, white.
  const std::uint8_t rgba[] = {255, 0,   0,   255, 0, 255, 0, 255, 0,   0,   255, 255,
                               128, 128, 128, 64,  0, 0,   0, 255, 255, 255, 255, 255};
  std::string path = dir.file("image.png");
  ASSERT_NE(stbi_write_png(path.c_str(), 3, 2, 4, rgba, 12), 0);
  int w = 0, h = 0;
  std::string error;
  ASSERT_TRUE(bitmap_info(path, w, h, error)) << error;
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  RgbaImage image;
  ASSERT_TRUE(load_bitmap(path, image, error)) << error;
  ASSERT_EQ(image.pixels.size(), 24u);
  EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(pixel(image, 2, 0), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(pixel(image, 0, 1), (std::vector<int>{128, 128, 128, 64}));
  EXPECT_EQ(pixel(image, 2, 1), (std::vector<int>{255, 255, 255, 255}));
}

TEST_F(BitmapTest, BottomUpFilesComeOutTopRowFirst) {
  std::string path = put("image.bmp", bmp(2, 2, {{10, 20, 30, 40, 50, 60}, {70, 80, 90, 1, 2, 3}}));
  RgbaImage image;
  std::string error;
  ASSERT_TRUE(load_bitmap(path, image, error)) << error;
  EXPECT_EQ(image.width, 2);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{10, 20, 30, 255}));
  EXPECT_EQ(pixel(image, 1, 0), (std::vector<int>{40, 50, 60, 255}));
  EXPECT_EQ(pixel(image, 1, 1), (std::vector<int>{1, 2, 3, 255}));

  // A true-colour TGA, 32 bits, bottom-left origin: stored rows bottom-up.
  Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put16(tga, 1);
  put16(tga, 2);
  tga.insert(tga.end(), {32, 8});
  tga.insert(tga.end(), {3, 2, 1, 4});      // bottom row: red 1, green 2, blue 3, alpha 4
  tga.insert(tga.end(), {30, 20, 10, 40});  // top row
  path = put("true.tga", tga);
  ASSERT_TRUE(load_bitmap(path, image, error)) << error;
  EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{10, 20, 30, 40}));
  EXPECT_EQ(pixel(image, 0, 1), (std::vector<int>{1, 2, 3, 4}));
}

// TGA files of every kind the host reads, each holding the 3 x 2 image whose
// file rows are "A A B" and "C D D" (pixels in file order). The four letters
// are told apart by their red value.
struct TgaKind {
  const char* what;
  std::uint8_t image_type, map_type, depth;
  std::uint8_t alpha_bits;     // descriptor bits 0-3
  Bytes map;                   // colour map entries (24-bit), when map_type is 1
  std::vector<Bytes> letters;  // the stored bytes of A, B, C, D
  std::vector<int> reds;       // the red each letter decodes to
  bool run_length = false;
};

// Stores `file_pixels` (letters 0-3, file order) row by row; run-length kinds
// pack equal neighbours of a row into a run packet, the others into raw packets.
Bytes tga_file(const TgaKind& k, int width, int height, int origin,
               const std::vector<int>& file_pixels) {
  Bytes b = {0, k.map_type, k.image_type, 0, 0};
  put16(b, static_cast<std::uint32_t>(k.map.size() / 3));
  b.push_back(k.map.empty() ? 0 : 24);
  put16(b, 0);
  put16(b, 0);
  put16(b, static_cast<std::uint32_t>(width));
  put16(b, static_cast<std::uint32_t>(height));
  b.push_back(k.depth);
  b.push_back(static_cast<std::uint8_t>((origin << 4) | k.alpha_bits));
  b.insert(b.end(), k.map.begin(), k.map.end());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width;) {
      const int letter = file_pixels[y * width + x];
      int run = 1;
      while (k.run_length && x + run < width && file_pixels[y * width + x + run] == letter) {
        ++run;
      }
      if (k.run_length) b.push_back(static_cast<std::uint8_t>(run > 1 ? 0x80 | (run - 1) : 0));
      const Bytes& stored = k.letters[letter];
      b.insert(b.end(), stored.begin(), stored.end());
      x += run;
    }
  }
  return b;
}

TEST_F(BitmapTest, TgaFilesArePlacedByAllFourOrigins) {
  const std::vector<TgaKind> kinds = {
      {"true colour 24",
       2,
       0,
       24,
       0,
       {},
       {{0, 0, 10}, {0, 0, 20}, {0, 0, 30}, {0, 0, 40}},
       {10, 20, 30, 40}},
      {"true colour 32",
       2,
       0,
       32,
       8,
       {},
       {{0, 0, 10, 255}, {0, 0, 20, 255}, {0, 0, 30, 255}, {0, 0, 40, 255}},
       {10, 20, 30, 40}},
      // 5-bit red 1 to 4, scaled to eight bits by 255 / 31.
      {"true colour 16",
       2,
       0,
       16,
       0,
       {},
       {{0, 0x04}, {0, 0x08}, {0, 0x0C}, {0, 0x10}},
       {8, 16, 24, 32}},
      {"grey 8", 3, 0, 8, 0, {}, {{10}, {20}, {30}, {40}}, {10, 20, 30, 40}},
      {"run-length true colour",
       10,
       0,
       24,
       0,
       {},
       {{0, 0, 10}, {0, 0, 20}, {0, 0, 30}, {0, 0, 40}},
       {10, 20, 30, 40},
       true},
      {"run-length grey", 11, 0, 8, 0, {}, {{10}, {20}, {30}, {40}}, {10, 20, 30, 40}, true},
      {"run-length colour-mapped",
       9,
       1,
       8,
       0,
       {0, 0, 10, 0, 0, 20, 0, 0, 30, 0, 0, 40},
       {{0}, {1}, {2}, {3}},
       {10, 20, 30, 40},
       true},
  };
  // Pixel (x, y) of file row y goes to x + (h-1-y) * w from the bottom
  // left, (h-1-y) * w + (w-1-x) from the bottom right, x + y * w from the
  // top left and y * w + (w-1-x) from the top right.
  const std::vector<int> file_pixels = {0, 0, 1, 2, 3, 3};  // A A B / C D D
  const char* const expected[4] = {"CDDAAB", "DDCBAA", "AABCDD", "BAADDC"};
  for (const TgaKind& k : kinds) {
    for (int origin = 0; origin < 4; ++origin) {
      SCOPED_TRACE(std::string(k.what) + ", origin " + std::to_string(origin));
      const std::string path = put("image.tga", tga_file(k, 3, 2, origin, file_pixels));
      RgbaImage image;
      std::string error;
      ASSERT_TRUE(load_bitmap(path, image, error)) << error;
      ASSERT_EQ(image.width, 3);
      ASSERT_EQ(image.height, 2);
      std::string placed;
      for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
          const int red = pixel(image, x, y)[0];
          char letter = '?';
          for (std::size_t i = 0; i < k.reds.size(); ++i) {
            if (k.reds[i] == red) letter = static_cast<char>('A' + i);
          }
          placed += letter;
        }
      }
      EXPECT_EQ(placed, expected[origin]);
    }
  }

  // A 2 x 1 32-bit file from the top right: red is stored first, blue
  // second, so blue is on the left.
  Bytes two = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put16(two, 2);
  put16(two, 1);
  two.insert(two.end(), {32, 0x38, 0, 0, 255, 255, 255, 0, 0, 255});
  RgbaImage image;
  std::string error;
  ASSERT_TRUE(load_bitmap(put("two.TGA", two), image, error)) << error;
  EXPECT_EQ(pixel(image, 0, 0), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(pixel(image, 1, 0), (std::vector<int>{255, 0, 0, 255}));
}

TEST_F(BitmapTest, JpegIsRead) {
  std::vector<std::uint8_t> grey(16 * 8 * 3, 100);
  std::string path = dir.file("image.jpg");
  ASSERT_NE(stbi_write_jpg(path.c_str(), 16, 8, 3, grey.data(), 90), 0);
  RgbaImage image;
  std::string error;
  ASSERT_TRUE(load_bitmap(path, image, error)) << error;
  EXPECT_EQ(image.width, 16);
  EXPECT_EQ(image.height, 8);
  EXPECT_NEAR(pixel(image, 5, 5)[0], 100, 3);
  EXPECT_EQ(pixel(image, 5, 5)[3], 255);
}

TEST_F(BitmapTest, UnreadableFilesFailWithAReason) {
  Bytes good = bmp(2, 1, {{1, 2, 3, 4, 5, 6}});
  Bytes truncated(good.begin(), good.begin() + 20);  // ends inside the width
  Bytes too_wide = bmp(1, 1, {{1, 2, 3}});
  too_wide[18] = 0x20;  // width 20000 (0x4E20) with the pixels of one
  too_wide[19] = 0x4E;
  Bytes zero_wide = bmp(1, 1, {{1, 2, 3}});
  zero_wide[18] = 0;
  const std::string text = "not an image at all";
  struct Case {
    const char* what;
    std::string path;
  };
  const Case cases[] = {
      {"missing", dir.file("missing.png")},
      {"text", put("text.png", Bytes(text.begin(), text.end()))},
      {"empty", put("empty.bmp", {})},
      {"truncated header", put("truncated.bmp", truncated)},
      {"too wide", put("wide.bmp", too_wide)},
      {"zero wide", put("zero.bmp", zero_wide)},
      {"folder", dir.path()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int w = -1, h = -1;
    std::string error;
    EXPECT_FALSE(bitmap_info(c.path, w, h, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(w, -1);
    RgbaImage image;
    image.width = 9;
    error.clear();
    EXPECT_FALSE(load_bitmap(c.path, image, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(image.width, 0);
    EXPECT_TRUE(image.pixels.empty());
  }
}

TEST_F(BitmapTest, ACompressedImageCutShortFailsToLoad) {
  std::vector<std::uint8_t> rgba(32 * 32 * 4);
  for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<std::uint8_t>(i * 7);
  std::string path = dir.file("whole.png");
  ASSERT_NE(stbi_write_png(path.c_str(), 32, 32, 4, rgba.data(), 128), 0);
  std::string whole = test::read_file(path);
  std::string cut = put("cut.png", Bytes(whole.begin(), whole.begin() + 100));
  int w = 0, h = 0;
  std::string error;
  EXPECT_TRUE(bitmap_info(cut, w, h, error));  // the header is whole
  RgbaImage image;
  EXPECT_FALSE(load_bitmap(cut, image, error));
  EXPECT_TRUE(image.pixels.empty());
}

}  // namespace
}  // namespace kavro::host
