// Corner data of a polygon set looked up by index (an index outside its
// array reads as zero), and the corner match that quadrilateral and strip
// generation share.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {

template <class Array>
typename Array::value_type element_or_zero(const Array& items, std::size_t index) {
  return index < items.size() ? items[index] : typename Array::value_type{};
}

// Two corners match when their position indices are equal and, where the set
// has them, their normals are equal within 0.001 in each component, their
// texture coordinates are exactly equal and their colours have equal red,
// green and blue.
bool corners_match(const PolygonSet& set, const Corner& a, const Corner& b);

// Faces by the unordered position pairs of their edges: one sorted array,
// so that the faces of one pair come out in ascending order, each once.
class EdgeIndex {
 public:
  void reserve(std::size_t n) { entries_.reserve(n); }
  void add(int a, int b, int face) {
    entries_.push_back((key(a, b) << 32) | static_cast<std::uint32_t>(face));
  }
  void finish() {
    std::sort(entries_.begin(), entries_.end());
    entries_.erase(std::unique(entries_.begin(), entries_.end()), entries_.end());
  }
  // Calls fn(face) for every face with an edge between positions a and b.
  template <class Fn>
  void for_each(int a, int b, Fn fn) const {
    std::uint64_t k = key(a, b);
    auto it = std::lower_bound(entries_.begin(), entries_.end(), k << 32);
    for (; it != entries_.end() && (*it >> 32) == k; ++it) {
      fn(static_cast<int>(*it & 0xFFFFFFFFu));
    }
  }

 private:
  static std::uint64_t key(int a, int b) {
    if (a > b) std::swap(a, b);
    return (static_cast<std::uint64_t>(static_cast<std::uint16_t>(a)) << 16) |
           static_cast<std::uint16_t>(b);
  }
  std::vector<std::uint64_t> entries_;
};

}  // namespace kavro
