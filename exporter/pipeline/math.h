// Vectors, 4x4 matrices and the fixed-point rounding shared by every stage.
// Matrices are stored by rows and act on column vectors (translation in the
// last column); a node's local matrix is T * Rz * Ry * Rx * S.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace kavro {

struct Vec3 {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const Vec3&, const Vec3&) = default;
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(Vec3 a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
inline float dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// Squares of large components overflow single precision; they are taken in
// double precision then (ordinary vectors keep the single-precision result).
inline float length(Vec3 a) {
  float l = std::sqrt(dot(a, a));
  if (std::isinf(l) && std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z)) {
    double x = a.x, y = a.y, z = a.z;
    l = static_cast<float>(std::sqrt(x * x + y * y + z * z));
  }
  return l;
}
// Unit length; a zero vector stays zero (never NaN).
Vec3 normalize(Vec3 a);

struct Mat4 {
  std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float& operator()(int row, int col) { return m[row * 4 + col]; }
  float operator()(int row, int col) const { return m[row * 4 + col]; }
  static Mat4 identity() { return {}; }
  friend bool operator==(const Mat4&, const Mat4&) = default;
};

Mat4 operator*(const Mat4& a, const Mat4& b);
Vec3 transform_point(const Mat4& m, Vec3 p);   // m * (p, 1)
Vec3 transform_vector(const Mat4& m, Vec3 v);  // m * (v, 0)

Mat4 scale_matrix(Vec3 s);
Mat4 translate_matrix(Vec3 t);
Mat4 rotate_x_matrix(float radians);
Mat4 rotate_y_matrix(float radians);
Mat4 rotate_z_matrix(float radians);
// Rz * Ry * Rx from Euler angles in degrees.
Mat4 rotation_matrix(Vec3 degrees);
// T * Rz * Ry * Rx * S from scale, Euler angles in degrees and translation.
Mat4 local_matrix(Vec3 scale, Vec3 degrees, Vec3 translate);
Mat4 transpose(const Mat4& a);
// General inverse; a singular matrix gives the identity.
Mat4 inverse(const Mat4& a);

// Splits a matrix into scale, Euler angles (degrees) and translation: column
// lengths are the scale, a negative triple product negates the Z scale, and
// angles below 0.00001 in size become exactly 0.
struct Decomposed {
  Vec3 scale, rotate, translate;
};
Decomposed decompose(const Mat4& m);

// Rounds to a multiple of 1/4096, ties away from zero, in double precision.
// A value that rounds to zero is +0, so it never prints as "-0.000000".
// Inline: every sampled value goes through it, twice.
inline float round4096(double v) {
  const double scaled = v * 4096.0;
  const double half = v > 0 ? scaled + 0.5 : scaled - 0.5;
  // Below 2^52 truncating through a 64-bit integer is exact (only the sign
  // of a zero is lost, and a zero becomes +0 anyway); the library's trunc
  // takes larger values, infinities and NaN.
  const double t = std::fabs(half) < 0x1p52 ? static_cast<double>(static_cast<std::int64_t>(half))
                                            : std::trunc(half);
  if (t == 0.0) return 0.0f;  // never -0
  return static_cast<float>(t / 4096.0);
}
inline Vec3 round4096(Vec3 v) {
  return {round4096(v.x), round4096(v.y), round4096(v.z)};
}

constexpr float kFloatMax = 3.4028235e38f;
constexpr float kPi = 3.1415927f;

}  // namespace kavro
