// The 16-value Box-Muller block on 8-wide FMA registers; compiled with -mavx2
// -mfma and only entered after the run-time check. Lane for lane the same
// operations as the portable transform in rng.cpp.
#include <immintrin.h>

#include "runtime/rng.h"

static inline __m256 log_ps(__m256 x) {
  const __m256 one = _mm256_set1_ps(1.0f);
  x = _mm256_max_ps(x, _mm256_set1_ps(1.17549435e-38f));
  __m256i bits = _mm256_castps_si256(x);
  __m256 e = _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_srli_epi32(bits, 23), _mm256_set1_epi32(0x7F)));
  e = _mm256_add_ps(e, one);
  __m256 m = _mm256_castsi256_ps(_mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi32(~0x7F800000)),
                                                 _mm256_set1_epi32(0x3F000000)));
  const __m256 mask = _mm256_cmp_ps(m, _mm256_set1_ps(0.707106781186547524f), _CMP_LT_OS);
  const __m256 tmp = _mm256_and_ps(m, mask);
  m = _mm256_sub_ps(m, one);
  e = _mm256_sub_ps(e, _mm256_and_ps(one, mask));
  m = _mm256_add_ps(m, tmp);
  const __m256 z = _mm256_mul_ps(m, m);
  __m256 p = _mm256_set1_ps(7.0376836292e-2f);
  p = _mm256_fmadd_ps(p, m, _mm256_set1_ps(-1.1514610310e-1f));
  p = _mm256_fmadd_ps(p, m, _mm256_set1_ps(1.1676998740e-1f));
  p = _mm256_fmadd_ps(p, m, _mm256_set1_ps(-1.2420140846e-1f));
  p = _mm256_fmadd_ps(p, m, _mm256_set1_ps(1.4249322787e-1f));
  p = _mm256_fmadd_ps(p, m, _mm256_set1_ps(-1.6668057665e-1f));
  p = _mm256_fmadd_ps(p, m, _mm256_set1_ps(2.0000714765e-1f));
  p = _mm256_fmadd_ps(p, m, _mm256_set1_ps(-2.4999993993e-1f));
  p = _mm256_fmadd_ps(p, m, _mm256_set1_ps(3.3333331174e-1f));
  __m256 y = _mm256_fmadd_ps(_mm256_mul_ps(p, m), z, _mm256_mul_ps(e, _mm256_set1_ps(-2.12194440e-4f)));
  y = _mm256_fmadd_ps(z, _mm256_set1_ps(-0.5f), y);
  const __m256 r = _mm256_add_ps(y, m);
  return _mm256_fmadd_ps(e, _mm256_set1_ps(0.693359375f), r);
}

static inline void sincos_ps(__m256 theta, __m256 *s, __m256 *c) {
  __m256i j = _mm256_cvttps_epi32(_mm256_mul_ps(theta, _mm256_set1_ps(1.27323954473516f)));
  j = _mm256_and_si256(_mm256_add_epi32(j, _mm256_set1_epi32(1)), _mm256_set1_epi32(~1));
  const __m256 y = _mm256_cvtepi32_ps(j);
  __m256 x = _mm256_fmadd_ps(y, _mm256_set1_ps(-0.78515625f), theta);
  x = _mm256_fmadd_ps(y, _mm256_set1_ps(-2.4187564849853515625e-4f), x);
  x = _mm256_fmadd_ps(y, _mm256_set1_ps(-3.77489497744594108e-8f), x);
  const __m256 z = _mm256_mul_ps(x, x);
  __m256 cp = _mm256_fmadd_ps(_mm256_fmadd_ps(z, _mm256_set1_ps(2.443315711809948e-5f),
                                              _mm256_set1_ps(-1.388731625493765e-3f)),
                              z, _mm256_set1_ps(4.166664568298827e-2f));
  cp = _mm256_add_ps(_mm256_fmadd_ps(_mm256_mul_ps(cp, z), z, _mm256_mul_ps(z, _mm256_set1_ps(-0.5f))),
                     _mm256_set1_ps(1.0f));
  __m256 sp = _mm256_fmadd_ps(_mm256_fmadd_ps(z, _mm256_set1_ps(-1.9515295891e-4f),
                                              _mm256_set1_ps(8.3321608736e-3f)),
                              z, _mm256_set1_ps(-1.6666654611e-1f));
  sp = _mm256_fmadd_ps(_mm256_mul_ps(sp, z), x, x);
  // poly: all ones where bit 1 of j is clear (sine from sp, cosine from cp).
  const __m256 poly = _mm256_castsi256_ps(
      _mm256_cmpeq_epi32(_mm256_and_si256(j, _mm256_set1_epi32(2)), _mm256_setzero_si256()));
  const __m256 s_sign = _mm256_castsi256_ps(_mm256_slli_epi32(_mm256_and_si256(j, _mm256_set1_epi32(4)), 29));
  const __m256 c_sign = _mm256_castsi256_ps(
      _mm256_slli_epi32(_mm256_andnot_si256(_mm256_sub_epi32(j, _mm256_set1_epi32(2)), _mm256_set1_epi32(4)), 29));
  const __m256 sv = _mm256_add_ps(_mm256_andnot_ps(poly, cp), _mm256_and_ps(poly, sp));
  const __m256 cv = _mm256_add_ps(_mm256_and_ps(poly, cp), _mm256_andnot_ps(poly, sp));
  *s = _mm256_xor_ps(sv, s_sign);
  *c = _mm256_xor_ps(cv, c_sign);
}

void tv_randn_block16_avx2(float *d) {
  const __m256 u1 = _mm256_sub_ps(_mm256_set1_ps(1.0f), _mm256_loadu_ps(d));
  const __m256 u2 = _mm256_loadu_ps(d + 8);
  const __m256 radius = _mm256_sqrt_ps(_mm256_mul_ps(_mm256_set1_ps(-2.0f), log_ps(u1)));
  const __m256 theta = _mm256_mul_ps(_mm256_set1_ps(6.28318530717958647692f), u2);
  __m256 s, c;
  sincos_ps(theta, &s, &c);
  const __m256 one = _mm256_set1_ps(1.0f), zero = _mm256_setzero_ps();
  _mm256_storeu_ps(d, _mm256_fmadd_ps(_mm256_mul_ps(radius, c), one, zero));
  _mm256_storeu_ps(d + 8, _mm256_fmadd_ps(_mm256_mul_ps(radius, s), one, zero));
}
