// World transforms asked two times at once against the plain walk to the
// root, bit for bit: the two times are computed together in vector lanes,
// so every way the pair can differ from two single calls is tried.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "host/document_views.h"
#include "host/max_math.h"
#include "host/scene_document.h"

namespace kavro {
namespace {

using max::Matrix3;
using max::Point3;

constexpr int kTicks = 160;

// Scale * rotation * translation times the parent's world transform, up to
// the root, every time from scratch.
Matrix3 plain_world(const doc::SceneDocument& d, std::size_t i, double frame) {
  const doc::Node& n = d.nodes[i];
  const Matrix3 local = max::ScaleMatrix(doc::evaluate(n.transform.scale, frame)) *
                        max::QuatToMatrix(doc::evaluate(n.transform.rotation, frame)) *
                        max::TransMatrix(doc::evaluate(n.transform.position, frame));
  for (std::size_t p = 0; p < d.nodes.size(); ++p) {
    if (d.nodes[p].id == n.parent) return local * plain_world(d, p, frame);
  }
  return local * Matrix3();
}

double frame_of(max::TimeValue t) {
  if (t == max::TIME_NegInfinity) return -std::numeric_limits<double>::infinity();
  return static_cast<double>(t) / kTicks;
}

std::uint32_t bits(float v) {
  return std::isnan(v) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(v);
}

// A chain with a branch, animated in every part; the fourth node's scale
// passes through zero and goes negative (a mirror), the fifth's holds an
// infinity in one key (the lanes' way out), the sixth turns by quarter
// turns (entries snapped to 0 and +-1).
doc::SceneDocument animated_chain() {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  doc::SceneDocument d;
  d.ticks_per_frame = kTicks;
  for (int i = 0; i < 8; ++i) {
    doc::Node n;
    n.id = i + 1;
    n.name = "n" + std::to_string(i);
    n.parent = i == 0 ? doc::kNone : (i == 6 ? 3 : i);
    const float f = static_cast<float>(i);
    n.transform.position.keys = {{0, {f, 1, -0.0f}}, {9, {0, f * 0.5f, 2}}};
    float a0[3] = {0.1f * f, 0, 0.3f}, a1[3] = {0, 0.7f, -0.2f * f};
    if (i == 5) {
      a0[0] = max::kHalfPi;
      a1[2] = -max::kHalfPi;
    }
    n.transform.rotation.keys = {{0, max::EulerToQuat(a0)}, {9, max::EulerToQuat(a1)}};
    n.transform.scale.keys = {{0, {1, 1, 1}}, {9, {1.5f, 0.5f, 1}}};
    if (i == 3) n.transform.scale.keys = {{0, {1, 1, 1}}, {4, {0, 1, 1}}, {9, {-1, 2, 1}}};
    if (i == 4) n.transform.scale.keys = {{0, {1, 1, 1}}, {7, {kInf, 1, 1}}};
    d.nodes.push_back(n);
  }
  return d;
}

TEST(DocumentViews, TransformsAskedInPairsEqualThePlainWalkBitForBit) {
  // The ways a sampler may ask: whole frames in order node by node (each
  // node's frames computed together, its parent's already kept), frames
  // before the first key and after the last, a pair twice over, the same
  // time twice, times out of order, times between frames, and the start of
  // time.
  std::vector<std::pair<max::TimeValue, max::TimeValue>> pairs;
  for (int f = -2; f < 12; f += 2) pairs.emplace_back(f * kTicks, (f + 1) * kTicks);
  pairs.emplace_back(4 * kTicks, 5 * kTicks);
  pairs.emplace_back(7 * kTicks, 7 * kTicks);
  pairs.emplace_back(15 * kTicks, 13 * kTicks);
  pairs.emplace_back(3 * kTicks + 40, 3 * kTicks + 120);
  pairs.emplace_back(3 * kTicks + 40, 20 * kTicks);
  pairs.emplace_back(max::TIME_NegInfinity, 0);
  const doc::SceneDocument copy = animated_chain();
  // Asked node by node from the root, from the leaves up (parents not yet
  // kept), and from the root with the kept transforms of the node and its
  // parent dropped after every pair, each order on a host of its own.
  for (int order : {0, 1, 2}) {
    const bool leaves_first = order == 1;
    const bool releasing = order == 2;
    auto host = max::make_document_host(doc::SceneDocument(copy));
    max::Interface& ip = host->GetCOREInterface();
    for (std::size_t k = 0; k < copy.nodes.size(); ++k) {
      const std::size_t i = leaves_first ? copy.nodes.size() - 1 - k : k;
      ASSERT_TRUE(host->select_by_names({copy.nodes[i].name}));
      const max::INode* node = ip.GetSelNode(0);
      for (const auto& [t0, t1] : pairs) {
        Matrix3 got[2], got_parent[2];
        node->GetNodeTMs(t0, t1, got);
        node->GetParentTMs(t0, t1, got_parent);
        const max::TimeValue t[2] = {t0, t1};
        // The parent's index (the nodes are listed parents first), or the
        // root's identity.
        std::size_t parent = copy.nodes.size();
        for (std::size_t p = 0; p < copy.nodes.size(); ++p) {
          if (copy.nodes[p].id == copy.nodes[i].parent) parent = p;
        }
        for (int j = 0; j < 2; ++j) {
          const Matrix3 want = plain_world(copy, i, frame_of(t[j]));
          const Matrix3 want_parent =
              parent < copy.nodes.size() ? plain_world(copy, parent, frame_of(t[j])) : Matrix3();
          for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 3; ++c) {
              ASSERT_EQ(bits(got[j][r][c]), bits(want[r][c]))
                  << "node " << i << " times " << t0 << "," << t1 << " entry " << r << "," << c;
              ASSERT_EQ(bits(got_parent[j][r][c]), bits(want_parent[r][c]))
                  << "parent of node " << i << " times " << t0 << "," << t1 << " order " << order;
            }
          }
        }
        if (releasing) {
          node->ReleaseKeptTransforms();
          if (node->GetParentNode() != nullptr) node->GetParentNode()->ReleaseKeptTransforms();
        }
      }
    }
  }
}

// A rotation track read at two frames at once against reading it at each
// frame without a cache: keys close enough to blend linearly, wide turns,
// keys the other way round (negative dot product), equal keys; frames
// between the same two keys, across keys, on keys and outside them.
TEST(DocumentViews, RotationsAtTwoFramesEqualTheOneFrameSlerps) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> unit(-1, 1);
  doc::RotationTrack track;
  for (int k = 0; k < 12; ++k) {
    float angles[3] = {3 * unit(rng), 1.5f * unit(rng), 3 * unit(rng)};
    max::Quat q = max::EulerToQuat(angles);
    if (k % 4 == 1) q = track.keys[k - 1].value;  // equal keys
    if (k % 4 == 2) {
      const max::Quat& p = track.keys[k - 1].value;
      q = max::Normalize({p.x + 1e-4f, p.y, p.z, p.w});  // a linear blend
    }
    if (k % 4 == 3) q = {-q.x, -q.y, -q.z, -q.w};  // the other way round
    track.keys.push_back({static_cast<double>(3 * k), q});
  }
  doc::RotationArcCache cache;
  auto quat_bits = [](const max::Quat& q) {
    return std::array<std::uint32_t, 4>{bits(q.x), bits(q.y), bits(q.z), bits(q.w)};
  };
  std::uniform_real_distribution<double> frame(-2, 36);
  for (int round = 0; round < 20000; ++round) {
    double f0 = frame(rng);
    if (round % 3 == 0) f0 = std::floor(f0);
    // Mostly the next frame, as sampling asks; sometimes anywhere.
    const double f1 = round % 5 == 0 ? frame(rng) : f0 + (round % 2 ? 1 : 0.25);
    const double frames[2] = {f0, f1};
    max::Quat got[2];
    doc::evaluate(track, frames, cache, got);
    for (int k = 0; k < 2; ++k) {
      ASSERT_EQ(quat_bits(got[k]), quat_bits(doc::evaluate(track, frames[k])))
          << "frames " << f0 << "," << f1 << " lane " << k;
    }
  }
}

}  // namespace
}  // namespace kavro
