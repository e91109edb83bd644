// AVX2/FMA twins; this file is compiled with -mavx2 -mfma and only entered
// after the run-time check.
#include <immintrin.h>
#include <string.h>

#include "runtime/kernels_simd.h"

template <int MR>
static void ukernel(int nr, int kb, const float *A, int64_t lda, const float *P, float *Y, int64_t ldy, int add) {
  // The loops over rows are unrolled so that the 12 accumulators live in registers.
  __m256 acc[MR][2];
#pragma GCC unroll 6
  for (int i = 0; i < MR; i++) acc[i][0] = acc[i][1] = _mm256_setzero_ps();
  for (int k = 0; k < kb; k++) {
    __m256 b0 = _mm256_load_ps(P + k * TV_NR);
    __m256 b1 = _mm256_load_ps(P + k * TV_NR + 8);
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
      __m256 a = _mm256_broadcast_ss(A + i * lda + k);
      acc[i][0] = _mm256_fmadd_ps(a, b0, acc[i][0]);
      acc[i][1] = _mm256_fmadd_ps(a, b1, acc[i][1]);
    }
  }
  if (nr == TV_NR) {
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
      float *y = Y + i * ldy;
      if (add) {
        acc[i][0] = _mm256_add_ps(_mm256_loadu_ps(y), acc[i][0]);
        acc[i][1] = _mm256_add_ps(_mm256_loadu_ps(y + 8), acc[i][1]);
      }
      _mm256_storeu_ps(y, acc[i][0]);
      _mm256_storeu_ps(y + 8, acc[i][1]);
    }
    return;
  }
  alignas(32) float tmp[TV_NR];
#pragma GCC unroll 6
  for (int i = 0; i < MR; i++) {
    _mm256_store_ps(tmp, acc[i][0]);
    _mm256_store_ps(tmp + 8, acc[i][1]);
    float *y = Y + i * ldy;
    if (add)
      for (int j = 0; j < nr; j++) y[j] += tmp[j];
    else
      for (int j = 0; j < nr; j++) y[j] = tmp[j];
  }
}

void tv_ukernel_avx2(int mr, int nr, int kb, const float *A, int64_t lda, const float *P, float *Y, int64_t ldy,
                     int add) {
  switch (mr) {
    case 6: ukernel<6>(nr, kb, A, lda, P, Y, ldy, add); break;
    case 5: ukernel<5>(nr, kb, A, lda, P, Y, ldy, add); break;
    case 4: ukernel<4>(nr, kb, A, lda, P, Y, ldy, add); break;
    case 3: ukernel<3>(nr, kb, A, lda, P, Y, ldy, add); break;
    case 2: ukernel<2>(nr, kb, A, lda, P, Y, ldy, add); break;
    default: ukernel<1>(nr, kb, A, lda, P, Y, ldy, add); break;
  }
}

// A full panel of 16 columns, gathered eight at a time; the values of the
// portable packing.
void tv_pack_f32_avx2(const float *B, int64_t stride, int kb, float *P) {
  const __m256i lo = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32((int)stride));
  const __m256i hi = _mm256_add_epi32(lo, _mm256_set1_epi32((int)(8 * stride)));
  for (int k = 0; k < kb; k++) {
    _mm256_store_ps(P + k * TV_NR, _mm256_i32gather_ps(B + k, lo, 4));
    _mm256_store_ps(P + k * TV_NR + 8, _mm256_i32gather_ps(B + k, hi, 4));
  }
}

static inline __m256 byte_ps(__m256i w, int shift, __m256 s) {
  return _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(w, 24 - shift), 24)), s);
}

void tv_pack_i8_avx2(const int8_t *q, int64_t stride, const float *scales, int kb, float *P) {
  const __m256i lo = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32((int)stride));
  const __m256i hi = _mm256_add_epi32(lo, _mm256_set1_epi32((int)(8 * stride)));
  const __m256 s0 = _mm256_loadu_ps(scales), s1 = _mm256_loadu_ps(scales + 8);
  int k = 0;
  // Four steps of k per gathered 32-bit word; the word stays inside the rows.
  for (; k + 4 <= kb; k += 4) {
    const __m256i w0 = _mm256_i32gather_epi32((const int *)(q + k), lo, 1);
    const __m256i w1 = _mm256_i32gather_epi32((const int *)(q + k), hi, 1);
    for (int t = 0; t < 4; t++) {
      _mm256_store_ps(P + (k + t) * TV_NR, byte_ps(w0, 8 * t, s0));
      _mm256_store_ps(P + (k + t) * TV_NR + 8, byte_ps(w1, 8 * t, s1));
    }
  }
  for (; k < kb; k++)
    for (int j = 0; j < TV_NR; j++) P[k * TV_NR + j] = (float)q[j * stride + k] * scales[j];
}

// exp(v) for v >= -87 (clamped), Cephes-style: 2^n times a polynomial.
static inline __m256 exp_ps(__m256 v) {
  v = _mm256_max_ps(v, _mm256_set1_ps(-87.0f));
  __m256 n = _mm256_round_ps(_mm256_mul_ps(v, _mm256_set1_ps(1.442695f)), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  v = _mm256_fnmadd_ps(n, _mm256_set1_ps(0.693359375f), v);
  v = _mm256_fnmadd_ps(n, _mm256_set1_ps(-2.12194440e-4f), v);
  __m256 p = _mm256_set1_ps(1.9875691500e-4f);
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(1.3981999507e-3f));
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(8.3334519073e-3f));
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(4.1665795894e-2f));
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(1.6666665459e-1f));
  p = _mm256_fmadd_ps(p, v, _mm256_set1_ps(0.5f));
  __m256 e = _mm256_fmadd_ps(_mm256_mul_ps(v, v), p, _mm256_add_ps(v, _mm256_set1_ps(1.0f)));
  __m256i bits = _mm256_slli_epi32(_mm256_add_epi32(_mm256_cvtps_epi32(n), _mm256_set1_epi32(127)), 23);
  return _mm256_mul_ps(e, _mm256_castsi256_ps(bits));
}

uint64_t tv_gelu_avx2(float *X, uint64_t n) {
  const __m256 sign_mask = _mm256_set1_ps(-0.0f);
  const __m256 one = _mm256_set1_ps(1.0f);
  uint64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256 x = _mm256_loadu_ps(X + i);
    __m256 z = _mm256_mul_ps(x, _mm256_set1_ps(0.70710677f));
    __m256 sign = _mm256_and_ps(z, sign_mask);
    __m256 az = _mm256_andnot_ps(sign_mask, z);
    __m256 t = _mm256_div_ps(one, _mm256_fmadd_ps(_mm256_set1_ps(0.3275911f), az, one));
    __m256 poly = _mm256_set1_ps(1.061405429f);
    poly = _mm256_fmadd_ps(poly, t, _mm256_set1_ps(-1.453152027f));
    poly = _mm256_fmadd_ps(poly, t, _mm256_set1_ps(1.421413741f));
    poly = _mm256_fmadd_ps(poly, t, _mm256_set1_ps(-0.284496736f));
    poly = _mm256_fmadd_ps(poly, t, _mm256_set1_ps(0.254829592f));
    poly = _mm256_mul_ps(poly, t);
    __m256 e = exp_ps(_mm256_xor_ps(_mm256_mul_ps(z, z), sign_mask));
    __m256 erf = _mm256_or_ps(_mm256_fnmadd_ps(poly, e, one), sign);
    __m256 y = _mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(0.5f), x), _mm256_add_ps(one, erf));
    _mm256_storeu_ps(X + i, y);
  }
  return i;
}
