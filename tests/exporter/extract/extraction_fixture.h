// What the extraction tests share: a run of extraction over a small scene
// document as the export driver does it, and builders of document texts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "exporter/extract/host_extraction.h"
#include "host/document_views.h"
#include "host/recording_host.h"
#include "host/scene_document.h"
#include "tests/support/support.h"

namespace kavro::extract_test {
struct Extraction {
  host::RecordingHost host;
  ExportScene scene;
  bool ok = false;

  bool has_warning(const std::string& w) const {
    const auto& ws = scene.warnings();
    return std::find(ws.begin(), ws.end(), w) != ws.end();
  }
  const SceneNode* node(const std::string& name) const {
    for (const SceneNode& n : scene.nodes) {
      if (n.name == name) return &n;
    }
    return nullptr;
  }
  std::vector<std::string> node_names() const {
    std::vector<std::string> out;
    for (const SceneNode& n : scene.nodes) out.push_back(n.name);
    return out;
  }
  std::vector<std::string> warnings_starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& w : scene.warnings()) {
      if (w.rfind(prefix, 0) == 0) out.push_back(w);
    }
    return out;
  }
  int messages_with(const std::string& text) const {
    int n = 0;
    for (const auto& m : host.messages) n += m.text == text ? 1 : 0;
    return n;
  }
};

struct Settings {
  Triangulation triangulation = Triangulation::kAsIs;
  bool force_full_weight = false;
  bool export_all = true;
  std::vector<std::string> select;
  // The folder relative bitmap names are found in, and the map folders.
  std::string folder;
  std::vector<std::string> map_paths;
};

inline Settings triangulating(Triangulation mode) {
  Settings s;
  s.triangulation = mode;
  return s;
}

// Runs extraction as the export driver does (steps 5 to 12).
inline void extract(Extraction& run, const std::string& json, const Settings& settings = {}) {
  doc::LoadResult loaded = doc::parse_scene_document(json, "test.kscene");
  ASSERT_TRUE(loaded.ok) << loaded.error;
  loaded.document.folder = settings.folder;
  loaded.document.map_paths.insert(loaded.document.map_paths.end(), settings.map_paths.begin(),
                                   settings.map_paths.end());
  auto document = max::make_document_host(std::move(loaded.document));
  if (!settings.select.empty()) {
    ASSERT_TRUE(document->select_by_names(settings.select));
  }
  HostExtraction ex(std::move(document), run.host);
  ExportScene& scene = run.scene;
  scene.host_interface = &run.host;
  scene.stage_count = 10;
  SceneRange range = ex.scene_range();
  scene.start_frame = range.start_time / range.ticks_per_frame;
  scene.end_frame = range.end_time / range.ticks_per_frame;
  scene.frame_count = scene.end_frame - scene.start_frame + 1;
  scene.triangulation = settings.triangulation;
  scene.force_full_weight = settings.force_full_weight;
  ExportOptions options{};
  reset_options(options, true);
  options.triangulation = settings.triangulation;
  options.force_full_weight = settings.force_full_weight ? 1 : 0;
  options.export_all = settings.export_all ? ExportScope::kAll : ExportScope::kSelection;
  ex.initialise(settings.export_all);
  ex.switch_off_skins();
  run.ok = ex.extract_materials(scene, options) && ex.extract_nodes(scene, options);
  ex.switch_on_skins();
  if (run.ok) ex.extract_lights(scene);
  ex.release();
}

inline std::string scene_json(const std::string& nodes, const std::string& materials = "",
                              const std::string& extra = "") {
  return R"({"format":"kavro-scene","version":1,)" + extra + R"("materials":[)" + materials +
         R"(],"nodes":[)" + nodes + "]}";
}

// A unit square in the host's XY plane as two triangles and one polygon.
inline std::string square_mesh(const std::string& polygons = R"([{"v":[0,1,2,3]}])",
                               float lift = 0) {
  return R"({"vertices":[[0,0,0],[1,0,0],[1,1,)" + std::to_string(lift) +
         R"(],[0,1,0]],"faces":[[0,1,2],[0,2,3]],"polygons":)" + polygons + "}";
}

inline std::string mesh_node(int id, const std::string& name, const std::string& more = "",
                             const std::string& mesh = square_mesh()) {
  return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name + R"(",)" + more +
         R"("object":{"class":"mesh","mesh":)" + mesh + "}}";
}

inline void expect_vec(Vec3 a, Vec3 b, float tol = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

inline const SceneMaterial* material_named(const Extraction& run, const std::string& name) {
  for (const SceneMaterial& m : run.scene.materials) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

}  // namespace kavro::extract_test
