// Encoding animation channels into shared data pools: 300 nodes over 1,000
// frames (nine node channels each) and 200 materials over 1,000 frames
// (thirteen colour channels each), with the indexed pool search and with the
// plain scan it replaces; the search alone on the pools those give; and a
// constructed input where many long channels share their beginnings (a
// stretch of zeros), whose cost should about double with the channels.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "exporter/animation/curve.h"
#include "exporter/pipeline/math.h"

namespace {

using kavro::anim::ColorPool;
using kavro::anim::FloatPool;

constexpr int kFrames = 1000;
constexpr int kNodes = 300;
constexpr int kMaterials = 200;

struct NodeCurves {
  std::vector<std::vector<float>> channels[3];  // scale, rotate, translate; 3 each
};

// Curves a character rig gives: rest poses, idle stretches followed by
// motion, periodic swings, drifts; some nodes repeat the curves of others.
std::vector<NodeCurves> make_nodes() {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<NodeCurves> nodes(kNodes);
  for (int n = 0; n < kNodes; ++n) {
    if (n % 7 == 6) {
      nodes[n] = nodes[n - 3];
      continue;
    }
    for (int kind = 0; kind < 3; ++kind) {
      for (int axis = 0; axis < 3; ++axis) {
        std::vector<float> v(kFrames);
        int shape = static_cast<int>(rng() % 4);
        if (kind == 0) shape = (rng() % 10 == 0) ? 2 : 0;  // scale rarely moves
        float amp = (kind == 1 ? 90.0f : 5.0f) * unit(rng);
        float freq = 0.002f + 0.05f * unit(rng);
        float phase = 6.28f * unit(rng);
        int idle = static_cast<int>(rng() % 400);
        for (int f = 0; f < kFrames; ++f) {
          float t = static_cast<float>(f);
          float x = 0;
          switch (shape) {
            case 0:
              x = kind == 0 ? 1.0f : 0.0f;
              break;
            case 1:
              x = f < idle ? 0.0f : amp * std::sin(freq * (t - static_cast<float>(idle)));
              break;
            case 2:
              x = (kind == 0 ? 1.0f : 0.0f) + amp * std::sin(freq * t + phase);
              break;
            default:
              x = amp * 0.001f * t + (f % 250 < 125 ? 0.0f : amp * 0.1f);
              break;
          }
          v[f] = kavro::round4096(static_cast<double>(x));
        }
        nodes[n].channels[kind].push_back(std::move(v));
      }
    }
  }
  return nodes;
}

std::vector<std::vector<std::uint8_t>> make_material_channels() {
  std::mt19937 rng(5678);
  std::vector<std::vector<std::uint8_t>> channels;
  for (int m = 0; m < kMaterials; ++m) {
    for (int c = 0; c < 13; ++c) {
      std::vector<std::uint8_t> v(kFrames);
      int shape = static_cast<int>(rng() % 3);
      int base = static_cast<int>(rng() % 256);
      double freq = 0.001 + 0.03 * static_cast<double>(rng() % 1000) / 1000.0;
      for (int f = 0; f < kFrames; ++f) {
        int x = base;
        if (shape == 1) x = static_cast<int>(127.5 + 127.5 * std::sin(freq * f));
        if (shape == 2) x = (f / 100) % 2 == 0 ? base : 255 - base;
        v[f] = static_cast<std::uint8_t>(x >> 3);
      }
      channels.push_back(std::move(v));
    }
  }
  return channels;
}

void BM_EncodeNodeChannels(benchmark::State& state) {
  static const std::vector<NodeCurves> nodes = make_nodes();
  const bool indexed = state.range(0) != 0;
  const float tolerances[3] = {0.1f, 0.1f, 0.01f};
  std::size_t values = 0;
  for (auto _ : state) {
    FloatPool pools[3] = {FloatPool(indexed), FloatPool(indexed), FloatPool(indexed)};
    // Room for every channel of the kind, as the node animation writer gives.
    for (FloatPool& pool : pools) pool.reserve(3u * kNodes * kFrames);
    for (const NodeCurves& node : nodes) {
      for (int kind = 0; kind < 3; ++kind) {
        for (const std::vector<float>& v : node.channels[kind]) {
          benchmark::DoNotOptimize(kavro::anim::encode_channel(v, kavro::FrameStepMode::kAuto,
                                                               tolerances[kind], pools[kind]));
        }
      }
    }
    values = static_cast<std::size_t>(pools[0].size() + pools[1].size() + pools[2].size());
  }
  state.counters["pool_values"] = static_cast<double>(values);
  state.SetLabel(indexed ? "indexed" : "plain scan");
}

void BM_EncodeMaterialChannels(benchmark::State& state) {
  static const std::vector<std::vector<std::uint8_t>> channels = make_material_channels();
  const bool indexed = state.range(0) != 0;
  std::size_t values = 0;
  for (auto _ : state) {
    ColorPool pool(indexed);
    pool.reserve(13u * kMaterials * kFrames);
    for (const std::vector<std::uint8_t>& v : channels) {
      benchmark::DoNotOptimize(
          kavro::anim::encode_channel(v, kavro::FrameStepMode::kAuto, 2, pool));
    }
    values = static_cast<std::size_t>(pool.size());
  }
  state.counters["pool_values"] = static_cast<double>(values);
  state.SetLabel(indexed ? "indexed" : "plain scan");
}

// The search alone: every channel's stored sequence (step 1) looked for in
// the rotation pool that encoding all node channels builds.
void BM_FindInNodePool(benchmark::State& state) {
  static const std::vector<NodeCurves> nodes = make_nodes();
  const bool indexed = state.range(0) != 0;
  FloatPool pool(indexed);
  pool.reserve(3u * kNodes * kFrames);
  std::vector<std::vector<float>> queries;
  for (const NodeCurves& node : nodes) {
    for (const std::vector<float>& v : node.channels[1]) {
      kavro::anim::encode_channel(v, kavro::FrameStepMode::kAuto, 0.1f, pool);
      queries.push_back(kavro::anim::stored_sequence(std::span<const float>(v), 1));
      queries.push_back(std::vector<float>(v.begin() + 100, v.begin() + 400));
    }
  }
  long found = 0;
  for (auto _ : state) {
    found = 0;
    for (const std::vector<float>& q : queries)
      found += pool.find(q.data(), static_cast<int>(q.size())) >= 0 ? 1 : 0;
    benchmark::DoNotOptimize(found);
  }
  state.counters["found"] = static_cast<double>(found);
  state.counters["queries"] = static_cast<double>(queries.size());
  state.SetLabel(indexed ? "indexed" : "plain scan");
}

// `channels` channels of 1,000 frames: 900 zeros, then 100 values of their
// own. Every channel's beginning occurs all over the pool.
void BM_SharedBeginnings(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  std::vector<std::vector<float>> data;
  for (int c = 0; c < channels; ++c) {
    std::vector<float> v(900, 0.0f);
    for (int k = 0; k < 100; ++k)
      v.push_back(kavro::round4096(static_cast<double>(c) + static_cast<double>(k) * 0.01));
    data.push_back(std::move(v));
  }
  for (auto _ : state) {
    FloatPool pool(true);
    pool.reserve(static_cast<std::size_t>(channels) * 1000u);
    for (const std::vector<float>& v : data)
      benchmark::DoNotOptimize(
          kavro::anim::encode_channel(v, kavro::FrameStepMode::kOne, 0.0f, pool));
  }
}

BENCHMARK(BM_EncodeNodeChannels)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeMaterialChannels)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindInNodePool)->ArgName("indexed")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SharedBeginnings)
    ->ArgName("channels")
    ->Arg(400)
    ->Arg(800)
    ->Unit(benchmark::kMillisecond);

const int kRatios = [] {
  kavro::bench::add_ratio("BM_FindInNodePool/indexed:1", "BM_FindInNodePool/indexed:0", 0.02,
                          "search against the plain scan (50x faster)");
  kavro::bench::add_ratio("BM_SharedBeginnings/channels:800", "BM_SharedBeginnings/channels:400",
                          2.5, "twice the channels with shared beginnings");
  return 0;
}();

}  // namespace

KAVRO_BENCHMARK_MAIN()
