// Builds a small scene in code (a body with two wheels, two materials) and
// exports it through the exporter, as the host's File > Export would.
// Usage: example_demo_scene OUTPUT.imd
#include <cstdio>
#include <string>

#include "exporter/kavro_exporter.h"
#include "exporter/pipeline/prepared_scene.h"
#include "host/console_host.h"

namespace {

using kavro::PolygonSet;
using kavro::SceneNode;
using kavro::Vec3;

SceneNode node(int id, const char* name, int parent, Vec3 translate) {
  SceneNode n;
  n.id = id;
  n.name = name;
  n.parent = parent;
  n.kind = kavro::kNodeMesh;
  n.translate = translate;
  n.scale_frames.assign(1, Vec3{1, 1, 1});
  n.rotate_frames.assign(1, Vec3{});
  n.translate_frames.assign(1, translate);
  n.visibility_frames.assign(1, 1);
  n.work_flags = kavro::kVisibleAtFirstFrame;
  return n;
}

// An axis-aligned box of the given half size, as twelve triangles.
PolygonSet box(int node_id, const char* node_name, const char* material, Vec3 h) {
  PolygonSet set;
  set.node_id = node_id;
  set.node_name = node_name;
  set.material_name = material;
  for (int i = 0; i < 8; ++i) {
    set.positions.edit().push_back({i & 1 ? h.x : -h.x, i & 2 ? h.y : -h.y, i & 4 ? h.z : -h.z});
  }
  set.normals = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  const int quads[6][5] = {{1, 3, 7, 5, 0}, {0, 4, 6, 2, 1}, {2, 6, 7, 3, 2},
                           {0, 1, 5, 4, 3}, {4, 5, 7, 6, 4}, {0, 2, 3, 1, 5}};
  for (const auto& q : quads) {
    for (int t = 0; t < 2; ++t) {
      kavro::NTriFace f;
      int corner[3] = {q[0], q[1 + t], q[2 + t]};
      for (int c = 0; c < 3; ++c) {
        f.corners[c].pos = static_cast<std::uint16_t>(corner[c]);
        f.corners[c].nrm = static_cast<std::uint16_t>(q[4]);
      }
      f.normal = set.normals[q[4]];
      set.triangles.push_back(f);
    }
  }
  set.box_min = h * -1.0f;
  set.box_max = h;
  set.box_r = kavro::length(h);
  return set;
}

kavro::SceneMaterial material(const char* name, kavro::ColorEntry diffuse) {
  kavro::SceneMaterial m;
  m.name = name;
  m.diffuse_frames.edit().assign(1, diffuse);
  m.ambient_frames.edit().assign(1, {128, 128, 128});
  m.specular_frames.edit().assign(1, {0, 0, 0});
  m.emission_frames.edit().assign(1, {0, 0, 0});
  m.alpha_frames.edit().assign(1, 255);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.imd\n", argv[0]);
    return 2;
  }
  kavro::PreparedScene scene;
  scene.file_name = "demo_cart.max";
  scene.range = {0, 0, 160};
  scene.nodes = {node(1, "cart", -1, {0, 1, 0}), node(2, "wheel_l", 1, {-1, -0.5f, 0}),
                 node(3, "wheel_r", 1, {1, -0.5f, 0})};
  scene.nodes[0].child = 2;
  scene.nodes[1].brother_next = 3;
  scene.nodes[2].brother_prev = 2;
  scene.materials = {material("dummy_material", {255, 255, 255}), material("paint", {200, 40, 40}),
                     material("rubber", {30, 30, 30})};
  scene.polygons = {box(1, "cart", "paint", {1.5f, 0.5f, 1}),
                    box(2, "wheel_l", "rubber", {0.2f, 0.4f, 0.4f}),
                    box(3, "wheel_r", "rubber", {0.2f, 0.4f, 0.4f})};

  kavro::host::ConsoleHost host;
  kavro::KavroExporter exporter(host, kavro::exporter_stages());
  return exporter.DoExport(argv[1], scene, true, 0) != 0 ? 0 : 1;
}
