// The sequence mixer of "hybrid" acoustic layers: per head a small matrix
// state that decays, is rotated pairwise by input-dependent angles and
// accumulates key-value outer products, read out by queries. One mixer scans
// forward in time, its twin backward.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "nn/lin.h"
#include "runtime/weights.h"

struct tv_pool;

#define TV_SEQMIX_DV 32     /* value width per head */
#define TV_SEQMIX_MAX_S 64  /* largest key / query state size */

typedef struct tv_seqmix {
  int32_t H, S, Dv;
  const float *norm_w;    /* d */
  const float *k_norm_w;  /* S */
  const float *q_norm_w;  /* S */
  const float *k_bias;    /* S x H, in the layout of the key row */
  const float *q_bias;    /* S x H */
  float *neg_decay;       /* H: -exp(decay_log), owned */
  tv_lin in_proj, k_proj, q_proj, v_proj, step_proj, rot_proj, mix_proj, out_proj;
} tv_seqmix;

/* 0 / -1. Loads the mixer "<prefix>.*" of a d-wide layer with state size S;
   d must be a multiple of 32 and S even and at most 64. */
int tv_seqmix_load(tv_weights *w, const char *prefix, int32_t d, int32_t S, tv_seqmix *m);
/* Frees what the mixer owns (not the record). */
void tv_seqmix_free(tv_seqmix *m);

/* Floats of scratch tv_seqmix_run needs for L frames of width d. */
size_t tv_seqmix_scratch(int64_t L, int32_t d, int32_t S);
/* Both directions over the L x d rows h (the layer's normalised input): the
   forward mixer's gated output is added to x, then the backward one's.
   Cannot fail; scratch holds tv_seqmix_scratch floats. */
void tv_seqmix_run(struct tv_pool *pool, const tv_seqmix *fwd, const tv_seqmix *bwd, const float *h,
                   int32_t L, int32_t d, float *x, float *scratch);
