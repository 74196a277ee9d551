// Local samples taken two frames at a time against the one-frame form,
// decompose_sample(carry_to_y_up(world * Inverse(parent))), bit for bit, on
// pairs of frames that agree and pairs that part ways.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "exporter/extract/host_extraction.h"
#include "exporter/pipeline/math.h"
#include "exporter/pipeline/math_lanes.h"
#include "host/max_math.h"

namespace kavro {
namespace {

using max::Matrix3;

std::uint32_t bits(float v) {
  return std::isnan(v) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(v);
}

void expect_same(const TransformSample& got, const TransformSample& want, const std::string& what) {
  const Vec3 g[3] = {got.scale, got.rotate, got.translate};
  const Vec3 w[3] = {want.scale, want.rotate, want.translate};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(bits(g[i].x), bits(w[i].x)) << what << " part " << i << " x";
    ASSERT_EQ(bits(g[i].y), bits(w[i].y)) << what << " part " << i << " y";
    ASSERT_EQ(bits(g[i].z), bits(w[i].z)) << what << " part " << i << " z";
  }
}

// The kinds of frame a node meets, and the ones that make the two frames of
// a pair go separate ways: a mirror, a singular or flat matrix, entries that
// are not finite, a root parent, heavy shear (many steps of the polar
// iteration) against a plain turn (one or two), quarter turns about the axes
// (entries snapped to 0 and +-1, the Euler angles' locked case).
enum class Kind { kTurn, kScaled, kMirror, kSheared, kFlat, kTiny, kNotFinite, kQuarter, kCount };

struct Frame {
  Matrix3 world, parent;
};

Matrix3 turn(std::mt19937& rng, float size) {
  std::uniform_real_distribution<float> unit(-1, 1);
  const float angles[3] = {size * unit(rng), size * unit(rng), size * unit(rng)};
  return max::QuatToMatrix(max::EulerToQuat(angles));
}

Frame make_frame(std::mt19937& rng, Kind kind) {
  std::uniform_real_distribution<float> unit(-1, 1);
  const Matrix3 move = max::TransMatrix({5 * unit(rng), 5 * unit(rng), 5 * unit(rng)});
  Matrix3 parent = max::ScaleMatrix({1 + unit(rng) / 2, 1 + unit(rng) / 2, 1 + unit(rng) / 2}) *
                   turn(rng, 3.1415927f) * move;
  if (rng() % 5 == 0) parent = Matrix3();  // a child of the root
  Matrix3 local = turn(rng, 3.1415927f) * max::TransMatrix({unit(rng), unit(rng), unit(rng)});
  switch (kind) {
    case Kind::kTurn:
      break;
    case Kind::kScaled:
      local = max::ScaleMatrix({2 + unit(rng), 0.5f, 1 + unit(rng) / 4}) * local;
      break;
    case Kind::kMirror:
      local = max::ScaleMatrix({-1, 1, 1 + unit(rng) / 4}) * local;
      break;
    case Kind::kSheared:
      for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) local[r][c] += 0.8f * unit(rng);
      }
      break;
    case Kind::kFlat:
      // A parent scaled to nothing along one axis: its inverse is the
      // identity.
      parent = max::ScaleMatrix({1, 0, 1}) * parent;
      break;
    case Kind::kTiny:
      local = max::ScaleMatrix({1e-7f, 1e-7f, 1e-6f}) * local;
      break;
    case Kind::kNotFinite: {
      constexpr float kInf = std::numeric_limits<float>::infinity();
      const float odd[] = {kInf, -kInf, std::nanf(""), 3e38f};
      local[static_cast<int>(rng() % 4)][static_cast<int>(rng() % 3)] = odd[rng() % 4];
      break;
    }
    case Kind::kQuarter: {
      const float quarter[] = {0.0f, 1.5707964f, -1.5707964f, 3.1415927f, 1.5707964f + 1e-7f};
      const float angles[3] = {quarter[rng() % 5], quarter[rng() % 5], quarter[rng() % 5]};
      local = max::RotateXMatrix(angles[0]) * max::RotateYMatrix(angles[1]) *
              max::RotateZMatrix(angles[2]) * max::TransMatrix({0, unit(rng), 0});
      if (rng() % 2 == 0) parent = Matrix3();
      break;
    }
    case Kind::kCount:
      break;
  }
  return {local * parent, parent};
}

TEST(LocalSamplePair, EqualsTheOneFrameSamplesBitForBit) {
  std::mt19937 rng(19);
  constexpr int kKinds = static_cast<int>(Kind::kCount);
  for (int round = 0; round < 20000; ++round) {
    // Every pairing of kinds, in both orders, and many of the common one.
    const Kind first = static_cast<Kind>(round % 3 == 0 ? round / 3 % kKinds : 0);
    const Kind second = static_cast<Kind>(round % 3 == 0 ? round / 3 / kKinds % kKinds : 0);
    const Frame a = make_frame(rng, first), b = make_frame(rng, second);
    const Matrix3 world[2] = {a.world, b.world}, parent[2] = {a.parent, b.parent};
    TransformSample got[2];
    local_sample_pair(world, parent, got);
    for (int k = 0; k < 2; ++k) {
      const TransformSample want =
          decompose_sample(carry_to_y_up(world[k] * max::Inverse(parent[k])));
      expect_same(got[k], want,
                  "round " + std::to_string(round) + " frame " + std::to_string(k) + " kinds " +
                      std::to_string(static_cast<int>(first)) + "," +
                      std::to_string(static_cast<int>(second)));
    }
  }
}

// Consecutive frames of an animated chain, as node sampling pairs them: the
// two frames are close, so they share every branch.
TEST(LocalSamplePair, EqualsTheOneFrameSamplesOnNeighbouringFrames) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (int round = 0; round < 2000; ++round) {
    const float spin[3] = {unit(rng), unit(rng), unit(rng)};
    const float scale = round % 4 == 0 ? 1.0f : 1 + unit(rng) / 2;
    Matrix3 world[2], parent[2];
    for (int k = 0; k < 2; ++k) {
      const float step = static_cast<float>(k) * 0.01f;
      const float p_angles[3] = {spin[0] + step, spin[1], spin[2] - step};
      const float l_angles[3] = {spin[2], spin[0] + step, spin[1]};
      parent[k] = max::QuatToMatrix(max::EulerToQuat(p_angles)) *
                  max::TransMatrix({0, 0.1f * static_cast<float>(round % 10), step});
      world[k] = max::ScaleMatrix({scale, scale, 1}) *
                 max::QuatToMatrix(max::EulerToQuat(l_angles)) * max::TransMatrix({step, 0.5f, 0}) *
                 parent[k];
    }
    TransformSample got[2];
    local_sample_pair(world, parent, got);
    for (int k = 0; k < 2; ++k) {
      expect_same(got[k], decompose_sample(carry_to_y_up(world[k] * max::Inverse(parent[k]))),
                  "round " + std::to_string(round) + " frame " + std::to_string(k));
    }
  }
}

// Rounding to 1/4096 two and four at a time against round4096: ties both ways,
// zeros of both signs, values that round to zero, the edges of the 32-bit
// conversion (2^31 / 4096 and around), huge, tiny, infinite and NaN
// values, each beside an ordinary one and beside each other.
TEST(LocalSamplePair, RoundingSeveralAtATimeEqualsRound4096) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.0,
                                -0.0,
                                1e-300,
                                -1e-300,
                                1.0 / 8192,
                                -1.0 / 8192,
                                3.0 / 8192,
                                0x1p19,
                                -0x1p19,
                                0x1p19 - 1.0 / 8192,
                                -0x1p19 + 1.0 / 8192,
                                0x1p40,
                                1e30,
                                -3e38,
                                kInf,
                                -kInf,
                                std::nan(""),
                                180.0,
                                -90.0};
  for (int n = -5000; n <= 5000; ++n) {
    values.push_back((n + 0.5) / 4096);  // ties
    values.push_back(n / 4096.0 + 1e-9);
    values.push_back(n / 4096.0);  // on the grid already
    values.push_back(n * 409.6);   // large multiples, up to 2^31 / 4096
  }
  // Around the top of the 32-bit range of v * 4096, on and off the grid.
  for (double edge : {0x1p19, -0x1p19, 0x1p20, -0x1p20, 0x1p18 * 3, 0x1p30}) {
    for (double d : {-1.0 / 4096, -1.0 / 8192, 0.0, 1.0 / 8192, 1.0 / 4096}) {
      values.push_back(edge + d);
    }
  }
  std::mt19937 rng(31);
  for (int i = 0; i < 20000; ++i) {
    const float f = std::uniform_real_distribution<float>(-600, 600)(rng);
    values.push_back(i % 2 ? f
                           : std::ldexp(static_cast<double>(f), static_cast<int>(rng() % 80) - 40));
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double beside[] = {0.25, values[(i * 7919) % values.size()], kInf};
    for (double other : beside) {
      const double v[2] = {values[i], other};
      const max::lanes::D2 got = rounded4096(max::lanes::D2{v[0], v[1]});
      ASSERT_EQ(bits(static_cast<float>(got[0])), bits(round4096(v[0]))) << "value " << v[0];
      ASSERT_EQ(bits(static_cast<float>(got[1])), bits(round4096(v[1]))) << "value " << v[1];
    }
  }
  // Four floats at a time, then one at a time: every value in every lane
  // and in the tail, the arrays starting at each offset.
  std::vector<float> floats;
  for (double v : values) floats.push_back(static_cast<float>(v));
  for (std::size_t start = 0; start < 7; ++start) {
    std::vector<float> got(floats.begin() + static_cast<std::ptrdiff_t>(start), floats.end());
    round4096_floats(got.data(), got.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(bits(got[i]), bits(round4096(static_cast<double>(floats[start + i]))))
          << "value " << floats[start + i] << " at " << i << " from " << start;
    }
  }
}

}  // namespace
}  // namespace kavro
