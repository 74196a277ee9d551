// Properties of the texture formats that the converters and readers share.
#pragma once

#include <cstddef>

#include "exporter/pipeline/scene.h"

namespace kavro {

// Number of texel words of a texture of this format and size, computed
// without overflow for any 16-bit size.
inline std::size_t format_word_count(TextureFormat f, int width, int height) {
  std::size_t texels = static_cast<std::size_t>(width < 0 ? 0 : width) *
                       static_cast<std::size_t>(height < 0 ? 0 : height);
  switch (f) {
    case TextureFormat::kPalette4:
      return texels / 8;
    case TextureFormat::kA5I3:
      return texels / 2;
    case TextureFormat::kPalette16:
      return texels / 4;
    case TextureFormat::kPalette256:
      return texels / 2;
    case TextureFormat::kTex4x4:
      return texels / 16;
    case TextureFormat::kDirect:
      return texels;
    case TextureFormat::kA3I5:
      return texels / 2;
    case TextureFormat::kInvalid:
      break;
  }
  return 0;
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
