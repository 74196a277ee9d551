// Extraction of a generated scene: 200 nodes in a hierarchy, about 100,000
// triangles over 100 grid meshes rebuilt into quadrilaterals, 30 frames.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "exporter/extract/host_extraction.h"
#include "host/document_views.h"
#include "host/recording_host.h"
#include "host/scene_document.h"

namespace {

using kavro::doc::SceneDocument;

// A grid mesh of n x n quads (2 n^2 triangles) with one polygon per quad.
kavro::doc::Mesh grid(int n) {
  kavro::doc::Mesh m;
  for (int y = 0; y <= n; ++y) {
    for (int x = 0; x <= n; ++x) {
      m.vertices.push_back({static_cast<float>(x) * 0.05f, static_cast<float>(y) * 0.05f, 0});
      m.normals.push_back({0, 0, 1});
    }
  }
  auto v = [n](int x, int y) { return y * (n + 1) + x; };
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      int a = v(x, y), b = v(x + 1, y), c = v(x + 1, y + 1), d = v(x, y + 1);
      kavro::doc::Face f1, f2;
      f1.v = f1.n = {a, b, c};
      f2.v = f2.n = {a, c, d};
      m.faces.push_back(f1);
      m.faces.push_back(f2);
      m.polygons.push_back({{a, b, c, d}, 0});
    }
  }
  return m;
}

SceneDocument make_scene() {
  SceneDocument d;
  d.start_frame = 0;
  d.end_frame = 29;
  kavro::doc::Material mat;
  mat.name = "Body";
  mat.cls = kavro::doc::MaterialClass::kKavroStandard;
  d.materials.push_back(mat);
  for (int i = 0; i < 200; ++i) {
    kavro::doc::Node n;
    n.id = i + 1;
    n.name = "node" + std::to_string(i);
    n.parent = i < 10 ? kavro::doc::kNone : (i % 10) + 1;
    n.transform.position.keys = {{0, {0, 0, 0}}, {29, {static_cast<float>(i), 1, 2}}};
    float a0[3] = {0, 0, 0}, a1[3] = {0.5f, 0.2f, static_cast<float>(i) * 0.01f};
    n.transform.rotation.keys = {{0, kavro::max::EulerToQuat(a0)},
                                 {29, kavro::max::EulerToQuat(a1)}};
    if (i % 2 == 0) {
      n.has_object = true;
      n.object.cls = kavro::doc::ObjectClass::kMesh;
      n.object.has_mesh = true;
      n.object.mesh = grid(22);  // 968 triangles
      n.material = 0;
    }
    d.nodes.push_back(std::move(n));
  }
  return d;
}

void BM_ExtractScene(benchmark::State& state) {
  const SceneDocument scene_doc = make_scene();
  std::size_t triangles = 0;
  for (const auto& n : scene_doc.nodes) triangles += n.object.mesh.faces.size();
  for (auto _ : state) {
    state.PauseTiming();
    kavro::host::RecordingHost host;
    kavro::HostExtraction ex(kavro::max::make_document_host(scene_doc), host);
    kavro::ExportScene scene;
    scene.host_interface = &host;
    scene.start_frame = 0;
    scene.end_frame = 29;
    scene.frame_count = 30;
    kavro::ExportOptions options{};
    kavro::reset_options(options, true);
    state.ResumeTiming();
    ex.initialise(true);
    ex.switch_off_skins();
    bool ok = ex.extract_materials(scene, options) && ex.extract_nodes(scene, options);
    ex.switch_on_skins();
    ex.release();
    benchmark::DoNotOptimize(ok);
    if (!ok || scene.polygons.empty() || scene.polygons[0].quads.empty())
      state.SkipWithError("extraction failed");
  }
  state.counters["triangles"] = static_cast<double>(triangles);
  state.counters["nodes"] = 200;
}
BENCHMARK(BM_ExtractScene)->Unit(benchmark::kMillisecond);

// Quadrilateral rebuilding of one grid of n x n quads: the cost should grow
// with the number of triangles, not with its square.
void BM_RebuildQuads(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  kavro::PolygonSet base;
  std::vector<std::array<kavro::Vec3, 4>> polygons;
  auto v = [n](int x, int y) { return static_cast<std::uint16_t>(y * (n + 1) + x); };
  for (int y = 0; y <= n; ++y) {
    for (int x = 0; x <= n; ++x) {
      base.positions.edit().push_back(
          {static_cast<float>(x) * 0.01f, static_cast<float>(y) * 0.01f, 0});
    }
  }
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      std::uint16_t a = v(x, y), b = v(x + 1, y), c = v(x + 1, y + 1), d = v(x, y + 1);
      kavro::NTriFace t1, t2;
      t1.corners = {kavro::Corner{a, 0, 0, 0}, kavro::Corner{b, 0, 0, 0},
                    kavro::Corner{c, 0, 0, 0}};
      t2.corners = {kavro::Corner{a, 0, 0, 0}, kavro::Corner{c, 0, 0, 0},
                    kavro::Corner{d, 0, 0, 0}};
      base.triangles.push_back(t1);
      base.triangles.push_back(t2);
      polygons.push_back(
          {base.positions[a], base.positions[b], base.positions[c], base.positions[d]});
    }
  }
  for (auto _ : state) {
    state.PauseTiming();
    kavro::PolygonSet set = base;
    state.ResumeTiming();
    kavro::rebuild_quads(set, polygons, true);
    if (set.quad_count() != n * n) state.SkipWithError("quads missing");
  }
  state.SetComplexityN(2 * n * n);
}
BENCHMARK(BM_RebuildQuads)
    ->Arg(56)
    ->Arg(112)
    ->Arg(224)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
