// Corner data of a polygon set looked up by index (an index outside its
// array reads as zero), and the corner match that quadrilateral and strip
// generation share.
#pragma once

#include <cstddef>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {

template <class T>
T element_or_zero(const std::vector<T>& items, std::size_t index) {
  return index < items.size() ? items[index] : T{};
}

// Two corners match when their position indices are equal and, where the set
// has them, their normals are equal within 0.001 in each component, their
// texture coordinates are exactly equal and their colours have equal red,
// green and blue.
bool corners_match(const PolygonSet& set, const Corner& a, const Corner& b);

}  // namespace kavro
