// The 4x4 block encoder on photograph-like images (smooth gradients plus
// noise, made in code) at 256 x 256 and 1024 x 1024, in both modes, beside
// stb_dxt's BC1 encoder on the same images. Counters: seconds per encode and
// the PSNR of the decoded image against the source (red, green, blue).
#include "exporter/texture/tex4x4.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>  // stb_dxt uses memcpy
#include <map>
#include <random>
#include <vector>

#include "exporter/pipeline/scene.h"
#include "exporter/texture/decode.h"

#define STB_DXT_IMPLEMENTATION
#include <stb_dxt.h>

namespace {

using kavro::SceneTexture;
using kavro::SourceTexel;

// Soft colour fields crossing each other, a few hard edges and sensor-like
// noise.
SceneTexture photo(int size) {
  SceneTexture t;
  t.width = t.height = t.original_width = t.original_height = static_cast<std::uint16_t>(size);
  t.texels.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  std::mt19937 rng(static_cast<unsigned>(size));
  std::normal_distribution<double> noise(0.0, 4.0);
  const double s = 256.0 / size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double u = x * s, v = y * s;
      double r = 128 + 90 * std::sin(u * 0.031) * std::cos(v * 0.017) + noise(rng);
      double g = 110 + 70 * std::cos((u + v) * 0.021) + noise(rng);
      double b = 80 + 60 * std::sin(v * 0.043) + 0.3 * u + noise(rng);
      if ((static_cast<int>(u / 48) + static_cast<int>(v / 64)) % 5 == 0) {
        r = 255 - r;  // a patch of another material
        b *= 0.5;
      }
      auto clamp = [](double c) {
        return static_cast<std::uint8_t>(std::clamp(std::lround(c), 0L, 255L));
      };
      SourceTexel& px = t.texels[static_cast<std::size_t>(y) * size + x];
      px.red = clamp(r);
      px.green = clamp(g);
      px.blue = clamp(b);
      px.alpha = 255;
    }
  }
  return t;
}

const SceneTexture& image(int size) {
  static std::map<int, SceneTexture> cache;
  auto it = cache.find(size);
  if (it == cache.end()) it = cache.emplace(size, photo(size)).first;
  return it->second;
}

// `five_bit`: the decoded channels are 5-bit values shifted left by three,
// widened here the way the display does it (top bits repeated).
double psnr(const SceneTexture& src, const std::vector<kavro::Rgba>& shown, bool five_bit) {
  double sum = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const SourceTexel& s = src.texels[i];
    auto widen = [five_bit](std::uint8_t c) {
      return static_cast<double>(five_bit ? c | (c >> 5) : c);
    };
    double dr = widen(shown[i].r) - s.red, dg = widen(shown[i].g) - s.green,
           db = widen(shown[i].b) - s.blue;
    sum += dr * dr + dg * dg + db * db;
  }
  double mse = sum / (3.0 * static_cast<double>(shown.size()));
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

void BM_Tex4x4(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const auto mode =
      state.range(1) == 0 ? kavro::Tex4x4Mode::kExplicit : kavro::Tex4x4Mode::kInterpolated;
  const SceneTexture& src = image(size);
  kavro::Tex4x4Result result;
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    result = kavro::encode_tex4x4(src, mode);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(result.texel_words.data());
  }
  kavro::EncodedTexture e;
  e.format = kavro::TextureFormat::kTex4x4;
  e.width = e.height = size;
  e.words.assign(result.texel_words.begin(), result.texel_words.end());
  e.palette = result.palette;
  e.palette_idx = result.palette_idx;
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
  state.counters["psnr"] = psnr(src, kavro::decode_texture(e), true);
  state.counters["palette"] = static_cast<double>(result.palette.size());
}
BENCHMARK(BM_Tex4x4)
    ->ArgsProduct({{256, 1024}, {0, 1}})
    ->ArgNames({"size", "interpolated"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// BC1 block decoding for the PSNR of the comparison encoder.
void decode_bc1(const unsigned char* block, kavro::Rgba out[16]) {
  auto expand = [](unsigned c565, kavro::Rgba& o) {
    unsigned r = (c565 >> 11) & 31, g = (c565 >> 5) & 63, b = c565 & 31;
    o = {static_cast<std::uint8_t>((r << 3) | (r >> 2)),
         static_cast<std::uint8_t>((g << 2) | (g >> 4)),
         static_cast<std::uint8_t>((b << 3) | (b >> 2)), 255};
  };
  unsigned c0 = block[0] | (block[1] << 8), c1 = block[2] | (block[3] << 8);
  kavro::Rgba p[4];
  expand(c0, p[0]);
  expand(c1, p[1]);
  auto mixc = [](std::uint8_t a, std::uint8_t b, int wa, int wb, int div) {
    return static_cast<std::uint8_t>((a * wa + b * wb) / div);
  };
  if (c0 > c1) {
    p[2] = {mixc(p[0].r, p[1].r, 2, 1, 3), mixc(p[0].g, p[1].g, 2, 1, 3),
            mixc(p[0].b, p[1].b, 2, 1, 3), 255};
    p[3] = {mixc(p[0].r, p[1].r, 1, 2, 3), mixc(p[0].g, p[1].g, 1, 2, 3),
            mixc(p[0].b, p[1].b, 1, 2, 3), 255};
  } else {
    p[2] = {mixc(p[0].r, p[1].r, 1, 1, 2), mixc(p[0].g, p[1].g, 1, 1, 2),
            mixc(p[0].b, p[1].b, 1, 1, 2), 255};
    p[3] = {0, 0, 0, 0};
  }
  std::uint32_t bits =
      block[4] | (block[5] << 8) | (block[6] << 16) | (static_cast<std::uint32_t>(block[7]) << 24);
  for (int k = 0; k < 16; ++k) out[k] = p[(bits >> (2 * k)) & 3];
}

void BM_StbDxtBc1(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const SceneTexture& src = image(size);
  const int blocks = size / 4;
  std::vector<unsigned char> encoded(static_cast<std::size_t>(blocks * blocks) * 8);
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (int by = 0; by < blocks; ++by) {
      for (int bx = 0; bx < blocks; ++bx) {
        unsigned char rgba[64];
        for (int k = 0; k < 16; ++k) {
          const SourceTexel& s =
              src.texels[static_cast<std::size_t>(by * 4 + k / 4) * size + bx * 4 + k % 4];
          rgba[k * 4] = s.red;
          rgba[k * 4 + 1] = s.green;
          rgba[k * 4 + 2] = s.blue;
          rgba[k * 4 + 3] = s.alpha;
        }
        stb_compress_dxt_block(&encoded[static_cast<std::size_t>(by * blocks + bx) * 8], rgba, 0,
                               STB_DXT_HIGHQUAL);
      }
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(encoded.data());
  }
  std::vector<kavro::Rgba> shown(static_cast<std::size_t>(size) * size);
  for (int by = 0; by < blocks; ++by) {
    for (int bx = 0; bx < blocks; ++bx) {
      kavro::Rgba out[16];
      decode_bc1(&encoded[static_cast<std::size_t>(by * blocks + bx) * 8], out);
      for (int k = 0; k < 16; ++k) {
        shown[static_cast<std::size_t>(by * 4 + k / 4) * size + bx * 4 + k % 4] = out[k];
      }
    }
  }
  state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
  state.counters["psnr"] = psnr(src, shown, false);
}
BENCHMARK(BM_StbDxtBc1)->Arg(256)->Arg(1024)->ArgName("size")->Unit(benchmark::kMillisecond);

}  // namespace
