// Splits a polygon into triangles by ear clipping in the polygon's own plane.
//
// A face of an imported mesh with more than four corners becomes triangles
// for the host's triangle mesh, while the polygon itself is kept in the
// editable-poly view. Ear clipping keeps concave polygons inside their
// outline, which a fan from the first corner does not. The plane is the one
// of Newell's normal; a corner is an ear when its turn agrees with that
// normal and no other corner lies inside the triangle it cuts off. When no ear
// is found (a self-crossing or degenerate outline), the rest is closed as a
// fan so that every corner stays used.
#pragma once

#include <array>
#include <vector>

#include "host/max_math.h"

namespace kavro::host {

// Triangles of the polygon whose corners are `corners` (in order), as
// positions within `corners`; n corners give n - 2 triangles, each wound as
// the polygon is.
std::vector<std::array<int, 3>> triangulate_polygon(const std::vector<max::Point3>& corners);

}  // namespace kavro::host
