#include "exporter/texture/decode.h"

#include <array>

#include "exporter/texture/color_word.h"
#include "exporter/texture/format_info.h"
#include "exporter/texture/tex4x4.h"

namespace kavro {

namespace {

Rgba from_word(std::uint16_t w, std::uint8_t alpha) {
  return {static_cast<std::uint8_t>(word_red(w) << 3),
          static_cast<std::uint8_t>(word_green(w) << 3),
          static_cast<std::uint8_t>(word_blue(w) << 3), alpha};
}

// The colour of palette entry `i`, or transparent black when it is missing.
Rgba entry(const EncodedTexture& t, std::size_t i, std::uint8_t alpha) {
  if (i >= t.palette.size()) return {};
  return from_word(t.palette[i], alpha);
}

void decode_tex4x4(const EncodedTexture& t, std::vector<Rgba>& out) {
  const int across = t.width / 4;
  const int down = t.height / 4;
  for (int by = 0; by < down; ++by) {
    for (int bx = 0; bx < across; ++bx) {
      std::size_t b = static_cast<std::size_t>(by) * static_cast<std::size_t>(across) +
                      static_cast<std::size_t>(bx);
      if (b >= t.words.size()) continue;  // missing: transparent black
      std::uint32_t texels = t.words[b];
      std::uint16_t idx = b < t.palette_idx.size() ? t.palette_idx[b] : 0;
      std::size_t base = static_cast<std::size_t>(idx & 0x3fff) * 2;
      bool opaque_mode = (idx & 0x8000) != 0;
      bool interpolated = (idx & 0x4000) != 0;
      // The four colours a texel index selects; index 3 of a block with
      // transparency is transparent.
      std::array<std::uint16_t, 4> run{};
      std::array<bool, 4> present{};
      for (std::size_t i = 0; i < 4; ++i) {
        present[i] = base + i < t.palette.size();
        if (present[i]) run[i] = t.palette[base + i];
      }
      std::array<Rgba, 4> colors{};
      std::array<std::uint16_t, 4> cand{};
      if (interpolated) {
        tex4x4_candidates(run.data(), 2, !opaque_mode, Tex4x4Mode::kInterpolated, cand);
        int n = opaque_mode ? 4 : 3;
        for (int i = 0; i < n; ++i) {
          colors[static_cast<std::size_t>(i)] = from_word(cand[static_cast<std::size_t>(i)], 255);
        }
        if (!present[0] || !present[1]) colors = {};
      } else {
        int n = opaque_mode ? 4 : 3;
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
          if (present[i]) colors[i] = from_word(run[i], 255);
        }
      }
      for (int k = 0; k < 16; ++k) {
        std::size_t x = static_cast<std::size_t>(bx * 4 + k % 4);
        std::size_t y = static_cast<std::size_t>(by * 4 + k / 4);
        out[y * static_cast<std::size_t>(t.width) + x] = colors[(texels >> (2 * k)) & 3u];
      }
    }
  }
}

}  // namespace

std::vector<Rgba> decode_texture(const EncodedTexture& t) {
  const std::size_t w = static_cast<std::size_t>(t.width < 0 ? 0 : t.width);
  const std::size_t h = static_cast<std::size_t>(t.height < 0 ? 0 : t.height);
  std::vector<Rgba> out(w * h);
  if (t.format == TextureFormat::kTex4x4) {
    decode_tex4x4(t, out);
    return out;
  }
  if (t.format == TextureFormat::kInvalid) return out;
  const std::size_t per_word = t.format == TextureFormat::kPalette4    ? 8
                               : t.format == TextureFormat::kPalette16 ? 4
                               : t.format == TextureFormat::kDirect    ? 1
                                                                       : 2;
  const std::size_t bits = 16 / per_word;
  const std::size_t count = format_word_count(t.format, t.width, t.height);
  for (std::size_t i = 0; i < out.size() && i / per_word < count; ++i) {
    if (i / per_word >= t.words.size()) continue;  // missing: transparent black
    std::uint32_t word = t.words[i / per_word];
    unsigned field = static_cast<unsigned>(word >> (bits * (i % per_word))) & ((1u << bits) - 1u);
    switch (t.format) {
      case TextureFormat::kDirect:
        out[i] = from_word(static_cast<std::uint16_t>(word & 0x7fff), (word & 0x8000) ? 255 : 0);
        break;
      case TextureFormat::kA5I3:
        out[i] = entry(t, field & 7u, static_cast<std::uint8_t>(field & 0xf8u));
        break;
      case TextureFormat::kA3I5:
        out[i] = entry(t, field & 31u, static_cast<std::uint8_t>(field & 0xe0u));
        break;
      default:
        if (field == 0 && t.color0_transparent) {
          out[i] = {};
        } else {
          out[i] = entry(t, field, 255);
        }
        break;
    }
  }
  return out;
}

}  // namespace kavro
