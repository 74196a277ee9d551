// Properties of the texture formats that the converters and readers share.
#pragma once

#include <cstddef>

#include "exporter/pipeline/scene.h"

namespace kavro {

// Number of texel words of a texture of this format and size.
inline std::size_t format_word_count(TextureFormat f, int width, int height) {
  return texture_word_count(f, width, height);
}

// Bytes per texel word: 4 for tex4x4, 2 for every other format.
inline std::size_t format_word_bytes(TextureFormat f) {
  return f == TextureFormat::kTex4x4 ? 4 : 2;
}

// The formats that write a color0_mode line.
inline bool has_color0_mode(TextureFormat f) {
  return f == TextureFormat::kPalette4 || f == TextureFormat::kPalette16 ||
         f == TextureFormat::kPalette256;
}

}  // namespace kavro
