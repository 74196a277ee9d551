#include "host/polygon_triangulation.h"

#include <cmath>

namespace kavro::host {
namespace {

// Ear clipping costs up to n^3 steps; larger polygons (rare caps of
// cylinders) are split as a fan.
constexpr int kMaxEarClippingCorners = 512;

struct V2 {
  double x, y;
};

double cross(V2 o, V2 a, V2 b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool inside(V2 p, V2 a, V2 b, V2 c) {
  // On the edge counts as inside, so that a corner on a cut is not skipped
  // past.
  return cross(a, b, p) >= 0 && cross(b, c, p) >= 0 && cross(c, a, p) >= 0;
}

}  // namespace

std::vector<std::array<int, 3>> triangulate_polygon(const std::vector<max::Point3>& corners) {
  std::vector<std::array<int, 3>> out;
  const int n = static_cast<int>(corners.size());
  if (n < 3) return out;
  out.reserve(n - 2);
  // Newell's normal, then the two axes of the plane.
  double nx = 0, ny = 0, nz = 0;
  for (int i = 0; i < n; ++i) {
    const max::Point3& a = corners[i];
    const max::Point3& b = corners[(i + 1) % n];
    nx += (static_cast<double>(a.y) - b.y) * (static_cast<double>(a.z) + b.z);
    ny += (static_cast<double>(a.z) - b.z) * (static_cast<double>(a.x) + b.x);
    nz += (static_cast<double>(a.x) - b.x) * (static_cast<double>(a.y) + b.y);
  }
  // Drop the axis the normal is largest along; keep the winding positive.
  double ax = std::fabs(nx), ay = std::fabs(ny), az = std::fabs(nz);
  std::vector<V2> p(n);
  for (int i = 0; i < n; ++i) {
    const max::Point3& c = corners[i];
    V2& q = p[i];
    if (az >= ax && az >= ay) {
      q = nz >= 0 ? V2{c.x, c.y} : V2{c.y, c.x};
    } else if (ax >= ay) {
      q = nx >= 0 ? V2{c.y, c.z} : V2{c.z, c.y};
    } else {
      q = ny >= 0 ? V2{c.z, c.x} : V2{c.x, c.z};
    }
  }
  std::vector<int> ring(n);
  for (int i = 0; i < n; ++i) ring[i] = i;
  if (n > kMaxEarClippingCorners) ring.resize(3, 0);  // straight to the fan below
  while (ring.size() > 3) {
    const std::size_t m = ring.size();
    bool cut = false;
    for (std::size_t k = 0; k < m && !cut; ++k) {
      int a = ring[(k + m - 1) % m], b = ring[k], c = ring[(k + 1) % m];
      V2 pa = p[a], pb = p[b], pc = p[c];
      if (cross(pa, pb, pc) <= 0) continue;  // reflex or flat corner
      bool empty = true;
      for (std::size_t j = 0; j < m && empty; ++j) {
        int other = ring[j];
        if (other == a || other == b || other == c) continue;
        empty = !inside(p[other], pa, pb, pc);
      }
      if (!empty) continue;
      out.push_back({a, b, c});
      ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(k));
      cut = true;
    }
    if (!cut) {
      // No ear: close the rest as a fan.
      for (std::size_t k = 1; k + 1 < ring.size(); ++k)
        out.push_back({ring[0], ring[k], ring[k + 1]});
      return out;
    }
  }
  if (n > kMaxEarClippingCorners) {
    for (int k = 1; k + 1 < n; ++k) out.push_back({0, k, k + 1});
    return out;
  }
  out.push_back({ring[0], ring[1], ring[2]});
  return out;
}

}  // namespace kavro::host
