// Small geometry built in code for the model file tests.
#pragma once

#include <sstream>
#include <string>

#include "exporter/imd/matrix_array.h"
#include "exporter/imd/polygon_array.h"
#include "exporter/imd/vertex_lists.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "tests/support/support.h"

namespace kavro::test {

// Faces whose corners use the same index for position, colour, texture
// coordinate and normal.
inline Corner corner(int i) {
  auto u = static_cast<std::uint16_t>(i);
  return Corner{u, u, u, u};
}

inline NTriFace tri(int a, int b, int c, Vec3 normal = {0, 0, 1}) {
  NTriFace f;
  f.corners = {corner(a), corner(b), corner(c)};
  f.normal = normal;
  return f;
}

inline NQuadFace quad(int a, int b, int c, int d, Vec3 normal = {0, 0, 1}) {
  NQuadFace f;
  f.corners = {corner(a), corner(b), corner(c), corner(d)};
  f.normal = normal;
  return f;
}

inline SceneMaterial material(const std::string& name, int lighting = 0) {
  SceneMaterial m;
  m.name = name;
  m.lighting = lighting;
  return m;
}

// One mesh node (id 1, "mesh") drawing the set with the material "m".
inline ExportScene one_set_scene(PolygonSet set, int lighting = 0) {
  ExportScene scene;
  scene.nodes.push_back(make_node(1, "mesh"));
  set.node_id = 1;
  if (set.node_name.empty()) set.node_name = "mesh";
  set.material_name = "m";
  scene.polygons.push_back(std::move(set));
  scene.materials.push_back(material("m", lighting));
  return scene;
}

// Runs the steps before the polygon array (colour lists, matrix table) and
// returns the polygon array's text with LF line ends.
inline std::string polygon_text(ExportScene& scene) {
  compress_color_lists(scene);
  build_matrix_table(scene);
  OutputFile out;
  ImdTotals totals;
  write_polygon_array(out, scene, scene.log(), totals);
  return lf(out.text());
}

// The vertex command lines of a polygon array text, without their tabs.
inline std::string vertex_commands(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.rfind("\t\t\t\t\t<", 0) == 0) out += line.substr(5) + "\n";
  }
  return out;
}

// The pos_idx indices of a polygon array text in the index style.
inline std::string position_indices(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  const std::string tag = "<pos_idx idx=\"";
  while (std::getline(in, line)) {
    std::size_t at = line.find(tag);
    if (at == std::string::npos) continue;
    std::size_t start = at + tag.size();
    if (!out.empty()) out += " ";
    out += line.substr(start, line.find('"', start) - start);
  }
  return out;
}

}  // namespace kavro::test
