// The AVX2/FMA twins of the kernels (kernels_avx2.cpp, built with -mavx2 -mfma).
// Only called when tv_cpu_avx2() says so.
#pragma once

#include <stdint.h>

#define TV_MR 6   /* rows of the micro-kernel */
#define TV_NR 16  /* columns of a packed panel */

/* For benchmarks that compare the paths in one process: 0 forces the portable
   path, 1 goes back to what the processor and environment allow. */
void tv_cpu_avx2_override(int use_avx2);

/* Y[mr x nr] = (or += when add) A[mr x kb] (stride lda) x P, where P is a packed
   panel of kb rows of 16 floats. mr <= 6, nr <= 16. */
typedef void (*tv_ukernel_fn)(int mr, int nr, int kb, const float *A, int64_t lda, const float *P, float *Y,
                              int64_t ldy, int add);

void tv_ukernel_avx2(int mr, int nr, int kb, const float *A, int64_t lda, const float *P, float *Y,
                     int64_t ldy, int add);
/* GELU over n elements; a tail below 8 elements is left for the caller. Returns
   the number of elements done. */
uint64_t tv_gelu_avx2(float *X, uint64_t n);
