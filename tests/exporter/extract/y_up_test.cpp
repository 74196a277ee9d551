// Carrying a host matrix into the Y-up frame: the same numbers as the
// products with the quarter turns, bit for bit, for every kind of entry.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "exporter/extract/host_extraction.h"
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

}  // namespace
}  // namespace kavro
