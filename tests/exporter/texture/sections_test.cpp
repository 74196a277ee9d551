// The model file's texture sections: image array, palette collection with
// shared names, sorting, padding and palette indices.
#include <gtest/gtest.h>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/texture/convert.h"
#include "host/recording_host.h"
#include "tests/exporter/texture/texture_util.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

using test::Chunk;
using test::make_texture;
using test::px;
using test::set_px;
using test::text_bytes;
using test::words16;

class TextureSections : public ::testing::Test {
 protected:
  TextureSections() {
    scene_.host_interface = &host_;
    scene_.stage_count = 1;
  }
  SceneTexture& add(SceneTexture t, const std::string& name) {
    t.name = name;
    scene_.textures.push_back(std::move(t));
    return scene_.textures.back();
  }
  // A texture read from a pre-converted palette16 file.
  SceneTexture& add_preconverted(const std::string& name, const std::string& palette_name,
                                 const std::vector<std::uint16_t>& colours) {
    std::vector<Chunk> chunks = {{"kvs_frmt", text_bytes("palette16")},
                                 {"kvs_txel", words16(std::vector<std::uint16_t>(16, 0))}};
    if (!palette_name.empty()) chunks.push_back({"kvs_pnam", text_bytes(palette_name)});
    chunks.push_back({"kvs_pcol", words16(colours)});
    chunks.push_back({"kvs_gnam", {}});
    std::string path = dir_.file(name + ".tga");
    test::write_bytes(path, test::preconverted_file(chunks));
    return add(make_texture(8, 8, path), name);
  }
  bool write() {
    convert_textures(scene_);
    bool ok = write_texture_sections(out_, scene_, scene_.log(), palette_index_);
    text_ = test::lf(out_.text());
    return ok;
  }
  std::string palette_section() const {
    std::size_t at = text_.find("\n<tex_palette_array");
    return at == std::string::npos ? std::string() : text_.substr(at);
  }

  host::RecordingHost host_;
  ExportScene scene_;
  OutputFile out_;
  std::string text_;
  std::vector<int> palette_index_;
  test::TempDir dir_;
};

TEST_F(TextureSections, NoTexturesWriteNothing) {
  EXPECT_TRUE(write());
  EXPECT_EQ(text_, "");
  EXPECT_EQ(scene_.stages_done, 1);
}

TEST_F(TextureSections, TwoPaletteTexturesSortedByName) {
  // "beta": red with one green and one blue texel: palette by luminance
  // 7c00 001f 03e0 (indices blue 0, red 1, green 2). "Alpha": white only.
  SceneTexture& beta = add(make_texture(8, 8, "C:\\t\\beta.png", px(255, 0, 0)), "beta");
  set_px(beta, 1, 0, px(0, 255, 0));
  set_px(beta, 2, 0, px(0, 0, 255));
  add(make_texture(8, 8, "C:\\t\\Alpha.png", px(255, 255, 255)), "Alpha");
  ASSERT_TRUE(write());
  EXPECT_EQ(text_,
            "\n<tex_image_array size=\"2\">\n"
            "\t<tex_image index=\"0\" name=\"beta\"\n"
            "\t\twidth=\"8\" height=\"8\" original_width=\"8\" original_height=\"8\"\n"
            "\t\tformat=\"palette4\"\n"
            "\t\tcolor0_mode=\"color\"\n"
            "\t\tpalette_name=\"beta_pl\"\n"
            "\t\tpath=\"C:/t/beta.png\"\n"
            "\t>\n"
            "\t\t<bitmap size=\"8\">\n"
            "\t\t\t5549 5555 5555 5555 5555 5555 5555 5555\n"
            "\t\t</bitmap>\n"
            "\t</tex_image>\n"
            "\t<tex_image index=\"1\" name=\"Alpha\"\n"
            "\t\twidth=\"8\" height=\"8\" original_width=\"8\" original_height=\"8\"\n"
            "\t\tformat=\"palette4\"\n"
            "\t\tcolor0_mode=\"color\"\n"
            "\t\tpalette_name=\"Alpha_pl\"\n"
            "\t\tpath=\"C:/t/Alpha.png\"\n"
            "\t>\n"
            "\t\t<bitmap size=\"8\">\n"
            "\t\t\t0000 0000 0000 0000 0000 0000 0000 0000\n"
            "\t\t</bitmap>\n"
            "\t</tex_image>\n"
            "</tex_image_array>\n"
            "\n<tex_palette_array size=\"2\">\n"
            "\t<tex_palette index=\"0\" name=\"Alpha_pl\" color_size=\"4\">\n"
            "\t\t7fff 7fff 7fff 7fff \n"
            "\t</tex_palette>\n"
            "\t<tex_palette index=\"1\" name=\"beta_pl\" color_size=\"4\">\n"
            "\t\t7c00 001f 03e0 7fff \n"
            "\t</tex_palette>\n"
            "</tex_palette_array>\n");
  EXPECT_EQ(palette_index_[0], 1);
  EXPECT_EQ(palette_index_[1], 0);
  EXPECT_EQ(scene_.stages_done, 1);
  EXPECT_TRUE(scene_.warnings().empty());
}

TEST_F(TextureSections, DirectTexturesHaveNoPaletteSection) {
  SceneTexture t = make_texture(16, 16, "C:/t/d.png");
  for (int i = 0; i < 256; ++i) t.texels[i] = px((i % 32) << 3, (i / 32) << 3, 0, 200);
  add(t, "d");
  ASSERT_TRUE(write());
  EXPECT_NE(text_.find("format=\"direct\""), std::string::npos);
  EXPECT_EQ(palette_section(), "");
  EXPECT_EQ(palette_index_[0], -1);
}

TEST_F(TextureSections, SharedPaletteNameWithIdenticalColoursIsWrittenOnce) {
  add_preconverted("one", "common", {1, 2, 3});
  add(make_texture(8, 8, "C:/t/plain.png", px(255, 0, 0)), "plain");
  add_preconverted("two", "common", {1, 2, 3});
  ASSERT_TRUE(write());
  EXPECT_EQ(palette_section(),
            "\n<tex_palette_array size=\"2\">\n"
            "\t<tex_palette index=\"0\" name=\"common\" color_size=\"8\">\n"
            "\t\t0001 0002 0003 7fff 7fff 7fff 7fff 7fff\n"
            "\t</tex_palette>\n"
            "\t<tex_palette index=\"1\" name=\"plain_pl\" color_size=\"4\">\n"
            "\t\t001f 7fff 7fff 7fff \n"
            "\t</tex_palette>\n"
            "</tex_palette_array>\n");
  EXPECT_EQ(palette_index_[0], 0);
  EXPECT_EQ(palette_index_[2], 0);
  EXPECT_EQ(palette_index_[1], 1);
}

TEST_F(TextureSections, SharedPaletteNameWithOtherColoursFails) {
  add_preconverted("one", "common", {1, 2, 3});
  add_preconverted("two", "common", {1, 2, 4});
  EXPECT_FALSE(write());
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "Texture palette data is not identical. common");
  EXPECT_EQ(host_.messages[0].caption, "Palette Error");
  EXPECT_EQ(host_.messages[0].icon, host::MessageIcon::kError);
  EXPECT_NE(text_.find("</tex_image_array>\n"), std::string::npos);
  EXPECT_EQ(palette_section(), "");
  EXPECT_EQ(scene_.stages_done, 1);

  // A different length is a conflict as well.
  ExportScene& s = scene_;
  s.textures.clear();
  host_.messages.clear();
  add_preconverted("three", "common", {1, 2, 3});
  add_preconverted("four", "common", {1, 2, 3, 0});
  OutputFile out;
  convert_textures(s);
  std::vector<int> palette_index;
  EXPECT_FALSE(write_texture_sections(out, s, s.log(), palette_index));
  EXPECT_EQ(host_.messages.size(), 1u);
}

TEST_F(TextureSections, EqualColoursWithoutExplicitNamesStaySeparate) {
  add(make_texture(8, 8, "C:/t/a.png", px(255, 0, 0)), "a");
  add(make_texture(8, 8, "C:/t/b.png", px(255, 0, 0)), "b");
  ASSERT_TRUE(write());
  EXPECT_NE(palette_section().find("<tex_palette_array size=\"2\">"), std::string::npos);
  EXPECT_EQ(palette_index_[0], 0);
  EXPECT_EQ(palette_index_[1], 1);
}

TEST_F(TextureSections, Palette16IsPaddedToEightWordLines) {
  add_preconverted("nine", "", {1, 2, 3, 4, 5, 6, 7, 8, 9});
  ASSERT_TRUE(write());
  EXPECT_EQ(palette_section(),
            "\n<tex_palette_array size=\"1\">\n"
            "\t<tex_palette index=\"0\" name=\"nine_pl\" color_size=\"16\">\n"
            "\t\t0001 0002 0003 0004 0005 0006 0007 0008\n"
            "\t\t0009 7fff 7fff 7fff 7fff 7fff 7fff 7fff\n"
            "\t</tex_palette>\n"
            "</tex_palette_array>\n");
}

TEST_F(TextureSections, NamesOverSixteenCharactersAreWarnedAbout) {
  add(make_texture(8, 8, "C:/t/a.png", px(255, 0, 0)), "sixteen_chars_ok");
  add(make_texture(8, 8, "C:/t/b.png", px(255, 0, 0)), "seventeen_chars_x");
  ASSERT_TRUE(write());
  EXPECT_EQ(scene_.warnings(),
            (std::vector<std::string>{
                "Warning: Length of name over 16 characters. texture: seventeen_chars_x",
                "Warning: Length of name over 16 characters. palette: seventeen_chars_x_pl",
                "Warning: Length of name over 16 characters. palette: sixteen_chars_ok_pl"}));
}

}  // namespace
}  // namespace kavro
