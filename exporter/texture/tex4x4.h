// The 4x4 block compression format (tex4x4): every block of 16 texels is
// drawn with up to four colours of one shared palette, chosen per block, and
// a 2-bit index per texel. The encoder picks each block's colours (the subset
// of least error when the block holds more colours than the mode allows),
// places them as runs at even positions of the shared palette, and keeps the
// palette within 32768 colours by merging near-equal runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavro {

struct SceneTexture;

enum class Tex4x4Mode { kExplicit, kInterpolated };

constexpr std::uint16_t kPaletteFill = 0x7fff;
constexpr std::size_t kMaxTex4x4Palette = 32768;

// The 16 texels of one block in row order, reduced to the console's
// precision: a 15-bit colour word and an opaque flag.
struct Tex4x4Block {
  std::array<std::uint16_t, 16> color{};
  std::array<bool, 16> opaque{};
};

// The colours one block is drawn with, in the order they are stored in the
// palette (brightest and darkest first), before they are placed.
struct BlockColors {
  int count = 0;  // 0: no opaque texel
  std::array<std::uint16_t, 4> colors{};
  bool transparent = false;  // some texel of the block is transparent
};

// Weighted squared distance of two colour words (weights 30, 59, 11 on the
// 5-bit red, green and blue differences).
int tex4x4_distance(std::uint16_t a, std::uint16_t b);

// Luminance used to order a block's colours: each 5-bit channel widened to
// 8 bits by repeating its top bits.
int tex4x4_luminance(std::uint16_t w);

// The colours a texel index may select. `run` holds the block's colours as
// they stand in the palette (`count` of them, 1 to 4). Returns the number of
// candidates written to `out`.
int tex4x4_candidates(const std::uint16_t* run, int count, bool transparent, Tex4x4Mode mode,
                      std::array<std::uint16_t, 4>& out);

// Colour choice of one block: the distinct opaque colours, reduced to the
// best subset when there are more than the mode allows, in stored order.
BlockColors choose_block_colors(const Tex4x4Block& block, Tex4x4Mode mode);

// Reads block `b` (blocks numbered row of blocks by row of blocks) of a
// texture's source texels.
Tex4x4Block read_block(const SceneTexture& texture, int block);

struct Tex4x4Result {
  std::vector<std::uint32_t> texel_words;  // one per block
  std::vector<std::uint16_t> palette_idx;  // one per block
  std::vector<std::uint16_t> palette;      // shared palette, padded to a multiple of 8
};

// Encodes the whole texture. `threads` 0 uses the machine's cores; the
// result does not depend on the number of threads.
Tex4x4Result encode_tex4x4(const SceneTexture& texture, Tex4x4Mode mode, int threads = 0);

// Merges runs of a shared palette that is longer than `limit` colours: the
// palette is rebuilt with a tolerance t = 1, 2, ... on every 5-bit channel
// until it fits. `markers` flags the palette positions where a run of four
// colours starts; `run_positions` (one even palette position per block, -1
// for none) are mapped to the rebuilt palette. Returns the tolerance used,
// 0 when the palette already fitted.
int shrink_tex4x4_palette(std::vector<std::uint16_t>& palette, std::vector<std::uint8_t>& markers,
                          std::vector<int>& run_positions, std::size_t limit = kMaxTex4x4Palette);

// Pads with 7fff to a multiple of 8 colours, at least 8.
void pad_tex4x4_palette(std::vector<std::uint16_t>& palette);

}  // namespace kavro
