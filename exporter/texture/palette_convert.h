// Conversion of an ordinary image into a palette format (palette4,
// palette16, palette256, a5i3, a3i5) or direct: the colour analysis, the
// format choice, the palette order and the texel words.
#pragma once

#include <cstdint>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {

// What the colour analysis found in the image and what the format choice
// made of it.
struct ColorAnalysis {
  std::vector<std::uint16_t> colors;  // distinct colour words, first appearance first
  std::vector<int> alpha_levels;      // distinct alpha / 8 below 31, first appearance first
  bool black_clear = false;           // a texel of colour word 0 and alpha below 8
  bool opaque_black = false;          // a texel of colour word 0 and alpha 128 or more
  bool transparency = false;          // colour 0 stands for transparent texels
  TextureFormat format = TextureFormat::kInvalid;
};

// Analyses the original area of the texture and chooses its format; for a
// palette format `colors` then holds the palette before sorting (with the
// colour 0 entries that transparency needs).
ColorAnalysis analyse_and_choose(const SceneTexture& texture);

// Orders a palette by ascending luminance (an exchange sort that keeps equal
// luminances in place). In transparency mode the first colour 0 is then
// moved to position 0, which transparent texels index.
void sort_palette(std::vector<std::uint16_t>& palette, bool transparency);

// Gives every texel of the texture the index of its colour in `palette` (see
// the .cpp for the transparency rules); texels whose colour is missing keep
// their index.
void assign_indices(SceneTexture& texture, const std::vector<std::uint16_t>& palette,
                    bool transparency);

// The texel words of the format, from the texels' indices, alpha and colour.
std::vector<std::uint16_t> pack_texels(const SceneTexture& texture, TextureFormat format);

}  // namespace kavro
