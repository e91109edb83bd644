// The vocoder: mel frames in, 24 kHz samples out. A ConvNeXt backbone over the
// frames, a linear head predicting a log-magnitude and a phase for every STFT
// bin, then the inverse STFT.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "runtime/pool.h"
#include "runtime/weights.h"

#define TV_VOCODER_MEL 100
#define TV_VOCODER_TAPS 7

typedef struct tv_voc_block {
  float *taps;            /* 7 rows of dim floats: tap k of every channel; owned */
  const float *dw;        /* dwconv.weight as stored: dim x 7 */
  const float *dw_b, *norm_w, *norm_b, *gamma, *pw1_b, *pw2_b;
  const tv_mat *pw1, *pw2; /* inter x dim, dim x inter */
} tv_voc_block;

typedef struct tv_vocoder {
  int32_t dim, inter, layers, n_fft, hop;
  const tv_mat *embed, *head;
  const float *embed_b, *norm_w, *norm_b, *final_w, *final_b, *head_b;
  tv_voc_block *block;
} tv_vocoder;

/* The vocoder or NULL. The weights must outlive it. */
tv_vocoder *tv_vocoder_load(tv_weights *w, int32_t dim, int32_t inter, int32_t layers, int32_t n_fft, int32_t hop);
void tv_vocoder_free(tv_vocoder *v);
/* 0 / -1. T rows of 100 floats to (T - 1) x hop samples in *audio (at least
   one float, freed with tv_free). Outputs are NULL / 0 on every failure. */
int tv_vocoder_decode(const tv_vocoder *v, tv_pool *pool, const float *mel, int32_t T, float **audio, size_t *n);
