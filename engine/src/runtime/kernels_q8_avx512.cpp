// The 8-bit product on AVX-512 with its 8-bit dot product (VNNI); compiled
// with the AVX-512 flags and the dot product's (this file alone), and only
// entered when tv_cpu_vnni() says so.
#include <immintrin.h>
#include <string.h>

#include "runtime/kernels_simd.h"

#define GROUP 64

// MR rows x NP panels of 16 columns over all groups of 4 bytes: MR x NP
// accumulators, NP panel loads and MR broadcasts per group. The dot product
// sums unsigned activation bytes times signed weight bytes exactly; the zero
// point comes off at the end as zero x the column's byte sum.
template <int MR, int NP>
static inline void block(int nr_last, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                         const int32_t *zero, const int8_t *P, int64_t pstride, const int32_t *sums, const float *sw,
                         const float *bias, float *Y, int64_t ldy) {
  __m512i acc[MR][NP];
#pragma GCC unroll 6
  for (int i = 0; i < MR; i++)
#pragma GCC unroll 4
    for (int p = 0; p < NP; p++) acc[i][p] = _mm512_setzero_si512();
#pragma GCC unroll 2
  for (int32_t g = 0; g < groups; g++) {
    __m512i b[NP];
#pragma GCC unroll 4
    for (int p = 0; p < NP; p++) b[p] = _mm512_load_si512((const void *)(P + p * pstride + (int64_t)g * GROUP));
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
      int32_t w;
      memcpy(&w, A + i * lda + 4 * g, 4);
      const __m512i a = _mm512_set1_epi32(w);
#pragma GCC unroll 4
      for (int p = 0; p < NP; p++) acc[i][p] = _mm512_dpbusd_epi32(acc[i][p], a, b[p]);
    }
  }
  const __mmask16 last = (__mmask16)((1u << nr_last) - 1);
#pragma GCC unroll 6
  for (int i = 0; i < MR; i++) {
    const __m512i z = _mm512_set1_epi32(zero[i]);
    const __m512 s = _mm512_set1_ps(scale[i]);
    float *y = Y + i * ldy;
#pragma GCC unroll 4
    for (int p = 0; p < NP; p++) {
      const __mmask16 m = p == NP - 1 ? last : (__mmask16)0xffff;
      const __m512i sum = _mm512_sub_epi32(acc[i][p], _mm512_mullo_epi32(z, _mm512_loadu_si512(sums + p * 16)));
      // (The masked conversion: the plain one starts from an undefined register
      // that GCC 12 reports as uninitialised.)
      __m512 v = _mm512_mul_ps(_mm512_maskz_cvtepi32_ps((__mmask16)0xffff, sum), _mm512_mul_ps(s, _mm512_maskz_loadu_ps(m, sw + p * 16)));
      if (bias) v = _mm512_add_ps(v, _mm512_maskz_loadu_ps(m, bias + p * 16));
      _mm512_mask_storeu_ps(y + p * 16, m, v);
    }
  }
}

template <int MR>
static void rows(int np, int nr_last, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                 const int32_t *zero, const int8_t *P, int64_t pstride, const int32_t *sums, const float *sw,
                 const float *bias, float *Y, int64_t ldy) {
  switch (np) {
    case 4: block<MR, 4>(nr_last, groups, A, lda, scale, zero, P, pstride, sums, sw, bias, Y, ldy); break;
    case 3: block<MR, 3>(nr_last, groups, A, lda, scale, zero, P, pstride, sums, sw, bias, Y, ldy); break;
    case 2: block<MR, 2>(nr_last, groups, A, lda, scale, zero, P, pstride, sums, sw, bias, Y, ldy); break;
    default: block<MR, 1>(nr_last, groups, A, lda, scale, zero, P, pstride, sums, sw, bias, Y, ldy); break;
  }
}

void tv_q8_tile_vnni(int32_t rows_n, int32_t nc, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                     const int32_t *zero, const int8_t *panels, int64_t pstride, const int32_t *sums, const float *sw,
                     const float *bias, float *Y, int64_t ldy) {
  const int np = (nc + 15) / 16, nr_last = nc - (np - 1) * 16;
  int32_t r = 0;
  for (; r + 6 <= rows_n; r += 6)
    rows<6>(np, nr_last, groups, A + r * lda, lda, scale + r, zero + r, panels, pstride, sums, sw, bias, Y + r * ldy,
            ldy);
  const uint8_t *a = A + r * lda;
  float *y = Y + r * ldy;
  switch (rows_n - r) {
    case 0: break;
    case 5: rows<5>(np, nr_last, groups, a, lda, scale + r, zero + r, panels, pstride, sums, sw, bias, y, ldy); break;
    case 4: rows<4>(np, nr_last, groups, a, lda, scale + r, zero + r, panels, pstride, sums, sw, bias, y, ldy); break;
    case 3: rows<3>(np, nr_last, groups, a, lda, scale + r, zero + r, panels, pstride, sums, sw, bias, y, ldy); break;
    case 2: rows<2>(np, nr_last, groups, a, lda, scale + r, zero + r, panels, pstride, sums, sw, bias, y, ldy); break;
    default: rows<1>(np, nr_last, groups, a, lda, scale + r, zero + r, panels, pstride, sums, sw, bias, y, ldy); break;
  }
}
