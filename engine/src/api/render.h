// Rendering a validated request: the speaker (voice row, given vector or a
// cloned clip), the free-text prompt, and each segment through the front end,
// the acoustic model, the optional flow refiner and the vocoder. Whole
// utterances collect the segments into one buffer; streams hand each segment
// to a sink as soon as it is rendered.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "api/engine.h"
#include "api/request.h"

// The speaker of one request. Vectors are not owned: a voice row, the
// request's own vector or the engine's reference-clip cache.
typedef struct tv_speaker {
  const float *spk_vec;    // 512 floats, or NULL
  const float *voice_row;  // edge model: a row of voices.safetensors
  float *clip;             // owned reference clip at 24000 Hz
  size_t clip_n;
  int32_t clip_rate;       // the clip's rate before resampling
} tv_speaker;

void speaker_free(tv_speaker *sp);

/* Receives one segment: samples (NULL only for n = 0) and its info. A
   negative result is an error, a positive one stops the run. */
typedef int (*tv_sink)(void *state, const float *x, int64_t n, const tovantts_chunk_info *info);

/* The collector behind whole-utterance synthesis: growable samples. */
typedef struct tv_collector {
  float *x;
  int64_t n, cap;
  int32_t chunks;
} tv_collector;

/* 0 / -1 ("out of memory"): appends n samples (NULL appends silence). */
int fb_add(tv_collector *c, const float *x, int64_t n);
/* A tv_sink over a tv_collector. */
int collect_sink(void *collector, const float *x, int64_t n, const tovantts_chunk_info *info);

/* 0 / -1: maps a free-text prompt into the request's tag and controls. */
int resolve_prompt(tovantts_engine *e, tv_request *r);
/* 0 / -1: the speaker of a request into sp (zeroed first). */
int speaker_of(tovantts_engine *e, const tv_request *r, tv_speaker *sp);
/* 0 / -1: a reference clip's speaker vector, through the engine's cache. */
int ref_vector(tovantts_engine *e, const char *path, tv_speaker *sp);
/* 64-bit hash of a clip's samples, never 0. */
uint64_t clip_hash(const float *x, size_t n);
/* 0 / -1: the whole utterance into *audio (tv_free), *n samples. */
int synth_req(tovantts_engine *e, tv_request *r, float **audio, int64_t *n);
/* 0 / -1: the markup segments of the request one by one into the sink. */
int run_segments(tovantts_engine *e, const tv_request *r, const tv_speaker *sp, tv_sink sink, void *state);
/* 0 / -1: one segment's samples into *audio (tv_free, never NULL on
   success), *n samples (0 when there is nothing to say). */
int render(tovantts_engine *e, const char *text, const tv_speaker *sp, const char *tag, int32_t n_ctrl,
           const int32_t *ctrl_idx, const double *ctrl_val, const tv_req_shift *shifts, int32_t n_shifts,
           int32_t flow, int64_t seed, float **audio, int64_t *n, double pace, double guidance);
/* 0 / -1: the mapping of a prompt, written as the request's mapped fields
   (tag chosen among the engine's tags). */
int map_prompt(tovantts_engine *e, const char *prompt, tv_request *r);
/* Prompt resolver handed to the markup parser (full model). */
int style_of_prompt(void *engine, const char *prompt, char **tag, int32_t *n_ctrl, char ***names, float **vals);
