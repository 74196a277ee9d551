// Importing and exporting a glTF of about 100,000 triangles: four grid
// meshes of 112 x 112 quads (25,088 triangles each) under a root node, with
// normals and texture coordinates. Assimp's reading of the same file is the
// reference the importer's own mapping adds to; the export runs the whole
// exporter to a model file. Peak memory (resident set) is reported as a
// counter of the last benchmark.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <assimp/Importer.hpp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "exporter/kavro_exporter.h"
#include "host/recording_host.h"
#include "host/scene_io.h"

namespace {

constexpr int kGrid = 112;
constexpr int kMeshes = 4;

std::string base64(const std::string& bin) {
  static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bin.size(); i += 3) {
    std::uint32_t n = static_cast<std::uint8_t>(bin[i]) << 16;
    if (i + 1 < bin.size()) n |= static_cast<std::uint8_t>(bin[i + 1]) << 8;
    if (i + 2 < bin.size()) n |= static_cast<std::uint8_t>(bin[i + 2]);
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < bin.size() ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < bin.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

// The test file, written once into the temporary folder.
const std::string& scene_file() {
  static const std::string path = [] {
    nlohmann::json g;
    g["asset"] = {{"version", "2.0"}};
    g["scene"] = 0;
    std::string bin;
    auto view = [&](const void* data, std::size_t bytes) {
      while (bin.size() % 4) bin += '\0';
      g["bufferViews"].push_back(
          {{"buffer", 0}, {"byteOffset", bin.size()}, {"byteLength", bytes}});
      bin.append(static_cast<const char*>(data), bytes);
      return static_cast<int>(g["bufferViews"].size()) - 1;
    };
    std::vector<float> pos, nrm, uv;
    std::vector<std::uint32_t> idx;
    for (int y = 0; y <= kGrid; ++y) {
      for (int x = 0; x <= kGrid; ++x) {
        float fx = static_cast<float>(x) / kGrid, fy = static_cast<float>(y) / kGrid;
        pos.insert(pos.end(), {fx, 0.1f * fx * fy, fy});
        nrm.insert(nrm.end(), {0, 1, 0});
        uv.insert(uv.end(), {fx, fy});
      }
    }
    auto v = [](int x, int y) { return static_cast<std::uint32_t>(y * (kGrid + 1) + x); };
    for (int y = 0; y < kGrid; ++y) {
      for (int x = 0; x < kGrid; ++x) {
        idx.insert(idx.end(),
                   {v(x, y), v(x, y + 1), v(x + 1, y + 1), v(x, y), v(x + 1, y + 1), v(x + 1, y)});
      }
    }
    int vp = view(pos.data(), pos.size() * 4), vn = view(nrm.data(), nrm.size() * 4),
        vu = view(uv.data(), uv.size() * 4), vi = view(idx.data(), idx.size() * 4);
    int count = (kGrid + 1) * (kGrid + 1);
    g["accessors"] = {
        {{"bufferView", vp},
         {"componentType", 5126},
         {"count", count},
         {"type", "VEC3"},
         {"min", {0, 0, 0}},
         {"max", {1, 0.1, 1}}},
        {{"bufferView", vn}, {"componentType", 5126}, {"count", count}, {"type", "VEC3"}},
        {{"bufferView", vu}, {"componentType", 5126}, {"count", count}, {"type", "VEC2"}},
        {{"bufferView", vi}, {"componentType", 5125}, {"count", idx.size()}, {"type", "SCALAR"}}};
    g["materials"] = {{{"name", "Ground"}}};
    g["meshes"] = {{{"primitives",
                     {{{"attributes", {{"POSITION", 0}, {"NORMAL", 1}, {"TEXCOORD_0", 2}}},
                       {"indices", 3},
                       {"material", 0}}}}}};
    nlohmann::json children = nlohmann::json::array();
    g["nodes"] = nlohmann::json::array();
    g["nodes"].push_back({{"name", "Terrain"}});
    for (int i = 0; i < kMeshes; ++i) {
      children.push_back(i + 1);
      g["nodes"].push_back({{"name", "Tile" + std::to_string(i)},
                            {"mesh", 0},
                            {"translation", {static_cast<double>(i), 0, 0}}});
    }
    g["nodes"][0]["children"] = children;
    g["scenes"] = {{{"nodes", {0}}}};
    g["buffers"] = {{{"byteLength", bin.size()},
                     {"uri", "data:application/octet-stream;base64," + base64(bin)}}};
    std::string file =
        (std::filesystem::temp_directory_path() / "kavro-bench-import.gltf").string();
    std::ofstream(file) << g.dump();
    return file;
  }();
  return path;
}

void BM_AssimpReadFile(benchmark::State& state) {
  for (auto _ : state) {
    Assimp::Importer importer;
    const aiScene* s = importer.ReadFile(scene_file(), aiProcess_ValidateDataStructure);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_AssimpReadFile)->Unit(benchmark::kMillisecond);

void BM_Import(benchmark::State& state) {
  std::size_t faces = 0;
  for (auto _ : state) {
    kavro::host::SceneLoadResult r = kavro::host::load_scene_file(scene_file());
    faces = 0;
    for (const auto& n : r.document.nodes) faces += n.object.mesh.faces.size();
    benchmark::DoNotOptimize(r);
  }
  state.counters["triangles"] = static_cast<double>(faces);
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond);

void BM_ImportAndExport(benchmark::State& state) {
  std::string out = (std::filesystem::temp_directory_path() / "kavro-bench-import.imd").string();
  for (auto _ : state) {
    kavro::host::RecordingHost host;
    std::unique_ptr<kavro::SceneExtraction> scene = kavro::open_scene(scene_file(), host, {});
    kavro::KavroExporter exporter(host, kavro::exporter_stages());
    int ok = exporter.DoExport(out, *scene, true, 0);
    if (ok == 0) state.SkipWithError("the export failed");
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  std::remove(out.c_str());
}
BENCHMARK(BM_ImportAndExport)->Unit(benchmark::kMillisecond);

}  // namespace
