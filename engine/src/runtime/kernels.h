// The numeric kernels every network of the engine runs on: products over
// float matrices and weight views (float, int8, int4), the linear layer,
// convolutions, norms, activations, softmax and attention. Float32,
// row-major, one row per frame, an explicit row stride for every matrix.
// Parallel kernels take a pool; NULL runs them on the calling thread.
//
// Products and GELU have an AVX2/FMA twin, and they, layer norm and softmax an
// AVX-512 twin, chosen once per process at run time (TOVANTTS_NO_SIMD, set to
// anything, forces the portable path; TOVANTTS_NO_AVX512 stops at AVX2). The
// AVX-512 product and GELU give the AVX2 bits; the other twins differ from the
// portable kernels only in rounding; none depends on the number of threads.
#pragma once

#include <stdint.h>

#include "runtime/pool.h"
#include "runtime/weights.h"

/* 1 when the AVX2/FMA path (or the AVX-512 one, which includes it) is used, else 0. */
int tv_cpu_avx2(void);
/* 1 when the AVX-512 path is used, else 0. */
int tv_cpu_avx512(void);

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
