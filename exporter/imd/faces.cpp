#include "exporter/imd/faces.h"

#include <cmath>

namespace kavro {

bool corners_match(const PolygonSet& set, const Corner& a, const Corner& b) {
  if (a.pos != b.pos) return false;
  if (set.has_normals()) {
    Vec3 na = element_or_zero(set.normals, a.nrm);
    Vec3 nb = element_or_zero(set.normals, b.nrm);
    if (!(std::fabs(na.x - nb.x) <= 0.001f && std::fabs(na.y - nb.y) <= 0.001f &&
          std::fabs(na.z - nb.z) <= 0.001f)) {
      return false;
    }
  }
  if (set.has_texcoords() &&
      !(element_or_zero(set.texcoords, a.tex) == element_or_zero(set.texcoords, b.tex))) {
    return false;
  }
  if (set.has_colors() &&
      !(element_or_zero(set.colors, a.clr) == element_or_zero(set.colors, b.clr))) {
    return false;
  }
  return true;
}

}  // namespace kavro
