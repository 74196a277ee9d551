// The stand-alone parts of extraction: naming, conversions of host values,
// transform samples, set boxes and the ordering of the node hierarchy.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "exporter/extract/host_extraction.h"
#include "exporter/pipeline/text.h"

namespace kavro {

Vec3 to_vec3(max::Point3 p) {
  return {p.x, p.y, p.z};
}

std::uint8_t color_byte(double component) {
  double v = component * 255;
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<std::uint8_t>(v);
}

max::Matrix3 carry_to_y_up(const max::Matrix3& m) {
  // Built once: this runs for every node at every frame.
  static const max::Matrix3 kUp = max::RotateXMatrix(max::kHalfPi);
  static const max::Matrix3 kBack = max::RotateXMatrix(-max::kHalfPi);
  // The quarter turns hold only 0 and +-1, so each entry of the two products
  // is one entry of m, maybe negated: the sums from +0 add only zeros to it,
  // which turns a -0 into +0. Entries that are not finite make NaNs of the
  // zero terms, and take the products.
  // x - x is NaN exactly when x is not finite, and +0 otherwise: one test
  // for all twelve entries.
  float spread = 0;
  for (int r = 0; r < 4; ++r) spread += (m[r].x - m[r].x) + (m[r].y - m[r].y) + (m[r].z - m[r].z);
  if (spread != 0.0f) return kUp * m * kBack;
  // Adding +0 turns -0 into +0 and leaves every other finite value as it is.
  auto row = [&](max::Point3 p, float sign) {
    return max::Point3{sign * p.x + 0.0f, sign * p.z + 0.0f, -sign * p.y + 0.0f};
  };
  return {row(m[0], 1), row(m[2], 1), row(m[1], -1), row(m[3], 1)};
}

max::Matrix3 sample_matrix(const TransformSample& s) {
  constexpr float k = kPi / 180.0f;
  return max::ScaleMatrix({s.scale.x, s.scale.y, s.scale.z}) * max::RotateXMatrix(s.rotate.x * k) *
         max::RotateYMatrix(s.rotate.y * k) * max::RotateZMatrix(s.rotate.z * k) *
         max::TransMatrix({s.translate.x, s.translate.y, s.translate.z});
}

TransformSample decompose_sample(const max::Matrix3& m) {
  max::AffineParts ap;
  max::decomp_affine(m, &ap);
  return sample_from_parts(ap);
}

TransformSample sample_from_parts(max::AffineParts ap) {
  float angles[3];
  if (ap.f < 0) {
    // A mirror: decompose Scale(-1, 1, 1) times the rebuilt matrix and show
    // the mirror as a negative X scale.
    max::QuatToEuler(ap.q, angles);
    max::Matrix3 rebuilt = max::ScaleMatrix(ap.k) * max::RotateXMatrix(angles[0]) *
                           max::RotateYMatrix(angles[1]) * max::RotateZMatrix(angles[2]) *
                           max::TransMatrix(ap.t);
    max::decomp_affine(max::ScaleMatrix({-1, 1, 1}) * rebuilt, &ap);
    ap.k.x = -ap.k.x;
  }
  max::QuatToEuler(ap.q, angles);
  return sample_from_angles(ap.t, angles, ap.k);
}

TransformSample sample_from_angles(max::Point3 t, const float (&angles)[3], max::Point3 k) {
  TransformSample s;
  s.translate = round4096(Vec3{t.x, t.y, t.z});
  // The three divisions to degrees at once: each lane divides exactly as a
  // scalar division would.
  using Floats = float __attribute__((vector_size(16)));
  const Floats degrees =
      Floats{angles[0] * 180.0f, angles[1] * 180.0f, angles[2] * 180.0f, 1.0f} / kPi;
  s.rotate = round4096(Vec3{degrees[0], degrees[1], degrees[2]});
  s.scale = round4096(Vec3{k.x, k.y, k.z});
  return s;
}

void compute_set_box(PolygonSet& set) {
  Vec3 lo{kFloatMax, kFloatMax, kFloatMax};
  Vec3 hi{-kFloatMax, -kFloatMax, -kFloatMax};
  auto widen = [&](const Corner& c) {
    if (c.pos >= set.positions.size()) return;
    const Vec3& p = set.positions[c.pos];
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  };
  for (const NTriFace& f : set.triangles) {
    for (const Corner& c : f.corners) widen(c);
  }
  for (const NQuadFace& f : set.quads) {
    for (const Corner& c : f.corners) widen(c);
  }
  set.box_min = lo;
  set.box_max = hi;
  Vec3 centre = (lo + hi) * 0.5f;
  set.box_r = length(hi - centre);
}

void order_hierarchy(std::vector<SceneNode>& nodes) {
  if (nodes.empty()) return;
  std::unordered_map<int, std::size_t> position;
  for (std::size_t i = 0; i < nodes.size(); ++i) position.emplace(nodes[i].id, i);
  // Children of every node, and the roots, in their current order.
  std::vector<std::vector<std::size_t>> children(nodes.size());
  std::vector<std::size_t> roots;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    auto it = nodes[i].parent == -1 ? position.end() : position.find(nodes[i].parent);
    if (it == position.end()) {
      roots.push_back(i);
    } else {
      children[it->second].push_back(i);
    }
  }
  auto by_name = [&](std::size_t a, std::size_t b) { return nodes[a].name < nodes[b].name; };
  auto relink = [&](std::vector<std::size_t>& group) {
    std::stable_sort(group.begin(), group.end(), by_name);
    for (std::size_t k = 0; k < group.size(); ++k) {
      SceneNode& n = nodes[group[k]];
      n.brother_prev = k > 0 ? nodes[group[k - 1]].id : -1;
      n.brother_next = k + 1 < group.size() ? nodes[group[k + 1]].id : -1;
    }
  };
  relink(roots);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    relink(children[i]);
    nodes[i].child = children[i].empty() ? -1 : nodes[children[i].front()].id;
  }
  // Depth-first pre-order with an explicit stack.
  std::vector<SceneNode> ordered;
  ordered.reserve(nodes.size());
  std::vector<std::size_t> stack(roots.rbegin(), roots.rend());
  while (!stack.empty()) {
    std::size_t i = stack.back();
    stack.pop_back();
    for (auto it = children[i].rbegin(); it != children[i].rend(); ++it) stack.push_back(*it);
    ordered.push_back(std::move(nodes[i]));
  }
  nodes = std::move(ordered);
}

}  // namespace kavro
