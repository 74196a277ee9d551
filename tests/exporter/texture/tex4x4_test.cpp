// The 4x4 block compression: worked blocks, shared palette runs, palette
// rebuilding, and the fast colour choice checked against a plain search.
// Greys are used where distances are worked by hand: two greys v and u are
// (30^2 + 59^2 + 11^2) (v - u)^2 = 4502 (v - u)^2 apart.
#include "exporter/texture/tex4x4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <set>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/texture/convert.h"
#include "exporter/texture/decode.h"
#include "tests/exporter/texture/texture_util.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

using test::grey5;
using test::make_texture;
using test::px;
using test::set_px;

std::uint16_t grey_word(int v) {
  return static_cast<std::uint16_t>(v | v << 5 | v << 10);
}

// Fills a 4 x 4 texture from 16 texels in row order.
SceneTexture block_texture(const std::string& path, const std::vector<SourceTexel>& texels) {
  SceneTexture t = make_texture(4, 4, path);
  t.texels = texels;
  return t;
}

std::string convert_text(SceneTexture& t) {
  OutputFile out;
  convert_texture(t);
  write_tex_image(out, t, 0);
  return test::lf(out.text());
}

TEST(Tex4x4, AllTransparentBlocks) {
  SceneTexture t = make_texture(8, 8, "C:\\tex\\clear_cmp.png", px(10, 20, 30, 0));
  EXPECT_EQ(convert_text(t),
            "\t<tex_image index=\"0\" name=\"clear_cmp\"\n"
            "\t\twidth=\"8\" height=\"8\" original_width=\"8\" original_height=\"8\"\n"
            "\t\tformat=\"tex4x4\"\n"
            "\t\tpalette_name=\"clear_cmp_pl\"\n"
            "\t\tpath=\"C:/tex/clear_cmp.png\"\n"
            "\t>\n"
            "\t\t<bitmap size=\"4\">\n"
            "\t\t\tffffffff ffffffff ffffffff ffffffff\n"
            "\t\t</bitmap>\n"
            "\t\t<tex4x4_palette_idx size=\"4\">\n"
            "\t\t\t0000 0000 0000 0000 \n"
            "\t\t</tex4x4_palette_idx>\n"
            "\t</tex_image>\n");
  EXPECT_EQ(t.format, TextureFormat::kTex4x4);
  EXPECT_EQ(t.palette, std::vector<std::uint16_t>(8, 0x7fff));
}

TEST(Tex4x4, SingleColourTexture) {
  SceneTexture t = make_texture(8, 8, "C:/tex/red_cmp.png", px(255, 0, 0));
  std::string text = convert_text(t);
  EXPECT_NE(text.find("\t\t\t00000000 00000000 00000000 00000000\n"), std::string::npos);
  EXPECT_NE(text.find("\t\t\t8000 8000 8000 8000 \n"), std::string::npos);
  std::vector<std::uint16_t> palette(8, 0x7fff);
  palette[0] = 0x001f;
  EXPECT_EQ(t.palette, palette);

  SceneTexture u = make_texture(8, 8, "C:/tex/red_cmp2.png", px(255, 0, 0));
  EXPECT_NE(convert_text(u).find("\t\t\tc000 c000 c000 c000 \n"), std::string::npos);
}

TEST(Tex4x4, ModeComesFromTheCaseSensitiveNameMark) {
  SceneTexture upper = make_texture(8, 8, "C:/tex/WALL_CMP.png", px(255, 0, 0));
  convert_texture(upper);
  EXPECT_EQ(upper.format, TextureFormat::kPalette4);
  SceneTexture lower = make_texture(8, 8, "C:/tex/wall_cmp.png", px(255, 0, 0));
  convert_texture(lower);
  EXPECT_EQ(lower.format, TextureFormat::kTex4x4);
}

TEST(Tex4x4, ExplicitBlockOfFiveColoursKeepsTheBestFour) {
  // Greys A0 x4, B10 x1, C11 x4, D20 x4, E30 x3. Errors of the subsets of
  // four, in units of 4502: without E 100*3, without D 81*4, without C 1*4,
  // without B 1*1, without A 100*4. {0, 11, 20, 30} wins; brightest first
  // 30 20 11 0, stored as 30 0 20 11.
  std::vector<SourceTexel> texels;
  for (int v : {0, 0, 0, 0, 10, 11, 11, 11, 11, 20, 20, 20, 20, 30, 30, 30}) {
    texels.push_back(grey5(v));
  }
  SceneTexture t = block_texture("C:/tex/five_cmp.png", texels);
  std::string text = convert_text(t);
  // Indices: 0 -> 1, 10 and 11 -> 3, 20 -> 2, 30 -> 0.
  EXPECT_NE(text.find("<bitmap size=\"1\">\n\t\t\t02abff55 \n\t\t</bitmap>"), std::string::npos);
  EXPECT_NE(text.find("<tex4x4_palette_idx size=\"1\">\n\t\t\t8000 \n"), std::string::npos);
  EXPECT_EQ(t.palette, (std::vector<std::uint16_t>{0x7bde, 0x0000, 0x5294, 0x2d6b, 0x7fff, 0x7fff,
                                                   0x7fff, 0x7fff}));
}

TEST(Tex4x4, InterpolatedBlockChoosesThePairWhoseMixesFit) {
  // Greys A0 x5, B8 x6, C24 x5. Pair errors in units of 4502: (A,B) mixes
  // 3 and 5, C is 16 from B: 256*5; (A,C) mixes 9 and 15, B is 1 from 9:
  // 1*6; (B,C) mixes 14 and 18, A is 8 from B: 64*5. Run 24 0 with mixes
  // 15 and 9.
  std::vector<SourceTexel> texels;
  for (int v : {0, 0, 0, 0, 0, 8, 8, 8, 8, 8, 8, 24, 24, 24, 24, 24}) texels.push_back(grey5(v));
  SceneTexture t = block_texture("C:/tex/mix_cmp2.png", texels);
  std::string text = convert_text(t);
  EXPECT_NE(text.find("\t\t\t003ffd55 \n"), std::string::npos);
  EXPECT_NE(text.find("\t\t\tc000 \n"), std::string::npos);
  EXPECT_EQ(t.palette[0], grey_word(24));
  EXPECT_EQ(t.palette[1], 0x0000);
}

TEST(Tex4x4, TransparentBlocksUseIndex3AndTheMeanColour) {
  // Greys 0 and 20 plus transparent texels, interpolated: the mean of 20 and
  // 0 is 10; grey 9 is nearest to it.
  std::vector<SourceTexel> texels(16, px(0, 0, 0, 0));
  texels[0] = grey5(20);
  texels[1] = grey5(0);
  texels[2] = grey5(9);
  SceneTexture t = block_texture("C:/tex/hole_cmp2.png", texels);
  std::string text = convert_text(t);
  // Pair (20, 0) is the only one with grey 9 near a mix; indices 0, 1, 2
  // then 3 for every transparent texel: ffffffe4.
  EXPECT_NE(text.find("\t\t\tffffffe4 \n"), std::string::npos);
  EXPECT_NE(text.find("\t\t\t4000 \n"), std::string::npos);
}

TEST(Tex4x4, RunsAreSharedAndASingleColourAtAnOddPositionUsesItsPair) {
  // Blocks left to right: all red; blue over green; all blue; all green.
  const SourceTexel red = px(255, 0, 0), green = px(0, 255, 0), blue = px(0, 0, 255);
  SceneTexture t = make_texture(16, 4, "C:/tex/runs_cmp.png", red);
  for (int y = 0; y < 4; ++y) {
    for (int x = 4; x < 8; ++x) set_px(t, x, y, y < 2 ? blue : green);
    for (int x = 8; x < 12; ++x) set_px(t, x, y, blue);
    for (int x = 12; x < 16; ++x) set_px(t, x, y, green);
  }
  std::string text = convert_text(t);
  // Palette: red at 0, 7fff to reach an even length, then green (brighter)
  // and blue. Blue alone sits at 3: the block uses the pair at 2.
  EXPECT_EQ(t.palette, (std::vector<std::uint16_t>{0x001f, 0x7fff, 0x03e0, 0x7c00, 0x7fff, 0x7fff,
                                                   0x7fff, 0x7fff}));
  EXPECT_NE(text.find("\t\t\t00000000 00005555 55555555 00000000\n"), std::string::npos);
  EXPECT_NE(text.find("\t\t\t8000 8001 8001 8001 \n"), std::string::npos);
}

TEST(Tex4x4, ThreeColoursAreStoredBrightestDarkestMiddle) {
  std::vector<SourceTexel> texels(16, grey5(5));
  texels[3] = grey5(25);
  texels[9] = grey5(15);
  texels[12] = px(0, 0, 0, 0);
  SceneTexture t = block_texture("C:/tex/three_cmp.png", texels);
  std::string text = convert_text(t);
  EXPECT_EQ(t.palette[0], grey_word(25));
  EXPECT_EQ(t.palette[1], grey_word(5));
  EXPECT_EQ(t.palette[2], grey_word(15));
  // Grey 5 -> 1, 25 -> 0, 15 -> 2, transparent -> 3; no bit 15.
  EXPECT_NE(text.find("\t\t\t57595515 \n"), std::string::npos);
  EXPECT_NE(text.find("\t\t\t0000 \n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// The colour choice against a plain search written from the rules: every
// subset in ascending index order, error summed texel by texel over the
// decoded colours, replaced only on a strictly smaller error.

int plain_distance(std::uint16_t a, std::uint16_t b) {
  int dr = 30 * ((a & 31) - (b & 31));
  int dg = 59 * (((a >> 5) & 31) - ((b >> 5) & 31));
  int db = 11 * (((a >> 10) & 31) - ((b >> 10) & 31));
  return dr * dr + dg * dg + db * db;
}

std::uint16_t mix(std::uint16_t a, std::uint16_t b, int wa, int wb, int div) {
  int r = ((a & 31) * wa + (b & 31) * wb) / div;
  int g = (((a >> 5) & 31) * wa + ((b >> 5) & 31) * wb) / div;
  int bl = (((a >> 10) & 31) * wa + ((b >> 10) & 31) * wb) / div;
  return static_cast<std::uint16_t>(r | g << 5 | bl << 10);
}

int plain_luminance(std::uint16_t w) {
  int r = w & 31, g = (w >> 5) & 31, b = (w >> 10) & 31;
  return static_cast<int>(0.299 * ((r << 3) | (r >> 2)) + 0.587 * ((g << 3) | (g >> 2)) +
                          0.114 * ((b << 3) | (b >> 2)));
}

BlockColors plain_choice(const Tex4x4Block& block, bool interpolated) {
  BlockColors out;
  std::vector<std::uint16_t> list;
  for (int k = 0; k < 16; ++k) {
    if (!block.opaque[k]) {
      out.transparent = true;
    } else if (std::find(list.begin(), list.end(), block.color[k]) == list.end()) {
      list.push_back(block.color[k]);
    }
  }
  if (list.empty()) return out;
  int limit = interpolated ? 2 : (out.transparent ? 3 : 4);
  std::vector<std::uint16_t> chosen = list;
  if (static_cast<int>(list.size()) > limit) {
    long best = LONG_MAX;
    std::vector<int> idx(static_cast<std::size_t>(limit));
    std::vector<int> best_idx;
    // Combinations in ascending (lexicographic) order.
    for (int i = 0; i < limit; ++i) idx[i] = i;
    const int n = static_cast<int>(list.size());
    while (true) {
      std::uint16_t decoded[4];
      int count = 0;
      for (int i : idx) decoded[count++] = list[i];
      if (interpolated) {
        if (out.transparent) {
          decoded[count++] = mix(decoded[0], decoded[1], 1, 1, 2);
        } else {
          decoded[count++] = mix(decoded[0], decoded[1], 5, 3, 8);
          decoded[count++] = mix(decoded[0], decoded[1], 3, 5, 8);
        }
      }
      long err = 0;
      for (int k = 0; k < 16; ++k) {
        if (!block.opaque[k]) continue;
        int m = INT_MAX;
        for (int d = 0; d < count; ++d) m = std::min(m, plain_distance(block.color[k], decoded[d]));
        err += m;
      }
      if (err < best) {
        best = err;
        best_idx = idx;
      }
      int i = limit - 1;
      while (i >= 0 && idx[i] == n - limit + i) --i;
      if (i < 0) break;
      ++idx[i];
      for (int j = i + 1; j < limit; ++j) {
        idx[j] = idx[j - 1] + 1;
      }
    }
    chosen.clear();
    for (int i : best_idx) chosen.push_back(list[i]);
  }
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    std::size_t top = i;
    for (std::size_t j = i + 1; j < chosen.size(); ++j) {
      if (plain_luminance(chosen[j]) > plain_luminance(chosen[top])) top = j;
    }
    std::swap(chosen[i], chosen[top]);
  }
  out.count = static_cast<int>(chosen.size());
  if (out.count == 3) chosen = {chosen[0], chosen[2], chosen[1]};
  if (out.count == 4) chosen = {chosen[0], chosen[3], chosen[1], chosen[2]};
  for (std::size_t i = 0; i < chosen.size(); ++i) out.colors[i] = chosen[i];
  return out;
}

TEST(Tex4x4Choice, MatchesThePlainSearchOnRandomBlocks) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 1000; ++round) {
    Tex4x4Block block;
    // Few distinct values make many equal errors, so the tie rules matter;
    // the full range exercises the distances.
    int spread = round % 3 == 0 ? 3 : (round % 3 == 1 ? 8 : 32);
    int holes = static_cast<int>(rng() % 4);
    for (int k = 0; k < 16; ++k) {
      block.color[k] = static_cast<std::uint16_t>((rng() % spread) | (rng() % spread) << 5 |
                                                  (rng() % spread) << 10);
      block.opaque[k] = holes == 0 || rng() % 8 != 0;
    }
    for (bool interpolated : {false, true}) {
      BlockColors fast = choose_block_colors(
          block, interpolated ? Tex4x4Mode::kInterpolated : Tex4x4Mode::kExplicit);
      BlockColors plain = plain_choice(block, interpolated);
      ASSERT_EQ(fast.count, plain.count) << round;
      ASSERT_EQ(fast.transparent, plain.transparent) << round;
      ASSERT_EQ(fast.colors, plain.colors) << "round " << round << " interpolated " << interpolated;
    }
  }
}

TEST(Tex4x4Choice, EqualErrorsKeepTheEarlierSubset) {
  // Greys in order of appearance 0, 10, 11, 20, 30 with counts 4, 2, 2, 4, 4:
  // leaving out 10 or 11 costs the same (2 units); the earlier subset
  // {0, 10, 20, 30} wins.
  Tex4x4Block block;
  int values[16] = {0, 0, 0, 0, 10, 10, 11, 11, 20, 20, 20, 20, 30, 30, 30, 30};
  for (int k = 0; k < 16; ++k) {
    block.color[k] = grey_word(values[k]);
    block.opaque[k] = true;
  }
  BlockColors c = choose_block_colors(block, Tex4x4Mode::kExplicit);
  ASSERT_EQ(c.count, 4);
  // Brightest first 30 20 10 0, stored 30 0 20 10.
  EXPECT_EQ(c.colors, (std::array<std::uint16_t, 4>{grey_word(30), grey_word(0), grey_word(20),
                                                    grey_word(10)}));
}

// ---------------------------------------------------------------------------

TEST(Tex4x4Palette, RebuildMergesRunsWithinAGrowingTolerance) {
  auto w = [](int r, int g, int b) { return static_cast<std::uint16_t>(r | g << 5 | b << 10); };
  const std::uint16_t a = w(10, 10, 10), b = w(20, 20, 20), c = w(31, 0, 0), d = w(0, 31, 0),
                      e = w(0, 0, 31), f = w(5, 5, 5);
  // A run of two, a run of four, a run within 2 of the first, padding.
  std::vector<std::uint16_t> palette = {a, b, c, d, e, f, w(12, 10, 10), w(20, 21, 20)};
  palette.resize(16, 0x7fff);
  std::vector<std::uint8_t> markers(16, 0);
  markers[2] = 1;
  std::vector<int> runs = {0, 2, 4, 6, 8, 14, -1};
  // Tolerance 1 leaves 10 colours (16 after padding); 2 merges the third run
  // into the first.
  EXPECT_EQ(shrink_tex4x4_palette(palette, markers, runs, 8), 2);
  EXPECT_EQ(palette, (std::vector<std::uint16_t>{a, b, c, d, e, f, 0x7fff, 0x7fff}));
  EXPECT_EQ(markers, (std::vector<std::uint8_t>{0, 0, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(runs, (std::vector<int>{0, 2, 4, 0, 6, 6, -1}));
}

TEST(Tex4x4Palette, APaletteThatFitsIsKept) {
  std::vector<std::uint16_t> palette(16, 0x7fff);
  std::vector<std::uint8_t> markers(16, 0);
  std::vector<int> runs = {0, 8};
  EXPECT_EQ(shrink_tex4x4_palette(palette, markers, runs, 16), 0);
  EXPECT_EQ(runs, (std::vector<int>{0, 8}));
}

// The rebuild as the rules state it: for t = 1, 2, ... walk the old even
// positions and look for the first matching run by scanning the new palette.
struct PlainRebuild {
  std::vector<std::uint16_t> palette;
  std::vector<std::uint8_t> markers;
  std::vector<int> moved;
  int t = 0;
};

PlainRebuild plain_rebuild(const std::vector<std::uint16_t>& old,
                           const std::vector<std::uint8_t>& markers, std::size_t limit) {
  auto close = [](std::uint16_t a, std::uint16_t b, int t) {
    for (int shift : {0, 5, 10}) {
      if (std::abs(((a >> shift) & 31) - ((b >> shift) & 31)) > t) return false;
    }
    return true;
  };
  PlainRebuild r;
  for (int t = 1;; ++t) {
    r = PlainRebuild{};
    r.t = t;
    for (std::size_t p = 0; p + 1 < old.size(); p += 2) {
      std::size_t n = markers[p] && p + 4 <= old.size() ? 4 : 2;
      int found = -1;
      for (std::size_t q = 0; q + n <= r.palette.size() && found < 0; q += 2) {
        bool all = true;
        for (std::size_t i = 0; i < n; ++i) all = all && close(r.palette[q + i], old[p + i], t);
        if (all) found = static_cast<int>(q);
      }
      if (found < 0) {
        found = static_cast<int>(r.palette.size());
        for (std::size_t i = 0; i < n; ++i) {
          r.palette.push_back(old[p + i]);
          r.markers.push_back(i == 0 && n == 4 ? 1 : 0);
        }
      }
      r.moved.push_back(found);
    }
    while (r.palette.size() < 8 || r.palette.size() % 8 != 0) {
      r.palette.push_back(0x7fff);
      r.markers.push_back(0);
    }
    if (r.palette.size() <= limit || t >= 31) return r;
  }
}

TEST(Tex4x4Palette, RebuildMatchesTheScanningRebuild) {
  std::mt19937 rng(2024);
  std::set<int> tolerances;
  for (int round = 0; round < 12; ++round) {
    // Colours scattered around a few centres, so that tolerances of several
    // steps are needed and runs match in many ways.
    std::vector<std::uint16_t> palette;
    int spread = 1 + round % 6;
    for (int i = 0; i < 1000; ++i) {
      int centre = static_cast<int>(rng() % 6) * 5;
      auto ch = [&] {
        return std::clamp(centre + static_cast<int>(rng() % (2 * spread + 1)) - spread, 0, 31);
      };
      palette.push_back(static_cast<std::uint16_t>(ch() | ch() << 5 | ch() << 10));
    }
    std::vector<std::uint8_t> markers(palette.size(), 0);
    for (std::size_t p = 0; p + 4 <= palette.size(); p += 2) markers[p] = rng() % 3 == 0;
    std::vector<int> runs;
    for (int p = 0; p < 1000; p += 2) runs.push_back(p);
    std::size_t limit = 64 + 64 * static_cast<std::size_t>(round % 4);

    PlainRebuild want = plain_rebuild(palette, markers, limit);
    int t = shrink_tex4x4_palette(palette, markers, runs, limit);
    ASSERT_EQ(t, want.t) << round;
    ASSERT_EQ(palette, want.palette) << round;
    ASSERT_EQ(markers, want.markers) << round;
    ASSERT_EQ(runs, want.moved) << round;
    tolerances.insert(t);
  }
  EXPECT_GE(tolerances.size(), 3u);  // several rebuild rounds were exercised
}

TEST(Tex4x4Palette, LargeImagesStayWithin32768ColoursAndEveryRunIsInside) {
  // 8960 blocks of four colours of their own need 35840 colours; the colours
  // change smoothly from block to block, as in a photograph.
  SceneTexture t = make_texture(512, 280, "C:/tex/big_cmp.png");
  for (int by = 0; by < 70; ++by) {
    for (int bx = 0; bx < 128; ++bx) {
      int r = bx % 32, g = bx / 32 + 4 * (by % 8), b = by / 8;
      SourceTexel c[4];
      for (int i = 0; i < 4; ++i) c[i] = px(r << 3, g << 3, (b + 7 * i) << 3);
      for (int k = 0; k < 16; ++k) set_px(t, bx * 4 + k % 4, by * 4 + k / 4, c[k % 4]);
    }
  }
  Tex4x4Result r = encode_tex4x4(t, Tex4x4Mode::kExplicit);
  EXPECT_LE(r.palette.size(), 32768u);
  EXPECT_EQ(r.palette.size() % 8, 0u);
  for (std::uint16_t idx : r.palette_idx) {
    ASSERT_LE(static_cast<std::size_t>(idx & 0x3fff) * 2 + 4, r.palette.size());
  }
  // Neighbouring blocks differ by one step, so tolerance 1 suffices: every
  // texel is drawn within one 5-bit step of its colour.
  EncodedTexture e;
  e.format = TextureFormat::kTex4x4;
  e.width = 512;
  e.height = 280;
  e.words = std::vector<std::uint32_t>(r.texel_words.begin(), r.texel_words.end());
  e.palette = r.palette;
  e.palette_idx = r.palette_idx;
  std::vector<Rgba> shown = decode_texture(e);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const SourceTexel& s = t.texels[i];
    ASSERT_LE(std::abs(shown[i].r - s.red), 8) << i;
    ASSERT_LE(std::abs(shown[i].g - s.green), 8) << i;
    ASSERT_LE(std::abs(shown[i].b - s.blue), 8) << i;
  }
  // The same encoding on one thread.
  Tex4x4Result single = encode_tex4x4(t, Tex4x4Mode::kExplicit, 1);
  EXPECT_EQ(single.palette, r.palette);
  EXPECT_EQ(single.palette_idx, r.palette_idx);
  EXPECT_EQ(single.texel_words, r.texel_words);
}

TEST(Tex4x4, ExplicitBlocksOfFewColoursDecodeExactly) {
  // Each block holds at most three colours and some transparent texels, or
  // four colours and none: explicit tex4x4 keeps them exactly.
  std::mt19937 rng(99);
  SceneTexture t = make_texture(32, 32, "C:/tex/exact_cmp.png");
  for (int by = 0; by < 8; ++by) {
    for (int bx = 0; bx < 8; ++bx) {
      bool holes = rng() % 2 == 0;
      SourceTexel c[4];
      for (auto& v : c) {
        v = px(static_cast<int>(rng() % 32) << 3, static_cast<int>(rng() % 32) << 3,
               static_cast<int>(rng() % 32) << 3);
      }
      if (holes) c[3] = px(0, 0, 0, 0);
      for (int k = 0; k < 16; ++k) set_px(t, bx * 4 + k % 4, by * 4 + k / 4, c[rng() % 4]);
    }
  }
  Tex4x4Result r = encode_tex4x4(t, Tex4x4Mode::kExplicit);
  EncodedTexture e;
  e.format = TextureFormat::kTex4x4;
  e.width = e.height = 32;
  e.words = std::vector<std::uint32_t>(r.texel_words.begin(), r.texel_words.end());
  e.palette = r.palette;
  e.palette_idx = r.palette_idx;
  std::vector<Rgba> shown = decode_texture(e);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const SourceTexel& s = t.texels[i];
    Rgba want = s.alpha >= 128 ? Rgba{s.red, s.green, s.blue, 255} : Rgba{};
    ASSERT_EQ(shown[i], want) << i;
  }
}

}  // namespace
}  // namespace kavro
