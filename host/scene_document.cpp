#include "host/scene_document.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "host/max_lanes.h"

namespace kavro::doc {
namespace {

// The two keys around a frame and the blend factor between them; a frame
// outside the keys takes the nearest key (blend 0). With a cursor, the keys
// around the frame asked last are tried first: when they hold this frame too
// they are the search's answer, as the keys ascend.
template <class T>
std::pair<std::size_t, std::size_t> bracket(const Track<T>& track, double frame, float& blend,
                                            TrackCursor* cursor = nullptr) {
  const auto& keys = track.keys;
  blend = 0;
  // Not "frame <= front": a NaN frame compares false both ways and would
  // make the search below run past the last key.
  if (!(frame > keys.front().frame)) return {0, 0};
  if (frame >= keys.back().frame) return {keys.size() - 1, keys.size() - 1};
  std::size_t hi;
  if (cursor != nullptr && cursor->lo + 1 < keys.size() && keys[cursor->lo].frame <= frame &&
      frame < keys[cursor->lo + 1].frame) {
    hi = cursor->lo + 1;
  } else {
    auto it = std::upper_bound(keys.begin(), keys.end(), frame,
                               [](double f, const auto& k) { return f < k.frame; });
    hi = static_cast<std::size_t>(it - keys.begin());
  }
  std::size_t lo = hi - 1;
  if (cursor != nullptr) cursor->lo = lo;
  blend = static_cast<float>((frame - keys[lo].frame) / (keys[hi].frame - keys[lo].frame));
  return {lo, hi};
}

}  // namespace

float evaluate(const FloatTrack& track, double frame) {
  if (track.keys.empty()) return track.value;
  float b;
  auto [lo, hi] = bracket(track, frame, b);
  float a = track.keys[lo].value, c = track.keys[hi].value;
  return lo == hi ? a : a + (c - a) * b;
}

max::Point3 evaluate(const PointTrack& track, double frame, TrackCursor* cursor) {
  if (track.keys.empty()) return track.value;
  float b;
  auto [lo, hi] = bracket(track, frame, b, cursor);
  max::Point3 a = track.keys[lo].value, c = track.keys[hi].value;
  return lo == hi ? a : a + (c - a) * b;
}

max::Quat evaluate(const RotationTrack& track, double frame) {
  if (track.keys.empty()) return track.value;
  float b;
  auto [lo, hi] = bracket(track, frame, b);
  if (lo == hi) return track.keys[lo].value;
  return max::Slerp(track.keys[lo].value, track.keys[hi].value, b);
}

namespace {

// The arc between two keys, kept in the cache while the keys stay the same.
const max::SlerpArc& arc_between(const max::Quat& from, const max::Quat& to,
                                 RotationArcCache& cache) {
  auto bits = [](const max::Quat& q) { return std::bit_cast<std::array<std::uint32_t, 4>>(q); };
  if (!cache.valid || bits(cache.a) != bits(from) || bits(cache.b) != bits(to)) {
    cache.valid = true;
    cache.a = from;
    cache.b = to;
    cache.arc = max::MakeSlerpArc(from, to);
  }
  return cache.arc;
}

}  // namespace

max::Quat evaluate(const RotationTrack& track, double frame, RotationArcCache& cache) {
  if (track.keys.empty()) return track.value;
  float b;
  auto [lo, hi] = bracket(track, frame, b, &cache.cursor);
  const max::Quat& from = track.keys[lo].value;
  if (lo == hi) return from;
  return max::Slerp(from, arc_between(from, track.keys[hi].value, cache), b);
}

void evaluate(const RotationTrack& track, const double (&frames)[2], RotationArcCache& cache,
              max::Quat (&out)[2]) {
  if (track.keys.empty()) {
    out[0] = out[1] = track.value;
    return;
  }
  float b[2];
  const auto keys0 = bracket(track, frames[0], b[0], &cache.cursor);
  const auto keys1 = bracket(track, frames[1], b[1], &cache.cursor);
  if (keys0 != keys1 || keys0.first == keys0.second) {
    out[0] = evaluate(track, frames[0], cache);
    out[1] = evaluate(track, frames[1], cache);
    return;
  }
  const max::Quat& from = track.keys[keys0.first].value;
  const max::lanes::Q2 q =
      max::lanes::slerp(from, arc_between(from, track.keys[keys0.second].value, cache), b);
  for (int k = 0; k < 2; ++k) {
    out[k] = {static_cast<float>(q.x[k]), static_cast<float>(q.y[k]), static_cast<float>(q.z[k]),
              static_cast<float>(q.w[k])};
  }
}

}  // namespace kavro::doc
