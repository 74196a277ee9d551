// The host math against the plain forms it stands for, bit for bit: node
// sampling relies on them giving the same numbers.
#include "host/max_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// ---------------------------------------------------------------------------
// Rotations, inverses and decompositions against the plain loops.

float plain_snap(double v) {
  if (std::fabs(v) < 1e-6) return 0.0f;
  if (std::fabs(v - 1.0) < 1e-6) return 1.0f;
  if (std::fabs(v + 1.0) < 1e-6) return -1.0f;
  return static_cast<float>(v);
}

Matrix3 plain_quat_to_matrix(const max::Quat& in) {
  max::Quat q = max::Normalize(in);
  double x = q.x, y = q.y, z = q.z, w = q.w;
  double c[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                    {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                    {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
  Matrix3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = plain_snap(c[j][i]);
  }
  return r;
}

std::array<float, 3> plain_quat_to_euler(const max::Quat& q) {
  Matrix3 m = plain_quat_to_matrix(q);
  double sy = std::clamp(-static_cast<double>(m[0][2]), -1.0, 1.0);
  double cy = std::sqrt(std::max(0.0, 1.0 - sy * sy));
  double x, y, z;
  if (cy < 1e-6) {
    x = std::atan2(-static_cast<double>(m[2][1]), static_cast<double>(m[1][1]));
    y = sy > 0 ? 1.5707963267948966 : -1.5707963267948966;
    z = 0;
  } else {
    x = std::atan2(static_cast<double>(m[1][2]), static_cast<double>(m[2][2]));
    y = std::atan2(sy, cy);
    z = std::atan2(static_cast<double>(m[0][1]), static_cast<double>(m[0][0]));
  }
  return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

using M3 = std::array<std::array<double, 3>, 3>;

M3 plain_upper(const Matrix3& m) {
  M3 r{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = m[i][j];
  }
  return r;
}

double plain_det(const M3& a) {
  return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
         a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
         a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// Cofactors over the determinant: the inverse transposed; false when singular.
bool plain_inverse_transpose(const M3& a, M3& out) {
  double d = plain_det(a);
  if (std::fabs(d) < 1e-30) return false;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const int r0 = i == 0 ? 1 : 0, r1 = i == 2 ? 1 : 2;
      const int c0 = j == 0 ? 1 : 0, c1 = j == 2 ? 1 : 2;
      const double minor = a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0];
      out[i][j] = ((i + j) % 2 == 0 ? minor : -minor) / d;
    }
  }
  return true;
}

Matrix3 plain_inverse(const Matrix3& m) {
  M3 it;
  if (!plain_inverse_transpose(plain_upper(m), it)) return Matrix3();
  Matrix3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = static_cast<float>(it[j][i]);
  }
  max::Point3 t = m.GetTrans();
  max::Point3 nt;
  for (int j = 0; j < 3; ++j) {
    nt[j] = static_cast<float>(-(t.x * it[j][0] + t.y * it[j][1] + t.z * it[j][2]));
  }
  r.SetTrans(nt);
  return r;
}

// The polar decomposition by Newton's iteration, for matrices it handles
// (false for those that need the fallback frame).
bool plain_decompose(const Matrix3& m, max::AffineParts& parts) {
  parts.t = m.GetTrans();
  M3 a = plain_upper(m);
  double d = plain_det(a);
  parts.f = d < 0 ? -1.0f : 1.0f;
  if (d < 0) {
    for (auto& row : a) {
      for (double& v : row) v = -v;
    }
  }
  if (!(std::fabs(d) > 1e-18)) return false;
  M3 q = a;
  for (int iter = 0; iter < 50; ++iter) {
    M3 it;
    if (!plain_inverse_transpose(q, it)) return false;
    double change = 0;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        double v = 0.5 * (q[i][j] + it[i][j]);
        change = std::max(change, std::fabs(v - q[i][j]));
        q[i][j] = v;
      }
    }
    if (change < 1e-12) break;
  }
  Matrix3 rotation;
  for (int i = 0; i < 3; ++i) {
    double s = 0;
    for (int k = 0; k < 3; ++k) s += a[i][k] * q[i][k];
    parts.k[i] = static_cast<float>(s);
    for (int j = 0; j < 3; ++j) rotation[i][j] = static_cast<float>(q[i][j]);
  }
  parts.q = max::MatrixToQuat(rotation);
  return true;
}

void expect_same(const Matrix3& got, const Matrix3& want, const std::string& what) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) {
      ASSERT_TRUE(same_bits(got[r][c], want[r][c]))
          << what << " entry " << r << "," << c << ": " << got[r][c] << " vs " << want[r][c];
    }
  }
}

// Quaternions near the snapping thresholds (entries within 1e-6 of 0 and
// +-1: tiny angles, quarter and half turns), at gimbal lock (y = +-90
// degrees), not normalised, zero, and random ones.
max::Quat special_quat(std::mt19937& rng, int round) {
  std::uniform_real_distribution<float> unit(-1, 1);
  const float tiny = std::ldexp(unit(rng), -static_cast<int>(rng() % 24));
  const float h = 0.70710677f;
  switch (round % 8) {
    case 0:
      return {tiny, 0, 0, 1};
    case 1:
      return {h + tiny, 0, 0, h};
    case 2:
      return {0, h + tiny, 0, rng() % 2 ? h : -h};
    case 3:
      return {tiny, 1, tiny, 0};
    case 4:
      return {0.5f + tiny, 0.5f, -0.5f, 0.5f};
    case 5:
      return {0, 0, 0, 0};
    case 6:
      return {3 * unit(rng), 3 * unit(rng), 3 * unit(rng), 3 * unit(rng)};
    default:
      return {unit(rng), unit(rng), unit(rng), unit(rng)};
  }
}

TEST(HostMath, RotationsEqualThePlainFormsBitForBit) {
  std::mt19937 rng(5);
  for (int round = 0; round < 40000; ++round) {
    const max::Quat q = special_quat(rng, round);
    const std::string what = "round " + std::to_string(round);
    expect_same(max::QuatToMatrix(q), plain_quat_to_matrix(q), what);
    float angles[3];
    max::QuatToEuler(q, angles);
    const std::array<float, 3> want = plain_quat_to_euler(q);
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(same_bits(angles[i], want[i])) << what << " angle " << i;
    }
  }
  // Angles whose sine or cosine lands on either side of 1e-6 from 0 and +-1.
  for (int i = -3000; i <= 3000; ++i) {
    for (float a : {1e-6f, 1.4142135e-3f, 1.5707964f, 3.1415927f}) {
      const float angle = a * (1 + static_cast<float>(i) * 1e-6f);
      for (float s : {angle, -angle}) {
        Matrix3 plain_x{{1, 0, 0},
                        {0, plain_snap(std::cos(static_cast<double>(s))),
                         plain_snap(std::sin(static_cast<double>(s)))},
                        {0, -plain_snap(std::sin(static_cast<double>(s))),
                         plain_snap(std::cos(static_cast<double>(s)))},
                        {0, 0, 0}};
        expect_same(max::RotateXMatrix(s), plain_x, "angle " + std::to_string(s));
      }
    }
  }
}

TEST(HostMath, InversesAndDecompositionsEqualThePlainFormsBitForBit) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> entry(-3, 3);
  int decomposed = 0;
  for (int round = 0; round < 20000; ++round) {
    Matrix3 m;
    if (round % 3 == 0) {
      // A scaled rotation with a translation, as node sampling meets them,
      // mirrored now and then.
      const float angles[3] = {entry(rng), entry(rng), entry(rng)};
      const float mirror = round % 2 ? -1.0f : 1.0f;
      m = max::ScaleMatrix({mirror * (0.5f + entry(rng) / 4), 2.0f, 1.0f + entry(rng) / 8}) *
          max::QuatToMatrix(max::EulerToQuat(angles)) *
          max::TransMatrix({entry(rng), entry(rng), entry(rng)});
    } else {
      for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
          m[r][c] = round % 5 == 1 ? special(rng) : entry(rng);
        }
      }
    }
    const std::string what = "round " + std::to_string(round);
    expect_same(max::Inverse(m), plain_inverse(m), what);
    max::AffineParts got, want;
    if (!plain_decompose(m, want)) continue;
    ++decomposed;
    max::decomp_affine(m, &got);
    expect_same(Matrix3(got.t, got.k, {got.q.x, got.q.y, got.q.z}, {got.q.w, got.f, 0}),
                Matrix3(want.t, want.k, {want.q.x, want.q.y, want.q.z}, {want.q.w, want.f, 0}),
                what + " decomposition");
  }
  EXPECT_GT(decomposed, 15000);
}

max::Quat plain_slerp(const max::Quat& a, const max::Quat& b0, float t) {
  max::Quat b = b0;
  double d = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
             static_cast<double>(a.z) * b.z + static_cast<double>(a.w) * b.w;
  if (d < 0) {
    b = {-b.x, -b.y, -b.z, -b.w};
    d = -d;
  }
  double wa, wb;
  if (d > 0.9995) {
    wa = 1 - t;
    wb = t;
  } else {
    double theta = std::acos(std::min(1.0, d));
    double s = std::sin(theta);
    wa = std::sin((1 - t) * theta) / s;
    wb = std::sin(t * theta) / s;
  }
  return max::Normalize(
      max::Quat{static_cast<float>(wa * a.x + wb * b.x), static_cast<float>(wa * a.y + wb * b.y),
                static_cast<float>(wa * a.z + wb * b.z), static_cast<float>(wa * a.w + wb * b.w)});
}

bool same_quat(const max::Quat& a, const max::Quat& b) {
  return same_bits(a.x, b.x) && same_bits(a.y, b.y) && same_bits(a.z, b.z) && same_bits(a.w, b.w);
}

// Ends the other way round (negative dot product), close enough to blend
// linearly, equal, opposite, with zeros of both signs, and random.
TEST(HostMath, SlerpWithAKeptArcEqualsThePlainSlerpBitForBit) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (int round = 0; round < 20000; ++round) {
    max::Quat a = special_quat(rng, round), b = special_quat(rng, round / 8);
    switch (round % 5) {
      case 0:
        b = {-a.x, -a.y, -a.z, -a.w};
        break;
      case 1:
        b = {a.x + unit(rng) * 0.01f, a.y, a.z, a.w};
        break;
      case 2:
        b = a;
        break;
      default:
        break;
    }
    const max::SlerpArc arc = max::MakeSlerpArc(a, b);
    for (float t : {0.0f, 1.0f, 0.5f, 0.1f, std::uniform_real_distribution<float>(0, 1)(rng)}) {
      const max::Quat want = plain_slerp(a, b, t);
      ASSERT_TRUE(same_quat(max::Slerp(a, b, t), want)) << "round " << round << " t " << t;
      ASSERT_TRUE(same_quat(max::Slerp(a, arc, t), want)) << "round " << round << " t " << t;
    }
  }
}

max::Quat plain_normalize(const max::Quat& q) {
  double l = std::sqrt(static_cast<double>(q.x) * q.x + static_cast<double>(q.y) * q.y +
                       static_cast<double>(q.z) * q.z + static_cast<double>(q.w) * q.w);
  if (!(l > 0)) return max::Quat{};
  return {static_cast<float>(q.x / l), static_cast<float>(q.y / l), static_cast<float>(q.z / l),
          static_cast<float>(q.w / l)};
}

max::Quat plain_matrix_to_quat(const Matrix3& m) {
  auto c = [&](int i, int j) { return static_cast<double>(m[j][i]); };
  double trace = c(0, 0) + c(1, 1) + c(2, 2);
  double x, y, z, w;
  if (trace > 0) {
    double s = std::sqrt(trace + 1.0) * 2;
    w = 0.25 * s;
    x = (c(2, 1) - c(1, 2)) / s;
    y = (c(0, 2) - c(2, 0)) / s;
    z = (c(1, 0) - c(0, 1)) / s;
  } else if (c(0, 0) > c(1, 1) && c(0, 0) > c(2, 2)) {
    double s = std::sqrt(std::max(0.0, 1.0 + c(0, 0) - c(1, 1) - c(2, 2))) * 2;
    w = (c(2, 1) - c(1, 2)) / s;
    x = 0.25 * s;
    y = (c(0, 1) + c(1, 0)) / s;
    z = (c(0, 2) + c(2, 0)) / s;
  } else if (c(1, 1) > c(2, 2)) {
    double s = std::sqrt(std::max(0.0, 1.0 + c(1, 1) - c(0, 0) - c(2, 2))) * 2;
    w = (c(0, 2) - c(2, 0)) / s;
    x = (c(0, 1) + c(1, 0)) / s;
    y = 0.25 * s;
    z = (c(1, 2) + c(2, 1)) / s;
  } else {
    double s = std::sqrt(std::max(0.0, 1.0 + c(2, 2) - c(0, 0) - c(1, 1))) * 2;
    w = (c(1, 0) - c(0, 1)) / s;
    x = (c(0, 2) + c(2, 0)) / s;
    y = (c(1, 2) + c(2, 1)) / s;
    z = 0.25 * s;
  }
  return plain_normalize(
      {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), static_cast<float>(w)});
}

// Rotations whose largest quaternion component is each of w, x, y and z in
// turn (the four ways the quaternion is read), and arbitrary matrices; and
// normalising quaternions of any entries.
TEST(HostMath, MatrixToQuatEqualsThePlainFormBitForBit) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> unit(-1, 1);
  for (int round = 0; round < 40000; ++round) {
    Matrix3 m;
    if (round % 2 == 0) {
      max::Quat q{unit(rng) / 4, unit(rng) / 4, unit(rng) / 4, unit(rng) / 4};
      float* big[4] = {&q.w, &q.x, &q.y, &q.z};
      *big[round / 2 % 4] = 1;
      m = max::QuatToMatrix(round % 16 < 8 ? q : special_quat(rng, round / 16));
    } else {
      for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) m[r][c] = round % 5 == 1 ? special(rng) : 2 * unit(rng);
      }
    }
    ASSERT_TRUE(same_quat(max::MatrixToQuat(m), plain_matrix_to_quat(m))) << "round " << round;
    const max::Quat loose{m[0][0], m[0][1], m[1][0], m[2][2]};
    ASSERT_TRUE(same_quat(max::Normalize(loose), plain_normalize(loose))) << "round " << round;
  }
}

}  // namespace
}  // namespace kavro
