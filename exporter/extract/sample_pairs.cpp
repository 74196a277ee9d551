// Node samples two frames at a time. A node's local sample at a frame is
// decompose_sample(carry_to_y_up(world * Inverse(parent))); the arithmetic of
// the inverse, the product, the carry and the polar iteration of the
// decomposition runs here for two frames at once in the two lanes of an SSE2
// register. Each lane does exactly the operations of the one-frame functions
// in the same order (sums, products, divisions and square roots round the
// same way in a lane as in a scalar register, and nothing fuses a product
// with a sum), so the samples are equal bit for bit. Where the two frames
// would branch apart in a way the lanes cannot follow (a singular or
// mirrored matrix, entries that are not finite), both frames take the
// one-frame path. The quaternion and the matrix entries its Euler angles
// come from are computed in the lanes too, and so is the rounding; the arc
// tangents run one frame at a time.
#include <array>
#include <cmath>
#include <cstdint>

#include "exporter/extract/host_extraction.h"
#include "exporter/pipeline/math.h"
#include "exporter/pipeline/math_lanes.h"
#include "host/max_lanes.h"

namespace kavro {
namespace {

using namespace max::lanes;

[[gnu::always_inline]] inline D2 det(const M2& m) {
  const auto& a = m.a;
  return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
         a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
         a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// The cofactor matrix divided by d: the inverse transposed.
[[gnu::always_inline]] inline void inverse_transpose(const M2& m, D2 d, M2& out) {
  const auto& a = m.a;
  out.a[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / d;
  out.a[0][1] = -(a[1][0] * a[2][2] - a[1][2] * a[2][0]) / d;
  out.a[0][2] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / d;
  out.a[1][0] = -(a[0][1] * a[2][2] - a[0][2] * a[2][1]) / d;
  out.a[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / d;
  out.a[1][2] = -(a[0][0] * a[2][1] - a[0][1] * a[2][0]) / d;
  out.a[2][0] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / d;
  out.a[2][1] = -(a[0][0] * a[1][2] - a[0][2] * a[1][0]) / d;
  out.a[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / d;
}

// world * Inverse(parent), each entry rounded to float; false when a
// parent is singular (its inverse is then the identity, which the one-frame
// path gives).
bool local_matrix(const M2& world, const M2& parent, M2& local) {
  const D2 d = det(parent);
  if (any(magnitude(d) < both(1e-30))) return false;
  M2 it;
  inverse_transpose(parent, d, it);
  // The inverse: its rows are the columns of it, in float; its translation
  // is -t * inverse.
  M2 inv;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) inv.a[r][c] = through_float(it.a[c][r]);
  }
  const auto& t = parent.a[3];
  for (int j = 0; j < 3; ++j) {
    inv.a[3][j] = through_float(-(t[0] * it.a[j][0] + t[1] * it.a[j][1] + t[2] * it.a[j][2]));
  }
  local = product(world, inv);
  return true;
}

// The carry into the Y-up frame of a matrix of finite entries: each entry
// of R(+90) * m * R(-90) is one entry of m, maybe negated, plus +0.
M2 carried(const M2& m) {
  const D2 zero = both(0);
  auto row = [&](const D2* p, bool negate) {
    const D2 x = negate ? -p[0] : p[0], z = negate ? -p[2] : p[2], y = negate ? p[1] : -p[1];
    return std::array<D2, 3>{x + zero, z + zero, y + zero};
  };
  M2 r;
  const std::array<D2, 3> rows[4] = {row(m.a[0], false), row(m.a[2], false), row(m.a[1], true),
                                     row(m.a[3], false)};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) r.a[i][j] = rows[i][j];
  }
  return r;
}

// The polar iteration of the decomposition for matrices of positive,
// not tiny determinant d: q converges to the rotation. A lane that has
// converged keeps its q while the other goes on. False when a lane meets a
// singular step (the one-frame path then takes over).
bool polar(const M2& a, D2 d, M2& q) {
  q = a;
  D2 det_q = d;
  Mask active = {-1, -1};
  for (int iter = 0; any(active) && iter < 50; ++iter) {
    if (iter > 0) det_q = det(q);
    if (any(active & (magnitude(det_q) < both(1e-30)))) return false;
    M2 it;
    inverse_transpose(q, det_q, it);
    D2 change = both(0);
    const bool both_active = all(active);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        const D2 v = both(0.5) * (q.a[i][j] + it.a[i][j]);
        // std::max(change, f) is (change < f) ? f : change; maxpd(f, change)
        // is (f > change) ? f : change, the same also for a NaN f (change
        // kept) and for equal values.
        change = __builtin_ia32_maxpd(magnitude(v - q.a[i][j]), change);
        q.a[i][j] = both_active ? v : (active ? v : q.a[i][j]);
      }
    }
    active &= ~(change < both(1e-12));
  }
  return true;
}

// One lane of a 3x3 matrix, in float, without translation.
max::Matrix3 lane_rotation(const M2& m, int lane) {
  max::Matrix3 r;
  for (int i = 0; i < 3; ++i) {
    r[i] = {static_cast<float>(m.a[i][0][lane]), static_cast<float>(m.a[i][1][lane]),
            static_cast<float>(m.a[i][2][lane])};
  }
  r[3] = {};
  return r;
}

// The quaternion of a rotation matrix (float entries, row form) in each
// lane, read the way MatrixToQuat reads it: from the trace, or from the
// largest diagonal entry. False when the two lanes would read it different
// ways.
bool matrix_to_quat(const M2& m, Q2& out) {
  // c(i, j): the column-vector form.
  auto c = [&](int i, int j) { return m.a[j][i]; };
  const D2 trace = c(0, 0) + c(1, 1) + c(2, 2);
  const Mask by_trace = trace > both(0);
  const Mask by_x = ~by_trace & (c(0, 0) > c(1, 1)) & (c(0, 0) > c(2, 2));
  const Mask by_y = ~by_trace & ~by_x & (c(1, 1) > c(2, 2));
  const Mask by_z = ~by_trace & ~by_x & ~by_y;
  const D2 one = both(1), two = both(2), quarter = both(0.25);
  D2 s, x, y, z, w;
  if (all(by_trace)) {
    s = square_root(trace + one) * two;
    w = quarter * s;
    x = (c(2, 1) - c(1, 2)) / s;
    y = (c(0, 2) - c(2, 0)) / s;
    z = (c(1, 0) - c(0, 1)) / s;
  } else if (all(by_x)) {
    s = square_root(at_least_zero(one + c(0, 0) - c(1, 1) - c(2, 2))) * two;
    x = quarter * s;
    w = (c(2, 1) - c(1, 2)) / s;
    y = (c(0, 1) + c(1, 0)) / s;
    z = (c(0, 2) + c(2, 0)) / s;
  } else if (all(by_y)) {
    s = square_root(at_least_zero(one + c(1, 1) - c(0, 0) - c(2, 2))) * two;
    y = quarter * s;
    w = (c(0, 2) - c(2, 0)) / s;
    x = (c(0, 1) + c(1, 0)) / s;
    z = (c(1, 2) + c(2, 1)) / s;
  } else if (all(by_z)) {
    s = square_root(at_least_zero(one + c(2, 2) - c(0, 0) - c(1, 1))) * two;
    z = quarter * s;
    w = (c(1, 0) - c(0, 1)) / s;
    x = (c(0, 2) + c(2, 0)) / s;
    y = (c(1, 2) + c(2, 1)) / s;
  } else {
    return false;
  }
  out = normalized({through_float(x), through_float(y), through_float(z), through_float(w)});
  return true;
}

// QuatToEuler in each lane: the entries of the rotation matrix it reads and
// the cosine of y in the lanes, the arc tangents one lane at a time.
void quat_to_euler(const Q2& q, float (&angles)[2][3]) {
  const Q2 u = normalized(q);
  const D2 x = u.x, y = u.y, z = u.z, w = u.w;
  const D2 one = both(1), two = both(2);
  const D2 e00 = snapped(one - two * (y * y + z * z));
  const D2 e01 = snapped(two * (x * y + z * w));
  const D2 e02 = snapped(two * (x * z - y * w));
  const D2 e11 = snapped(one - two * (x * x + z * z));
  const D2 e12 = snapped(two * (y * z + x * w));
  const D2 e21 = snapped(two * (y * z - x * w));
  const D2 e22 = snapped(one - two * (x * x + y * y));
  // std::clamp(-e02, -1, 1), NaN kept.
  const D2 v = -e02;
  const D2 sy = v < both(-1) ? both(-1) : (one < v ? one : v);
  const D2 cy = square_root(at_least_zero(one - sy * sy));
  for (int lane = 0; lane < 2; ++lane) {
    double ax, ay, az;
    if (cy[lane] < 1e-6) {
      ax = std::atan2(-e21[lane], e11[lane]);
      ay = sy[lane] > 0 ? 1.5707963267948966 : -1.5707963267948966;
      az = 0;
    } else {
      ax = std::atan2(e12[lane], e22[lane]);
      ay = std::atan2(sy[lane], cy[lane]);
      az = std::atan2(e01[lane], e00[lane]);
    }
    angles[lane][0] = static_cast<float>(ax);
    angles[lane][1] = static_cast<float>(ay);
    angles[lane][2] = static_cast<float>(az);
  }
}

// sample_from_angles for both lanes: the angles to degrees one frame at a
// time (in float, as sample_from_angles divides), the rounding in the lanes.
void samples_from_angles(const D2 (&t)[3], const float (&angles)[2][3], const D2 (&k)[3],
                         TransformSample (&out)[2]) {
  using Floats = float __attribute__((vector_size(16)));
  D2 degrees[3];
  for (int lane = 0; lane < 2; ++lane) {
    const float* a = angles[lane];
    const Floats d = Floats{a[0] * 180.0f, a[1] * 180.0f, a[2] * 180.0f, 1.0f} / kPi;
    for (int i = 0; i < 3; ++i) degrees[i][lane] = d[i];
  }
  D2 parts[3][3];
  for (int i = 0; i < 3; ++i) {
    parts[0][i] = rounded4096(through_float(k[i]));
    parts[1][i] = rounded4096(degrees[i]);
    parts[2][i] = rounded4096(t[i]);
  }
  for (int lane = 0; lane < 2; ++lane) {
    auto vec = [&](const D2(&p)[3]) {
      return Vec3{static_cast<float>(p[0][lane]), static_cast<float>(p[1][lane]),
                  static_cast<float>(p[2][lane])};
    };
    out[lane].scale = vec(parts[0]);
    out[lane].rotate = vec(parts[1]);
    out[lane].translate = vec(parts[2]);
  }
}

TransformSample one_frame(const max::Matrix3& world, const max::Matrix3& parent) {
  return decompose_sample(carry_to_y_up(world * max::Inverse(parent)));
}

}  // namespace

void local_sample_pair(const max::Matrix3 (&world)[2], const max::Matrix3 (&parent)[2],
                       TransformSample (&out)[2]) {
  auto one_by_one = [&] {
    for (int k = 0; k < 2; ++k) out[k] = one_frame(world[k], parent[k]);
  };
  M2 local;
  if (!local_matrix(gather(world[0], world[1]), gather(parent[0], parent[1]), local)) {
    return one_by_one();
  }
  FiniteTest finite;
  for (const auto& row : local.a) {
    for (D2 v : row) finite.add(v);
  }
  if (!finite.all_finite()) return one_by_one();
  const M2 m = carried(local);
  const D2 d = det(m);
  // A mirror, or a matrix too flat for the iteration: one frame at a time.
  if (any(d < both(0)) || any(~(magnitude(d) > both(1e-18)))) return one_by_one();
  M2 q;
  if (!polar(m, d, q)) return one_by_one();
  // Scale: the diagonal of a * transpose(q).
  D2 k[3];
  for (int i = 0; i < 3; ++i) {
    D2 s = both(0);
    for (int j = 0; j < 3; ++j) s += m.a[i][j] * q.a[i][j];
    k[i] = s;
  }
  // The rotation in float, as the decomposition hands it on.
  M2 rotation;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) rotation.a[i][j] = through_float(q.a[i][j]);
  }
  Q2 quat;
  if (!matrix_to_quat(rotation, quat)) {
    for (int lane = 0; lane < 2; ++lane) {
      const max::Quat one = max::MatrixToQuat(lane_rotation(q, lane));
      quat.x[lane] = one.x;
      quat.y[lane] = one.y;
      quat.z[lane] = one.z;
      quat.w[lane] = one.w;
    }
  }
  float angles[2][3];
  quat_to_euler(quat, angles);
  samples_from_angles(m.a[3], angles, k, out);
}

}  // namespace kavro
