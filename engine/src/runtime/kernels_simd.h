// The SIMD twins of the kernels: AVX2/FMA (kernels_avx2.cpp, built with -mavx2
// -mfma) and AVX-512 (kernels_avx512.cpp, built with the AVX-512 flags). Each is
// only called when tv_cpu_path() allows it.
#pragma once

#include <stdint.h>

#define TV_MR 6   /* rows of the micro-kernel */
#define TV_NR 16  /* columns of a packed panel */
#define TV_BLOCK_K 256
#define TV_PANEL_STRIDE (TV_BLOCK_K * TV_NR) /* floats from one packed panel to the next */

/* Kernel paths, each allowing the ones below it. */
enum { TV_PATH_PORTABLE = 0, TV_PATH_AVX2 = 1, TV_PATH_AVX512 = 2 };

/* The path in use: the best the processor has, capped by TOVANTTS_NO_SIMD
   (portable) and TOVANTTS_NO_AVX512 (AVX2 at most), and by tv_cpu_path_cap. */
int tv_cpu_path(void);
/* For tests and benchmarks that compare the paths in one process: the path
   becomes min(cap, what the processor and environment allow). */
void tv_cpu_path_cap(int cap);
/* tv_cpu_path_cap(TV_PATH_PORTABLE) for 0, tv_cpu_path_cap(TV_PATH_AVX512) for 1. */
void tv_cpu_avx2_override(int use_avx2);

/* Y[mr x nr] = (or += when add) A[mr x kb] (stride lda) x P, where P is a packed
   panel of kb rows of 16 floats. mr <= 6, nr <= 16. */
void tv_ukernel_avx2(int mr, int nr, int kb, const float *A, int64_t lda, const float *P, float *Y,
                     int64_t ldy, int add);
/* Y[rows x nc] = (or += when add) A[rows x kb] x the ceil(nc / 16) packed panels
   from panels on (TV_PANEL_STRIDE apart); nc <= 64. Every element is the same
   chain of fused multiply-adds as with tv_ukernel_avx2. */
void tv_tile_avx512(int32_t rows, int32_t nc, int kb, const float *A, int64_t lda, const float *panels, float *Y,
                    int64_t ldy, int add);

/* P[k * 16 + j] = row j's element k (times scales[j]) for the 16 rows from B or
   q, stride elements apart, k < kb; 15 * stride must fit in 31 bits. The
   values of the portable packing, gathered. */
void tv_pack_f32_avx2(const float *B, int64_t stride, int kb, float *P);
void tv_pack_i8_avx2(const int8_t *q, int64_t stride, const float *scales, int kb, float *P);
void tv_pack_f32_avx512(const float *B, int64_t stride, int kb, float *P);
void tv_pack_i8_avx512(const int8_t *q, int64_t stride, const float *scales, int kb, float *P);

/* GELU over n elements; a tail below 8 elements is left for the caller. Return
   the number of elements done. The two give the same bits. */
uint64_t tv_gelu_avx2(float *X, uint64_t n);
uint64_t tv_gelu_avx512(float *X, uint64_t n);

/* tv_layernorm and tv_softmax_rows on 16-wide registers; statistics are summed
   lane-wise in a fixed order, so they differ from the portable ones only in
   rounding. */
void tv_layernorm_avx512(float *X, int32_t rows, int32_t n, int64_t stride, const float *gamma, const float *beta,
                         float eps);
void tv_softmax_rows_avx512(float *X, int32_t rows, int32_t n, int64_t stride);

/* ---- the 8-bit product (kernels_q8.cpp and its twins)

   One tile: Y[rows x nc] = ((A - zero) x the nc columns of the panels from
   panels on (pstride bytes apart), as exact int32 sums over groups x 4 bytes)
   x (scale x sw) + bias (NULL: none); sums, sw and bias start at the tile's
   first column, nc <= 64. The twins compute sum(A x w) - zero x sum(w), the
   same integer. */
typedef void (*tv_q8_tile_fn)(int32_t rows, int32_t nc, int32_t groups, const uint8_t *A, int64_t lda,
                              const float *scale, const int32_t *zero, const int8_t *panels, int64_t pstride,
                              const int32_t *sums, const float *sw, const float *bias, float *Y, int64_t ldy);
void tv_q8_tile_avx2(int32_t rows, int32_t nc, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                     const int32_t *zero, const int8_t *panels, int64_t pstride, const int32_t *sums, const float *sw,
                     const float *bias, float *Y, int64_t ldy);
void tv_q8_tile_avxvnni(int32_t rows, int32_t nc, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                        const int32_t *zero, const int8_t *panels, int64_t pstride, const int32_t *sums,
                        const float *sw, const float *bias, float *Y, int64_t ldy);
void tv_q8_tile_vnni(int32_t rows, int32_t nc, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                     const int32_t *zero, const int8_t *panels, int64_t pstride, const int32_t *sums, const float *sw,
                     const float *bias, float *Y, int64_t ldy);
/* The tile the 8-bit product takes on this processor and path (tv_q8_tile_vnni,
   tv_q8_tile_avxvnni, tv_q8_tile_avx2 or the portable one). */
tv_q8_tile_fn tv_q8_tile(void);
/* 1 when the processor has the VEX-encoded 8-bit dot product (AVX-VNNI),
   whatever the path. */
int tv_cpu_has_avxvnni(void);

/* tv_quant_rows on 8- and 16-wide registers, to the bit. */
void tv_quant_rows_avx512(const float *X, int32_t rows, int32_t K, int64_t ldx, uint8_t *Q, int64_t ldq,
                          float *scale, int32_t *zero);
void tv_quant_rows_avx2(const float *X, int32_t rows, int32_t K, int64_t ldx, uint8_t *Q, int64_t ldq, float *scale,
                        int32_t *zero);

/* A row's scale, reciprocal and zero point from its extremes (lo <= 0 <= hi)
   and whether it held NaN: 0 when the row is to be quantised, 1 when it is
   all zero bytes (scale 0 or NaN, or a scale too small to invert). Shared by every path, so all compute the
   same numbers. */
static inline int tv_q8_row_params(float lo, float hi, int nan, float *scale, float *inv, int32_t *zero) {
  const float s = (hi - lo) / 255.0f;
  *zero = 0;
  *inv = 0.0f;
  if (nan || !(s <= 3.4028235e38f)) {  // NaN, an infinity, or a range beyond the floats
    *scale = __builtin_nanf("");
    return 1;
  }
  *scale = s;
  if (s == 0.0f) return 1;
  *inv = 1.0f / s;
  if (!(*inv <= 3.4028235e38f)) {  // a range of denormals: counts as all zero
    *inv = 0.0f;
    return 1;
  }
  const long z = __builtin_lrintf(-lo * *inv);
  *zero = (int32_t)(z < 0 ? 0 : z > 255 ? 255 : z);
  return 0;
}

/* The extremes of x[k0, K) folded into lo and hi (NaN skipped and noted). */
static inline void tv_q8_extremes(const float *x, int32_t k0, int32_t K, float *lo, float *hi, int *nan) {
  for (int32_t k = k0; k < K; k++) {
    if (x[k] != x[k]) *nan = 1;
    else if (x[k] < *lo) *lo = x[k];
    else if (x[k] > *hi) *hi = x[k];
  }
}

/* The bytes of x[k0, K), then the zero point up to kq. */
static inline void tv_q8_bytes(const float *x, int32_t k0, int32_t K, int64_t kq, float inv, int32_t zero,
                               uint8_t *q) {
  for (int32_t k = k0; k < K; k++) {
    const long v = __builtin_lrintf(x[k] * inv) + zero;
    q[k] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
  }
  for (int64_t k = K; k < kq; k++) q[k] = (uint8_t)zero;
}
