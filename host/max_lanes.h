// The host math for two values at once, in the two lanes of an SSE2
// register, for code that computes something frame after frame (node
// transforms and their samples). Each lane does exactly the operations of
// the one-value functions of max_math.h in the same order: sums, products,
// divisions and square roots round the same way in a lane as in a scalar
// register, and nothing fuses a product with a sum (plain x86-64 has no
// fused multiply-add), so every lane equals the one-value result bit for
// bit. Float values are held in double lanes, rounded through float where
// the one-value functions round.
#pragma once

#include <emmintrin.h>

#include <cmath>
#include <cstdint>

#include "host/max_math.h"

namespace kavro::max::lanes {

using D2 = double __attribute__((vector_size(16)));
using Mask = std::int64_t __attribute__((vector_size(16)));  // all ones where true

inline bool any(Mask m) {
  return (m[0] | m[1]) != 0;
}
inline bool all(Mask m) {
  return (m[0] & m[1]) != 0;
}

inline D2 both(double v) {
  return D2{v, v};
}

// |v| by clearing the sign bit, as fabs does.
inline D2 magnitude(D2 v) {
  const Mask no_sign = {INT64_MAX, INT64_MAX};
  return reinterpret_cast<D2>(reinterpret_cast<Mask>(v) & no_sign);
}

// Each lane rounded to float and held as a double again (the two
// conversions of the lanes; a conversion of generic vectors would clear the
// upper half of the register in between).
inline D2 through_float(D2 v) {
  return _mm_cvtps_pd(_mm_cvtpd_ps(v));
}

inline D2 square_root(D2 v) {
  return __builtin_ia32_sqrtpd(v);
}

// std::max(0.0, v) in each lane: NaN gives 0.
inline D2 at_least_zero(D2 v) {
  return both(0) < v ? v : both(0);
}

// Whether values are finite in both lanes, tested once for many: v - v is
// +0 for a finite v and NaN otherwise, so the sum of those differences is
// NaN exactly when some value is not finite.
struct FiniteTest {
  D2 spread = {0, 0};
  void add(D2 v) { spread += v - v; }
  bool all_finite() const { return all(spread == spread); }
};

inline D2 pair(float a, float b) {
  return D2{a, b};
}

// A 4x3 matrix (or its 3x3 part), each entry holding the two lanes.
struct M2 {
  D2 a[4][3];
};

inline M2 gather(const Matrix3& m0, const Matrix3& m1) {
  M2 r;
  for (int i = 0; i < 4; ++i) {
    const Point3 &p = m0[i], &q = m1[i];
    r.a[i][0] = pair(p.x, q.x);
    r.a[i][1] = pair(p.y, q.y);
    r.a[i][2] = pair(p.z, q.z);
  }
  return r;
}

// One lane as a Matrix3 (entries already float values).
inline Matrix3 lane(const M2& m, int k) {
  Matrix3 r;
  for (int i = 0; i < 4; ++i) {
    r[i] = {static_cast<float>(m.a[i][0][k]), static_cast<float>(m.a[i][1][k]),
            static_cast<float>(m.a[i][2][k])};
  }
  return r;
}

// a * b as Matrix3's product computes it: each entry sums a's row times b's
// column in double from +0, then b's translation for the last row, and is
// rounded to float.
inline M2 product(const M2& a, const M2& b) {
  M2 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      D2 s = both(0);
      s += a.a[i][0] * b.a[0][j];
      s += a.a[i][1] * b.a[1][j];
      s += a.a[i][2] * b.a[2][j];
      if (i == 3) s = s + b.a[3][j];
      r.a[i][j] = through_float(s);
    }
  }
  return r;
}

// A quaternion (x, y, z, w) in each lane, its components float values.
struct Q2 {
  D2 x, y, z, w;
};

// Quat normalisation: the length in double, each component divided by it
// and rounded to float; a lane of no length (or NaN) gives the identity.
inline Q2 normalized(const Q2& q) {
  const D2 l = square_root(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  const Mask ok = l > both(0);
  return {ok ? through_float(q.x / l) : both(0), ok ? through_float(q.y / l) : both(0),
          ok ? through_float(q.z / l) : both(0), ok ? through_float(q.w / l) : both(1)};
}

// Slerp(a, arc, t[k]) in lane k: the weights of each lane as Slerp takes
// them (the sines one lane at a time), the blend and the normalisation in
// the lanes.
inline Q2 slerp(const Quat& a, const SlerpArc& arc, const float (&t)[2]) {
  D2 wa, wb;
  if (arc.linear) {
    wa = D2{1 - t[0], 1 - t[1]};
    wb = pair(t[0], t[1]);
  } else {
    const D2 by = both(arc.sin_theta);
    wa = D2{std::sin((1 - t[0]) * arc.theta), std::sin((1 - t[1]) * arc.theta)} / by;
    wb = D2{std::sin(t[0] * arc.theta), std::sin(t[1] * arc.theta)} / by;
  }
  const Quat& b = arc.b;
  return normalized({through_float(wa * both(a.x) + wb * both(b.x)),
                     through_float(wa * both(a.y) + wb * both(b.y)),
                     through_float(wa * both(a.z) + wb * both(b.z)),
                     through_float(wa * both(a.w) + wb * both(b.w))});
}

// An entry of a rotation matrix as QuatToMatrix gives it: rounded to float,
// with values within 1e-6 of 0 and +-1 snapped to them.
inline D2 snapped(D2 v) {
  const D2 a = magnitude(v);
  D2 r = through_float(v);
  r = magnitude(a - both(1)) < both(1e-6) ? (v > both(0) ? both(1) : both(-1)) : r;
  return a < both(1e-6) ? both(0) : r;
}

// QuatToMatrix in each lane (no translation).
inline M2 quat_to_matrix(const Q2& q) {
  const Q2 u = normalized(q);
  const D2 x = u.x, y = u.y, z = u.z, w = u.w;
  const D2 one = both(1), two = both(2), zero = both(0);
  M2 m;
  m.a[0][0] = snapped(one - two * (y * y + z * z));
  m.a[0][1] = snapped(two * (x * y + z * w));
  m.a[0][2] = snapped(two * (x * z - y * w));
  m.a[1][0] = snapped(two * (x * y - z * w));
  m.a[1][1] = snapped(one - two * (x * x + z * z));
  m.a[1][2] = snapped(two * (y * z + x * w));
  m.a[2][0] = snapped(two * (x * z + y * w));
  m.a[2][1] = snapped(two * (y * z - x * w));
  m.a[2][2] = snapped(one - two * (x * x + y * y));
  m.a[3][0] = m.a[3][1] = m.a[3][2] = zero;
  return m;
}

}  // namespace kavro::max::lanes
