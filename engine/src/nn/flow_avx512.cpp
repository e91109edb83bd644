// The refiner's GELU on 16-wide registers; compiled with the AVX-512 flags and
// only entered after the run-time check. Lane for lane the operations of the
// AVX2 twin, so both give the same bits; the fast variant, for values about
// to be quantised to 8 bits, takes an approximate reciprocal instead.
#include <immintrin.h>

#include "nn/flow_simd.h"
#include "runtime/simd512.h"

template <bool fast>
static inline __m512 gelu16(__m512 u) {
  const __m512 sign = _mm512_set1_ps(-0.0f), one = _mm512_set1_ps(1.0f), half = _mm512_set1_ps(0.5f);
  const __m512 z = _mm512_mul_ps(u, _mm512_set1_ps(0.70710678f));
  const __m512 a = _mm512_andnot_ps(sign, z);
  const __m512 den = _mm512_fmadd_ps(_mm512_set1_ps(0.3275911f), a, one);
  __m512 t;
  if (fast) {
    // 14-bit reciprocal and one Newton step: within an ulp or two of the
    // division at a fraction of its cost.
    const __m512 r = _mm512_rcp14_ps(den);
    t = _mm512_fmadd_ps(_mm512_fnmadd_ps(den, r, one), r, r);
  } else {
    t = _mm512_div_ps(one, den);
  }
  __m512 p = _mm512_fmadd_ps(_mm512_set1_ps(1.0614054f), t, _mm512_set1_ps(-1.4531521f));
  p = _mm512_fmadd_ps(p, t, _mm512_set1_ps(1.4214138f));
  p = _mm512_fmadd_ps(p, t, _mm512_set1_ps(-0.28449672f));
  p = _mm512_fmadd_ps(p, t, _mm512_set1_ps(0.2548296f));
  p = _mm512_mul_ps(p, t);
  const __m512 ex = tv_exp512(_mm512_sub_ps(_mm512_setzero_ps(), _mm512_mul_ps(a, a)));
  __m512 e = _mm512_fnmadd_ps(p, ex, one);
  e = _mm512_or_ps(e, _mm512_and_ps(z, sign));  // erf is odd; e >= 0 here
  return _mm512_mul_ps(_mm512_mul_ps(half, u), _mm512_add_ps(one, e));
}

void tv_flow_gelu_avx512(float *x, int64_t n) {
  int64_t i = 0;
  for (; i + 16 <= n; i += 16) _mm512_storeu_ps(x + i, gelu16<false>(_mm512_loadu_ps(x + i)));
  if (i < n) {  // one block of 8 left (n is a multiple of 8)
    const __mmask16 m = 0xff;
    _mm512_mask_storeu_ps(x + i, m, gelu16<false>(_mm512_maskz_loadu_ps(m, x + i)));
  }
}

void tv_flow_gelu_fast_avx512(float *x, int64_t n) {
  for (int64_t i = 0; i < n; i += 16) {
    const __mmask16 m = n - i >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << (n - i)) - 1);
    _mm512_mask_storeu_ps(x + i, m, gelu16<true>(_mm512_maskz_loadu_ps(m, x + i)));
  }
}
