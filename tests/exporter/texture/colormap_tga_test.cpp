#include "exporter/texture/colormap_tga.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace kavro {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A colour-mapped TGA built byte by byte.
struct Tga {
  std::uint8_t map_type = 1;
  std::uint8_t image_type = 1;
  std::uint16_t first_entry = 0;
  int map_length = -1;  // -1: the number of entries given
  std::uint8_t entry_bits = 24;
  std::uint16_t width = 0, height = 0;
  std::uint8_t depth = 8;
  std::uint8_t descriptor = 0x20;  // top-left origin
  Bytes id;
  Bytes map;  // raw entry bytes
  int entries = 0;
  Bytes indices;  // raw index bytes

  Bytes bytes() const {
    Bytes b;
    auto put16 = [&](unsigned v) {
      b.push_back(static_cast<std::uint8_t>(v & 0xFF));
      b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    b.push_back(static_cast<std::uint8_t>(id.size()));
    b.push_back(map_type);
    b.push_back(image_type);
    put16(first_entry);
    put16(static_cast<unsigned>(map_length < 0 ? entries : map_length));
    b.push_back(entry_bits);
    put16(0);
    put16(0);
    put16(width);
    put16(height);
    b.push_back(depth);
    b.push_back(descriptor);
    b.insert(b.end(), id.begin(), id.end());
    b.insert(b.end(), map.begin(), map.end());
    b.insert(b.end(), indices.begin(), indices.end());
    return b;
  }
};

void write_bytes(const std::string& path, const Bytes& b) {
  test::write_file(path, std::string(b.begin(), b.end()));
}

// Entry i of this map is blue i, green 100 + i, red 200 + i (24-bit entries),
// so a texel's red value names the entry it came from.
Tga six_entry_image(std::uint8_t descriptor) {
  Tga t;
  t.width = 3;
  t.height = 2;
  t.descriptor = descriptor;
  for (int i = 0; i < 6; ++i) {
    t.map.push_back(static_cast<std::uint8_t>(i));
    t.map.push_back(static_cast<std::uint8_t>(100 + i));
    t.map.push_back(static_cast<std::uint8_t>(200 + i));
  }
  t.entries = 6;
  t.indices = {0, 1, 2, 3, 4, 5};  // file row 0: 0 1 2, file row 1: 3 4 5
  return t;
}

std::vector<int> entry_ids(const SourceImage& image) {
  std::vector<int> ids;
  for (const SourceTexel& t : image.texels) ids.push_back(t.red - 200);
  return ids;
}

class ColormapTgaTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string put(const Bytes& b, const std::string& name = "image.tga") {
    std::string path = dir.file(name);
    write_bytes(path, b);
    return path;
  }
  bool decode(const Tga& t, SourceImage& image) {
    return decode_colormap_tga(put(t.bytes()), image);
  }
};

TEST_F(ColormapTgaTest, TheFourOriginsPlaceFileRowsAndColumns) {
  struct Case {
    std::uint8_t descriptor;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {0x00, {3, 4, 5, 0, 1, 2}},  // bottom-left: the last file row is the top row
      {0x10, {5, 4, 3, 2, 1, 0}},  // bottom-right: also mirrored
      {0x20, {0, 1, 2, 3, 4, 5}},  // top-left: as stored
      {0x30, {2, 1, 0, 5, 4, 3}},  // top-right: mirrored rows
      {0x28, {0, 1, 2, 3, 4, 5}},  // attribute bits do not change the origin
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.descriptor);
    SourceImage image;
    ASSERT_TRUE(decode(six_entry_image(c.descriptor), image));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(entry_ids(image), c.expected);
  }
}

TEST_F(ColormapTgaTest, EntrySizesDecodeToRgba) {
  struct Case {
    std::uint8_t bits;
    Bytes entry;
    int r, g, b, a;
  };
  const Case cases[] = {
      // 15 bits: red 1 (bit 10), green 2 (bits 5-9), blue 3: 0x0443.
      {15, {0x43, 0x04}, 8, 16, 24, 255},
      {15, {0xFF, 0x7F}, 248, 248, 248, 255},
      // 16 bits: the same layout, the top bit ignored, alpha 255.
      {16, {0x43, 0x84}, 8, 16, 24, 255},
      {16, {0x00, 0x7C}, 248, 0, 0, 255},
      {24, {1, 2, 3}, 3, 2, 1, 255},
      {32, {1, 2, 3, 4}, 3, 2, 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.bits));
    Tga t;
    t.entry_bits = c.bits;
    t.width = 1;
    t.height = 1;
    t.map = c.entry;
    t.entries = 1;
    t.indices = {0};
    SourceImage image;
    ASSERT_TRUE(decode(t, image));
    ASSERT_EQ(image.texels.size(), 1u);
    const SourceTexel& x = image.texels[0];
    EXPECT_EQ(x.red, c.r);
    EXPECT_EQ(x.green, c.g);
    EXPECT_EQ(x.blue, c.b);
    EXPECT_EQ(x.alpha, c.a);
    EXPECT_EQ(x.index, 0);
  }
}

TEST_F(ColormapTgaTest, WideIndicesAndTheIgnoredFirstEntryIndex) {
  // 300 entries of 32 bits: entry i has red i & 0xFF and alpha i >> 8.
  Tga t;
  t.entry_bits = 32;
  t.first_entry = 5;  // not applied: index 0 still selects the first entry read
  for (int i = 0; i < 300; ++i) {
    t.map.insert(t.map.end(),
                 {0, 0, static_cast<std::uint8_t>(i & 0xFF), static_cast<std::uint8_t>(i >> 8)});
  }
  t.entries = 300;
  t.width = 2;
  t.height = 1;
  t.id = {'a', 'b', 'c'};  // identification field, skipped

  t.depth = 16;
  t.indices = {0x2B, 0x01, 0x00, 0x00};  // 299, 0
  SourceImage image;
  ASSERT_TRUE(decode(t, image));
  EXPECT_EQ(image.texels[0].red, 299 & 0xFF);
  EXPECT_EQ(image.texels[0].alpha, 1);
  EXPECT_EQ(image.texels[1].red, 0);
  EXPECT_EQ(image.texels[1].alpha, 0);

  t.depth = 32;
  t.indices = {0x07, 0, 0, 0, 0x00, 0x01, 0, 0};  // 7, 256
  ASSERT_TRUE(decode(t, image));
  EXPECT_EQ(image.texels[0].red, 7);
  EXPECT_EQ(image.texels[1].red, 0);
  EXPECT_EQ(image.texels[1].alpha, 1);
}

TEST_F(ColormapTgaTest, ImageTypesOneAndFourAreRead) {
  Tga t = six_entry_image(0x20);
  SourceImage image;
  t.image_type = 4;
  EXPECT_TRUE(decode(t, image));
  t.map_type = 7;  // any non-zero colour map type
  EXPECT_TRUE(decode(t, image));
}

// A file the reader cannot read is declined. When its header says it is
// colour-mapped (image type 1 or 4 with a colour map) and the file cannot
// hold what the header describes, the reader also says what is damaged; a
// file merely of a kind it does not read is declined without a word.
TEST_F(ColormapTgaTest, DeclinesWhatItCannotReadAndNamesTheDamage) {
  const Tga good = six_entry_image(0x20);  // 18 + 18 + 6 = 42 bytes
  struct Case {
    const char* what;
    Bytes bytes;
    std::string damage;
  };
  std::vector<Case> cases;
  auto with = [&](const char* what, const std::string& damage, auto change) {
    Tga t = good;
    change(t);
    cases.push_back({what, t.bytes(), damage});
  };
  with("run-length colour-mapped type", "", [](Tga& t) { t.image_type = 9; });
  with("true-colour type", "", [](Tga& t) { t.image_type = 2; });
  with("no colour map", "", [](Tga& t) { t.map_type = 0; });
  with("8-bit entries", "", [](Tga& t) { t.entry_bits = 8; });
  with("24-bit indices", "", [](Tga& t) { t.depth = 24; });
  with("huge image", "", [](Tga& t) {
    t.width = 65535;
    t.height = 65535;
  });
  with("zero width", "the header gives a size of 0 x 2 pixels", [](Tga& t) { t.width = 0; });
  with("zero by zero", "the header gives a size of 0 x 0 pixels", [](Tga& t) {
    t.width = 0;
    t.height = 0;
    t.indices.clear();
  });
  with("index past the map",
       "colour index 6 at column 1 of file row 1 is past the 6 entries of the colour map",
       [](Tga& t) { t.indices[4] = 6; });
  with("empty colour map", "the colour map has no entries", [](Tga& t) {
    t.map.clear();
    t.entries = 0;
    t.indices = {0, 0, 0, 0, 0, 0};
  });
  with("map longer than the file",  // 18 + 60000 * 3 + 6
       "the file ends after 42 of the 180024 bytes its header calls for",
       [](Tga& t) { t.map_length = 60000; });
  with("image larger than the file", "the file ends after 42 of the 45 bytes its header calls for",
       [](Tga& t) { t.height = 3; });
  with("type 4, one entry, index 1",
       "colour index 1 at column 0 of file row 0 is past the 1 entry of the colour map",
       [](Tga& t) {
         t.image_type = 4;
         t.map.resize(3);
         t.entries = 1;
         t.width = 1;
         t.height = 1;
         t.indices = {1};
       });
  Bytes truncated = good.bytes();
  truncated.pop_back();
  cases.push_back({"last index missing", truncated,
                   "the file ends after 41 of the 42 bytes its header calls for"});
  const Bytes whole = good.bytes();
  Bytes long_id = whole;
  long_id[0] = 255;  // the identification field would run past the end: 18 + 255 + 18 + 6
  cases.push_back({"identification field longer than the file", long_id,
                   "the file ends after 42 of the 297 bytes its header calls for"});
  cases.push_back({"header only half there", Bytes(whole.begin(), whole.begin() + 9), ""});
  cases.push_back({"empty file", {}, ""});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SourceImage image;
    std::string path = put(c.bytes);
    std::string damage = "old";
    EXPECT_FALSE(decode_colormap_tga(path, image, &damage));
    EXPECT_EQ(damage, c.damage);
    EXPECT_TRUE(image.texels.empty());
    damage = "old";
    EXPECT_FALSE(decode_colormap_tga_bytes(c.bytes.data(), c.bytes.size(), image, &damage));
    EXPECT_EQ(damage, c.damage);
    EXPECT_FALSE(decode_colormap_tga(path, image));  // no one to tell
    SceneTexture texture;
    texture.texels.resize(3);
    EXPECT_FALSE(read_colormap_tga(path, texture));
    EXPECT_EQ(texture.texels.size(), 3u);  // untouched
    // The size probe sees all but the indices.
    int w = -1, h = -1;
    damage = "old";
    const bool sized = colormap_tga_size(path, w, h, &damage);
    const bool in_indices = c.damage.rfind("colour index", 0) == 0;
    EXPECT_EQ(sized, in_indices);
    EXPECT_EQ(damage, in_indices ? "" : c.damage);
  }
}

TEST_F(ColormapTgaTest, OnlyTheLowerCaseTgaExtensionIsRead) {
  const Bytes b = six_entry_image(0x20).bytes();
  SourceImage image;
  EXPECT_TRUE(decode_colormap_tga(put(b, "a.b.tga"), image));
  for (const char* name :
       {"upper.TGA", "mixed.Tga", "other.tgaa", "back.tga.bak", "tga", "notga"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(decode_colormap_tga(put(b, name), image));
  }
  // A dot in a folder name is not the file's extension.
  std::filesystem::create_directories(dir.file("dir.tga"));
  EXPECT_FALSE(has_tga_extension(dir.file("dir.tga") + "/image"));
  EXPECT_FALSE(decode_colormap_tga(dir.file("dir.tga"), image));  // a folder
  EXPECT_FALSE(decode_colormap_tga(dir.file("missing.tga"), image));
  EXPECT_TRUE(has_tga_extension("C:\\maps\\wall.tga"));
}

TEST_F(ColormapTgaTest, SizeProbeReadsOnlyTheHeader) {
  Tga t = six_entry_image(0x20);
  int w = 0, h = 0;
  ASSERT_TRUE(colormap_tga_size(put(t.bytes()), w, h));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  t.indices[0] = 200;  // found only when decoding
  EXPECT_TRUE(colormap_tga_size(put(t.bytes()), w, h));
  t.image_type = 2;
  EXPECT_FALSE(colormap_tga_size(put(t.bytes()), w, h));
}

TEST_F(ColormapTgaTest, TexturesGetTheImageAtTheirConvertedSize) {
  const std::string path = put(six_entry_image(0x20).bytes());
  SceneTexture texture;
  texture.original_width = 3;
  texture.original_height = 2;
  texture.width = 8;
  texture.height = 4;
  texture.texels.resize(5);
  ASSERT_TRUE(read_colormap_tga(path, texture));
  ASSERT_EQ(texture.texels.size(), 32u);
  EXPECT_EQ(texture.texels[0].red, 200);
  EXPECT_EQ(texture.texels[2].red, 202);
  EXPECT_EQ(texture.texels[8].red, 203);  // second row starts at the stride
  EXPECT_EQ(texture.texels[10].red, 205);
  for (int i : {3, 7, 11, 16, 31}) {
    SCOPED_TRACE(i);
    const SourceTexel& z = texture.texels[i];
    EXPECT_EQ(z.red | z.green | z.blue | z.alpha, 0);
  }

  SceneTexture fresh;  // no size yet: takes the image's
  ASSERT_TRUE(read_colormap_tga(path, fresh));
  EXPECT_EQ(fresh.width, 3);
  EXPECT_EQ(fresh.height, 2);
  EXPECT_EQ(fresh.original_width, 3);
  EXPECT_EQ(fresh.texels.size(), 6u);
}

TEST(PlaceSourceImage, CopyAndInPlaceWideningAgree) {
  // A 3 x 3 image whose texel (x, y) has red 10 * y + x + 1.
  SourceImage image;
  image.width = 3;
  image.height = 3;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      SourceTexel t;
      t.red = static_cast<std::uint8_t>(10 * y + x + 1);
      t.alpha = 255;
      image.texels.push_back(t);
    }
  }
  for (auto [w, h] : {std::pair{3, 3}, {8, 8}, {4, 3}, {3, 8}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    SceneTexture copied, moved;
    copied.width = moved.width = static_cast<std::uint16_t>(w);
    copied.height = moved.height = static_cast<std::uint16_t>(h);
    place_source_image(image, copied);
    SourceImage scratch = image;
    place_source_image(std::move(scratch), moved);
    ASSERT_EQ(copied.texels.size(), static_cast<std::size_t>(w * h));
    ASSERT_EQ(moved.texels.size(), copied.texels.size());
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const int expected = x < 3 && y < 3 ? 10 * y + x + 1 : 0;
        const std::size_t i = static_cast<std::size_t>(y * w + x);
        EXPECT_EQ(copied.texels[i].red, expected) << x << "," << y;
        EXPECT_EQ(moved.texels[i].red, expected) << x << "," << y;
        EXPECT_EQ(moved.texels[i].alpha, expected != 0 ? 255 : 0) << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace kavro
