// The refiner's AVX2/FMA twins (flow_avx2.cpp) and AVX-512 GELUs
// (flow_avx512.cpp); called only when tv_cpu_avx2() / tv_cpu_avx512() say so.
#pragma once

#include <stdint.h>

/* One frame: u = depthwise convolution of h at frame f (7 taps, dilation
   dil, frames outside [0, N) as zero) plus bias, layer-normalised over d
   (d a multiple of 8) and modulated with (1 + scale) and shift. */
void tv_flow_dwnorm_avx2(const float *h, int64_t N, int32_t d, int64_t f, int32_t dil, const float *taps,
                         const float *bias, const float *scale, const float *shift, float *u);
/* out = h + gate x u over d values (multiply, then add: the portable bits). */
void tv_flow_gate_avx2(float *out, const float *h, const float *gate, const float *u, int32_t d);
/* GELU with the five-term erf approximation over n values (n a multiple
   of 8). */
void tv_flow_gelu_avx2(float *x, int64_t n);
/* The same on 16-wide registers, to the bit. */
void tv_flow_gelu_avx512(float *x, int64_t n);
/* The same with a refined approximate reciprocal in place of the division
   (a relative difference of a few 1e-7), over any n: for the 8-bit blocks,
   whose GELU output is quantised next. */
void tv_flow_gelu_fast_avx512(float *x, int64_t n);
