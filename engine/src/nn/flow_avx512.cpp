// The refiner's GELU on 16-wide registers; compiled with the AVX-512 flags and
// only entered after the run-time check. Lane for lane the operations of the
// AVX2 twin, so both give the same bits.
#include <immintrin.h>

#include "nn/flow_simd.h"

// exp(v) for v <= 0 (clamped at -87): 2^n times a Cephes polynomial.
static inline __m512 exp_neg(__m512 v) {
  v = _mm512_max_ps(v, _mm512_set1_ps(-87.0f));
  const __m512 n = _mm512_roundscale_ps(_mm512_mul_ps(v, _mm512_set1_ps(1.44269504f)),
                                        _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  v = _mm512_fnmadd_ps(n, _mm512_set1_ps(0.693359375f), v);
  v = _mm512_fnmadd_ps(n, _mm512_set1_ps(-2.12194440e-4f), v);
  __m512 p = _mm512_set1_ps(1.9875691500e-4f);
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(1.3981999507e-3f));
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(8.3334519073e-3f));
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(4.1665795894e-2f));
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(1.6666665459e-1f));
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(0.5f));
  const __m512 e = _mm512_fmadd_ps(_mm512_mul_ps(v, v), p, _mm512_add_ps(v, _mm512_set1_ps(1.0f)));
  const __m512i bits = _mm512_slli_epi32(_mm512_add_epi32(_mm512_cvtps_epi32(n), _mm512_set1_epi32(127)), 23);
  return _mm512_mul_ps(e, _mm512_castsi512_ps(bits));
}

static inline __m512 gelu16(__m512 u) {
  const __m512 sign = _mm512_set1_ps(-0.0f), one = _mm512_set1_ps(1.0f), half = _mm512_set1_ps(0.5f);
  const __m512 z = _mm512_mul_ps(u, _mm512_set1_ps(0.70710678f));
  const __m512 a = _mm512_andnot_ps(sign, z);
  const __m512 t = _mm512_div_ps(one, _mm512_fmadd_ps(_mm512_set1_ps(0.3275911f), a, one));
  __m512 p = _mm512_fmadd_ps(_mm512_set1_ps(1.0614054f), t, _mm512_set1_ps(-1.4531521f));
  p = _mm512_fmadd_ps(p, t, _mm512_set1_ps(1.4214138f));
  p = _mm512_fmadd_ps(p, t, _mm512_set1_ps(-0.28449672f));
  p = _mm512_fmadd_ps(p, t, _mm512_set1_ps(0.2548296f));
  p = _mm512_mul_ps(p, t);
  const __m512 ex = exp_neg(_mm512_sub_ps(_mm512_setzero_ps(), _mm512_mul_ps(a, a)));
  __m512 e = _mm512_fnmadd_ps(p, ex, one);
  e = _mm512_or_ps(e, _mm512_and_ps(z, sign));  // erf is odd; e >= 0 here
  return _mm512_mul_ps(_mm512_mul_ps(half, u), _mm512_add_ps(one, e));
}

void tv_flow_gelu_avx512(float *x, int64_t n) {
  int64_t i = 0;
  for (; i + 16 <= n; i += 16) _mm512_storeu_ps(x + i, gelu16(_mm512_loadu_ps(x + i)));
  if (i < n) {  // one block of 8 left (n is a multiple of 8)
    const __mmask16 m = 0xff;
    _mm512_mask_storeu_ps(x + i, m, gelu16(_mm512_maskz_loadu_ps(m, x + i)));
  }
}
