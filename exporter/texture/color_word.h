// The console's 16-bit colour word: red in bits 0-4, green in bits 5-9, blue
// in bits 10-14, each the top five bits of an 8-bit channel. Bit 15 is the
// alpha bit of direct texels and is clear in palettes.
#pragma once

#include <cstdint>

namespace kavro {

inline std::uint16_t color_word(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<std::uint16_t>((r >> 3) | ((g >> 3) << 5) | ((b >> 3) << 10));
}

inline int word_red(std::uint16_t w) {
  return w & 31;
}
inline int word_green(std::uint16_t w) {
  return (w >> 5) & 31;
}
inline int word_blue(std::uint16_t w) {
  return (w >> 10) & 31;
}

inline std::uint16_t make_word(int r5, int g5, int b5) {
  return static_cast<std::uint16_t>((r5 & 31) | ((g5 & 31) << 5) | ((b5 & 31) << 10));
}

// Luminance used to order palettes: each 5-bit field shifted left by three.
inline int palette_luminance(std::uint16_t w) {
  double v =
      0.299 * (word_red(w) << 3) + 0.587 * (word_green(w) << 3) + 0.114 * (word_blue(w) << 3);
  return static_cast<int>(v);
}

}  // namespace kavro
