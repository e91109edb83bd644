// The acoustic model: phoneme symbol ids in, a 100-bin mel spectrogram out.
// An encoder, duration / pitch / energy predictors, a length regulator and a
// decoder, every normalisation an AdaLN driven by one conditioning vector g
// that tv_acoustic_condition makes from a speaker, a tag and 12 controls.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "nn/lin.h"
#include "nn/seqmix.h"
#include "runtime/json.h"
#include "runtime/weights.h"

struct tv_pool;

#define TV_ACOUSTIC_MEL 100
#define TV_ACOUSTIC_MAX_FRAMES 65536
#define TV_ACOUSTIC_MAX_COND 512
#define TV_N_CONTROLS 12

typedef struct tv_ac_layer {
  int32_t n1, n_seq, n2;  /* AdaLN indices; n_seq only in hybrid layers */
  int32_t hybrid;
  const tv_mat *in_proj_w; /* 3d x d: q, k, v */
  const float *in_proj_b;
  tv_lin out_proj;
  tv_seqmix fwd, bwd;      /* hybrid layers only */
  tv_lin c1, c2;           /* feed-forward: conv d -> ffn (kernel k), ffn -> d */
} tv_ac_layer;

typedef struct tv_ac_stack {
  int32_t layers;
  tv_ac_layer *layer;
  int32_t out_norm;
} tv_ac_stack;

typedef struct tv_ac_varpred {
  tv_lin c1, c2, out;
  int32_t n1, n2;
} tv_ac_varpred;

typedef struct tv_acoustic {
  int32_t d, heads, ffn, k, g_dim, spk_dim, tag_dim;
  int32_t n_symbols, n_tags;
  int32_t spk_enc_dim, state_dim;
  const tv_mat *emb, *tag;
  tv_lin spk_proj;          /* absent (NULL) without a speaker projection */
  tv_lin cond0, cond2;
  tv_ac_stack enc, dec;
  tv_ac_varpred dur, pitch, energy;
  tv_lin pitch_emb, energy_emb, to_mel;
  int32_t n_ada, cap_ada;
  tv_lin *ada;              /* 2d x g_dim each */
} tv_acoustic;

/* The model or NULL. arch is the JSON object of architecture numbers (NULL or
   missing keys give the defaults). The weights must outlive the model. */
tv_acoustic *tv_acoustic_load(tv_weights *w, const tv_json *arch);
void tv_acoustic_free(tv_acoustic *m);

int32_t tv_acoustic_g_dim(const tv_acoustic *m);
int32_t tv_acoustic_n_symbols(const tv_acoustic *m);
int32_t tv_acoustic_n_tags(const tv_acoustic *m);
/* Width of an external speaker vector, 0 when the model has no projection. */
int32_t tv_acoustic_spk_enc_dim(const tv_acoustic *m);

/* 0 / -1. g (g_dim floats) from a voice row (spk_dim floats) or a speaker
   vector (spk_enc_dim floats; it wins when both are given), a tag index and
   12 control values with their flags (either may be NULL: zeros). g is
   written only on success. Runs on the calling thread. */
int tv_acoustic_condition(const tv_acoustic *m, const float *voice_row, const float *spk_vec, int32_t tag,
                          const float *ctrl, const float *mask, float *g);

/* 0 / -1. One segment's symbols to mel frames. words (n word numbers) and
   shifts (n_words rows of pitch offset, energy offset, duration factor) are
   optional and act only together; g_ref (or NULL) is the conditioning the
   prediction is amplified against with weight w. *mel (T x 100) and *durs
   (n frame counts, when durs is not NULL) are freed with tv_free; the outputs
   are cleared on entry. */
int tv_acoustic_infer(const tv_acoustic *m, struct tv_pool *pool, const int32_t *ids, const int32_t *words,
                      int32_t n, const float *g, const float *g_ref, const float *shifts, int32_t n_words,
                      float **mel, int32_t *frames, int32_t **durs, float w, float pace);
