// AVX-512 twins; this file is compiled with -mavx512f -mavx512dq -mavx512bw
// -mavx512vl -mfma and only entered after the run-time check.
//
// The product and GELU give the same bits as their AVX2/FMA twins: every
// output element is the same chain of fused multiply-adds in the same order,
// only more of them run side by side.
#include <immintrin.h>
#include <math.h>
#include <string.h>

#include "runtime/kernels_simd.h"
#include "runtime/simd512.h"

// ---- the product

// MR rows x NP panels of 16 columns over kb steps of k; nr_last columns of the
// last panel are stored. Six rows by the tile's four panels keep 24
// accumulators, four panel loads and six broadcasts per step.
template <int MR, int NP>
static inline void block(int nr_last, int kb, const float *A, int64_t lda, const float *P, float *Y, int64_t ldy,
                         int add) {
  __m512 acc[MR][NP];
#pragma GCC unroll 6
  for (int i = 0; i < MR; i++)
#pragma GCC unroll 4
    for (int p = 0; p < NP; p++) acc[i][p] = _mm512_setzero_ps();
#pragma GCC unroll 4
  for (int k = 0; k < kb; k++) {
    __m512 b[NP];
#pragma GCC unroll 4
    for (int p = 0; p < NP; p++) b[p] = _mm512_load_ps(P + (size_t)p * TV_PANEL_STRIDE + k * TV_NR);
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
      __m512 a = _mm512_set1_ps(A[i * lda + k]);
#pragma GCC unroll 4
      for (int p = 0; p < NP; p++) acc[i][p] = _mm512_fmadd_ps(a, b[p], acc[i][p]);
    }
  }
  const __mmask16 last = (__mmask16)((1u << nr_last) - 1);
#pragma GCC unroll 6
  for (int i = 0; i < MR; i++) {
    float *y = Y + i * ldy;
#pragma GCC unroll 4
    for (int p = 0; p < NP; p++) {
      __mmask16 m = p == NP - 1 ? last : (__mmask16)0xffff;
      __m512 v = acc[i][p];
      if (add) v = _mm512_add_ps(_mm512_maskz_loadu_ps(m, y + p * TV_NR), v);
      _mm512_mask_storeu_ps(y + p * TV_NR, m, v);
    }
  }
}

template <int MR>
static void rows(int np, int nr_last, int kb, const float *A, int64_t lda, const float *P, float *Y, int64_t ldy,
                 int add) {
  switch (np) {
    case 4: block<MR, 4>(nr_last, kb, A, lda, P, Y, ldy, add); break;
    case 3: block<MR, 3>(nr_last, kb, A, lda, P, Y, ldy, add); break;
    case 2: block<MR, 2>(nr_last, kb, A, lda, P, Y, ldy, add); break;
    default: block<MR, 1>(nr_last, kb, A, lda, P, Y, ldy, add); break;
  }
}

void tv_tile_avx512(int32_t rows_n, int32_t nc, int kb, const float *A, int64_t lda, const float *panels, float *Y,
                    int64_t ldy, int add) {
  int np = (nc + TV_NR - 1) / TV_NR;
  int nr_last = nc - (np - 1) * TV_NR;
  int32_t r = 0;
  for (; r + TV_MR <= rows_n; r += TV_MR) rows<TV_MR>(np, nr_last, kb, A + r * lda, lda, panels, Y + r * ldy, ldy, add);
  const float *a = A + r * lda;
  float *y = Y + r * ldy;
  switch (rows_n - r) {
    case 0: break;
    case 5: rows<5>(np, nr_last, kb, a, lda, panels, y, ldy, add); break;
    case 4: rows<4>(np, nr_last, kb, a, lda, panels, y, ldy, add); break;
    case 3: rows<3>(np, nr_last, kb, a, lda, panels, y, ldy, add); break;
    case 2: rows<2>(np, nr_last, kb, a, lda, panels, y, ldy, add); break;
    default: rows<1>(np, nr_last, kb, a, lda, panels, y, ldy, add); break;
  }
}

// ---- packing a full panel of 16 columns

void tv_pack_f32_avx512(const float *B, int64_t stride, int kb, float *P) {
  const __m512i idx = _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                         _mm512_set1_epi32((int)stride));
  for (int k = 0; k < kb; k++) _mm512_store_ps(P + k * TV_NR, _mm512_i32gather_ps(idx, B + k, 4));
}

void tv_pack_i8_avx512(const int8_t *q, int64_t stride, const float *scales, int kb, float *P) {
  const __m512i idx = _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                         _mm512_set1_epi32((int)stride));
  const __m512 s = _mm512_loadu_ps(scales);
  int k = 0;
  // Four steps of k per gather of one 32-bit word from each row; the word
  // stays inside the rows' kb bytes.
  for (; k + 4 <= kb; k += 4) {
    __m512i w = _mm512_i32gather_epi32(idx, (const void *)(q + k), 1);
    _mm512_store_ps(P + k * TV_NR, _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_srai_epi32(_mm512_slli_epi32(w, 24), 24)), s));
    _mm512_store_ps(P + (k + 1) * TV_NR,
                    _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_srai_epi32(_mm512_slli_epi32(w, 16), 24)), s));
    _mm512_store_ps(P + (k + 2) * TV_NR,
                    _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_srai_epi32(_mm512_slli_epi32(w, 8), 24)), s));
    _mm512_store_ps(P + (k + 3) * TV_NR, _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_srai_epi32(w, 24)), s));
  }
  for (; k < kb; k++)
    for (int j = 0; j < TV_NR; j++) P[k * TV_NR + j] = (float)q[j * stride + k] * scales[j];
}

// ---- GELU (Abramowitz and Stegun 7.1.26 for erf)

static inline __m512 gelu16(__m512 x) {
  const __m512 sign_mask = _mm512_set1_ps(-0.0f), one = _mm512_set1_ps(1.0f);
  __m512 z = _mm512_mul_ps(x, _mm512_set1_ps(0.70710677f));
  __m512 sign = _mm512_and_ps(z, sign_mask);
  __m512 az = _mm512_andnot_ps(sign_mask, z);
  __m512 t = _mm512_div_ps(one, _mm512_fmadd_ps(_mm512_set1_ps(0.3275911f), az, one));
  __m512 poly = _mm512_set1_ps(1.061405429f);
  poly = _mm512_fmadd_ps(poly, t, _mm512_set1_ps(-1.453152027f));
  poly = _mm512_fmadd_ps(poly, t, _mm512_set1_ps(1.421413741f));
  poly = _mm512_fmadd_ps(poly, t, _mm512_set1_ps(-0.284496736f));
  poly = _mm512_fmadd_ps(poly, t, _mm512_set1_ps(0.254829592f));
  poly = _mm512_mul_ps(poly, t);
  __m512 e = tv_exp512(_mm512_xor_ps(_mm512_mul_ps(z, z), sign_mask));
  __m512 erf = _mm512_or_ps(_mm512_fnmadd_ps(poly, e, one), sign);
  return _mm512_mul_ps(_mm512_mul_ps(_mm512_set1_ps(0.5f), x), _mm512_add_ps(one, erf));
}

uint64_t tv_gelu_avx512(float *X, uint64_t n) {
  uint64_t i = 0;
  for (; i + 16 <= n; i += 16) _mm512_storeu_ps(X + i, gelu16(_mm512_loadu_ps(X + i)));
  // A block of 8 left as the AVX2 twin cuts it, so both paths agree to the bit.
  return i + tv_gelu_avx2(X + i, n - i);
}

// ---- layer norm

// Sums of floats in double over 8 lanes; the lanes are added in a fixed order
// at the end, so a row's result never depends on where or with whom it runs.
static inline double hsum_pd(__m512d v) { return _mm512_reduce_add_pd(v); }

void tv_layernorm_avx512(float *X, int32_t rows_n, int32_t n, int64_t stride, const float *gamma, const float *beta,
                         float eps) {
  for (int32_t r = 0; r < rows_n; r++) {
    float *x = X + r * stride;
    __m512d s = _mm512_setzero_pd();
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) s = _mm512_add_pd(s, _mm512_cvtps_pd(_mm256_loadu_ps(x + i)));
    double sum = hsum_pd(s);
    for (; i < n; i++) sum += x[i];
    double mean = sum / n;
    __m512d vm = _mm512_set1_pd(mean), q = _mm512_setzero_pd();
    for (i = 0; i + 8 <= n; i += 8) {
      __m512d dv = _mm512_sub_pd(_mm512_cvtps_pd(_mm256_loadu_ps(x + i)), vm);
      q = _mm512_add_pd(q, _mm512_mul_pd(dv, dv));
    }
    double var = hsum_pd(q);
    for (; i < n; i++) var += (x[i] - mean) * (x[i] - mean);
    var /= n;
    const __m512 m = _mm512_set1_ps((float)mean);
    const __m512 inv = _mm512_set1_ps((float)(1.0 / sqrt(var + eps)));
    for (i = 0; i < n; i += 16) {
      __mmask16 k = n - i >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << (n - i)) - 1);
      __m512 v = _mm512_mul_ps(_mm512_sub_ps(_mm512_maskz_loadu_ps(k, x + i), m), inv);
      if (gamma) v = _mm512_mul_ps(v, _mm512_maskz_loadu_ps(k, gamma + i));
      if (beta) v = _mm512_add_ps(v, _mm512_maskz_loadu_ps(k, beta + i));
      _mm512_mask_storeu_ps(x + i, k, v);
    }
  }
}

// ---- softmax

void tv_softmax_rows_avx512(float *X, int32_t rows_n, int32_t n, int64_t stride) {
  const __m512 ninf = _mm512_set1_ps(-INFINITY);
  for (int32_t r = 0; r < rows_n; r++) {
    float *x = X + r * stride;
    // The maximum skips NaN: with a NaN operand max_ps returns the second one.
    __m512 mx16 = ninf;
    for (int32_t i = 0; i < n; i += 16) {
      __mmask16 k = n - i >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << (n - i)) - 1);
      mx16 = _mm512_max_ps(_mm512_mask_loadu_ps(ninf, k, x + i), mx16);
    }
    float mx = _mm512_reduce_max_ps(mx16);
    if (mx == -INFINITY) {
      for (int32_t i = 0; i < n; i++) x[i] = NAN;
      continue;
    }
    const __m512 vmx = _mm512_set1_ps(mx), floor = _mm512_set1_ps(-87.0f);
    __m512 sum16 = _mm512_setzero_ps();
    for (int32_t i = 0; i < n; i += 16) {
      __mmask16 k = n - i >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << (n - i)) - 1);
      __m512 v = _mm512_sub_ps(_mm512_maskz_loadu_ps(k, x + i), vmx);
      // Below the clamp the value is (nearly) zero: make it zero, so masked
      // entries (minus infinity) get no weight at all.
      __mmask16 tiny = _mm512_cmp_ps_mask(v, floor, _CMP_LT_OQ);
      __m512 e = _mm512_maskz_mov_ps((__mmask16)(k & ~tiny), tv_exp512(v));
      _mm512_mask_storeu_ps(x + i, k, e);
      sum16 = _mm512_add_ps(sum16, e);
    }
    const __m512 inv = _mm512_set1_ps(1.0f / _mm512_reduce_add_ps(sum16));
    for (int32_t i = 0; i < n; i += 16) {
      __mmask16 k = n - i >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << (n - i)) - 1);
      _mm512_mask_storeu_ps(x + i, k, _mm512_mul_ps(_mm512_maskz_loadu_ps(k, x + i), inv));
    }
  }
}

// ---- quantising rows to bytes (the 8-bit product's input)

void tv_quant_rows_avx512(const float *X, int32_t rows_n, int32_t K, int64_t ldx, uint8_t *Q, int64_t ldq,
                          float *scale, int32_t *zero) {
  const int64_t kq = ((int64_t)K + 3) / 4 * 4;
  for (int32_t r = 0; r < rows_n; r++) {
    const float *x = X + r * ldx;
    uint8_t *q = Q + r * ldq;
    // Extremes lane-wise in two sets (a NaN operand leaves the lane as it
    // was; min and max are exact, so the order does not matter), NaN apart.
    __m512 lo[2], hi[2];
    __mmask16 nan = 0;
    lo[0] = lo[1] = hi[0] = hi[1] = _mm512_setzero_ps();
    int32_t k = 0;
    for (; k + 32 <= K; k += 32)
#pragma GCC unroll 2
      for (int i = 0; i < 2; i++) {
        const __m512 v = _mm512_loadu_ps(x + k + 16 * i);
        lo[i] = _mm512_min_ps(v, lo[i]);
        hi[i] = _mm512_max_ps(v, hi[i]);
        nan |= _mm512_cmp_ps_mask(v, v, _CMP_UNORD_Q);
      }
    for (; k < K; k += 16) {
      const __mmask16 m = K - k >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << (K - k)) - 1);
      const __m512 v = _mm512_maskz_loadu_ps(m, x + k);  // zeros past K change neither extreme
      lo[0] = _mm512_min_ps(v, lo[0]);
      hi[0] = _mm512_max_ps(v, hi[0]);
      nan |= _mm512_cmp_ps_mask(v, v, _CMP_UNORD_Q);
    }
    float inv;
    if (tv_q8_row_params(_mm512_reduce_min_ps(_mm512_min_ps(lo[1], lo[0])),
                         _mm512_reduce_max_ps(_mm512_max_ps(hi[1], hi[0])), nan != 0, &scale[r], &inv, &zero[r])) {
      memset(q, 0, (size_t)kq);
      continue;
    }
    const __m512 vi = _mm512_set1_ps(inv);
    const __m512i z = _mm512_set1_epi32(zero[r]), top = _mm512_set1_epi32(255), none = _mm512_setzero_si512();
    for (k = 0; k < K; k += 16) {
      const __mmask16 m = K - k >= 16 ? (__mmask16)0xffff : (__mmask16)((1u << (K - k)) - 1);
      __m512i b = _mm512_add_epi32(_mm512_cvtps_epi32(_mm512_mul_ps(_mm512_maskz_loadu_ps(m, x + k), vi)), z);
      b = _mm512_min_epi32(_mm512_max_epi32(b, none), top);
      _mm_mask_storeu_epi8(q + k, m, _mm512_cvtepi32_epi8(b));
    }
    for (int64_t j = K; j < kq; j++) q[j] = (uint8_t)zero[r];
  }
}
