#include "host/document_node_views.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "host/document_scene_views.h"
#include "host/max_lanes.h"
#include "host/scene_edit.h"

namespace kavro::max::docview {

INode* DocModifier::GetBone(int i) const {
  return views_.node_by_id(m_.bones[i]);
}

float DocModifier::GetChannelWeight(int channel, TimeValue t) const {
  if (channel < 0 || channel >= std::ssize(m_.channels)) return 0;
  return doc::evaluate(m_.channels[channel], views_.frame_of(t));
}

const std::string& DocINode::GetName() const {
  static const std::string kRootName = "Scene Root";
  return n_ != nullptr ? n_->name : kRootName;
}

namespace {

// ScaleMatrix(s) * rotation * TransMatrix(p), for a rotation without
// translation, without the two products: every entry of those sums has one
// term that is not a product with 0, so row i of the rotation is scaled by
// s[i] (in double, as the products do) and the translation is p; the sums
// from +0 turn a zero into +0. Parts that are not finite make NaNs of the
// zero terms, and take the products.
Matrix3 local_matrix(Point3 s, const Matrix3& rotation, Point3 p) {
  bool finite = std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.z) &&
                std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
  for (int r = 0; r < 4 && finite; ++r) {
    finite = std::isfinite(rotation[r].x) && std::isfinite(rotation[r].y) &&
             std::isfinite(rotation[r].z) && (r < 3 || rotation[r] == Point3{});
  }
  if (!finite) return ScaleMatrix(s) * rotation * TransMatrix(p);
  // Adding +0 turns -0 into +0 and leaves every other finite value as it is.
  auto scaled = [&](float k, Point3 row) {
    const double d = k;
    return Point3{static_cast<float>(d * row.x) + 0.0f, static_cast<float>(d * row.y) + 0.0f,
                  static_cast<float>(d * row.z) + 0.0f};
  };
  return {scaled(s.x, rotation[0]), scaled(s.y, rotation[1]), scaled(s.z, rotation[2]),
          Point3{p.x + 0.0f, p.y + 0.0f, p.z + 0.0f}};
}

}  // namespace

Matrix3 DocINode::compute_node_tm(TimeValue t) const {
  double frame = views_.frame_of(t);
  Matrix3 local =
      local_matrix(doc::evaluate(n_->transform.scale, frame, &scale_cursor_),
                   QuatToMatrix(doc::evaluate(n_->transform.rotation, frame, rotation_arc_)),
                   doc::evaluate(n_->transform.position, frame, &position_cursor_));
  return local * GetParentTM(t);
}

// compute_node_tm at two times, the rotation matrices, local matrices and
// products in the two lanes (the same operations, so the same bits). Parts
// that are not finite take compute_node_tm's products one time at a time.
void DocINode::compute_node_tms(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const {
  using namespace lanes;
  Point3 s[2], p[2];
  Quat r[2];
  const double frames[2] = {views_.frame_of(t0), views_.frame_of(t1)};
  for (int k = 0; k < 2; ++k) {
    s[k] = doc::evaluate(n_->transform.scale, frames[k], &scale_cursor_);
    p[k] = doc::evaluate(n_->transform.position, frames[k], &position_cursor_);
  }
  doc::evaluate(n_->transform.rotation, frames, rotation_arc_, r);
  Matrix3 parent[2];
  if (parent_ != nullptr) parent_->GetNodeTMs(t0, t1, parent);
  const M2 rotation = quat_to_matrix(
      {pair(r[0].x, r[1].x), pair(r[0].y, r[1].y), pair(r[0].z, r[1].z), pair(r[0].w, r[1].w)});
  const D2 scale[3] = {pair(s[0].x, s[1].x), pair(s[0].y, s[1].y), pair(s[0].z, s[1].z)};
  const D2 position[3] = {pair(p[0].x, p[1].x), pair(p[0].y, p[1].y), pair(p[0].z, p[1].z)};
  FiniteTest finite;
  for (int i = 0; i < 3; ++i) {
    finite.add(scale[i]);
    finite.add(position[i]);
    for (int j = 0; j < 3; ++j) finite.add(rotation.a[i][j]);
  }
  if (!finite.all_finite()) {
    for (int k = 0; k < 2; ++k) tm[k] = local_matrix(s[k], QuatToMatrix(r[k]), p[k]) * parent[k];
    return;
  }
  // As local_matrix: row i of the rotation scaled by s[i] in double, the
  // translation p, +0 added to turn -0 into +0.
  M2 local;
  const D2 zero = both(0);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) local.a[i][j] = through_float(scale[i] * rotation.a[i][j]) + zero;
    local.a[3][i] = position[i] + zero;
  }
  const M2 world = product(local, gather(parent[0], parent[1]));
  tm[0] = lane(world, 0);
  tm[1] = lane(world, 1);
}

// The index of a whole frame's transform in the kept frames, grown to hold
// it; -1 for other times and for spans too long to keep.
std::int64_t DocINode::frame_index(TimeValue t) const {
  constexpr std::int64_t kMaxFrames = 1 << 20;
  const std::int64_t ticks = views_.ticks_per_frame();
  if (children_.empty() || ticks <= 0 || t == TIME_NegInfinity) return -1;
  std::int64_t frame;
  if (last_whole_.ticks == ticks && std::int64_t{t} - last_whole_.time == ticks) {
    // Frames are asked one after another: the one after the whole frame
    // found last needs no division.
    frame = last_whole_.frame + 1;
  } else {
    // One division gives both the frame and whether t is a whole frame; a
    // 32-bit one when the ticks fit (t is an int), several times quicker.
    frame = ticks <= INT_MAX ? t / static_cast<int>(ticks) : t / ticks;
    if (frame * ticks != t) return -1;
  }
  last_whole_ = {t, frame, ticks};
  if (frame_tm_.empty()) {
    // Room for the scene's frames from here on (up to a few thousand), in
    // one allocation.
    constexpr std::int64_t kReserved = 4096;
    frames_from_ = frame;
    const std::int64_t last = views_.GetSceneEndTime();
    if (last >= t) {
      const std::int64_t room = std::min(kReserved, (last - t) / ticks + 1);
      frame_tm_.reserve(room);
      frame_known_.reserve(room);
    }
  }
  std::int64_t at = frame - frames_from_;
  if (at < 0) {
    const std::int64_t grow = -at;
    if (grow + static_cast<std::int64_t>(frame_tm_.size()) > kMaxFrames) return -1;
    frame_tm_.insert(frame_tm_.begin(), grow, Matrix3());
    frame_known_.insert(frame_known_.begin(), grow, 0);
    frames_from_ = frame;
    at = 0;
  } else if (at >= static_cast<std::int64_t>(frame_tm_.size())) {
    if (at >= kMaxFrames) return -1;
    // Frames are asked one after another: grow by half again at least.
    const std::int64_t size = static_cast<std::int64_t>(frame_tm_.size());
    std::int64_t grown = std::min(kMaxFrames, std::max(at + 1, size + size / 2 + 16));
    // Within the reserved room, stay in it: growing past it would move
    // every kept frame.
    const std::int64_t room = static_cast<std::int64_t>(frame_tm_.capacity());
    if (at < room) grown = std::min(grown, room);
    frame_tm_.resize(grown);
    frame_known_.resize(grown, 0);
  }
  return at;
}

Matrix3* DocINode::frame_slot(TimeValue t) const {
  const std::int64_t at = frame_index(t);
  return at < 0 ? nullptr : &frame_tm_[at];
}

Matrix3 DocINode::GetNodeTM(TimeValue t) const {
  if (n_ == nullptr) return Matrix3();
  if (cached_ && cached_time_ == t) return cached_tm_;
  if (Matrix3* slot = frame_slot(t)) {
    // The parent's transform comes from the parent's own frames, so this
    // node's arrays stay where they are while it is computed.
    const auto at = slot - frame_tm_.data();
    if (!frame_known_[at]) {
      *slot = compute_node_tm(t);
      frame_known_[at] = 1;
    }
    return *slot;
  }
  cached_tm_ = compute_node_tm(t);
  cached_time_ = t;
  cached_ = true;
  return cached_tm_;
}

void DocINode::GetNodeTMs(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const {
  if (n_ == nullptr) {
    tm[0] = Matrix3();
    tm[1] = Matrix3();
    return;
  }
  // A child computing its transforms and the sampler reading the child's
  // parent ask for the same pair one after the other.
  if (last_pair_known_ && last_pair_[0] == t0 && last_pair_[1] == t1) {
    tm[0] = last_pair_tm_[0];
    tm[1] = last_pair_tm_[1];
    return;
  }
  find_node_tms(t0, t1, tm);
  last_pair_known_ = true;
  last_pair_[0] = t0;
  last_pair_[1] = t1;
  last_pair_tm_[0] = tm[0];
  last_pair_tm_[1] = tm[1];
}

void DocINode::find_node_tms(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const {
  auto one_by_one = [&] {
    tm[0] = GetNodeTM(t0);
    tm[1] = GetNodeTM(t1);
  };
  std::int64_t at0 = frame_index(t0);
  const std::int64_t from = frames_from_;
  const std::int64_t at1 = frame_index(t1);
  // Making room for t1 before the kept frames moves t0's place.
  if (at0 >= 0 && frames_from_ != from) at0 += from - frames_from_;
  if (at0 >= 0 && at1 >= 0) {
    if (frame_known_[at0] && frame_known_[at1]) {
      tm[0] = frame_tm_[at0];
      tm[1] = frame_tm_[at1];
      return;
    }
    if (at0 == at1 || frame_known_[at0] || frame_known_[at1]) return one_by_one();
    compute_node_tms(t0, t1, tm);
    frame_tm_[at0] = tm[0];
    frame_tm_[at1] = tm[1];
    frame_known_[at0] = 1;
    frame_known_[at1] = 1;
    return;
  }
  if (at0 >= 0 || at1 >= 0 || (cached_ && (cached_time_ == t0 || cached_time_ == t1))) {
    return one_by_one();
  }
  compute_node_tms(t0, t1, tm);
  cached_tm_ = tm[1];
  cached_time_ = t1;
  cached_ = true;
}

float DocINode::GetVisibility(TimeValue t) const {
  if (n_ == nullptr) return 1.0f;
  // A track without keys holds its value: no frame to work out (a division)
  // for every frame of every node sampled.
  if (n_->visibility.keys.empty()) return n_->visibility.value;
  return doc::evaluate(n_->visibility, views_.frame_of(t));
}

bool DocINode::GetUserPropString(const std::string& key, std::string& value) const {
  return n_ != nullptr && host::GetUserPropString(*n_, key, value);
}

bool DocINode::GetUserPropBool(const std::string& key, bool& value) const {
  return n_ != nullptr && host::GetUserPropBool(*n_, key, value);
}

bool DocINode::Selected() const {
  return n_ != nullptr && views_.is_selected(n_->id);
}

}  // namespace kavro::max::docview
