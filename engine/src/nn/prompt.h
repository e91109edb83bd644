// The free-text style prompt: a MiniLM sentence encoder (six BERT layers of
// 384) over the prompt's WordPiece tokens gives a unit-length embedding; a
// small adapter maps it to a probability per style tag and to values for the
// prosody controls it predicts present. Also the reference-clip mel that a
// prompted refiner takes as its prompt, levelled to the segment's mel.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "nn/lin.h"
#include "nn/wordpiece.h"
#include "runtime/pool.h"
#include "runtime/weights.h"

#define TV_MINILM_D 384
#define TV_MINILM_FFN 1536
#define TV_MINILM_LAYERS 6
#define TV_MINILM_HEADS 12
#define TV_MINILM_MAX_TOKENS 256
#define TV_PROMPT_HIDDEN 512
#define TV_PROMPT_CONTROLS 12

typedef struct tv_prompt_mapping {
  int32_t n_tags;     /* always 3 */
  int32_t tag[3];     /* most probable first; indices into the tag list */
  float prob[3];      /* rounded to 3 decimals */
  int32_t n_ctrl;     /* 0..12 */
  int32_t ctrl[TV_PROMPT_CONTROLS];  /* controls predicted present, in control order */
  float val[TV_PROMPT_CONTROLS];     /* their values rounded to 2 decimals */
  int32_t prob_milli[3];             /* the same numbers as exact integers */
  int32_t val_centi[TV_PROMPT_CONTROLS];
} tv_prompt_mapping;

typedef struct tv_minilm_layer {
  tv_lin q, k, v, o, inter, out;
  const float *ln1_w, *ln1_b, *ln2_w, *ln2_b;
} tv_minilm_layer;

typedef struct tv_prompt {
  tv_wordpiece *vocab;
  const tv_mat *word, *pos, *type;
  const float *emb_ln_w, *emb_ln_b;
  tv_minilm_layer layer[TV_MINILM_LAYERS];
  tv_lin body0, body3, tag, spec, val;
  char **tags;
  int32_t n_tags;
} tv_prompt;

/* The prompt model or NULL: MiniLM weights, the vocabulary file, adapter
   weights and the adapter's tag names (copied). Both containers must
   outlive it. */
tv_prompt *tv_prompt_load(tv_weights *minilm, const char *vocab, tv_weights *adapter, const char *const *tags,
                          int32_t n);
void tv_prompt_free(tv_prompt *p);
int32_t tv_prompt_n_tags(const tv_prompt *p);
/* Tag name i, or NULL out of range. */
const char *tv_prompt_tag(const tv_prompt *p, int32_t i);

/* 0 / -1. The 384-value unit-length sentence embedding of UTF-8 text. */
int tv_minilm_embed(const tv_prompt *p, tv_pool *pool, const char *text, float *out);
/* The adapter's raw outputs for an embedding: tag probabilities (n_tags),
   control presence logits and control values (12 each). 0 / -1. */
int tv_prompt_heads(const tv_prompt *p, const float *embed, float *prob, float *spec, float *val);
/* 0 / -1. The mapping of a text. */
int tv_prompt_map(const tv_prompt *p, tv_pool *pool, const char *text, tv_prompt_mapping *m);

/* The integer nearest to x 10^digits, ties to even, computed on the exact
   product (digits below 1 count as 0); 0 for NaN, saturated for huge values. */
int64_t tv_pyround_scaled(int32_t digits, double x);

/* Usable mel bins of a reference first recorded at `rate` Hz (8..100). */
int32_t tv_prompt_mel_bins(int32_t rate);
/* 0 / -1. The reference clip (n samples at 24000 Hz, first recorded at rate
   Hz) as a prompt for the prompted refiner, levelled to the segment's mel
   (T x 100): *pmel gets F x 100 floats (freed with tv_free) and *frames F.
   Clips under 0.5 s give no prompt (NULL, 0) and success. */
int tv_prompt_mel(const float *ref, size_t n, int32_t rate, const float *mel, int32_t T, float **pmel,
                  int32_t *frames);
