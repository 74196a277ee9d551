// Conversion of ordinary images into the palette formats and direct: format
// choice, palette order, texel indices, packing and the written element.
// Expected words are worked out by hand from the colour words
// (red 001f, green 03e0, blue 7c00, white 7fff) and their luminances.
#include "exporter/texture/convert.h"

#include <gtest/gtest.h>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/texture/decode.h"
#include "tests/exporter/texture/texture_util.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

using test::make_texture;
using test::px;
using test::set_px;

const SourceTexel kRed = px(255, 0, 0);
const SourceTexel kGreen = px(0, 255, 0);
const SourceTexel kBlue = px(0, 0, 255);
const SourceTexel kWhite = px(255, 255, 255);
const SourceTexel kClear = px(0, 0, 0, 0);

std::string convert_text(SceneTexture& t, int index = 0) {
  OutputFile out;
  convert_texture(t);
  write_tex_image(out, t, index);
  return test::lf(out.text());
}

std::vector<std::uint16_t> words(std::initializer_list<int> w) {
  std::vector<std::uint16_t> out;
  for (int v : w) out.push_back(static_cast<std::uint16_t>(v));
  return out;
}

TEST(PaletteFormat, FourOpaqueColoursGivePalette4AndTheLowestBitsHoldTheLeftTexel) {
  // Colours in order of luminance so their indices are 0 to 3.
  SceneTexture t = make_texture(8, 8, "C:\\tex\\img.png", px(0, 0, 0));
  set_px(t, 1, 0, px(80, 80, 80));
  set_px(t, 2, 0, px(160, 160, 160));
  set_px(t, 3, 0, kWhite);
  EXPECT_EQ(convert_text(t, 3),
            "\t<tex_image index=\"3\" name=\"img\"\n"
            "\t\twidth=\"8\" height=\"8\" original_width=\"8\" original_height=\"8\"\n"
            "\t\tformat=\"palette4\"\n"
            "\t\tcolor0_mode=\"color\"\n"
            "\t\tpalette_name=\"img_pl\"\n"
            "\t\tpath=\"C:/tex/img.png\"\n"
            "\t>\n"
            "\t\t<bitmap size=\"8\">\n"
            "\t\t\t00e4 0000 0000 0000 0000 0000 0000 0000\n"
            "\t\t</bitmap>\n"
            "\t</tex_image>\n");
  EXPECT_EQ(t.palette, words({0x0000, 0x294a, 0x5294, 0x7fff}));
}

TEST(PaletteFormat, ThreeColoursAndTransparentBlackFitPalette4WithTransparency) {
  SceneTexture t = make_texture(8, 8, "C:/tex/rgb.png", kClear);
  set_px(t, 0, 0, kRed);
  set_px(t, 1, 0, kGreen);
  set_px(t, 2, 0, kBlue);
  std::string text = convert_text(t);
  EXPECT_NE(text.find("\t\tformat=\"palette4\"\n\t\tcolor0_mode=\"transparency\"\n"),
            std::string::npos);
  // Exchange sort of [001f 03e0 7c00 0000] by luminance 74, 145, 28, 0.
  EXPECT_EQ(t.palette, words({0x0000, 0x7c00, 0x001f, 0x03e0}));
  // red 2, green 3, blue 1, clear 0.
  EXPECT_NE(text.find("<bitmap size=\"8\">\n\t\t\t001e 0000 "), std::string::npos);
}

TEST(PaletteFormat, TransparentNonBlackGetsReservedColour0AndPalette16) {
  SceneTexture t = make_texture(8, 8, "C:/tex/rgb.png", px(255, 255, 255, 0));
  set_px(t, 0, 0, kRed);
  set_px(t, 1, 0, kGreen);
  set_px(t, 2, 0, kBlue);
  std::string text = convert_text(t);
  EXPECT_NE(text.find("\t\tformat=\"palette16\"\n\t\tcolor0_mode=\"transparency\"\n"),
            std::string::npos);
  EXPECT_EQ(t.palette, words({0x0000, 0x7c00, 0x001f, 0x03e0, 0x7fff}));
  EXPECT_NE(text.find("<bitmap size=\"16\">\n"
                      "\t\t\t0132 0000 0000 0000 0000 0000 0000 0000\n"
                      "\t\t\t0000 0000 0000 0000 0000 0000 0000 0000\n"
                      "\t\t</bitmap>"),
            std::string::npos);
}

TEST(PaletteFormat, ColoursOfTransparentTexelsAreCountedAndTheyIndexColour0) {
  // Four opaque colours plus transparent red: 5 colours and the reserved 0.
  SceneTexture t = make_texture(8, 8, "C:/tex/x.png", px(255, 0, 0, 10));
  set_px(t, 0, 0, kGreen);
  set_px(t, 1, 0, kBlue);
  set_px(t, 2, 0, kWhite);
  set_px(t, 3, 0, px(80, 80, 80));
  convert_texture(t);
  EXPECT_EQ(t.format, TextureFormat::kPalette16);
  EXPECT_EQ(t.palette.size(), 6u);
  EXPECT_EQ(t.palette[0], 0);
  EXPECT_EQ(t.texels[8].index, 0);  // a transparent red texel
  EXPECT_NE(t.texels[0].index, 0);
}

TEST(PaletteFormat, TwoHundredFiftySixColours) {
  SceneTexture t = make_texture(16, 16, "C:/tex/many.png");
  for (int i = 0; i < 256; ++i) t.texels[i] = px((i % 32) << 3, (i / 32) << 3, 0);
  convert_texture(t);
  EXPECT_EQ(t.format, TextureFormat::kPalette256);
  EXPECT_EQ(t.palette.size(), 256u);
  // Any alpha below 248 turns the same image direct.
  t.texels[77].alpha = 247;
  convert_texture(t);
  EXPECT_EQ(t.format, TextureFormat::kDirect);
  EXPECT_TRUE(t.palette.empty());
  // 255 colours and transparent texels of one of them: the reserved colour 0
  // makes 256 and the image stays palette256.
  t = make_texture(16, 16, "C:/tex/many.png");
  for (int i = 0; i < 256; ++i) {
    t.texels[i] = px(((i % 255) % 32) << 3, ((i % 255) / 32 + 1) << 3, 0);
  }
  t.texels[255].alpha = 0;
  convert_texture(t);
  EXPECT_EQ(t.format, TextureFormat::kPalette256);
  EXPECT_EQ(t.palette.size(), 256u);
  EXPECT_EQ(t.palette[0], 0);
}

TEST(PaletteFormat, SeveralAlphaLevelsGiveA5I3ThenA3I5ThenPalette256) {
  // Levels 16 (alpha 128), 0 (alpha 0) and 8 (alpha 64); 255 is no level.
  SceneTexture t = make_texture(8, 2, "C:/tex/alpha.png", kRed);
  set_px(t, 1, 0, px(0, 255, 0, 128));
  set_px(t, 2, 0, px(0, 0, 255, 0));
  set_px(t, 3, 0, px(255, 255, 255, 64));
  std::string text = convert_text(t);
  // Palette by luminance: blue 0, red 1, green 2, white 3; each byte is
  // (alpha AND f8) OR index.
  EXPECT_EQ(t.palette, words({0x7c00, 0x001f, 0x03e0, 0x7fff}));
  EXPECT_EQ(text,
            "\t<tex_image index=\"0\" name=\"alpha\"\n"
            "\t\twidth=\"8\" height=\"2\" original_width=\"8\" original_height=\"2\"\n"
            "\t\tformat=\"a5i3\"\n"
            "\t\tpalette_name=\"alpha_pl\"\n"
            "\t\tpath=\"C:/tex/alpha.png\"\n"
            "\t>\n"
            "\t\t<bitmap size=\"8\">\n"
            "\t\t\t82f9 4300 f9f9 f9f9 f9f9 f9f9 f9f9 f9f9\n"
            "\t\t</bitmap>\n"
            "\t</tex_image>\n");

  // 20 colours with the same alpha levels: a3i5, (alpha AND e0) OR index.
  SceneTexture u = make_texture(8, 4, "C:/tex/a3.png", px(0, 0, 0, 0));
  for (int i = 1; i < 20; ++i) u.texels[i] = test::grey5(i, 200);
  convert_texture(u);
  EXPECT_EQ(u.format, TextureFormat::kA3I5);
  OutputFile out;
  convert_texture(u);
  write_tex_image(out, u, 0);
  // Texel 0 is black (index 0, alpha 0), texel 1 grey 1 (index 1, alpha
  // 200 -> c0): the first word is c100.
  EXPECT_NE(out.text().find("<bitmap size=\"16\">\r\n\t\t\tc100 "), std::string::npos);

  // 40 colours: palette256 with transparency; alpha below 128 is transparent.
  SceneTexture v = make_texture(8, 8, "C:/tex/p256.png", test::grey5(0, 0));
  for (int i = 1; i < 40; ++i) v.texels[i] = test::grey5(i % 32, i < 32 ? 127 : 128);
  for (int i = 32; i < 40; ++i) v.texels[i].red = 248;
  convert_texture(v);
  EXPECT_EQ(v.format, TextureFormat::kPalette256);
  EXPECT_EQ(v.texels[5].index, 0);   // alpha 127
  EXPECT_NE(v.texels[35].index, 0);  // alpha 128
}

TEST(DirectFormat, AlphaBitSetFrom128) {
  SceneTexture t = make_texture(16, 16, "C:/tex/d.png");
  for (int i = 0; i < 256; ++i) t.texels[i] = px((i % 32) << 3, (i / 32) << 3, 0);
  t.texels[0].alpha = 127;
  t.texels[1].alpha = 128;
  std::string text = convert_text(t);
  EXPECT_NE(text.find("\t\tformat=\"direct\"\n\t\tpath=\"C:/tex/d.png\"\n\t>\n"
                      "\t\t<bitmap size=\"256\">\n"
                      "\t\t\t0000 8001 8002 8003 8004 8005 8006 8007\n"
                      "\t\t\t8008 "),
            std::string::npos);
  EXPECT_EQ(text.find("palette_name"), std::string::npos);
  EXPECT_EQ(text.find("color0_mode"), std::string::npos);
}

TEST(PaletteSort, ReservedColour0GoesFirstEvenBehindADarkBlue) {
  // Blue 8 (colour 0400) has luminance 0 like colour 0 and comes first; the
  // exchange sort leaves it ahead, yet transparent texels index position 0.
  SceneTexture t = make_texture(8, 8, "C:/tex/night.png", kClear);
  set_px(t, 0, 0, px(0, 0, 8));
  set_px(t, 7, 7, px(0, 0, 8));
  std::string text = convert_text(t);
  EXPECT_EQ(t.palette, words({0x0000, 0x0400}));
  EXPECT_EQ(t.texels[0].index, 1);
  EXPECT_EQ(t.texels[63].index, 1);
  EXPECT_NE(text.find("\t\t\t0001 0000 0000 0000 0000 0000 0000 4000\n"), std::string::npos);

  // The same with transparent white: [0400 7fff 0] sorts to [0400 0 7fff].
  SceneTexture u = make_texture(8, 8, "C:/tex/night.png", px(255, 255, 255, 0));
  set_px(u, 0, 0, px(0, 0, 8));
  convert_texture(u);
  EXPECT_EQ(u.palette, words({0x0000, 0x0400, 0x7fff}));
  EXPECT_EQ(u.texels[0].index, 1);
}

TEST(PaletteSort, OpaqueBlackBesideTransparentBlackStaysVisible) {
  SceneTexture t = make_texture(8, 8, "C:/tex/ink.png", kClear);
  set_px(t, 0, 0, px(0, 0, 0, 255));
  set_px(t, 1, 0, kWhite);
  std::string text = convert_text(t);
  EXPECT_NE(text.find("format=\"palette4\"\n\t\tcolor0_mode=\"transparency\""), std::string::npos);
  // Two colour-0 entries: position 0 for transparent texels, position 1 for
  // opaque black.
  EXPECT_EQ(t.palette, words({0x0000, 0x0000, 0x7fff}));
  EXPECT_EQ(t.texels[0].index, 1);
  EXPECT_EQ(t.texels[1].index, 2);
  EXPECT_EQ(t.texels[2].index, 0);
  EXPECT_NE(text.find("\t\t\t0009 0000 "), std::string::npos);

  EncodedTexture e;
  e.format = t.format;
  e.width = e.height = 8;
  e.palette = t.palette;
  e.color0_transparent = true;
  e.words = {0x0009, 0, 0, 0, 0, 0, 0, 0};
  std::vector<Rgba> shown = decode_texture(e);
  EXPECT_EQ(shown[0], (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(shown[2], (Rgba{0, 0, 0, 0}));

  // Opaque black with transparent red (no black_clear): colour 0 is in the
  // table already and the reserved entry comes on top of it.
  SceneTexture u = make_texture(8, 8, "C:/tex/ink.png", px(255, 0, 0, 0));
  set_px(u, 0, 0, px(0, 0, 0, 255));
  convert_texture(u);
  EXPECT_EQ(u.palette, words({0x0000, 0x0000, 0x001f}));
  EXPECT_EQ(u.texels[0].index, 1);
  EXPECT_EQ(u.texels[1].index, 0);
}

TEST(PaletteIndices, OnlyTheOriginalAreaIsAnalysedAndPaddingTexelsKeepIndex0) {
  // A 5 x 3 image converted at 8 x 8: the padding is transparent black but
  // it is not analysed, so the image is opaque and has two colours.
  SceneTexture t = make_texture(8, 8, "C:/tex/pad.png", kClear);
  t.original_width = 5;
  t.original_height = 3;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) set_px(t, x, y, (x + y) % 2 ? kWhite : kRed);
  }
  std::string text = convert_text(t);
  EXPECT_NE(text.find("color0_mode=\"color\""), std::string::npos);
  EXPECT_EQ(t.palette, words({0x001f, 0x7fff}));
  EXPECT_EQ(t.texels[63].index, 0);
  EXPECT_EQ(t.texels[1].index, 1);
}

}  // namespace
}  // namespace kavro
