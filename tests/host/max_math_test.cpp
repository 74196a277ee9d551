// The host math's matrix product, against the plain sums it stands for,
// bit for bit: node sampling relies on it giving the same numbers.
#include "host/max_math.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace kavro {
namespace {

using max::Matrix3;

// Entries that stress the sums: zeros of both signs, ones, subnormals whose
// products underflow, large values whose products overflow, infinities, NaN
// and ordinary numbers.
float special(std::mt19937& rng) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const float pool[] = {0.0f,   -0.0f, 1.0f,   -1.0f, 1e-40f, -1e-45f,       3.5f,
                        -2.25f, 1e30f, -3e38f, kInf,  -kInf,  std::nanf(""), 0.1f};
  if (rng() % 3 == 0) return std::uniform_real_distribution<float>(-10, 10)(rng);
  return pool[rng() % std::size(pool)];
}

// Row-vector product as written out in full: each entry sums a's row times
// b's column in double from +0, then b's translation for the last row.
Matrix3 plain_product(const Matrix3& a, const Matrix3& b) {
  Matrix3 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += static_cast<double>(a[i][k]) * b[k][j];
      if (i == 3) sum += b[3][j];
      r[i][j] = static_cast<float>(sum);
    }
  }
  return r;
}

bool same_bits(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

TEST(HostMath, ProductsEqualThePlainSumsBitForBit) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20000; ++round) {
    Matrix3 a, b;
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 3; ++c) {
        // Mostly ordinary entries, so that whole products stay finite too.
        a[r][c] = round % 4 == 0 ? special(rng) : std::uniform_real_distribution<float>(-3, 3)(rng);
        b[r][c] = round % 4 == 1 ? special(rng) : std::uniform_real_distribution<float>(-3, 3)(rng);
        if (round % 7 == 0 && rng() % 2 == 0) a[r][c] = rng() % 2 ? 0.0f : -0.0f;
      }
    }
    const Matrix3 got = a * b, want = plain_product(a, b);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_TRUE(same_bits(got[r][c], want[r][c]))
            << "round " << round << " entry " << r << "," << c << ": " << got[r][c] << " vs "
            << want[r][c];
      }
    }
  }
}

}  // namespace
}  // namespace kavro
