// The numeric kernels every network of the engine runs on: products over
// float matrices and weight views (float, int8, int4), the linear layer,
// convolutions, norms, activations, softmax and attention. Float32,
// row-major, one row per frame, an explicit row stride for every matrix.
// Parallel kernels take a pool; NULL runs them on the calling thread.
//
// Products and GELU have an AVX2/FMA twin, and they, layer norm and softmax an
// AVX-512 twin (the 8-bit product AVX-VNNI and AVX-512 VNNI ones too), chosen
// once per process at run time (TOVANTTS_NO_SIMD, set to anything, forces the
// portable path; TOVANTTS_NO_AVX512 stops at AVX2). The AVX-512 product and
// GELU give the AVX2 bits, the 8-bit product the portable bits; the other
// twins differ from the portable kernels only in rounding; none depends on the
// number of threads.
#pragma once

#include <stdint.h>

#include "runtime/pool.h"
#include "runtime/weights.h"

/* 1 when the AVX2/FMA path (or the AVX-512 one, which includes it) is used, else 0. */
int tv_cpu_avx2(void);
/* 1 when the AVX-512 path is used, else 0. */
int tv_cpu_avx512(void);
/* 1 when the AVX-512 path is used and the processor has its 8-bit dot
   product (VNNI), else 0. */
int tv_cpu_vnni(void);

/* Y (M x N) = A (M x K) x B^T (B is N x K) + bias (N or NULL), added to Y when
   accumulate is set. */
void tv_gemm_nt(tv_pool *pool, int32_t M, int32_t N, int32_t K, const float *A, int64_t lda,
                const float *B, int64_t ldb, float *Y, int64_t ldy, const float *bias, int accumulate);
/* As tv_gemm_nt with B of K x N used as it is. */
void tv_gemm_nn(tv_pool *pool, int32_t M, int32_t N, int32_t K, const float *A, int64_t lda,
                const float *B, int64_t ldb, float *Y, int64_t ldy, const float *bias, int accumulate);
/* Y (n x W.rows) = X (n x W.cols) x W^T + bias (+ Y when accumulate is set). */
void tv_linear(tv_pool *pool, const float *X, int32_t n, int64_t ldx, const tv_mat *W, const float *bias,
               float *Y, int64_t ldy, int accumulate);

/* *out = the band of count rows from r0, in the same storage. */
void tv_mat_rows(const tv_mat *W, int32_t r0, int32_t count, tv_mat *out);
/* Row r expanded into W.cols floats. */
void tv_mat_row(const tv_mat *W, int32_t r, float *out);

/* Output frames L (0 when the input is too short), or -1 with a "conv1d: "
   message. X is T x Cin (stride ldx), W is Cout x (Cin * k) with column
   c * k + j for input channel c at tap j; Y gets L x Cout (stride ldy). */
int32_t tv_conv1d(tv_pool *pool, const float *X, int32_t T, int32_t Cin, int64_t ldx, const tv_mat *W,
                  int32_t k, int32_t stride, int32_t dilation, int32_t pad_left, int32_t pad_right,
                  const float *bias, float *Y, int64_t ldy);
/* Depthwise: Y[t][c] = bias[c] + sum_j X[t - pad_left + j * dilation][c] * W[c][j] over
   taps inside [0, T). X, Y are T x Ch, W is Ch x k, all contiguous. */
void tv_dwconv1d(const float *X, int32_t T, int32_t Ch, const float *W, int32_t k, int32_t dilation,
                 int32_t pad_left, const float *bias, float *Y);

/* ---- 8-bit products
   Activations as bytes with a scale and a zero point per row, x ~ (q - zero)
   x scale, times int8 weights with row scales: the sum over the depth is an
   exact integer, so every path gives the same bits whatever the thread
   count. */

#define TV_Q8_MAX_K 65535 /* deepest product whose integer sums fit 32 bits */

/* An int8 weight matrix relaid for the 8-bit product: its rows (the output
   columns) in panels of 16, the depth in groups of 4 bytes (zero past cols),
   plus the sum of each row's bytes. */
typedef struct tv_q8mat {
  int32_t rows, cols, kq;  /* kq: cols rounded up to a multiple of 4 */
  int8_t *panels;          /* ceil(rows / 16) panels of kq / 4 groups of 16 x 4 bytes; owned */
  int32_t *sums;           /* rows rounded up to 16 entries; owned */
  const float *scales;     /* the view's row scales */
} tv_q8mat;

/* 0 / -1. W must be int8 with 1 <= cols <= TV_Q8_MAX_K ("q8: ..." message). */
int tv_q8mat_make(const tv_mat *W, tv_q8mat *out);
/* Frees what tv_q8mat_make allocated and zeroes the record; NULL allowed. */
void tv_q8mat_free(tv_q8mat *m);
/* K rounded up to a multiple of 4: the bytes a quantised row must hold. */
int64_t tv_q8_depth(int32_t K);

/* Each row of X (K values) into bytes: lo = min(row, 0), hi = max(row, 0),
   scale = (hi - lo) / 255, inv = 1 / scale, zero = round(-lo x inv), byte =
   clamp(round(x x inv) + zero, 0, 255), rounding to nearest even. Bytes from K to
   tv_q8_depth(K) hold the zero point. An all-zero row gets scale 0 and a
   row of denormals zero bytes (its products are 0); a row with NaN or an
   infinity gets scale NaN and zero bytes, so the products made from it are
   NaN. Q needs rows x ldq bytes, ldq >= tv_q8_depth(K). */
void tv_quant_rows(const float *X, int32_t rows, int32_t K, int64_t ldx, uint8_t *Q, int64_t ldq, float *scale,
                   int32_t *zero);
/* Y (n x W.rows) = ((Q - zero) x W^T) x scale x row scale + bias (NULL: none),
   with Q of n rows of W.cols bytes made by tv_quant_rows. */
void tv_linear_q8(tv_pool *pool, const uint8_t *Q, int64_t ldq, const float *scale, const int32_t *zero, int32_t n,
                  const tv_q8mat *W, const float *bias, float *Y, int64_t ldy);

/* In place, statistics in double; gamma, beta, weight may be NULL. */
void tv_layernorm(float *X, int32_t rows, int32_t n, int64_t stride, const float *gamma, const float *beta,
                  float eps);
void tv_rmsnorm(float *X, int32_t rows, int32_t n, int64_t stride, const float *weight, float eps);

/* In place over n elements. */
void tv_gelu(float *X, uint64_t n);
void tv_gelu_tanh(float *X, uint64_t n);
void tv_silu(float *X, uint64_t n);
void tv_relu(float *X, uint64_t n);

/* In place per row; a row of all minus infinity becomes all NaN. */
void tv_softmax_rows(float *X, int32_t rows, int32_t n, int64_t stride);

/* 0 / -1. O (Tq x H*D) = softmax(scale * Q K^T + bias, masked) V per head;
   head h sits in columns h*D .. h*D+D-1 of Q, K, V and O. mask: Tk bytes, 0
   hides that key (NULL: none); bias: H x Tq x Tk (NULL: none); scale <= 0
   means 1 / sqrt(D). Fully masked queries give NaN. On out of memory every
   element of O is NaN. */
int tv_attention(tv_pool *pool, const float *Q, int64_t ldq, const float *K, int64_t ldk, const float *V,
                 int64_t ldv, float *O, int64_t ldo, int32_t Tq, int32_t Tk, int32_t H, int32_t D,
                 const uint8_t *mask, const float *bias, float scale);
