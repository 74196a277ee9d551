#include "exporter/pipeline/math.h"

#include <algorithm>

namespace kavro {

Vec3 normalize(Vec3 a) {
  float len = length(a);
  if (!(len > 0.0f)) return a;
  return {a.x / len, a.y / len, a.z / len};
}

Mat4 operator*(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a(i, k) * b(k, j);
      r(i, j) = sum;
    }
  }
  return r;
}

Vec3 transform_point(const Mat4& m, Vec3 p) {
  return {m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2) * p.z + m(0, 3),
          m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2) * p.z + m(1, 3),
          m(2, 0) * p.x + m(2, 1) * p.y + m(2, 2) * p.z + m(2, 3)};
}

Vec3 transform_vector(const Mat4& m, Vec3 v) {
  return {m(0, 0) * v.x + m(0, 1) * v.y + m(0, 2) * v.z,
          m(1, 0) * v.x + m(1, 1) * v.y + m(1, 2) * v.z,
          m(2, 0) * v.x + m(2, 1) * v.y + m(2, 2) * v.z};
}

Mat4 scale_matrix(Vec3 s) {
  Mat4 r;
  r(0, 0) = s.x;
  r(1, 1) = s.y;
  r(2, 2) = s.z;
  return r;
}

Mat4 translate_matrix(Vec3 t) {
  Mat4 r;
  r(0, 3) = t.x;
  r(1, 3) = t.y;
  r(2, 3) = t.z;
  return r;
}

Mat4 rotate_x_matrix(float a) {
  Mat4 r;
  float c = std::cos(a), s = std::sin(a);
  r(1, 1) = c;
  r(1, 2) = -s;
  r(2, 1) = s;
  r(2, 2) = c;
  return r;
}

Mat4 rotate_y_matrix(float a) {
  Mat4 r;
  float c = std::cos(a), s = std::sin(a);
  r(0, 0) = c;
  r(0, 2) = s;
  r(2, 0) = -s;
  r(2, 2) = c;
  return r;
}

Mat4 rotate_z_matrix(float a) {
  Mat4 r;
  float c = std::cos(a), s = std::sin(a);
  r(0, 0) = c;
  r(0, 1) = -s;
  r(1, 0) = s;
  r(1, 1) = c;
  return r;
}

Mat4 rotation_matrix(Vec3 d) {
  // Degrees to radians as x * pi / 180, in that order, so the result matches
  // the angles other tools compute bit for bit.
  auto rad = [](float x) { return x * kPi / 180.0f; };
  return rotate_z_matrix(rad(d.z)) * rotate_y_matrix(rad(d.y)) * rotate_x_matrix(rad(d.x));
}

Mat4 local_matrix(Vec3 scale, Vec3 degrees, Vec3 translate) {
  return translate_matrix(translate) * rotation_matrix(degrees) * scale_matrix(scale);
}

Mat4 transpose(const Mat4& a) {
  Mat4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r(i, j) = a(j, i);
  }
  return r;
}

Mat4 inverse(const Mat4& a) {
  // Gauss-Jordan elimination with partial pivoting, in double precision.
  double w[4][8];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      w[i][j] = a(i, j);
      w[i][j + 4] = i == j ? 1.0 : 0.0;
    }
  }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r) {
      if (std::fabs(w[r][col]) > std::fabs(w[pivot][col])) pivot = r;
    }
    if (std::fabs(w[pivot][col]) < 1e-30) return Mat4::identity();
    if (pivot != col) std::swap(w[pivot], w[col]);
    double inv = 1.0 / w[col][col];
    for (double& v : w[col]) v *= inv;
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      double f = w[r][col];
      if (f == 0.0) continue;
      for (int j = 0; j < 8; ++j) w[r][j] -= f * w[col][j];
    }
  }
  Mat4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r(i, j) = static_cast<float>(w[i][j + 4]);
  }
  return r;
}

Decomposed decompose(const Mat4& in) {
  Decomposed d;
  Mat4 m = in;
  d.translate = {m(0, 3), m(1, 3), m(2, 3)};
  Vec3 col[3];
  for (int c = 0; c < 3; ++c) col[c] = {m(0, c), m(1, c), m(2, c)};
  float len[3] = {length(col[0]), length(col[1]), length(col[2])};
  for (int c = 0; c < 3; ++c) {
    if (len[c] != 0.0f) col[c] = {col[c].x / len[c], col[c].y / len[c], col[c].z / len[c]};
  }
  if (len[2] != 0.0f && dot(cross(col[0], col[1]), col[2]) < 0.0f) {
    // The column was divided by its length above; dividing by the negated
    // length instead is the same as negating it now.
    len[2] = -len[2];
    col[2] = col[2] * -1.0f;
  }
  d.scale = {len[0], len[1], len[2]};
  // Normalised matrix, row-major: n[r*4+c] = col[c] component r.
  auto n = [&](int r, int c) {
    const Vec3& v = col[c];
    return r == 0 ? v.x : r == 1 ? v.y : v.z;
  };
  float sy = -n(2, 0);
  float cy = std::sqrt(std::max(0.0f, 1.0f - sy * sy));
  Vec3 r;
  if (cy < 0.00001f) {
    r.x = std::atan2(-n(1, 2), n(1, 1));
    r.y = sy > 0 ? 1.5707964f : -1.5707964f;
    r.z = 0;
  } else {
    r.x = std::atan2(n(2, 1), n(2, 2));
    r.y = std::atan2(sy, cy);
    r.z = std::atan2(n(1, 0), n(0, 0));
  }
  r = r * 57.295776f;
  if (std::fabs(r.x) < 0.00001f) r.x = 0;
  if (std::fabs(r.y) < 0.00001f) r.y = 0;
  if (std::fabs(r.z) < 0.00001f) r.z = 0;
  d.rotate = r;
  return d;
}

}  // namespace kavro
