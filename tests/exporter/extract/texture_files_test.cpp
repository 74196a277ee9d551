#include "exporter/extract/texture_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "exporter/pipeline/scene.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

// Private copy of the writer: other test files may carry their own.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace kavro {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A colour-mapped TGA, top-left origin, 8-bit indices.
Bytes colormap_tga(std::uint8_t image_type, int width, int height, std::uint8_t entry_bits,
                   const Bytes& map, int entries, const Bytes& indices) {
  Bytes b = {0,
             1,
             image_type,
             0,
             0,
             static_cast<std::uint8_t>(entries),
             static_cast<std::uint8_t>(entries >> 8),
             entry_bits,
             0,
             0,
             0,
             0,
             static_cast<std::uint8_t>(width),
             static_cast<std::uint8_t>(width >> 8),
             static_cast<std::uint8_t>(height),
             static_cast<std::uint8_t>(height >> 8),
             8,
             0x20};
  b.insert(b.end(), map.begin(), map.end());
  b.insert(b.end(), indices.begin(), indices.end());
  return b;
}

class TextureFilesTest : public ::testing::Test {
 protected:
  TextureFilesTest() { scene.host_interface = &host; }

  test::TempDir dir;
  host::RecordingHost host;
  ExportScene scene;
  SceneTexture texture;

  std::string put(const std::string& name, const Bytes& b) {
    std::string path = dir.file(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    test::write_file(path, std::string(b.begin(), b.end()));
    return path;
  }
  // A PNG whose pixel (x, y) is red x, green y, blue 7, alpha 200.
  std::string png(const std::string& name, int width, int height) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        rgba.insert(rgba.end(),
                    {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7, 200});
      }
    }
    std::string path = dir.file(name);
    EXPECT_NE(stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4), 0);
    return path;
  }
  bool load(const std::string& path) { return load_texture_file(scene, "Skin", path, texture); }
  void expect_error(const std::string& text, const std::string& caption) {
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, text);
    EXPECT_EQ(host.messages[0].caption, caption);
    EXPECT_EQ(host.messages[0].icon, host::MessageIcon::kError);
  }
  const SourceTexel& texel(int x, int y) const { return texture.texels[y * texture.width + x]; }
};

TEST(TextureSides, RoundedUpToAPowerOfTwoFromEight) {
  const std::pair<int, int> cases[] = {{0, 8},      {1, 8},       {4, 8},       {8, 8},
                                       {9, 16},     {60, 64},     {100, 128},   {512, 512},
                                       {513, 1024}, {1024, 1024}, {1025, 2048}, {2048, 2048}};
  for (auto [original, side] : cases) EXPECT_EQ(converted_side(original), side) << original;
  EXPECT_GT(converted_side(60000), kMaxTextureSide);
  for (int side : {8, 16, 256, 1024}) EXPECT_TRUE(is_texture_side(side)) << side;
  for (int side : {1, 4, 12, 100, 2048}) EXPECT_FALSE(is_texture_side(side)) << side;
}

TEST_F(TextureFilesTest, OddSizesAreConvertedLargerWithAWarning) {
  std::string path = png("odd.png", 100, 60);
  ASSERT_TRUE(load(path));
  EXPECT_EQ(texture.path, path);
  EXPECT_EQ(texture.original_width, 100);
  EXPECT_EQ(texture.original_height, 60);
  EXPECT_EQ(texture.width, 128);
  EXPECT_EQ(texture.height, 64);
  ASSERT_EQ(texture.texels.size(), 128u * 64u);
  EXPECT_EQ(texel(99, 59).red, 99);
  EXPECT_EQ(texel(99, 59).green, 59);
  EXPECT_EQ(texel(99, 59).blue, 7);
  EXPECT_EQ(texel(99, 59).alpha, 200);
  EXPECT_EQ(texel(3, 0).red, 3);
  EXPECT_EQ(texel(0, 5).green, 5);
  // Zero texels right of and below the image.
  for (auto [x, y] : {std::pair{100, 0}, {127, 59}, {0, 60}, {127, 63}}) {
    const SourceTexel& z = texel(x, y);
    EXPECT_EQ(z.red | z.green | z.blue | z.alpha, 0) << x << "," << y;
  }
  EXPECT_EQ(scene.warnings(),
            std::vector<std::string>{"Warning: Size of texture is wrong. " + path + "."});
  EXPECT_TRUE(host.messages.empty());

  SceneTexture small;
  std::string tiny = png("tiny.png", 4, 4);
  ASSERT_TRUE(load_texture_file(scene, "Skin", tiny, small));
  EXPECT_EQ(small.width, 8);
  EXPECT_EQ(small.height, 8);
  EXPECT_EQ(small.original_width, 4);
  EXPECT_EQ(small.texels.size(), 64u);
  EXPECT_EQ(scene.warnings().back(), "Warning: Size of texture is wrong. " + tiny + ".");
}

TEST_F(TextureFilesTest, TextureSizesLoadAsTheyAre) {
  ASSERT_TRUE(load(png("square.png", 16, 32)));
  EXPECT_EQ(texture.width, 16);
  EXPECT_EQ(texture.height, 32);
  EXPECT_EQ(texture.texels.size(), 16u * 32u);
  EXPECT_EQ(texel(15, 31).red, 15);
  EXPECT_TRUE(scene.warnings().empty());
}

TEST_F(TextureFilesTest, TooLargeImagesStopTheExport) {
  std::string path = png("wide.png", 2048, 1);
  EXPECT_FALSE(load(path));
  expect_error("Texture size over. " + path, "Texture Size Over");
  EXPECT_TRUE(texture.texels.empty());

  // A colour-mapped image the host cannot read is measured by its header.
  host.messages.clear();
  path = put("wide.tga", colormap_tga(4, 1025, 1, 24, {1, 2, 3}, 1, Bytes(1025, 0)));
  EXPECT_FALSE(load(path));
  expect_error("Texture size over. " + path, "Texture Size Over");
  EXPECT_TRUE(texture.texels.empty());
}

TEST_F(TextureFilesTest, MissingAndUnreadableFiles) {
  EXPECT_FALSE(load(""));
  expect_error("No texture image name on material Skin.", "Bitmap Error");

  host.messages.clear();
  std::string path = dir.file("missing.png");
  EXPECT_FALSE(load(path));
  expect_error("Texture image missing on material Skin at the path: " + path + ".", "Bitmap Error");

  const std::string text = "plain text";
  std::string whole = test::read_file(png("whole.png", 32, 32));
  const std::string cut = put("cut.png", Bytes(whole.begin(), whole.begin() + 60));
  for (const std::string& p : {put("text.png", Bytes(text.begin(), text.end())), cut}) {
    SCOPED_TRACE(p);
    host.messages.clear();
    EXPECT_FALSE(load(p));
    expect_error("Failed to open texture on material Skin at path: " + p, "Bitmap Error");
  }
  EXPECT_TRUE(scene.warnings().empty());  // unreadable files draw no size warning
}

// A file whose header says colour-mapped but which cannot hold what the
// header describes is refused with the damage; the general loader never gets
// a second chance to read it as something else.
TEST_F(TextureFilesTest, DamagedColourMappedFilesAreTextureErrors) {
  // Type 1 is read by the general loader too, so a second chance would
  // succeed with colour 0 for the bad index and for the missing pixel.
  const struct {
    const char* name;
    Bytes bytes;
    std::string damage;
  } cases[] = {
      {"index.tga", colormap_tga(1, 2, 1, 24, {1, 2, 3}, 1, {0, 1}),
       "colour index 1 at column 1 of file row 0 is past the 1 entry of the colour map"},
      {"cut.tga", colormap_tga(1, 4, 2, 24, {1, 2, 3}, 1, {0, 0, 0, 0, 0, 0, 0}),
       "the file ends after 28 of the 29 bytes its header calls for"},
      {"nomap.tga", colormap_tga(1, 2, 1, 24, {}, 0, {0, 0}), "the colour map has no entries"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.messages.clear();
    const std::string path = put(c.name, c.bytes);
    EXPECT_FALSE(load(path));
    expect_error("Can't read texture " + path + ": " + c.damage, "Texture Error");
  }
  EXPECT_TRUE(scene.warnings().empty());
  EXPECT_TRUE(texture.texels.empty());
}

TEST_F(TextureFilesTest, TgaFilesGoToTheColourMappedReaderFirst) {
  // 15-bit entries: white 0x7FFF is 248 per channel in the colour-mapped
  // reader; the host's loader scales it to 255.
  const Bytes file = colormap_tga(1, 3, 1, 15, {0xFF, 0x7F, 0x00, 0x7C}, 2, {0, 1, 1});
  ASSERT_TRUE(load(put("map.tga", file)));
  EXPECT_EQ(texture.width, 8);
  EXPECT_EQ(texture.height, 8);
  EXPECT_EQ(texture.original_width, 3);
  EXPECT_EQ(texel(0, 0).red, 248);
  EXPECT_EQ(texel(0, 0).blue, 248);
  EXPECT_EQ(texel(2, 0).red, 248);
  EXPECT_EQ(texel(2, 0).green, 0);
  EXPECT_EQ(texel(3, 0).alpha, 0);

  SceneTexture upper;  // not "tga": the host's loader
  ASSERT_TRUE(load_texture_file(scene, "Skin", put("map.TGA", file), upper));
  EXPECT_EQ(upper.texels[0].red, 255);

  // A true-colour TGA is declined by the colour-mapped reader and loaded by
  // the host.
  Bytes truecolour = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 0x28, 30, 20, 10, 40};
  SceneTexture tc;
  ASSERT_TRUE(load_texture_file(scene, "Skin", put("true.tga", truecolour), tc));
  EXPECT_EQ(tc.texels[0].red, 10);
  EXPECT_EQ(tc.texels[0].green, 20);
  EXPECT_EQ(tc.texels[0].blue, 30);
  EXPECT_EQ(tc.texels[0].alpha, 40);

  // Declined files keep their origin: stored red then blue from the bottom
  // right, the texels are blue then red.
  Bytes right = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0x10, 0, 0, 255, 255, 0, 0};
  SceneTexture mirrored;
  ASSERT_TRUE(load_texture_file(scene, "Skin", put("right.tga", right), mirrored));
  EXPECT_EQ(mirrored.texels[0].blue, 255);
  EXPECT_EQ(mirrored.texels[0].red, 0);
  EXPECT_EQ(mirrored.texels[1].red, 255);
  EXPECT_EQ(mirrored.texels[1].blue, 0);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(TextureFilesTest, TextureNamesAndSameNamedFiles) {
  for (const char* p :
       {"a/skin.tga", "b/skin.bmp", "C:\\maps\\my-tex.01.png", "a/skin.tga", "c/skin.png"}) {
    SceneTexture t;
    t.path = p;
    scene.textures.push_back(t);
  }
  name_textures(scene);
  EXPECT_EQ(scene.textures[0].name, "skin");
  EXPECT_EQ(scene.textures[1].name, "skin");
  EXPECT_EQ(scene.textures[2].name, "my_tex_01");
  // The same file twice is not a second file of that name.
  EXPECT_EQ(scene.warnings(),
            (std::vector<std::string>{"Same named texture file exist. b/skin.bmp",
                                      "Same named texture file exist. c/skin.png"}));
}

}  // namespace
}  // namespace kavro
