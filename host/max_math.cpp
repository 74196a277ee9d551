#include "host/max_math.h"

#include <algorithm>
#include <cmath>

namespace kavro::max {
namespace {

// Two doubles divided at once: each lane divides exactly as a scalar
// division would, and divisions by one number overlap.
using Pair = double __attribute__((vector_size(16)));

// Quarter turns are exact: the sine and cosine of a multiple of pi/2 that a
// float can only approximate are snapped to 0 and +-1.
// Near -1 is tested as |v| near 1: rounding is symmetric, so |v| - 1 is
// -(v + 1) exactly for negative v.
float snap(double v) {
  const double a = std::fabs(v);
  if (a < 1e-6) return 0.0f;
  if (std::fabs(a - 1.0) < 1e-6) return v > 0 ? 1.0f : -1.0f;
  return static_cast<float>(v);
}

struct M3d {
  double a[3][3];
};

// The 3x3 part in double. Written out per component, like the other helpers
// that run for every node at every frame: Point3's subscript branches.
M3d upper(const Matrix3& m) {
  const Point3 &r0 = m[0], &r1 = m[1], &r2 = m[2];
  return M3d{{{r0.x, r0.y, r0.z}, {r1.x, r1.y, r1.z}, {r2.x, r2.y, r2.z}}};
}

double det(const M3d& m) {
  const auto& a = m.a;
  return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
         a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
         a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// Inverse transposed of a matrix whose determinant is d; false when singular.
bool inverse_transpose(const M3d& m, double d, M3d& out) {
  if (std::fabs(d) < 1e-30) return false;
  const auto& a = m.a;
  // Cofactor matrix divided by the determinant is the inverse transposed.
  const Pair by = {d, d};
  auto divide = [&](double x, double y, double& to_x, double& to_y) {
    const Pair q = Pair{x, y} / by;
    to_x = q[0];
    to_y = q[1];
  };
  divide((a[1][1] * a[2][2] - a[1][2] * a[2][1]), -(a[1][0] * a[2][2] - a[1][2] * a[2][0]),
         out.a[0][0], out.a[0][1]);
  divide((a[1][0] * a[2][1] - a[1][1] * a[2][0]), -(a[0][1] * a[2][2] - a[0][2] * a[2][1]),
         out.a[0][2], out.a[1][0]);
  divide((a[0][0] * a[2][2] - a[0][2] * a[2][0]), -(a[0][0] * a[2][1] - a[0][1] * a[2][0]),
         out.a[1][1], out.a[1][2]);
  divide((a[0][1] * a[1][2] - a[0][2] * a[1][1]), -(a[0][0] * a[1][2] - a[0][2] * a[1][0]),
         out.a[2][0], out.a[2][1]);
  out.a[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / d;
  return true;
}

bool inverse_transpose(const M3d& m, M3d& out) {
  return inverse_transpose(m, det(m), out);
}

// Orthonormal rows by Gram-Schmidt, for matrices too degenerate for the polar
// iteration; missing directions are completed to a right-handed frame.
M3d gram_schmidt(const M3d& m) {
  double r[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = m.a[i][j];
  }
  auto len = [](const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); };
  auto cross = [](const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
  };
  const double axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < i; ++k) {
      double d = r[i][0] * r[k][0] + r[i][1] * r[k][1] + r[i][2] * r[k][2];
      for (int j = 0; j < 3; ++j) r[i][j] -= d * r[k][j];
    }
    double l = len(r[i]);
    if (l < 1e-12) {
      if (i == 2) {
        cross(r[0], r[1], r[2]);
      } else {
        // Pick the axis least aligned with the rows so far.
        for (const auto& axis : axes) {
          for (int j = 0; j < 3; ++j) r[i][j] = axis[j];
          for (int k = 0; k < i; ++k) {
            double d = r[i][0] * r[k][0] + r[i][1] * r[k][1] + r[i][2] * r[k][2];
            for (int j = 0; j < 3; ++j) r[i][j] -= d * r[k][j];
          }
          if (len(r[i]) > 0.5) break;
        }
      }
      l = len(r[i]);
    }
    for (int j = 0; j < 3; ++j) r[i][j] /= l;
  }
  double c[3];
  cross(r[0], r[1], c);
  if (c[0] * r[2][0] + c[1] * r[2][1] + c[2] * r[2][2] < 0) {
    for (int j = 0; j < 3; ++j) r[2][j] = -r[2][j];
  }
  M3d out{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) out.a[i][j] = r[i][j];
  }
  return out;
}

Point3 to_point(const double* row) {
  return {static_cast<float>(row[0]), static_cast<float>(row[1]), static_cast<float>(row[2])};
}

Matrix3 from(const M3d& m) {
  return {to_point(m.a[0]), to_point(m.a[1]), to_point(m.a[2]), Point3{}};
}

// Quat Normalize, inline here: its callers in this file pass quaternions
// they have just built.
inline Quat normalized(const Quat& q) {
  double l = std::sqrt(static_cast<double>(q.x) * q.x + static_cast<double>(q.y) * q.y +
                       static_cast<double>(q.z) * q.z + static_cast<double>(q.w) * q.w);
  if (!(l > 0)) return Quat{};
  const Pair by = {l, l};
  const Pair xy = Pair{q.x, q.y} / by, zw = Pair{q.z, q.w} / by;
  return {static_cast<float>(xy[0]), static_cast<float>(xy[1]), static_cast<float>(zw[0]),
          static_cast<float>(zw[1])};
}

// The entries of the rotation matrix of a unit quaternion (x, y, z, w), in
// the row form: entry (i, j) is entry (j, i) of the column-vector matrix.
// Each is computed on its own, so a caller that reads a few entries gets
// exactly the numbers of the whole matrix.
struct RotationEntries {
  double x, y, z, w;
  explicit RotationEntries(const Quat& unit) : x(unit.x), y(unit.y), z(unit.z), w(unit.w) {}
  float e00() const { return snap(1 - 2 * (y * y + z * z)); }
  float e01() const { return snap(2 * (x * y + z * w)); }
  float e02() const { return snap(2 * (x * z - y * w)); }
  float e10() const { return snap(2 * (x * y - z * w)); }
  float e11() const { return snap(1 - 2 * (x * x + z * z)); }
  float e12() const { return snap(2 * (y * z + x * w)); }
  float e20() const { return snap(2 * (x * z + y * w)); }
  float e21() const { return snap(2 * (y * z - x * w)); }
  float e22() const { return snap(1 - 2 * (x * x + y * y)); }
};

}  // namespace

float Length(Point3 a) {
  float l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
  // Squares of large components overflow single precision; take them in
  // double precision then (ordinary vectors keep the single-precision result).
  if (std::isinf(l) && std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z)) {
    double x = a.x, y = a.y, z = a.z;
    l = static_cast<float>(std::sqrt(x * x + y * y + z * z));
  }
  return l;
}

Point3 Normalize(Point3 a) {
  float l = Length(a);
  if (!(l > 0.0f)) return a;
  return {a.x / l, a.y / l, a.z / l};
}

Point3 CrossProd(Point3 a, Point3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float DotProd(Point3 a, Point3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

void Matrix3::PreTranslate(Point3 p) {
  *this = TransMatrix(p) * *this;
}
void Matrix3::PreScale(Point3 s) {
  *this = ScaleMatrix(s) * *this;
}

Matrix3 operator*(const Matrix3& a, const Matrix3& b) {
  // Each entry sums in double from +0 (so that all-zero products give +0),
  // a's row times b's column in order, then the translation for the last
  // row. Written out per component: this runs several times for every node
  // at every frame.
  const double b00 = b[0].x, b01 = b[0].y, b02 = b[0].z;
  const double b10 = b[1].x, b11 = b[1].y, b12 = b[1].z;
  const double b20 = b[2].x, b21 = b[2].y, b22 = b[2].z;
  auto times_b = [&](const Point3& row, double& x, double& y, double& z) {
    const double r0 = row.x, r1 = row.y, r2 = row.z;
    x = 0;
    y = 0;
    z = 0;
    x += r0 * b00;
    y += r0 * b01;
    z += r0 * b02;
    x += r1 * b10;
    y += r1 * b11;
    z += r1 * b12;
    x += r2 * b20;
    y += r2 * b21;
    z += r2 * b22;
  };
  auto to_float = [](double x, double y, double z) {
    return Point3{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
  };
  Matrix3 r;
  double x, y, z;
  for (int i = 0; i < 3; ++i) {
    times_b(a[i], x, y, z);
    r[i] = to_float(x, y, z);
  }
  times_b(a[3], x, y, z);
  const Point3 t = b[3];
  r[3] = to_float(x + t.x, y + t.y, z + t.z);
  return r;
}

Point3 operator*(Point3 p, const Matrix3& m) {
  Point3 r;
  for (int j = 0; j < 3; ++j) {
    r[j] =
        static_cast<float>(static_cast<double>(p.x) * m[0][j] + static_cast<double>(p.y) * m[1][j] +
                           static_cast<double>(p.z) * m[2][j] + m[3][j]);
  }
  return r;
}

Point3 VectorTransform(const Matrix3& m, Point3 v) {
  Point3 r;
  for (int j = 0; j < 3; ++j) {
    r[j] =
        static_cast<float>(static_cast<double>(v.x) * m[0][j] + static_cast<double>(v.y) * m[1][j] +
                           static_cast<double>(v.z) * m[2][j]);
  }
  return r;
}

Matrix3 RotateXMatrix(float a) {
  float c = snap(std::cos(static_cast<double>(a))), s = snap(std::sin(static_cast<double>(a)));
  return {{1, 0, 0}, {0, c, s}, {0, -s, c}, {0, 0, 0}};
}

Matrix3 RotateYMatrix(float a) {
  float c = snap(std::cos(static_cast<double>(a))), s = snap(std::sin(static_cast<double>(a)));
  return {{c, 0, -s}, {0, 1, 0}, {s, 0, c}, {0, 0, 0}};
}

Matrix3 RotateZMatrix(float a) {
  float c = snap(std::cos(static_cast<double>(a))), s = snap(std::sin(static_cast<double>(a)));
  return {{c, s, 0}, {-s, c, 0}, {0, 0, 1}, {0, 0, 0}};
}

Matrix3 ScaleMatrix(Point3 s) {
  return {{s.x, 0, 0}, {0, s.y, 0}, {0, 0, s.z}, {0, 0, 0}};
}

Matrix3 TransMatrix(Point3 t) {
  return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, t};
}

float Determinant3(const Matrix3& m) {
  return static_cast<float>(det(upper(m)));
}

Matrix3 Inverse(const Matrix3& m) {
  M3d it;
  if (!inverse_transpose(upper(m), it)) return Matrix3();
  const auto& a = it.a;
  auto column = [&](int j) {
    return Point3{static_cast<float>(a[0][j]), static_cast<float>(a[1][j]),
                  static_cast<float>(a[2][j])};
  };
  // Translation: -t * inverse(A).
  const Point3 t = m.GetTrans();
  auto moved = [&](int j) {
    return static_cast<float>(-(t.x * a[j][0] + t.y * a[j][1] + t.z * a[j][2]));
  };
  return {column(0), column(1), column(2), Point3{moved(0), moved(1), moved(2)}};
}

void PreRotateMatrix(Matrix3& m, const Quat& q) {
  m = QuatToMatrix(q) * m;
}

Matrix3 QuatToMatrix(const Quat& in) {
  const RotationEntries e(normalized(in));
  return {{e.e00(), e.e01(), e.e02()},
          {e.e10(), e.e11(), e.e12()},
          {e.e20(), e.e21(), e.e22()},
          {0, 0, 0}};
}

Quat MatrixToQuat(const Matrix3& m) {
  // c[i][j]: the column-vector form.
  auto c = [&](int i, int j) { return static_cast<double>(m[j][i]); };
  // Three terms over s, two of them at once.
  auto over = [](double a, double b, double e, double s, double& to_a, double& to_b, double& to_e) {
    const Pair q = Pair{a, b} / Pair{s, s};
    to_a = q[0];
    to_b = q[1];
    to_e = e / s;
  };
  double trace = c(0, 0) + c(1, 1) + c(2, 2);
  double x, y, z, w;
  if (trace > 0) {
    double s = std::sqrt(trace + 1.0) * 2;
    w = 0.25 * s;
    over(c(2, 1) - c(1, 2), c(0, 2) - c(2, 0), c(1, 0) - c(0, 1), s, x, y, z);
  } else if (c(0, 0) > c(1, 1) && c(0, 0) > c(2, 2)) {
    double s = std::sqrt(std::max(0.0, 1.0 + c(0, 0) - c(1, 1) - c(2, 2))) * 2;
    x = 0.25 * s;
    over(c(2, 1) - c(1, 2), c(0, 1) + c(1, 0), c(0, 2) + c(2, 0), s, w, y, z);
  } else if (c(1, 1) > c(2, 2)) {
    double s = std::sqrt(std::max(0.0, 1.0 + c(1, 1) - c(0, 0) - c(2, 2))) * 2;
    y = 0.25 * s;
    over(c(0, 2) - c(2, 0), c(0, 1) + c(1, 0), c(1, 2) + c(2, 1), s, w, x, z);
  } else {
    double s = std::sqrt(std::max(0.0, 1.0 + c(2, 2) - c(0, 0) - c(1, 1))) * 2;
    z = 0.25 * s;
    over(c(1, 0) - c(0, 1), c(0, 2) + c(2, 0), c(1, 2) + c(2, 1), s, w, x, y);
  }
  return normalized(Quat{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),
                         static_cast<float>(w)});
}

Quat Normalize(const Quat& q) {
  return normalized(q);
}

SlerpArc MakeSlerpArc(const Quat& a, const Quat& b0) {
  SlerpArc arc;
  arc.b = b0;
  double d = static_cast<double>(a.x) * b0.x + static_cast<double>(a.y) * b0.y +
             static_cast<double>(a.z) * b0.z + static_cast<double>(a.w) * b0.w;
  if (d < 0) {  // the shorter way round
    arc.b = {-b0.x, -b0.y, -b0.z, -b0.w};
    d = -d;
  }
  arc.linear = d > 0.9995;
  if (!arc.linear) {
    arc.theta = std::acos(std::min(1.0, d));
    arc.sin_theta = std::sin(arc.theta);
  }
  return arc;
}

Quat Slerp(const Quat& a, const SlerpArc& arc, float t) {
  double wa, wb;
  if (arc.linear) {
    wa = 1 - t;
    wb = t;
  } else {
    const Pair w = Pair{std::sin((1 - t) * arc.theta), std::sin(t * arc.theta)} / arc.sin_theta;
    wa = w[0];
    wb = w[1];
  }
  const Quat& b = arc.b;
  return normalized(
      Quat{static_cast<float>(wa * a.x + wb * b.x), static_cast<float>(wa * a.y + wb * b.y),
           static_cast<float>(wa * a.z + wb * b.z), static_cast<float>(wa * a.w + wb * b.w)});
}

Quat Slerp(const Quat& a, const Quat& b, float t) {
  return Slerp(a, MakeSlerpArc(a, b), t);
}

void QuatToEuler(const Quat& q, float* angles) {
  // Only the entries of QuatToMatrix(q) that the angles need are computed.
  // Row form of Rx * Ry * Rz: m[0][2] = -sin(y), m[1][2] = sin(x) cos(y),
  // m[2][2] = cos(x) cos(y), m[0][1] = cos(y) sin(z), m[0][0] = cos(y) cos(z).
  const RotationEntries m(normalized(q));
  double sy = std::clamp(-static_cast<double>(m.e02()), -1.0, 1.0);
  double cy = std::sqrt(std::max(0.0, 1.0 - sy * sy));
  double x, y, z;
  if (cy < 1e-6) {
    x = std::atan2(-static_cast<double>(m.e21()), static_cast<double>(m.e11()));
    y = sy > 0 ? 1.5707963267948966 : -1.5707963267948966;
    z = 0;
  } else {
    x = std::atan2(static_cast<double>(m.e12()), static_cast<double>(m.e22()));
    y = std::atan2(sy, cy);
    z = std::atan2(static_cast<double>(m.e01()), static_cast<double>(m.e00()));
  }
  angles[0] = static_cast<float>(x);
  angles[1] = static_cast<float>(y);
  angles[2] = static_cast<float>(z);
}

Quat EulerToQuat(const float* a) {
  return MatrixToQuat(RotateXMatrix(a[0]) * RotateYMatrix(a[1]) * RotateZMatrix(a[2]));
}

void decomp_affine(const Matrix3& m, AffineParts* parts) {
  parts->t = m.GetTrans();
  M3d a = upper(m);
  double d = det(a);
  parts->f = d < 0 ? -1.0f : 1.0f;
  if (d < 0) {
    for (auto& row : a.a) {
      for (double& v : row) v = -v;
    }
  }
  // Polar decomposition a = S * Q (S symmetric): Newton's iteration
  // Q <- (Q + inverse(Q) transposed) / 2 converges to Q.
  M3d q = a;
  bool ok = std::fabs(d) > 1e-18;
  // The first step's determinant is d's, or -d's for the negated matrix:
  // rounding is symmetric, so negating every entry negates the determinant
  // exactly (a zero sum inside it stays a zero the next term replaces).
  double det_q = d < 0 ? -d : d;
  for (int iter = 0; ok && iter < 50; ++iter) {
    M3d it;
    if (iter > 0) det_q = det(q);
    if (!inverse_transpose(q, det_q, it)) {
      ok = false;
      break;
    }
    double change = 0;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        double v = 0.5 * (q.a[i][j] + it.a[i][j]);
        change = std::max(change, std::fabs(v - q.a[i][j]));
        q.a[i][j] = v;
      }
    }
    if (change < 1e-12) break;
  }
  if (!ok) q = gram_schmidt(a);
  // Scale: the diagonal of S = a * transpose(Q).
  auto scale = [&](int i) {
    double s = 0;
    for (int k = 0; k < 3; ++k) s += a.a[i][k] * q.a[i][k];
    return static_cast<float>(s);
  };
  parts->k = {scale(0), scale(1), scale(2)};
  parts->q = MatrixToQuat(from(q));
}

}  // namespace kavro::max
