// round4096 of two values at once, in the two lanes of an SSE2 register:
// each lane does the one-value operations in the same order, so the results
// are the same bits.
#pragma once

#include <emmintrin.h>

#include <cstddef>

#include "exporter/pipeline/math.h"
#include "host/max_lanes.h"

namespace kavro {

// round4096 in each lane, as a float value: v * 4096 moved half away from
// zero, truncated, over 4096, never -0. Below 2^31 truncating through a
// 32-bit integer is exact (SSE2 converts two at a time); larger values,
// infinities and NaN are rounded one lane at a time by round4096 itself.
[[gnu::always_inline]] inline max::lanes::D2 rounded4096(max::lanes::D2 v) {
  using namespace max::lanes;
  const D2 scaled = v * both(4096.0);
  const D2 half = v > both(0) ? scaled + both(0.5) : scaled - both(0.5);
  if (!all(magnitude(half) < both(0x1p31))) return D2{round4096(v[0]), round4096(v[1])};
  const __m128i whole = _mm_cvttpd_epi32(half);
  const D2 t = _mm_cvtepi32_pd(whole);
  return t == both(0) ? both(0) : through_float(t / both(4096.0));
}

// round4096 of each of n floats, in place: four at a time in two pairs of
// lanes, the rest one at a time. Four values already on the grid (v * 4096
// a whole number below 2^31, as sampled values are) stay as they are, a
// -0 made +0: that is what the rounding gives them.
inline void round4096_floats(float* values, std::size_t n) {
  using max::lanes::D2;
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 four = _mm_loadu_ps(values + i);
    // v * 4096 is exact in float (short of overflow, which fails the test);
    // the conversion gives INT_MIN for values out of range and NaN.
    const __m128 scaled = _mm_mul_ps(four, _mm_set1_ps(4096.0f));
    const __m128 whole = _mm_cvtepi32_ps(_mm_cvttps_epi32(scaled));
    if (_mm_movemask_ps(_mm_cmpeq_ps(scaled, whole)) == 0xF) {
      _mm_storeu_ps(values + i, _mm_add_ps(four, _mm_setzero_ps()));
      continue;
    }
    const D2 low = rounded4096(_mm_cvtps_pd(four));
    const D2 high = rounded4096(_mm_cvtps_pd(_mm_movehl_ps(four, four)));
    _mm_storeu_ps(values + i, _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)));
  }
  for (; i < n; ++i) values[i] = round4096(static_cast<double>(values[i]));
}

}  // namespace kavro
