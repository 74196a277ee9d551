// Carrying a host matrix into the Y-up frame and decomposing it into a
// sample: the same numbers as the plain forms, bit for bit.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "exporter/extract/host_extraction.h"
#include "exporter/pipeline/math.h"
#include "host/max_math.h"

namespace kavro {
namespace {

TEST(CarryToYUp, EqualsTheProductsWithTheQuarterTurns) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float pool[] = {0.0f, -0.0f, 1.0f,  -1.0f, 1e-45f, -1e-40f,
                        2.5f, -7.0f, 3e38f, -kInf, kInf,   std::nanf("")};
  const max::Matrix3 up = max::RotateXMatrix(max::kHalfPi);
  const max::Matrix3 back = max::RotateXMatrix(-max::kHalfPi);
  auto bits = [](float v) { return std::isnan(v) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(v); };
  std::mt19937 rng(3);
  for (int round = 0; round < 5000; ++round) {
    max::Matrix3 m;
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 3; ++c) {
        // Mostly finite matrices; every fourth may hold infinities or NaN.
        float v = pool[rng() % std::size(pool)];
        if (round % 4 != 0 && !std::isfinite(v)) v = -0.0f;
        if (rng() % 3 == 0) v = std::uniform_real_distribution<float>(-5, 5)(rng);
        m[r][c] = v;
      }
    }
    const max::Matrix3 got = carry_to_y_up(m), want = up * m * back;
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(bits(got[r][c]), bits(want[r][c]))
            << "round " << round << " entry " << r << "," << c;
      }
    }
  }
}

// A sample as written out plainly: the parts of the matrix (a mirror shown as
// a negative X scale), angles in degrees one division at a time, everything
// rounded to 1/4096.
TransformSample plain_sample(const max::Matrix3& m) {
  max::AffineParts ap;
  max::decomp_affine(m, &ap);
  float angles[3];
  if (ap.f < 0) {
    max::QuatToEuler(ap.q, angles);
    max::Matrix3 rebuilt = max::ScaleMatrix(ap.k) * max::RotateXMatrix(angles[0]) *
                           max::RotateYMatrix(angles[1]) * max::RotateZMatrix(angles[2]) *
                           max::TransMatrix(ap.t);
    max::decomp_affine(max::ScaleMatrix({-1, 1, 1}) * rebuilt, &ap);
    ap.k.x = -ap.k.x;
  }
  max::QuatToEuler(ap.q, angles);
  TransformSample s;
  s.translate = {round4096(ap.t.x), round4096(ap.t.y), round4096(ap.t.z)};
  s.rotate = {round4096(angles[0] * 180.0f / kPi), round4096(angles[1] * 180.0f / kPi),
              round4096(angles[2] * 180.0f / kPi)};
  s.scale = {round4096(ap.k.x), round4096(ap.k.y), round4096(ap.k.z)};
  return s;
}

TEST(DecomposeSample, EqualsThePlainDecomposition) {
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> unit(-1, 1);
  auto bits = [](Vec3 v) {
    return std::array<std::uint32_t, 3>{std::bit_cast<std::uint32_t>(v.x),
                                        std::bit_cast<std::uint32_t>(v.y),
                                        std::bit_cast<std::uint32_t>(v.z)};
  };
  for (int round = 0; round < 20000; ++round) {
    // Turns of every size (angles near +-180 and +-90 included), mirrored
    // now and then, scaled and moved.
    float turn[3] = {3.1415927f * unit(rng), 1.5707964f * unit(rng), 3.1415927f * unit(rng)};
    if (round % 7 == 0) turn[1] = round % 2 ? 1.5707964f : -1.5707964f;
    const float mirror = round % 3 == 0 ? -1.0f : 1.0f;
    const max::Matrix3 m = max::ScaleMatrix({mirror * (1 + unit(rng) / 2), 1 + unit(rng) / 2, 1}) *
                           max::QuatToMatrix(max::EulerToQuat(turn)) *
                           max::TransMatrix({unit(rng), unit(rng), 5});
    const TransformSample got = decompose_sample(m), want = plain_sample(m);
    ASSERT_EQ(bits(got.rotate), bits(want.rotate)) << "round " << round;
    ASSERT_EQ(bits(got.scale), bits(want.scale)) << "round " << round;
    ASSERT_EQ(bits(got.translate), bits(want.translate)) << "round " << round;
  }
}

}  // namespace
}  // namespace kavro
