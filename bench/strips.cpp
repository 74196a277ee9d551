// Strip generation on generated meshes of about 1,000 to 100,000 faces: a
// triangulated grid and a skinned "character" made of tubes (torso, head,
// arms, legs), beside meshoptimizer's stripifier on the same index data.
// Counters: faces per second and vertices sent per face. The ratio lines
// compare our strips with meshoptimizer's on the same meshes: ours should
// reach at least a fifth of its faces per second (time ratio at most 5).
#include "exporter/imd/strips.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "bench/ratio.h"
#include "exporter/imd/matrix_array.h"
#include "exporter/imd/polygon_array.h"
#include "exporter/imd/quads.h"
#include "exporter/pipeline/scene.h"

#ifdef KAVRO_HAVE_MESHOPT
#include <meshoptimizer.h>
#endif

namespace {

using kavro::Corner;
using kavro::NTriFace;
using kavro::PolygonSet;
using kavro::SkinInfluence;
using kavro::Vec3;

void add_triangle(PolygonSet& set, int a, int b, int c) {
  NTriFace f;
  auto corner = [](int i) {
    auto u = static_cast<std::uint16_t>(i);
    return Corner{u, u, u, u};
  };
  f.corners = {corner(a), corner(b), corner(c)};
  Vec3 pa = set.positions[a];
  Vec3 pb = set.positions[b];
  Vec3 pc = set.positions[c];
  f.normal = kavro::normalize(kavro::cross(pb - pa, pc - pa));
  set.triangles.push_back(f);
}

// n x n cells, two triangles each.
PolygonSet grid(int n) {
  PolygonSet set;
  for (int r = 0; r <= n; ++r) {
    for (int c = 0; c <= n; ++c) {
      set.positions.edit().push_back({static_cast<float>(c) / static_cast<float>(n),
                                      static_cast<float>(r) / static_cast<float>(n), 0});
    }
  }
  auto v = [n](int r, int c) { return r * (n + 1) + c; };
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      add_triangle(set, v(r, c), v(r, c + 1), v(r + 1, c + 1));
      add_triangle(set, v(r, c), v(r + 1, c + 1), v(r + 1, c));
    }
  }
  return set;
}

// Six tubes of `rings` x `segments` cells; each tube follows four bones,
// vertices between two bones blended in steps of 0.1.
PolygonSet character(int rings, int segments) {
  PolygonSet set;
  const float kTwoPi = 6.2831853f;
  for (int tube = 0; tube < 6; ++tube) {
    int base = set.vertex_count();
    float x0 = static_cast<float>(tube % 3) - 1.0f, z0 = static_cast<float>(tube / 3);
    for (int r = 0; r <= rings; ++r) {
      float along = static_cast<float>(r) / static_cast<float>(rings);
      float bone_at = along * 3.0f;
      int bone = static_cast<int>(bone_at);
      if (bone > 2) bone = 2;
      float t = std::round((bone_at - static_cast<float>(bone)) * 10.0f) / 10.0f;
      for (int s = 0; s < segments; ++s) {
        float a = kTwoPi * static_cast<float>(s) / static_cast<float>(segments);
        set.positions.edit().push_back(
            {x0 + 0.2f * std::cos(a), along * 2.0f, z0 + 0.2f * std::sin(a)});
        SkinInfluence inf;
        int id = 100 + tube * 4 + bone;
        if (t <= 0.0f) {
          inf.node_ids = {id};
          inf.weights = {1.0f};
        } else if (t >= 1.0f) {
          inf.node_ids = {id + 1};
          inf.weights = {1.0f};
        } else {
          inf.node_ids = {id, id + 1};
          inf.weights = {1.0f - t, t};
        }
        set.weights.push_back(inf);
      }
    }
    for (int r = 0; r < rings; ++r) {
      for (int s = 0; s < segments; ++s) {
        int s1 = (s + 1) % segments;
        int a = base + r * segments + s, b = base + r * segments + s1;
        int c = base + (r + 1) * segments + s1, d = base + (r + 1) * segments + s;
        add_triangle(set, a, b, c);
        add_triangle(set, a, c, d);
      }
    }
  }
  return set;
}

// Sizes give about 1,000, 10,000 and 100,000 faces.
PolygonSet mesh(bool is_character, int size_index) {
  if (is_character) {
    const int side[] = {9, 29, 91};
    return character(side[size_index], side[size_index]);
  }
  const int side[] = {22, 71, 224};
  return grid(side[size_index]);
}

void report(benchmark::State& state, double faces, double sent) {
  state.counters["faces_per_s"] = benchmark::Counter(
      faces * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["faces"] = faces;
  state.counters["sent_per_face"] = sent / faces;
}

// A hash of the faces' corner orders, strip flags and links: equal hashes
// before and after a change to the stripifier mean the same strips.
double strip_hash(const PolygonSet& set) {
  std::uint32_t h = 2166136261u;
  auto mix = [&h](std::uint32_t v) { h = (h ^ v) * 16777619u; };
  auto mix_faces = [&mix](const auto& faces) {
    for (const auto& f : faces) {
      for (const Corner& c : f.corners) mix(c.pos);
      mix(f.strip_flags);
      mix(static_cast<std::uint32_t>(f.next));
    }
  };
  mix_faces(set.triangles);
  mix_faces(set.quads);
  return static_cast<double>(h);
}

void BM_KavroStrips(benchmark::State& state) {
  bool is_character = state.range(0) != 0;
  const PolygonSet source = mesh(is_character, static_cast<int>(state.range(1)));
  std::vector<int> classes = kavro::influence_classes(source);
  PolygonSet set;
  for (auto _ : state) {
    state.PauseTiming();
    set = source;
    state.ResumeTiming();
    kavro::build_strips(set, true, classes);
    benchmark::DoNotOptimize(set.triangles.data());
  }
  report(state, static_cast<double>(source.triangle_count()),
         static_cast<double>(kavro::sent_vertex_count(set)));
  state.counters["hash"] = strip_hash(set);
}

// The model writer's path under "generate_quads": pairs into
// quadrilaterals, then quad and triangle strips.
void BM_KavroQuadsThenStrips(benchmark::State& state) {
  bool is_character = state.range(0) != 0;
  const PolygonSet source = mesh(is_character, static_cast<int>(state.range(1)));
  std::vector<int> classes = kavro::influence_classes(source);
  PolygonSet set;
  for (auto _ : state) {
    state.PauseTiming();
    set = source;
    state.ResumeTiming();
    kavro::generate_quads(set);
    kavro::build_strips(set, true, classes);
    benchmark::DoNotOptimize(set.quads.data());
  }
  report(state, static_cast<double>(source.triangle_count()),
         static_cast<double>(kavro::sent_vertex_count(set)));
  state.counters["hash"] = strip_hash(set);
}

#ifdef KAVRO_HAVE_MESHOPT
void BM_MeshoptStripify(benchmark::State& state) {
  bool is_character = state.range(0) != 0;
  const PolygonSet source = mesh(is_character, static_cast<int>(state.range(1)));
  std::vector<unsigned int> indices;
  for (const NTriFace& f : source.triangles) {
    for (const Corner& c : f.corners) indices.push_back(c.pos);
  }
  // The stripifier works best on indices ordered for the vertex cache first
  // (not timed).
  if (state.range(2) != 0) {
    std::vector<unsigned int> ordered(indices.size());
    meshopt_optimizeVertexCache(ordered.data(), indices.data(), indices.size(),
                                static_cast<std::size_t>(source.vertex_count()));
    indices = std::move(ordered);
  }
  std::vector<unsigned int> strip(meshopt_stripifyBound(indices.size()));
  std::size_t size = 0;
  for (auto _ : state) {
    size = meshopt_stripify(strip.data(), indices.data(), indices.size(),
                            static_cast<std::size_t>(source.vertex_count()), ~0u);
    benchmark::DoNotOptimize(strip.data());
  }
  std::size_t restarts = 0;
  for (std::size_t i = 0; i < size; ++i) restarts += strip[i] == ~0u ? 1 : 0;
  report(state, static_cast<double>(source.triangle_count()), static_cast<double>(size - restarts));
}
BENCHMARK(BM_MeshoptStripify)
    ->ArgNames({"character", "size", "cache_ordered"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_KavroStrips)
    ->ArgNames({"character", "size"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KavroQuadsThenStrips)
    ->ArgNames({"character", "size"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

#ifdef KAVRO_HAVE_MESHOPT
const int kRatios = [] {
  for (int character : {0, 1}) {
    for (int size : {1, 2}) {
      const std::string mesh =
          "character:" + std::to_string(character) + "/size:" + std::to_string(size);
      kavro::bench::add_ratio("BM_KavroStrips/" + mesh,
                              "BM_MeshoptStripify/" + mesh + "/cache_ordered:0", 5.0,
                              "strips against meshopt_stripify");
    }
  }
  return 0;
}();
#endif

}  // namespace

KAVRO_BENCHMARK_MAIN()
