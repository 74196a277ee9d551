// Decoding of converted texel words back to colours, as the console draws
// them: every channel is the 5-bit value shifted left by three; alpha is 0 or
// 255, except for a5i3 and a3i5 whose alpha bits are returned in place
// (alpha AND f8 hex, alpha AND e0 hex).
//
// The decoder is written from the formats' definitions alone and shares no
// code with the encoders (not the colour word layout, not the tex4x4 colour
// mixing), so that decoding what the encoders wrote checks them.
#pragma once

#include <cstdint>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

struct EncodedTexture {
  TextureFormat format = TextureFormat::kInvalid;
  int width = 0, height = 0;
  std::vector<std::uint32_t> words;        // texel words (32-bit for tex4x4)
  std::vector<std::uint16_t> palette;      // colour words
  std::vector<std::uint16_t> palette_idx;  // tex4x4 palette index words
  bool color0_transparent = false;         // palette formats: index 0 is transparent
};

// width x height colours, top row first. Words, palette entries or index
// words that are missing decode as transparent black.
std::vector<Rgba> decode_texture(const EncodedTexture& t);

}  // namespace kavro
