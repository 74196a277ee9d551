// The authoring host's math, with its conventions: points are row vectors,
// a Matrix3 is a 4x3 affine matrix whose last row is the translation, and
// p * A * B applies A first. Rotations are counter-clockwise about their axis
// (right-handed). Euler angles are in radians, x then y then z:
// RotateXMatrix(x) * RotateYMatrix(y) * RotateZMatrix(z).
#pragma once

#include <array>
#include <climits>

namespace kavro::max {

using TimeValue = int;
// The host's "start of time": tracks give their first key there.
constexpr TimeValue TIME_NegInfinity = INT_MIN;

constexpr float kHalfPi = 1.5707964f;

struct Point3 {
  float x = 0, y = 0, z = 0;
  float& operator[](int i) { return i == 0 ? x : i == 1 ? y : z; }
  float operator[](int i) const { return i == 0 ? x : i == 1 ? y : z; }
  friend bool operator==(const Point3&, const Point3&) = default;
};

inline Point3 operator+(Point3 a, Point3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Point3 operator-(Point3 a, Point3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point3 operator*(Point3 a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
float Length(Point3 a);
Point3 Normalize(Point3 a);  // a zero vector stays zero
Point3 CrossProd(Point3 a, Point3 b);
float DotProd(Point3 a, Point3 b);

// A unit quaternion (x, y, z, w).
struct Quat {
  float x = 0, y = 0, z = 0, w = 1;
  friend bool operator==(const Quat&, const Quat&) = default;
};

class Matrix3 {
 public:
  Matrix3() = default;  // identity
  Matrix3(Point3 r0, Point3 r1, Point3 r2, Point3 r3) : rows_{r0, r1, r2, r3} {}
  Point3& operator[](int row) { return rows_[row]; }
  const Point3& operator[](int row) const { return rows_[row]; }
  Point3 GetRow(int row) const { return (*this)[row]; }
  Point3 GetTrans() const { return rows_[3]; }
  void SetTrans(Point3 t) { rows_[3] = t; }
  void IdentityMatrix() { *this = Matrix3(); }
  // this = TransMatrix(p) * this
  void PreTranslate(Point3 p);
  // this = ScaleMatrix(s) * this
  void PreScale(Point3 s);
  friend bool operator==(const Matrix3&, const Matrix3&) = default;

 private:
  std::array<Point3, 4> rows_{Point3{1, 0, 0}, Point3{0, 1, 0}, Point3{0, 0, 1}, Point3{0, 0, 0}};
};

Matrix3 operator*(const Matrix3& a, const Matrix3& b);
Point3 operator*(Point3 p, const Matrix3& m);        // point: the translation applies
Point3 VectorTransform(const Matrix3& m, Point3 v);  // direction: no translation

Matrix3 RotateXMatrix(float radians);
Matrix3 RotateYMatrix(float radians);
Matrix3 RotateZMatrix(float radians);
Matrix3 ScaleMatrix(Point3 s);
Matrix3 TransMatrix(Point3 t);
// General affine inverse; a singular matrix gives the identity.
Matrix3 Inverse(const Matrix3& m);
float Determinant3(const Matrix3& m);  // of the 3x3 part
// this = RotationMatrix(q) * this
void PreRotateMatrix(Matrix3& m, const Quat& q);

// The rotation a quaternion stands for, and back.
Matrix3 QuatToMatrix(const Quat& q);
Quat MatrixToQuat(const Matrix3& rotation);
Quat Slerp(const Quat& a, const Quat& b, float t);
// The part of a slerp that depends only on its ends: b taken the shorter way
// round and the angle to it. Slerp(a, MakeSlerpArc(a, b), t) is Slerp(a, b, t)
// bit for bit; keeping the arc spares an acos and a sine for every sample
// between the same two keys.
struct SlerpArc {
  Quat b;
  bool linear = true;  // ends so close that the blend is linear
  double theta = 0, sin_theta = 0;
};
SlerpArc MakeSlerpArc(const Quat& a, const Quat& b);
Quat Slerp(const Quat& a, const SlerpArc& arc, float t);
Quat Normalize(const Quat& q);

// Euler angles (radians) x, y, z such that RotateXMatrix(x) * RotateYMatrix(y)
// * RotateZMatrix(z) is the rotation of q.
void QuatToEuler(const Quat& q, float* angles);
Quat EulerToQuat(const float* angles);

// Splits an affine matrix into translation t, rotation q and scale k with
// M = ScaleMatrix(k) * QuatToMatrix(q) * TransMatrix(t) when f is +1, and
// M = ScaleMatrix(-k) * QuatToMatrix(q) * TransMatrix(t) when the determinant
// is negative (f -1). The rotation is the nearest one (polar decomposition),
// so a sheared matrix loses its shear.
struct AffineParts {
  Point3 t;
  Quat q;
  Point3 k{1, 1, 1};
  float f = 1;
};
void decomp_affine(const Matrix3& m, AffineParts* parts);

}  // namespace kavro::max
