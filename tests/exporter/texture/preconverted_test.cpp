// Pre-converted TGA images: the chunks they carry, the element written from
// them, and the files that must fall back to ordinary conversion.
#include "exporter/texture/preconverted.h"

#include <gtest/gtest.h>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/texture/convert.h"
#include "tests/exporter/texture/texture_util.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

using test::Chunk;
using test::make_texture;
using test::preconverted_file;
using test::text_bytes;
using test::words16;
using test::words32;

std::vector<std::uint16_t> counting(int from, int n) {
  std::vector<std::uint16_t> out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint16_t>(from + i));
  return out;
}

class Preconverted : public ::testing::Test {
 protected:
  // A red 8 x 8 texture whose file holds `chunks`.
  SceneTexture texture_with(const std::string& file, const std::vector<Chunk>& chunks, int w = 8,
                            int h = 8) {
    std::string path = dir_.file(file);
    test::write_bytes(path, preconverted_file(chunks));
    return make_texture(w, h, path, test::px(255, 0, 0));
  }
  std::string convert(SceneTexture& t, int index = 0) {
    OutputFile out;
    convert_texture(t);
    write_tex_image(out, t, index);
    return test::lf(out.text());
  }
  // The texture was converted from its texels rather than read.
  static void expect_ordinary(const SceneTexture& t) {
    EXPECT_EQ(t.format, TextureFormat::kPalette4);
    EXPECT_EQ(t.palette, std::vector<std::uint16_t>{0x001f});
    EXPECT_TRUE(t.palette_name.empty());
    EXPECT_TRUE(t.bitmap.empty());
  }
  test::TempDir dir_;
};

TEST_F(Preconverted, Palette16WithTransparentColour0) {
  SceneTexture t = texture_with("pre.tga", {{"kvs_frmt", text_bytes("palette16")},
                                            {"kvs_c0xp", {}},
                                            {"kvs_txel", words16(counting(1, 16))},
                                            {"kvs_pcol", words16(counting(0x100, 16))},
                                            {"kvs_gnam", {}}});
  EXPECT_EQ(convert(t, 2),
            "\t<tex_image index=\"2\" name=\"pre\"\n"
            "\t\twidth=\"8\" height=\"8\" original_width=\"8\" original_height=\"8\"\n"
            "\t\tformat=\"palette16\"\n"
            "\t\tcolor0_mode=\"transparency\"\n"
            "\t\tpalette_name=\"pre_pl\"\n"
            "\t\tpath=\"" +
                t.path +
                "\"\n"
                "\t>\n"
                "\t\t<bitmap size=\"16\">\n"
                "\t\t\t0001 0002 0003 0004 0005 0006 0007 0008\n"
                "\t\t\t0009 000a 000b 000c 000d 000e 000f 0010\n"
                "\t\t</bitmap>\n"
                "\t</tex_image>\n");
  EXPECT_EQ(t.format, TextureFormat::kPalette16);
  EXPECT_EQ(t.palette, counting(0x100, 16));
  EXPECT_EQ(t.color0_transparent, 1);
  EXPECT_EQ(t.texels[0].index, 0);  // texels are not indexed
}

TEST_F(Preconverted, Tex4x4WithPaletteNameAndACommentChunk) {
  SceneTexture t = texture_with(
      "stone.tga", {{"kvs_frmt", text_bytes("tex4x4")},
                    {"kvs_cmnt", text_bytes("made by hand")},
                    {"kvs_txel", words32({0x11111111, 0x22222222, 0x33333333, 0xfedcba98})},
                    {"kvs_pidx", words16({0x8000, 0x8001, 0xc002, 0x0003})},
                    {"kvs_pnam", text_bytes("rock pal")},
                    {"kvs_pcol", words16({1, 2, 3})},
                    {"kvs_gnam", {}}});
  std::string text = convert(t);
  EXPECT_NE(text.find("\t\tformat=\"tex4x4\"\n"
                      "\t\tpalette_name=\"rock_pal\"\n"
                      "\t\tpath=\"" +
                      t.path +
                      "\"\n"
                      "\t>\n"
                      "\t\t<bitmap size=\"4\">\n"
                      "\t\t\t11111111 22222222 33333333 fedcba98\n"
                      "\t\t</bitmap>\n"
                      "\t\t<tex4x4_palette_idx size=\"4\">\n"
                      "\t\t\t8000 8001 c002 0003\n"
                      "\t\t</tex4x4_palette_idx>\n"
                      "\t</tex_image>\n"),
            std::string::npos);
  EXPECT_EQ(text.find("color0_mode"), std::string::npos);
  EXPECT_EQ(t.palette_name, "rock pal");
  EXPECT_EQ(t.palette, (std::vector<std::uint16_t>{1, 2, 3}));
}

TEST_F(Preconverted, ShortLastLinesAndDirectHasNoPaletteName) {
  SceneTexture t = texture_with("flat.tga",
                                {{"kvs_frmt", text_bytes("direct")},
                                 {"kvs_txel", words16(counting(0x8001, 12))},
                                 {"kvs_gnam", {}}},
                                4, 3);
  std::string text = convert(t);
  EXPECT_NE(text.find("\t\tformat=\"direct\"\n\t\tpath="), std::string::npos);
  EXPECT_NE(text.find("\t\t<bitmap size=\"12\">\n"
                      "\t\t\t8001 8002 8003 8004 8005 8006 8007 8008\n"
                      "\t\t\t8009 800a 800b 800c\n"
                      "\t\t</bitmap>\n"),
            std::string::npos);
  EXPECT_EQ(text.find("palette_name"), std::string::npos);
}

TEST_F(Preconverted, FilesThatAreNotPreconvertedConvertAsOrdinaryImages) {
  const Chunk frmt{"kvs_frmt", text_bytes("palette4")};
  const Chunk txel{"kvs_txel", words16(counting(0, 8))};
  const Chunk pnam{"kvs_pnam", text_bytes("left_over")};
  const Chunk pcol{"kvs_pcol", words16({7, 8})};
  const Chunk gnam{"kvs_gnam", {}};
  struct Case {
    const char* what;
    std::vector<Chunk> chunks;
  };
  std::vector<Case> cases = {
      {"format not first", {{"kvs_cmnt", {1, 2}}, frmt, txel, gnam}},
      {"ends before kvs_gnam", {frmt, pnam, pcol, txel}},
      {"unknown format name", {{"kvs_frmt", text_bytes("palette8")}, txel, gnam}},
      {"format name over 15 bytes", {{"kvs_frmt", text_bytes("palette4palette4")}, txel, gnam}},
      {"palette name over 31 bytes",
       {frmt, txel, {"kvs_pnam", std::vector<std::uint8_t>(32, 'a')}, gnam}},
      {"too few texel words", {frmt, {"kvs_txel", words16(counting(0, 7))}, gnam}},
      {"no texel words", {frmt, pnam, gnam}},
      {"size below the header", {frmt, {"kvs_cmnt", {}, 4}, txel, gnam}},
      {"payload past the end", {frmt, pnam, {"kvs_txel", words16(counting(0, 8)), 0x7ffffff0}}},
      {"tex4x4 without index words",
       {{"kvs_frmt", text_bytes("tex4x4")}, {"kvs_txel", words32({1, 2, 3, 4})}, gnam}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SceneTexture t = texture_with("bad.tga", c.chunks);
    convert(t);
    expect_ordinary(t);
  }
}

TEST_F(Preconverted, OnlyALowerCaseTgaExtensionIsRead) {
  std::vector<Chunk> chunks = {{"kvs_frmt", text_bytes("palette4")},
                               {"kvs_txel", words16(counting(0, 8))},
                               {"kvs_gnam", {}}};
  SceneTexture upper = texture_with("upper.TGA", chunks);
  EXPECT_FALSE(read_preconverted(upper));
  SceneTexture lower = texture_with("lower.tga", chunks);
  EXPECT_TRUE(read_preconverted(lower));
  // A missing file or one without the signature is declined.
  SceneTexture missing = make_texture(8, 8, dir_.file("none.tga"));
  EXPECT_FALSE(read_preconverted(missing));
  std::string plain = dir_.file("plain.tga");
  test::write_file(plain, std::string(64, '\0'));
  SceneTexture ordinary = make_texture(8, 8, plain);
  EXPECT_FALSE(read_preconverted(ordinary));
}

TEST_F(Preconverted, PaletteChunksAppendInFileOrderAndReplaceAnEarlierPalette) {
  SceneTexture t = texture_with("two.tga", {{"kvs_frmt", text_bytes("palette4")},
                                            {"kvs_pcol", words16({1, 2})},
                                            {"kvs_txel", words16(counting(0, 8))},
                                            {"kvs_pcol", words16({3})},
                                            {"kvs_gnam", {}}});
  t.palette = {9, 9, 9};
  ASSERT_TRUE(read_preconverted(t));
  EXPECT_EQ(t.palette, (std::vector<std::uint16_t>{1, 2, 3}));
}

}  // namespace
}  // namespace kavro
