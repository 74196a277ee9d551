// Scene processing on generated scenes: the whole processing sequence for
// each compress_node mode on a scene of a few hundred nodes and 100,000
// triangles, material compression with many materials, and culling of
// scenes with many nodes (to show how the cost grows).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "exporter/pipeline/scene.h"
#include "exporter/process/passes.h"
#include "exporter/process/processing.h"

namespace {

using namespace kavro;

constexpr int kFrames = 30;

// CPU time of this thread: the machine running the benchmarks may be busy,
// and copying the scene before each run must not count.
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs `work` on a fresh copy of `scene` per iteration, timing only `work`.
template <class Work>
void timed_runs(benchmark::State& state, const ExportScene& scene, Work work) {
  for (auto _ : state) {
    auto copy = std::make_unique<ExportScene>(scene);
    const double start = thread_seconds();
    work(*copy);
    state.SetIterationTime(thread_seconds() - start);
    benchmark::DoNotOptimize(copy->nodes.data());
  }
}

SceneNode make(int id, const std::string& name, int kind, int parent, int frames = kFrames) {
  SceneNode n;
  n.id = id;
  n.name = name;
  n.kind = kind;
  n.parent = parent;
  const auto count = static_cast<std::size_t>(frames);
  n.scale_frames.assign(count, Vec3{1, 1, 1});
  n.rotate_frames.resize(count);
  n.translate_frames.resize(count);
  for (std::size_t f = 0; f < count; ++f) {
    n.rotate_frames[f] = {0, static_cast<float>(f), 0};
    n.translate_frames[f] = {static_cast<float>(id % 7), 0.5f, static_cast<float>(f) * 0.1f};
  }
  n.visibility_frames.assign(count, 1);
  n.translate = {static_cast<float>(id % 7), 0.5f, 0};
  n.rotate = {0, static_cast<float>(id % 30), 0};
  return n;
}

// Links child and brother ids from the parent ids (nodes in depth-first order).
void link_hierarchy(std::vector<SceneNode>& nodes) {
  NodeIndex index(nodes);
  std::vector<int> last_child(nodes.size() + 1, -1);  // by parent position, +1 for roots
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const int p = nodes[i].parent == -1 ? -1 : index.position(nodes[i].parent);
    int& last = last_child[p + 1];
    if (last == -1) {
      if (p >= 0) nodes[p].child = nodes[i].id;
    } else {
      nodes[last].brother_next = nodes[i].id;
      nodes[i].brother_prev = nodes[last].id;
    }
    last = static_cast<int>(i);
  }
}

// 20 root groups of 16 nodes: a null group node, a skeleton of 5 joints, 6
// meshes (two materials each, the first one skinned to the joints), 4 empty
// nulls. 120 meshes x 2 sets x 417 triangles = about 100,000 triangles.
ExportScene make_scene(int mode) {
  ExportScene s;
  s.compress_node = static_cast<CompressNode>(mode);  // the benchmark's argument
  s.compress_material = 1;
  s.frame_count = kFrames;
  s.magnify = 1.5f;
  s.stage_count = 12;
  int id = 1;
  for (int g = 0; g < 20; ++g) {
    const int group = id++;
    s.nodes.push_back(make(group, "group" + std::to_string(g), kNodeNull, -1));
    int joint_parent = group;
    std::vector<int> joints;
    for (int j = 0; j < 5; ++j) {
      joints.push_back(id);
      s.nodes.push_back(make(id, "joint", kNodeJoint, joint_parent));
      joint_parent = id++;
    }
    for (int m = 0; m < 6; ++m) {
      const int mesh = id++;
      s.nodes.push_back(make(mesh, "mesh", kNodeMesh, group));
      for (int k = 0; k < 2; ++k) {
        PolygonSet set;
        set.node_id = mesh;
        set.node_name = "mesh";
        set.material_name = "mat" + std::to_string((g + m + k) % 8);
        const int tris = 417;
        for (int t = 0; t < tris; ++t) {
          const float x = static_cast<float>(t % 20), y = static_cast<float>(t / 20);
          const auto base = static_cast<std::uint16_t>(set.positions.size());
          set.positions.edit().push_back({x, y, static_cast<float>(g)});
          set.positions.edit().push_back({x + 1, y, static_cast<float>(g)});
          set.positions.edit().push_back({x, y + 1, static_cast<float>(g)});
          NTriFace f;
          for (int c = 0; c < 3; ++c) {
            const auto i = static_cast<std::uint16_t>(base + c);
            f.corners[c] = {i, i, i, i};
          }
          set.triangles.push_back(f);
        }
        set.normals.edit().assign(set.positions.size(), Vec3{0, 0, 1});
        set.texcoords.edit().assign(set.positions.size(), TexCoord{});
        if (m == 0) {
          set.weights.resize(set.positions.size());
          for (std::size_t v = 0; v < set.weights.size(); ++v) {
            SkinInfluence& inf = set.weights[v];
            const std::size_t j = v % joints.size();
            inf.node_ids = {joints[j]};
            inf.weights = {1.0f};
            if (v % 3 == 0) {
              inf.node_ids.push_back(joints[(j + 1) % joints.size()]);
              inf.weights = {0.5f, 0.5f};
            }
          }
        }
        process::set_box(set);
        s.polygons.push_back(std::move(set));
      }
    }
    for (int e = 0; e < 4; ++e) s.nodes.push_back(make(id++, "empty", kNodeNull, group));
  }
  link_hierarchy(s.nodes);
  for (int k = 0; k < 8; ++k) {
    SceneMaterial m;
    m.name = "mat" + std::to_string(k);
    m.diffuse_frames.edit().assign(kFrames, ColorEntry{static_cast<std::uint8_t>(k % 4), 0, 0});
    s.materials.push_back(m);
  }
  return s;
}

void run_processing(benchmark::State& state, int mode) {
  const ExportScene scene = make_scene(mode);
  SceneProcessor proc;
  timed_runs(state, scene, [&](ExportScene& s) {
    proc.compress_materials(s);
    proc.merge_same_material_sets(s);
    proc.process_nodes(s);
    proc.magnify(s);
    benchmark::DoNotOptimize(proc.scale_positions(s));
    proc.remove_unused_textures(s);
  });
  state.counters["nodes"] = static_cast<double>(scene.nodes.size());
  state.counters["sets"] = static_cast<double>(scene.polygons.size());
}

void BM_ProcessNone(benchmark::State& state) {
  run_processing(state, 0);
}
void BM_ProcessCull(benchmark::State& state) {
  run_processing(state, 1);
}
void BM_ProcessMerge(benchmark::State& state) {
  run_processing(state, 2);
}
void BM_ProcessUnite(benchmark::State& state) {
  run_processing(state, 3);
}
void BM_ProcessUniteCombine(benchmark::State& state) {
  run_processing(state, 4);
}
BENCHMARK(BM_ProcessNone)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessCull)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessMerge)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessUnite)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessUniteCombine)->UseManualTime()->Unit(benchmark::kMillisecond);

// n materials in 50 distinct looks, each used by two sets of one node.
void BM_CompressMaterials(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  ExportScene scene;
  scene.compress_material = 1;
  scene.frame_count = 4;
  for (int i = 0; i < n; ++i) {
    SceneMaterial m;
    m.name = "material" + std::to_string(i);
    m.diffuse_frames.edit().assign(4, ColorEntry{static_cast<std::uint8_t>(i % 50), 7, 7});
    m.alpha_frames.edit().assign(4, 255);
    m.tex_rotate_frames.assign(4, 0.25f);
    m.texture_path = "tex" + std::to_string(i % 5) + ".tga";
    m.polygon_id = i % 10;
    scene.materials.push_back(m);
    for (int k = 0; k < 2; ++k) {
      PolygonSet set;
      set.node_id = i % 100;
      set.material_name = m.name;
      set.positions.edit().assign(3, Vec3{});
      scene.polygons.push_back(set);
    }
  }
  SceneProcessor proc;
  timed_runs(state, scene, [&](ExportScene& s) {
    proc.compress_materials(s);
    proc.merge_same_material_sets(s);
  });
  state.SetComplexityN(n);
}
BENCHMARK(BM_CompressMaterials)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// n nodes: one root with n - 1 children, every tenth a mesh, the rest empty
// nulls, each null named in the weights of the last set (so every earlier
// brother is referenced through the brother chain).
void BM_CullWideScene(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  ExportScene scene;
  scene.compress_node = CompressNode::kCull;
  scene.frame_count = 1;
  scene.nodes.push_back(make(1, "root", kNodeNull, -1, 1));
  for (int i = 2; i <= n; ++i) {
    scene.nodes.push_back(make(i, "n", i % 10 == 0 ? kNodeMesh : kNodeNull, 1, 1));
    if (i % 10 == 0) {
      PolygonSet set;
      set.node_id = i;
      set.positions.edit().assign(3, Vec3{});
      scene.polygons.push_back(set);
    }
  }
  scene.polygons.back().weights.resize(3);
  scene.polygons.back().weights[0].node_ids = {n - 1};
  scene.polygons.back().weights[0].weights = {1.0f};
  link_hierarchy(scene.nodes);
  timed_runs(state, scene, [](ExportScene& s) { process::cull_nodes(s); });
  state.SetComplexityN(n);
}
BENCHMARK(BM_CullWideScene)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
