#include "exporter/texture/palette_convert.h"

#include <algorithm>
#include <array>
#include <utility>

#include "exporter/texture/color_word.h"
#include "exporter/texture/format_info.h"

namespace kavro {

namespace {

SourceTexel texel_at(const SceneTexture& t, std::size_t i) {
  return i < t.texels.size() ? t.texels[i] : SourceTexel{};
}

}  // namespace

ColorAnalysis analyse_and_choose(const SceneTexture& texture) {
  ColorAnalysis a;
  std::vector<bool> seen(32768, false);
  std::array<bool, 32> level_seen{};
  // The original image lies in the top-left corner of the texel array; its
  // rows are `width` apart.
  const int w = std::min<int>(texture.original_width, texture.width);
  const int h = std::min<int>(texture.original_height, texture.height);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      SourceTexel t = texel_at(texture, static_cast<std::size_t>(y) * texture.width + x);
      std::uint16_t word = color_word(t.red, t.green, t.blue);
      int level = t.alpha / 8;
      if (word == 0 && level == 0) a.black_clear = true;
      if (word == 0 && t.alpha >= 128) a.opaque_black = true;
      if (!seen[word]) {
        seen[word] = true;
        a.colors.push_back(word);
      }
      if (level < 31 && !level_seen[level]) {
        level_seen[level] = true;
        a.alpha_levels.push_back(level);
      }
    }
  }

  const std::size_t colors = a.colors.size();
  const std::size_t levels = a.alpha_levels.size();
  if (levels >= 2) {
    if (colors <= 8) {
      a.format = TextureFormat::kA5I3;
      return a;
    }
    if (colors <= 32) {
      a.format = TextureFormat::kA3I5;
      return a;
    }
  }
  if (colors > 256 || (colors == 256 && levels > 0)) {
    a.format = TextureFormat::kDirect;
    return a;
  }
  if (levels > 0) {
    // Colour 0 is reserved for transparent texels. Opaque black texels need
    // an entry of their own beside it, or they would show transparent: the
    // colour table then holds colour 0 twice.
    a.alpha_levels.assign(1, 0);
    a.transparency = true;
    if (!a.black_clear || a.opaque_black) a.colors.push_back(0);
  }
  const std::size_t reserved = a.colors.size();
  if (reserved <= 4) {
    a.format = TextureFormat::kPalette4;
  } else if (reserved <= 16) {
    a.format = TextureFormat::kPalette16;
  } else {
    a.format = TextureFormat::kPalette256;
  }
  return a;
}

void sort_palette(std::vector<std::uint16_t>& palette, bool transparency) {
  const std::size_t n = palette.size();
  std::vector<int> lum(n);
  for (std::size_t i = 0; i < n; ++i) lum[i] = palette_luminance(palette[i]);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      if (lum[j] < lum[i]) {
        std::swap(palette[i], palette[j]);
        std::swap(lum[i], lum[j]);
      }
    }
  }
  // Other colours of luminance 0 (such as the darkest blues) can stay ahead
  // of colour 0; transparent texels index position 0, so it goes there.
  if (transparency) {
    auto zero = std::find(palette.begin(), palette.end(), std::uint16_t{0});
    if (zero != palette.end()) std::rotate(palette.begin(), zero, zero + 1);
  }
}

void assign_indices(SceneTexture& texture, const std::vector<std::uint16_t>& palette,
                    bool transparency) {
  // First position of every colour word, from position 1 in transparency
  // mode (position 0 is the transparent entry) and from 0 otherwise.
  std::vector<int> first(32768, -1);
  for (std::size_t i = transparency ? 1 : 0; i < palette.size(); ++i) {
    int& slot = first[palette[i] & 0x7fff];
    if (slot < 0) slot = static_cast<int>(i);
  }
  const std::size_t n =
      std::min(texture.texels.size(), static_cast<std::size_t>(texture.width) * texture.height);
  for (std::size_t i = 0; i < n; ++i) {
    SourceTexel& t = texture.texels[i];
    if (transparency && t.alpha < 128) {
      t.index = 0;
      continue;
    }
    int pos = first[color_word(t.red, t.green, t.blue)];
    if (pos >= 0) t.index = static_cast<std::uint16_t>(pos);
  }
}

std::vector<std::uint16_t> pack_texels(const SceneTexture& texture, TextureFormat format) {
  const std::size_t count = format_word_count(format, texture.width, texture.height);
  std::vector<std::uint16_t> words(count, 0);
  for (std::size_t w = 0; w < count; ++w) {
    unsigned value = 0;
    switch (format) {
      case TextureFormat::kPalette4:
        for (std::size_t k = 0; k < 8; ++k) {
          value |= (texel_at(texture, w * 8 + k).index & 3u) << (2 * k);
        }
        break;
      case TextureFormat::kPalette16:
        for (std::size_t k = 0; k < 4; ++k) {
          value |= (texel_at(texture, w * 4 + k).index & 15u) << (4 * k);
        }
        break;
      case TextureFormat::kPalette256:
        value = (texel_at(texture, w * 2).index & 255u) |
                ((texel_at(texture, w * 2 + 1).index & 255u) << 8);
        break;
      case TextureFormat::kA5I3:
      case TextureFormat::kA3I5: {
        unsigned alpha_mask = format == TextureFormat::kA5I3 ? 0xf8u : 0xe0u;
        unsigned index_mask = format == TextureFormat::kA5I3 ? 7u : 31u;
        for (std::size_t k = 0; k < 2; ++k) {
          SourceTexel t = texel_at(texture, w * 2 + k);
          unsigned byte = (t.alpha & alpha_mask) | (t.index & index_mask);
          value |= byte << (8 * k);
        }
        break;
      }
      case TextureFormat::kDirect: {
        SourceTexel t = texel_at(texture, w);
        value = color_word(t.red, t.green, t.blue) | (t.alpha >= 128 ? 0x8000u : 0u);
        break;
      }
      case TextureFormat::kTex4x4:
      case TextureFormat::kInvalid:
        break;
    }
    words[w] = static_cast<std::uint16_t>(value);
  }
  return words;
}

}  // namespace kavro
