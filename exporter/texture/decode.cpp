#include "exporter/texture/decode.h"

#include <array>
#include <cstddef>

namespace kavro {

namespace {

// A colour word: red in bits 0-4, green in 5-9, blue in 10-14.
struct Channels {
  int r, g, b;
};

Channels channels(std::uint16_t word) {
  return {word & 0x1f, (word >> 5) & 0x1f, (word >> 10) & 0x1f};
}

Rgba shown(Channels c, std::uint8_t alpha) {
  return {static_cast<std::uint8_t>(c.r << 3), static_cast<std::uint8_t>(c.g << 3),
          static_cast<std::uint8_t>(c.b << 3), alpha};
}

// The colour of palette entry `i`, or transparent black when it is missing.
Rgba entry(const EncodedTexture& t, std::size_t i, std::uint8_t alpha) {
  if (i >= t.palette.size()) return {};
  return shown(channels(t.palette[i]), alpha);
}

// (wa * a + wb * b) / div on every channel, in integers.
Channels mix(Channels a, Channels b, int wa, int wb, int div) {
  return {(wa * a.r + wb * b.r) / div, (wa * a.g + wb * b.g) / div, (wa * a.b + wb * b.b) / div};
}

// A tex4x4 block: a 32-bit word of sixteen 2-bit indices (texel k of the
// block, in row order, in bits 2k and 2k+1) and a palette index word: the
// palette position of the block's colours / 2 in bits 0-13, bit 14 set for
// interpolated mode, bit 15 set when the block has no transparent texel.
//
// The four colours the indices select:
// - explicit mode: palette colours 0, 1, 2 and 3 from that position; with
//   transparency, index 3 is transparent instead;
// - interpolated mode: colours 0 and 1, then (c0 + c1) / 2 and transparent
//   with transparency, else (5 c0 + 3 c1) / 8 and (3 c0 + 5 c1) / 8.
// A colour whose palette entry is missing shows as transparent black, and so
// do all four when colour 0 or 1 of an interpolated block is missing.
std::array<Rgba, 4> block_colors(const EncodedTexture& t, std::uint16_t index_word) {
  const std::size_t base = (index_word & 0x3fff) * 2;
  const bool transparency = (index_word & 0x8000) == 0;
  const bool interpolated = (index_word & 0x4000) != 0;
  std::array<Rgba, 4> colors{};
  auto present = [&](std::size_t i) { return base + i < t.palette.size(); };
  if (!interpolated) {
    for (std::size_t i = 0; i < (transparency ? 3u : 4u); ++i) {
      if (present(i)) colors[i] = shown(channels(t.palette[base + i]), 255);
    }
    return colors;
  }
  if (!present(0) || !present(1)) return colors;
  Channels c0 = channels(t.palette[base]);
  Channels c1 = channels(t.palette[base + 1]);
  colors[0] = shown(c0, 255);
  colors[1] = shown(c1, 255);
  if (transparency) {
    colors[2] = shown(mix(c0, c1, 1, 1, 2), 255);
  } else {
    colors[2] = shown(mix(c0, c1, 5, 3, 8), 255);
    colors[3] = shown(mix(c0, c1, 3, 5, 8), 255);
  }
  return colors;
}

void decode_tex4x4(const EncodedTexture& t, std::vector<Rgba>& out) {
  const std::size_t across = t.width / 4;
  const std::size_t down = t.height / 4;
  const std::size_t width = t.width;
  for (std::size_t by = 0; by < down; ++by) {
    for (std::size_t bx = 0; bx < across; ++bx) {
      std::size_t b = by * across + bx;
      if (b >= t.words.size()) continue;  // missing: transparent black
      std::uint16_t index_word = b < t.palette_idx.size() ? t.palette_idx[b] : 0;
      std::array<Rgba, 4> colors = block_colors(t, index_word);
      for (std::size_t k = 0; k < 16; ++k) {
        out[(by * 4 + k / 4) * width + bx * 4 + k % 4] = colors[(t.words[b] >> (2 * k)) & 3u];
      }
    }
  }
}

// Bits per texel of the formats that pack texels into 16-bit words, the
// leftmost texel of a word in its lowest bits.
int texel_bits(TextureFormat f) {
  switch (f) {
    case TextureFormat::kPalette4:
      return 2;
    case TextureFormat::kPalette16:
      return 4;
    case TextureFormat::kPalette256:
    case TextureFormat::kA3I5:
    case TextureFormat::kA5I3:
      return 8;
    case TextureFormat::kDirect:
      return 16;
    default:
      return 0;
  }
}

// One texel of the 16-bit formats from its bit field:
// - direct: a colour word with the alpha bit 15;
// - a3i5: palette index in bits 0-4, alpha in bits 5-7;
// - a5i3: palette index in bits 0-2, alpha in bits 3-7;
// - palette4/16/256: a palette index; index 0 is transparent when the
//   texture says so.
Rgba decode_field(const EncodedTexture& t, unsigned field) {
  switch (t.format) {
    case TextureFormat::kDirect:
      return shown(channels(static_cast<std::uint16_t>(field)), (field & 0x8000u) ? 255 : 0);
    case TextureFormat::kA3I5:
      return entry(t, field & 0x1fu, static_cast<std::uint8_t>(field & 0xe0u));
    case TextureFormat::kA5I3:
      return entry(t, field & 0x07u, static_cast<std::uint8_t>(field & 0xf8u));
    default:
      if (field == 0 && t.color0_transparent) return {};
      return entry(t, field, 255);
  }
}

}  // namespace

std::vector<Rgba> decode_texture(const EncodedTexture& t) {
  const std::size_t w = t.width < 0 ? 0 : t.width;
  const std::size_t h = t.height < 0 ? 0 : t.height;
  std::vector<Rgba> out(w * h);
  if (t.format == TextureFormat::kTex4x4) {
    decode_tex4x4(t, out);
    return out;
  }
  const int bits = texel_bits(t.format);
  if (bits == 0) return out;
  const std::size_t per_word = 16 / bits;
  const unsigned mask = bits == 16 ? 0xffffu : (1u << bits) - 1u;
  for (std::size_t i = 0; i < out.size(); ++i) {
    std::size_t word = i / per_word;
    if (word >= t.words.size()) break;  // missing: transparent black
    unsigned shift = static_cast<unsigned>(bits) * static_cast<unsigned>(i % per_word);
    out[i] = decode_field(t, static_cast<unsigned>(t.words[word] >> shift) & mask);
  }
  return out;
}

}  // namespace kavro
