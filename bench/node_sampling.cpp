// Node transform sampling during extraction: chains of 75 and 300 null nodes
// (each the child of the one before), every node animated over 200 frames.
// Each node's world transform at a frame should cost one product with its
// parent's, so the chain four times as deep should cost about four times as
// much (bound: 5x), not sixteen.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/ratio.h"
#include "exporter/extract/host_extraction.h"
#include "host/document_views.h"
#include "host/recording_host.h"
#include "host/scene_document.h"

namespace {

constexpr int kFrames = 200;

kavro::doc::SceneDocument chain(int depth) {
  kavro::doc::SceneDocument d;
  d.start_frame = 0;
  d.end_frame = kFrames - 1;
  for (int i = 0; i < depth; ++i) {
    kavro::doc::Node n;
    n.id = i + 1;
    n.name = "node" + std::to_string(i);
    n.parent = i == 0 ? kavro::doc::kNone : i;
    const float f = static_cast<float>(i % 7);
    n.transform.position.keys = {{0, {0, 0.1f, 0}}, {kFrames - 1, {0.01f * f, 0.1f, 0}}};
    float a0[3] = {0, 0, 0}, a1[3] = {0.01f, 0.02f * f, 0.01f};
    n.transform.rotation.keys = {{0, kavro::max::EulerToQuat(a0)},
                                 {kFrames - 1, kavro::max::EulerToQuat(a1)}};
    d.nodes.push_back(std::move(n));
  }
  return d;
}

void BM_SampleChain(benchmark::State& state) {
  const kavro::doc::SceneDocument doc = chain(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    kavro::host::RecordingHost host;
    kavro::HostExtraction ex(kavro::max::make_document_host(doc), host);
    kavro::ExportScene scene;
    scene.host_interface = &host;
    scene.start_frame = 0;
    scene.end_frame = kFrames - 1;
    scene.frame_count = kFrames;
    kavro::ExportOptions options{};
    kavro::reset_options(options, true);
    state.ResumeTiming();
    ex.initialise(true);
    bool ok = ex.extract_nodes(scene, options);
    ex.release();
    benchmark::DoNotOptimize(scene.nodes.data());
    if (!ok || scene.nodes.size() != doc.nodes.size()) state.SkipWithError("extraction failed");
  }
  state.counters["node_frames"] = benchmark::Counter(
      static_cast<double>(state.range(0) * kFrames) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SampleChain)->ArgName("nodes")->Arg(75)->Arg(300)->Unit(benchmark::kMillisecond);

const int kRatio = kavro::bench::add_ratio("BM_SampleChain/nodes:300", "BM_SampleChain/nodes:75",
                                           5.0, "4x deeper chain");

}  // namespace

KAVRO_BENCHMARK_MAIN()
