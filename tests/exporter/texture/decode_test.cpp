// Converted textures decoded back: every palette format and direct keep the
// image exactly at the console's precision.
#include "exporter/texture/decode.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "exporter/pipeline/scene.h"
#include "exporter/texture/convert.h"
#include "exporter/texture/palette_convert.h"
#include "tests/exporter/texture/texture_util.h"

namespace kavro {
namespace {

using test::make_texture;
using test::px;

// Converts and decodes; `color0_transparent` as the written color0_mode says.
std::vector<Rgba> round_trip(SceneTexture& t) {
  convert_texture(t);
  ColorAnalysis a = analyse_and_choose(t);
  EncodedTexture e;
  e.format = t.format;
  e.width = t.width;
  e.height = t.height;
  for (std::uint16_t w : pack_texels(t, t.format)) e.words.push_back(w);
  e.palette = t.palette;
  e.color0_transparent = a.transparency;
  return decode_texture(e);
}

// An image of `colours` random colours (multiples of 8), and the alpha
// values `alphas` spread over it.
SceneTexture random_image(std::mt19937& rng, int colours, const std::vector<int>& alphas) {
  std::vector<SourceTexel> set;
  for (int i = 0; i < colours; ++i) {
    set.push_back(px(static_cast<int>(rng() % 32) << 3, static_cast<int>(rng() % 32) << 3,
                     static_cast<int>(rng() % 32) << 3));
  }
  SceneTexture t = make_texture(32, 16, "C:/t/r.png");
  for (std::size_t i = 0; i < t.texels.size(); ++i) {
    t.texels[i] = set[i < set.size() ? i : rng() % set.size()];
    t.texels[i].alpha = static_cast<std::uint8_t>(alphas[rng() % alphas.size()]);
  }
  return t;
}

TEST(Decode, PaletteFormatsAndDirectKeepTheImage) {
  std::mt19937 rng(5);
  struct Case {
    int colours;
    std::vector<int> alphas;
    TextureFormat format;
  };
  // Random colours besides black. Alpha 0 and 255 only for the palette
  // formats (1-bit transparency); multiples of 8 for a5i3, of 32 for a3i5.
  std::vector<Case> cases = {
      {3, {255}, TextureFormat::kPalette4},         {2, {0, 255}, TextureFormat::kPalette4},
      {12, {255}, TextureFormat::kPalette16},       {13, {0, 255}, TextureFormat::kPalette16},
      {200, {255}, TextureFormat::kPalette256},     {200, {0, 255}, TextureFormat::kPalette256},
      {7, {0, 64, 128, 248}, TextureFormat::kA5I3}, {30, {0, 96, 224}, TextureFormat::kA3I5},
      {400, {255, 0}, TextureFormat::kDirect},
  };
  int checked = 0;
  for (int round = 0; round < 20; ++round) {
    for (const Case& c : cases) {
      SceneTexture t = random_image(rng, c.colours, c.alphas);
      // Opaque black, and transparent black beside it where alpha 0 occurs.
      t.texels[0] = px(0, 0, 0, 255);
      if (c.alphas[0] == 0 || c.alphas.back() == 0) t.texels[1] = px(0, 0, 0, 0);
      SceneTexture original = t;
      std::vector<Rgba> shown = round_trip(t);
      if (t.format != c.format) continue;  // random colours may coincide
      ++checked;
      for (std::size_t i = 0; i < shown.size(); ++i) {
        const SourceTexel& s = original.texels[i];
        Rgba want{s.red, s.green, s.blue, 255};
        switch (c.format) {
          case TextureFormat::kA5I3:
            want.a = s.alpha & 0xf8;
            break;
          case TextureFormat::kA3I5:
            want.a = s.alpha & 0xe0;
            break;
          case TextureFormat::kDirect:
            want.a = s.alpha >= 128 ? 255 : 0;
            break;
          default:
            if (s.alpha < 128) want = Rgba{};
        }
        ASSERT_EQ(shown[i], want) << "format " << static_cast<int>(c.format) << " texel " << i;
      }
    }
  }
  EXPECT_GT(checked, 170);  // of 180
}

// One 4x4 block whose first four texels select colours 0 to 3, under each
// palette index word: explicit or interpolated mode, with or without
// transparency, and a palette position past the start. Expected colours
// worked out from the format: c0 = red 31, c1 = blue 31; (5 c0 + 3 c1) / 8 is
// red 155 / 8 = 19 and blue 93 / 8 = 11, shown as 152 and 88; the half-way
// mix is 31 / 2 = 15, shown as 120.
TEST(Decode, Tex4x4BlocksSelectByModeAndTransparency) {
  const Rgba red{248, 0, 0, 255}, blue{0, 0, 248, 255}, green{0, 248, 0, 255};
  const Rgba white{248, 248, 248, 255}, black{0, 0, 0, 255}, grey{128, 128, 128, 255}, clear{};
  struct Case {
    const char* name;
    std::uint16_t index_word;
    std::array<Rgba, 4> want;
  };
  const Case cases[] = {
      {"explicit, opaque", 0x8000, {red, blue, green, white}},
      {"explicit, transparency", 0x0000, {red, blue, green, clear}},
      {"interpolated, opaque", 0xc000, {red, blue, Rgba{152, 0, 88, 255}, Rgba{88, 0, 152, 255}}},
      {"interpolated, transparency", 0x4000, {red, blue, Rgba{120, 0, 120, 255}, clear}},
      {"explicit at position 2", 0x8001, {green, white, black, grey}},
  };
  for (const Case& c : cases) {
    EncodedTexture e;
    e.format = TextureFormat::kTex4x4;
    e.width = e.height = 4;
    e.words = {0x000000e4};  // texels 0-3 take indices 0, 1, 2, 3; the rest 0
    e.palette = {0x001f, 0x7c00, 0x03e0, 0x7fff, 0x0000, 0x4210};
    e.palette_idx = {c.index_word};
    std::vector<Rgba> shown = decode_texture(e);
    ASSERT_EQ(shown.size(), 16u);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(shown[k], c.want[k]) << c.name << ", texel " << k;
    for (int k = 4; k < 16; ++k) EXPECT_EQ(shown[k], c.want[0]) << c.name << ", texel " << k;
  }
}

TEST(Decode, MissingWordsAndEntriesDecodeAsTransparentBlack) {
  EncodedTexture e;
  e.format = TextureFormat::kPalette16;
  e.width = e.height = 8;
  e.words = {0x0021};  // indices 1, 2, 0, 0; the other 15 words are missing
  e.palette = {0x7fff, 0x001f};
  std::vector<Rgba> shown = decode_texture(e);
  EXPECT_EQ(shown[0], (Rgba{248, 0, 0, 255}));
  EXPECT_EQ(shown[1], (Rgba{0, 0, 0, 0}));
  EXPECT_EQ(shown[2], (Rgba{248, 248, 248, 255}));
  EXPECT_EQ(shown[4], (Rgba{0, 0, 0, 0}));
}

}  // namespace
}  // namespace kavro
