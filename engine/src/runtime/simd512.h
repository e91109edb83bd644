// Helpers shared by the AVX-512 files (only included where -mavx512f is on).
#pragma once

#include <immintrin.h>

// exp(v), Cephes-style: 2^n times a polynomial, v clamped below at -87. Lane
// for lane the operations of the AVX2 twins, so the results are theirs. A
// NaN stays NaN.
static inline __m512 tv_exp512(__m512 v) {
  v = _mm512_max_ps(_mm512_set1_ps(-87.0f), v);
  __m512 n = _mm512_roundscale_ps(_mm512_mul_ps(v, _mm512_set1_ps(1.442695f)),
                                  _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  v = _mm512_fnmadd_ps(n, _mm512_set1_ps(0.693359375f), v);
  v = _mm512_fnmadd_ps(n, _mm512_set1_ps(-2.12194440e-4f), v);
  __m512 p = _mm512_set1_ps(1.9875691500e-4f);
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(1.3981999507e-3f));
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(8.3334519073e-3f));
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(4.1665795894e-2f));
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(1.6666665459e-1f));
  p = _mm512_fmadd_ps(p, v, _mm512_set1_ps(0.5f));
  __m512 e = _mm512_fmadd_ps(_mm512_mul_ps(v, v), p, _mm512_add_ps(v, _mm512_set1_ps(1.0f)));
  __m512i bits = _mm512_slli_epi32(_mm512_add_epi32(_mm512_cvtps_epi32(n), _mm512_set1_epi32(127)), 23);
  return _mm512_mul_ps(e, _mm512_castsi512_ps(bits));
}
