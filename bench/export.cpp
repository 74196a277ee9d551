// Whole exports of generated scene documents beside loading the same
// documents: a 100,000-triangle mesh, 300 nodes animated over 1,000 frames,
// 10,000 materials, and all of them in one document. Every output file is
// written. Loading is the reference: an export should cost at most three
// times loading its document, and ten thousand materials four times as many
// as 2,500 at most five times as much.
//
// Run with KAVRO_BENCH_KEEP=DIR to leave the generated documents in DIR (for
// measuring `kavro export` on them with callgrind or /usr/bin/time).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "bench/ratio.h"
#include "exporter/kavro_exporter.h"
#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/options.h"
#include "host/console_host.h"
#include "host/scene_document.h"

namespace {

namespace fs = std::filesystem;

// Appends printf-style text.
void put(std::string& out, const char* fmt, double a = 0, double b = 0, double c = 0) {
  char buf[160];
  std::snprintf(buf, sizeof buf, fmt, a, b, c);
  out += buf;
}

struct Parts {
  bool mesh = false, animation = false, materials = false;
  int material_count = 10000;
};

// A grid mesh of n x n cells (two triangles each) whose faces use material
// ids 0 .. ids - 1 in turn.
void grid_mesh(std::string& out, int n, int ids) {
  out += R"("mesh":{"vertices":[)";
  for (int y = 0; y <= n; ++y) {
    for (int x = 0; x <= n; ++x) {
      if (x + y > 0) out += ',';
      put(out, "[%g,%g,%g]", x * 0.01, y * 0.01, ((x * 7 + y * 3) % 5) * 0.001);
    }
  }
  out += R"(],"faces":[)";
  int face = 0;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const int a = y * (n + 1) + x, b = a + 1, c = a + n + 2, d = a + n + 1;
      for (int k = 0; k < 2; ++k, ++face) {
        if (face > 0) out += ',';
        int m = ids > 1 ? (face / 2) % ids : 0;
        if (k == 0) {
          put(out, R"({"v":[%g,%g,%g],)", a, b, c);
        } else {
          put(out, R"({"v":[%g,%g,%g],)", a, c, d);
        }
        put(out, R"("material":%g})", m);
      }
    }
  }
  out += "]}";
}

std::string document(const Parts& p) {
  std::string out = R"({"format":"kavro-scene","version":1,"file_name":"gen.max",)";
  out += p.animation ? R"("animation_range":[0,999],)" : R"("animation_range":[0,0],)";
  out += R"("materials":[{"name":"Plain","class":"kavro_standard","diffuse":[0.5,0.5,0.5]})";
  const int groups = 10;  // multi materials of material_count / groups each
  if (p.materials) {
    for (int g = 0; g < groups; ++g) {
      put(out, R"(,{"name":"Multi%g","class":"multi","sub_materials":[)", g);
      for (int i = 0; i < p.material_count / groups; ++i) {
        const int k = g * (p.material_count / groups) + i;
        if (i > 0) out += ',';
        put(out, R"({"name":"M%g","class":"kavro_standard","diffuse":[%g,%g,)", k, (k % 97) / 97.0,
            (k / 97 % 89) / 89.0);
        put(out, R"(%g]})", (k % 13) / 13.0);
      }
      out += "]}";
    }
  }
  out += R"(],"nodes":[)";
  int id = 0;
  bool first = true;
  auto begin_node = [&](const char* name, int parent) {
    if (!first) out += ',';
    first = false;
    put(out, R"({"id":%g,)", ++id);
    out += R"("name":")" + std::string(name) + std::to_string(id) + "\",";
    if (parent >= 0) put(out, R"("parent":%g,)", parent);
  };
  if (p.mesh) {
    begin_node("Mesh", -1);
    out += R"("material":0,"object":{"class":"mesh",)";
    grid_mesh(out, 224, 1);
    out += "}}";
  }
  if (p.materials) {
    for (int g = 0; g < groups; ++g) {
      begin_node("Multi", -1);
      put(out, R"("material":%g,"object":{"class":"mesh",)", g + 1);
      grid_mesh(out, 32, p.material_count / groups);
      out += "}}";
    }
  }
  if (p.animation) {
    // 30 chains of 10 nodes, keys every 10th frame.
    int parent = -1;
    for (int i = 0; i < 300; ++i) {
      if (i % 10 == 0) parent = -1;
      begin_node("Anim", parent);
      parent = id;
      out += R"("transform":{"position":{"keys":[)";
      for (int f = 0; f < 1000; f += 10) {
        if (f > 0) out += ',';
        put(out, R"({"frame":%g,"value":[%g,%g,0]})", f, (i % 7) * 0.1 + f * 0.001, 0.5);
      }
      out += R"(]},"rotation":{"keys":[)";
      for (int f = 0; f < 1000; f += 10) {
        if (f > 0) out += ',';
        put(out, R"({"frame":%g,"value":[0,%g,%g]})", f, (f % 360) * 1.0, (i % 5) * 3.0);
      }
      out += "]}}}";
    }
  }
  out += "]}";
  return out;
}

struct Scene {
  std::string name;
  Parts parts;
};

const Scene kScenes[] = {
    {"mesh", {true, false, false}},      {"animation", {false, true, false}},
    {"materials", {false, false, true}}, {"materials_2500", {false, false, true, 2500}},
    {"all", {true, true, true}},
};

// The documents, written once per run into a temporary folder.
const std::string& document_path(int scene) {
  static std::map<int, std::string> paths;
  static std::string dir;
  auto it = paths.find(scene);
  if (it != paths.end()) return it->second;
  if (dir.empty()) {
    const char* keep = std::getenv("KAVRO_BENCH_KEEP");
    if (keep != nullptr) {
      dir = keep;
      fs::create_directories(dir);
    } else {
      char tmpl[] = "/tmp/kavro_bench_XXXXXX";
      dir = ::mkdtemp(tmpl) != nullptr ? tmpl : "/tmp";
      std::atexit([] { fs::remove_all(dir); });
    }
  }
  const std::string path = dir + "/" + kScenes[scene].name + ".kscene";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  const std::string text = document(kScenes[scene].parts);
  if (f != nullptr) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  return paths[scene] = path;
}

void BM_Load(benchmark::State& state) {
  const std::string& path = document_path(static_cast<int>(state.range(0)));
  state.SetLabel(kScenes[state.range(0)].name);
  for (auto _ : state) {
    kavro::doc::LoadResult r = kavro::doc::load_scene_document(path);
    if (!r.ok) state.SkipWithError(r.error.c_str());
    benchmark::DoNotOptimize(r.document.nodes.data());
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(path));
}

void BM_Export(benchmark::State& state) {
  const std::string& path = document_path(static_cast<int>(state.range(0)));
  state.SetLabel(kScenes[state.range(0)].name);
  const std::string out = path.substr(0, path.size() - 7) + ".imd";
  std::FILE* sink = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    kavro::host::ConsoleHost console(sink, false, nullptr);
    console.set_quiet(true);
    console.set_overwrite_policy(kavro::host::OverwritePolicy::kYes);
    kavro::KavroExporter exporter(console, kavro::exporter_stages());
    // The exporter has read the kept settings: every output on after that.
    for (const char* key :
         {"output_imd", "output_ica", "output_iva", "output_ima", "output_itp", "output_ita"}) {
      kavro::apply_option_value(kavro::current_options(), *kavro::find_option_keyword(key), "on");
    }
    auto scene = kavro::open_scene(path, console, {});
    if (!scene || exporter.DoExport(out, *scene, true, 0) == 0) state.SkipWithError("export");
  }
  std::fclose(sink);
}

BENCHMARK(BM_Load)->ArgName("scene")->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export)->ArgName("scene")->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

const int kRatios = [] {
  for (int s : {0, 1, 2, 4}) {
    const std::string arg = "/scene:" + std::to_string(s);
    kavro::bench::add_ratio("BM_Export" + arg, "BM_Load" + arg, 3.0,
                            "export over loading, " + kScenes[s].name);
  }
  kavro::bench::add_ratio("BM_Export/scene:2", "BM_Export/scene:3", 5.0, "4x the materials");
  return 0;
}();

}  // namespace

KAVRO_BENCHMARK_MAIN()
