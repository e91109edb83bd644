// Sample-rate conversion with a Kaiser-windowed sinc filter in polyphase form.
#pragma once

#include <stddef.h>
#include <stdint.h>

/* floor(n / (in / out) + 0.5): the length tv_resample produces; 0 for rates
   that are not positive. */
size_t tv_resample_len(size_t n, int32_t in_rate, int32_t out_rate);
/* 0 / -1. *y (at least one float, freed with tv_free) receives *m samples at
   out_rate. Pass band up to 0.913 of the lower Nyquist frequency, stop band
   from that Nyquist frequency on. */
int tv_resample(const float *x, size_t n, int32_t in_rate, int32_t out_rate, float **y,
                size_t *m);
