// Quadrilateral rebuilding: pairs of a set's triangles that cover one of the
// host's four-sided polygons become one quadrilateral.
//
// The triangles are indexed by the cell of their first corner in a grid of
// about the matching tolerance, so a polygon only looks at the triangles whose
// first corner lies near one of its corners; the candidates are then tested
// in triangle order, which finds the same triangles a full scan would.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <utility>

#include "exporter/extract/host_extraction.h"

namespace kavro {
namespace {

constexpr float kTolerance = 0.001f;
// Grid cells four tolerances wide: a corner looks only at the cells that
// its tolerance box (widened a little against rounding) overlaps, most often
// one to four of them.
constexpr double kCell = 0.004;
constexpr double kReach = 0.00101;

struct Cell {
  std::int64_t x, y, z;
  friend bool operator==(const Cell&, const Cell&) = default;
};

struct CellHash {
  std::size_t operator()(const Cell& c) const {
    std::uint64_t h = static_cast<std::uint64_t>(c.x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<std::uint64_t>(c.y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= static_cast<std::uint64_t>(c.z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    return static_cast<std::size_t>(h);
  }
};

std::int64_t cell_of(double v) {
  double c = std::floor(v / kCell);
  // Far-out or non-finite coordinates share the edge cells.
  if (!(c > -4.0e18)) return static_cast<std::int64_t>(-4.0e18);
  if (!(c < 4.0e18)) return static_cast<std::int64_t>(4.0e18);
  return static_cast<std::int64_t>(c);
}

Cell cell_of(const Vec3& p) {
  return {cell_of(static_cast<double>(p.x)), cell_of(static_cast<double>(p.y)),
          cell_of(static_cast<double>(p.z))};
}

bool near(const Vec3& a, const Vec3& b) {
  return std::fabs(a.x - b.x) < kTolerance && std::fabs(a.y - b.y) < kTolerance &&
         std::fabs(a.z - b.z) < kTolerance;
}

bool planar(const std::array<Vec3, 4>& c) {
  Vec3 n = cross(c[0] - c[1], c[1] - c[2]);
  for (int a = 0; a < 4; ++a) {
    for (int b = a + 1; b < 4; ++b) {
      Vec3 d = c[a] - c[b];
      if (std::fabs(d.x) < kTolerance && std::fabs(d.y) < kTolerance &&
          std::fabs(d.z) < kTolerance) {
        return false;
      }
      float off = dot(d, n);
      if (off <= -kTolerance || off > kTolerance) return false;
    }
  }
  return true;
}

// Joins two triangles that share an edge: the first triangle's own corner,
// the shared edge in its order, and the second triangle's own corner between.
bool join(const NTriFace& a, const NTriFace& b, NQuadFace& quad) {
  int shared = 0;
  int own_a = -1;
  for (int i = 0; i < 3; ++i) {
    bool in_b = false;
    for (int k = 0; k < 3; ++k) in_b = in_b || a.corners[i].pos == b.corners[k].pos;
    if (in_b) {
      ++shared;
    } else {
      own_a = i;
    }
  }
  if (shared != 2 || own_a < 0) return false;
  int own_b = -1;
  for (int k = 0; k < 3; ++k) {
    bool in_a = false;
    for (int i = 0; i < 3; ++i) in_a = in_a || b.corners[k].pos == a.corners[i].pos;
    if (!in_a) own_b = k;
  }
  if (own_b < 0) return false;
  const Corner& u = a.corners[own_a];
  const Corner& s1 = a.corners[(own_a + 1) % 3];
  const Corner& s2 = a.corners[(own_a + 2) % 3];
  quad = NQuadFace();
  quad.corners = {u, s1, b.corners[own_b], s2};
  quad.normal = a.normal;
  return true;
}

}  // namespace

void rebuild_quads(PolygonSet& set, const std::vector<std::array<Vec3, 4>>& polygons,
                   bool check_planar) {
  if (polygons.empty() || set.triangles.size() < 2) return;
  auto corner = [&](const NTriFace& t, int k) -> const Vec3* {
    std::uint16_t p = t.corners[k].pos;
    return p < set.positions.size() ? &set.positions[p] : nullptr;
  };
  std::unordered_map<Cell, std::vector<std::uint32_t>, CellHash> grid;
  grid.reserve(set.triangles.size());
  for (std::size_t i = 0; i < set.triangles.size(); ++i) {
    if (const Vec3* p = corner(set.triangles[i], 0))
      grid[cell_of(*p)].push_back(static_cast<std::uint32_t>(i));
  }
  std::vector<bool> consumed(set.triangles.size(), false);
  std::vector<NQuadFace> quads;
  std::vector<std::uint32_t> candidates;
  for (const std::array<Vec3, 4>& poly : polygons) {
    if (check_planar && !planar(poly)) continue;
    candidates.clear();
    for (const Vec3& c : poly) {
      auto lo_hi = [](float v) {
        return std::pair{cell_of(static_cast<double>(v) - kReach),
                         cell_of(static_cast<double>(v) + kReach)};
      };
      auto [x0, x1] = lo_hi(c.x);
      auto [y0, y1] = lo_hi(c.y);
      auto [z0, z1] = lo_hi(c.z);
      Cell lo{x0, y0, z0}, hi{x1, y1, z1};
      for (std::int64_t x = lo.x; x <= hi.x; ++x) {
        for (std::int64_t y = lo.y; y <= hi.y; ++y) {
          for (std::int64_t z = lo.z; z <= hi.z; ++z) {
            auto it = grid.find({x, y, z});
            if (it != grid.end())
              candidates.insert(candidates.end(), it->second.begin(), it->second.end());
          }
        }
      }
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    int found[2];
    int count = 0;
    for (std::uint32_t i : candidates) {
      if (consumed[i]) continue;
      const NTriFace& t = set.triangles[i];
      bool inside = true;
      for (int k = 0; k < 3 && inside; ++k) {
        const Vec3* p = corner(t, k);
        bool hit = false;
        for (const Vec3& c : poly) hit = hit || (p != nullptr && near(*p, c));
        inside = hit;
      }
      if (!inside) continue;
      found[count++] = static_cast<int>(i);
      if (count == 2) break;
    }
    if (count != 2) continue;
    NQuadFace quad;
    if (!join(set.triangles[found[0]], set.triangles[found[1]], quad)) {
      continue;
    }
    consumed[found[0]] = true;
    consumed[found[1]] = true;
    quads.push_back(quad);
  }
  if (quads.empty()) return;
  std::vector<NTriFace> rest;
  rest.reserve(set.triangles.size() - 2 * quads.size());
  for (std::size_t i = 0; i < set.triangles.size(); ++i) {
    if (!consumed[i]) rest.push_back(set.triangles[i]);
  }
  set.triangles = std::move(rest);
  set.quads = std::move(quads);
}

}  // namespace kavro
