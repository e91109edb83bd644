// The refiner's depthwise-and-norm step and GELU on 8-wide FMA registers;
// compiled with -mavx2 -mfma and only entered after the run-time check.
#include <immintrin.h>

#include "nn/flow_simd.h"

static inline float hsum(__m256 v) {
  __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  s = _mm_add_ps(s, _mm_movehl_ps(s, s));
  s = _mm_add_ss(s, _mm_shuffle_ps(s, s, 1));
  return _mm_cvtss_f32(s);
}

void tv_flow_dwnorm_avx2(const float *h, int64_t N, int32_t d, int64_t f, int32_t dil, const float *taps,
                         const float *bias, const float *scale, const float *shift, float *u) {
  const float *src[7], *tap[7];
  int n = 0;
  for (int k = 0; k < 7; k++) {
    const int64_t s = f + (int64_t)(k - 3) * dil;
    if (s < 0 || s >= N) continue;
    src[n] = h + s * d;
    tap[n++] = taps + (int64_t)k * d;
  }
  // Eight registers of channels at a time, each its own chain over the taps
  // (one chain per register would wait on every multiply-add).
  __m256 sum = _mm256_setzero_ps();
  int32_t c = 0;
  for (; c + 64 <= d; c += 64) {
    __m256 y[8];
#pragma GCC unroll 8
    for (int i = 0; i < 8; i++) y[i] = _mm256_loadu_ps(bias + c + 8 * i);
    for (int k = 0; k < n; k++) {
      const float *t = tap[k] + c, *x = src[k] + c;
#pragma GCC unroll 8
      for (int i = 0; i < 8; i++) y[i] = _mm256_fmadd_ps(_mm256_loadu_ps(t + 8 * i), _mm256_loadu_ps(x + 8 * i), y[i]);
    }
#pragma GCC unroll 8
    for (int i = 0; i < 8; i++) {
      _mm256_storeu_ps(u + c + 8 * i, y[i]);
      sum = _mm256_add_ps(sum, y[i]);
    }
  }
  for (; c < d; c += 8) {
    __m256 y = _mm256_loadu_ps(bias + c);
    for (int k = 0; k < n; k++) y = _mm256_fmadd_ps(_mm256_loadu_ps(tap[k] + c), _mm256_loadu_ps(src[k] + c), y);
    _mm256_storeu_ps(u + c, y);
    sum = _mm256_add_ps(sum, y);
  }
  const float mean = hsum(sum) / (float)d;
  const __m256 vm = _mm256_set1_ps(mean);
  __m256 var = _mm256_setzero_ps();
  for (c = 0; c < d; c += 8) {
    const __m256 q = _mm256_sub_ps(_mm256_loadu_ps(u + c), vm);
    var = _mm256_fmadd_ps(q, q, var);
  }
  const __m256 inv = _mm256_set1_ps(1.0f / __builtin_sqrtf(hsum(var) / (float)d + 1e-5f));
  const __m256 one = _mm256_set1_ps(1.0f);
  for (c = 0; c < d; c += 8) {
    const __m256 q = _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(u + c), vm), inv);
    const __m256 sc = _mm256_add_ps(one, _mm256_loadu_ps(scale + c));
    _mm256_storeu_ps(u + c, _mm256_fmadd_ps(q, sc, _mm256_loadu_ps(shift + c)));
  }
}

void tv_flow_gate_avx2(float *out, const float *h, const float *gate, const float *u, int32_t d) {
  int32_t c = 0;
  for (; c + 8 <= d; c += 8)
    _mm256_storeu_ps(out + c, _mm256_add_ps(_mm256_loadu_ps(h + c),
                                            _mm256_mul_ps(_mm256_loadu_ps(gate + c), _mm256_loadu_ps(u + c))));
  for (; c < d; c++) out[c] = h[c] + gate[c] * u[c];
}

// exp(v) for v <= 0 (clamped at -87): 2^n times a Cephes polynomial.
static inline __m256 exp_neg(__m256 v) {
  v = _mm256_max_ps(v, _mm256_set1_ps(-87.0f));
  const __m256 n = _mm256_round_ps(_mm256_mul_ps(v, _mm256_set1_ps(1.44269504f)),
                                   _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  v = _mm256_fnmadd_ps(n, _mm256_set1_ps(0.693359375f), v);
  v = _mm256_fnmadd_ps(n, _mm256_set1_ps(-2.12194440e-4f), v);
  __m256 p = _mm256_set1_ps(1.9875691500e-4f);
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(1.3981999507e-3f));
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(8.3334519073e-3f));
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(4.1665795894e-2f));
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(1.6666665459e-1f));
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(0.5f));
  const __m256 e = _mm256_fmadd_ps(_mm256_mul_ps(v, v), p, _mm256_add_ps(v, _mm256_set1_ps(1.0f)));
  const __m256i bits = _mm256_slli_epi32(_mm256_add_epi32(_mm256_cvtps_epi32(n), _mm256_set1_epi32(127)), 23);
  return _mm256_mul_ps(e, _mm256_castsi256_ps(bits));
}

void tv_flow_gelu_avx2(float *x, int64_t n) {
  const __m256 sign = _mm256_set1_ps(-0.0f), one = _mm256_set1_ps(1.0f), half = _mm256_set1_ps(0.5f);
  for (int64_t i = 0; i + 8 <= n; i += 8) {
    const __m256 u = _mm256_loadu_ps(x + i);
    const __m256 z = _mm256_mul_ps(u, _mm256_set1_ps(0.70710678f));
    const __m256 a = _mm256_andnot_ps(sign, z);
    const __m256 t = _mm256_div_ps(one, _mm256_fmadd_ps(_mm256_set1_ps(0.3275911f), a, one));
    __m256 p = _mm256_fmadd_ps(_mm256_set1_ps(1.0614054f), t, _mm256_set1_ps(-1.4531521f));
    p = _mm256_fmadd_ps(p, t, _mm256_set1_ps(1.4214138f));
    p = _mm256_fmadd_ps(p, t, _mm256_set1_ps(-0.28449672f));
    p = _mm256_fmadd_ps(p, t, _mm256_set1_ps(0.2548296f));
    p = _mm256_mul_ps(p, t);
    const __m256 ex = exp_neg(_mm256_sub_ps(_mm256_setzero_ps(), _mm256_mul_ps(a, a)));
    __m256 e = _mm256_fnmadd_ps(p, ex, one);
    e = _mm256_or_ps(e, _mm256_and_ps(z, sign));  // erf is odd; e >= 0 here
    _mm256_storeu_ps(x + i, _mm256_mul_ps(_mm256_mul_ps(half, u), _mm256_add_ps(one, e)));
  }
}
