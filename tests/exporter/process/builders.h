// Small scenes for the processing tests: nodes appended in depth-first
// order and linked to their parent and brothers, and polygon sets made of
// given triangles.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "exporter/pipeline/scene.h"
#include "tests/support/support.h"

namespace kavro::test {

// Appends a node as the last child of `parent` (-1: as the last root).
inline SceneNode& add_node(std::vector<SceneNode>& nodes, int id, const std::string& name,
                           int parent, int kind = kNodeNull, int frames = 1) {
  SceneNode n = make_node(id, name, kind, frames);
  n.parent = parent;
  for (SceneNode& o : nodes) {
    if (o.parent == parent && o.brother_next == -1) {
      o.brother_next = id;
      n.brother_prev = o.id;
      break;
    }
  }
  if (parent != -1 && n.brother_prev == -1) {
    for (SceneNode& o : nodes) {
      if (o.id == parent) o.child = id;
    }
  }
  nodes.push_back(n);
  return nodes.back();
}

inline NTriFace tri(std::uint16_t a, std::uint16_t b, std::uint16_t c) {
  NTriFace f;
  f.corners[0] = {a, a, a, a};
  f.corners[1] = {b, b, b, b};
  f.corners[2] = {c, c, c, c};
  return f;
}

inline NQuadFace quad(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
  NQuadFace f;
  f.corners[0] = {a, a, a, a};
  f.corners[1] = {b, b, b, b};
  f.corners[2] = {c, c, c, c};
  f.corners[3] = {d, d, d, d};
  return f;
}

// A set of the given positions, one normal (0, 0, 1) per position and one
// triangle over every three consecutive positions.
inline PolygonSet make_set(int node_id, const std::string& material, std::vector<Vec3> positions,
                           const std::string& node_name = "set") {
  PolygonSet s;
  s.node_id = node_id;
  s.material_name = material;
  s.node_name = node_name;
  s.positions = std::move(positions);
  s.normals.edit().assign(s.positions.size(), Vec3{0, 0, 1});
  for (std::size_t i = 0; i + 2 < s.positions.size(); i += 3) {
    s.triangles.push_back(tri(static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(i + 1),
                              static_cast<std::uint16_t>(i + 2)));
  }
  return s;
}

// One influence per vertex, all on one bone with weight 1.
inline std::vector<SkinInfluence> single_bone(std::size_t vertices, int bone) {
  std::vector<SkinInfluence> w(vertices);
  for (SkinInfluence& i : w) {
    i.weights = {1.0f};
    i.node_ids = {bone};
  }
  return w;
}

inline SkinInfluence influence(std::initializer_list<std::pair<int, float>> bones) {
  SkinInfluence i;
  for (auto [id, w] : bones) {
    i.node_ids.push_back(id);
    i.weights.push_back(w);
  }
  return i;
}

inline std::vector<std::string> names(const std::vector<SceneNode>& nodes) {
  std::vector<std::string> out;
  for (const SceneNode& n : nodes) out.push_back(n.name);
  return out;
}

// parent, child, next brother, previous brother of a node, for comparisons.
inline std::vector<int> links(const SceneNode& n) {
  return {n.parent, n.child, n.brother_next, n.brother_prev};
}

}  // namespace kavro::test
