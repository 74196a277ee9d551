#include "exporter/imd/quads.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "exporter/imd/faces.h"
#include "exporter/pipeline/scene.h"

namespace kavro {

namespace {

bool short_edge(Vec3 e) {
  return std::fabs(e.x) < 0.001f && std::fabs(e.y) < 0.001f && std::fabs(e.z) < 0.001f;
}

// The four points, shared and free corners alternating, form a strictly
// convex quadrilateral facing along `normal`; when the first turn faces the
// other way the two free points are swapped first.
bool strictly_convex(std::array<Vec3, 4> p, Vec3 normal) {
  for (int k = 0; k < 4; ++k) {
    if (short_edge(p[(k + 1) % 4] - p[k])) {
      return false;
    }
  }
  auto turn = [&](int k) {
    Vec3 a = p[(k + 1) % 4] - p[k];
    Vec3 b = p[(k + 2) % 4] - p[(k + 1) % 4];
    return dot(cross(a, b), normal);
  };
  if (turn(0) < 0.0f) std::swap(p[1], p[3]);
  for (int k = 0; k < 4; ++k) {
    if (!(turn(k) > 0.0f)) return false;
  }
  return true;
}

// Builds the quadrilateral of triangles n and j when they qualify.
bool try_pair(const PolygonSet& set, const NTriFace& n, const NTriFace& j, NQuadFace& quad) {
  if (!(dot(n.normal, j.normal) >= 0.99999f)) return false;
  int shared[3], match[3], count = 0;
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) {
      if (corners_match(set, n.corners[a], j.corners[b])) {
        shared[count] = a;
        match[count] = b;
        ++count;
        break;
      }
    }
  }
  if (count != 2 || match[0] == match[1]) return false;
  int u = 3 - shared[0] - shared[1];  // n's free corner
  int d = 3 - match[0] - match[1];    // j's free corner
  const Corner& cu = n.corners[u];
  const Corner& c1 = n.corners[(u + 1) % 3];
  const Corner& c2 = n.corners[(u + 2) % 3];
  const Corner& cd = j.corners[d];
  auto at = [&](const Corner& c) { return element_or_zero(set.positions, c.pos); };
  if (!strictly_convex({at(c1), at(cd), at(c2), at(cu)}, n.normal)) return false;
  quad = NQuadFace{};
  quad.normal = n.normal;
  quad.corners = {cu, c1, cd, c2};
  return true;
}

}  // namespace

void generate_quads(PolygonSet& set) {
  if (!set.quads.empty() || set.triangles.size() < 2) return;
  const std::vector<NTriFace>& tris = set.triangles;
  // Triangles by the position pairs of their edges: only triangles sharing a
  // pair with n can share an edge with it.
  EdgeIndex by_edge;
  by_edge.reserve(tris.size() * 3);
  for (std::size_t t = 0; t < tris.size(); ++t) {
    const auto& c = tris[t].corners;
    for (int k = 0; k < 3; ++k) {
      by_edge.add(c[k].pos, c[(k + 1) % 3].pos, static_cast<int>(t));
    }
  }
  by_edge.finish();
  std::vector<char> paired(tris.size(), 0);
  std::vector<NQuadFace> quads;
  std::vector<int> candidates;
  for (std::size_t i = 0; i < tris.size(); ++i) {
    if (paired[i]) continue;
    const auto& c = tris[i].corners;
    candidates.clear();
    for (int k = 0; k < 3; ++k) {
      by_edge.for_each(c[k].pos, c[(k + 1) % 3].pos, [&](int j) {
        if (j > static_cast<int>(i)) candidates.push_back(j);
      });
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    for (int j : candidates) {
      if (paired[j]) continue;
      NQuadFace quad;
      if (try_pair(set, tris[i], tris[j], quad)) {
        paired[i] = 1;
        paired[j] = 1;
        quads.push_back(quad);
        break;
      }
    }
  }
  if (quads.empty()) return;
  std::vector<NTriFace> rest;
  rest.reserve(tris.size() - 2 * quads.size());
  for (std::size_t t = 0; t < tris.size(); ++t) {
    if (!paired[t]) rest.push_back(tris[t]);
  }
  set.triangles = std::move(rest);
  set.quads = std::move(quads);
}

void generate_quads(ExportScene& scene) {
  for (PolygonSet& set : scene.polygons) {
    if (!set.deleted) generate_quads(set);
  }
}

}  // namespace kavro
