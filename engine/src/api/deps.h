// What the engine handle and rendering use of the text front end and of the
// full model's networks. Each block takes the unit's own header when the
// build has it, and otherwise declares the same interface, so this layer
// builds while those units are being written.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "runtime/json.h"
#include "runtime/pool.h"
#include "runtime/weights.h"

// ---- text front end: symbol ids ----
#if __has_include("front/frontend.h")
#include "front/frontend.h"
#else
#define TV_FRONT_PENDING 1
typedef struct tv_front tv_front;
typedef struct tv_phonemes {
  int32_t *ids;
  int32_t *words;
  int32_t count;
  int32_t capacity;
} tv_phonemes;
tv_front *tv_front_load(const char *dir);
void tv_front_free(tv_front *front);
int tv_front_phonemes(const tv_front *front, const char *text, tv_phonemes *out);
void tv_phonemes_free(tv_phonemes *out);
int tv_front_has_speech(const tv_phonemes *out);
#endif

// ---- text front end: markup and segments ----
#if __has_include("front/markup.h")
#include "front/markup.h"
#else
#define TV_MARKUP_PENDING 1
typedef struct tv_word_shift {
  int32_t word;
  float pitch, energy, dur;
} tv_word_shift;
typedef struct tv_segment {
  char *text;
  char *tag;
  int32_t nctrl;
  char **ctrl_names;
  float *ctrl_values;
  int32_t nshift;
  tv_word_shift *shifts;
  int32_t pause_ms;
  int32_t skip;
} tv_segment;
typedef int (*tv_style_resolver)(void *state, const char *prompt, char **tag, int32_t *count,
                                 char ***names, float **values);
int tv_front_parse_markup(const tv_front *front, const char *text, const char *tag,
                          const char *const *ctrl_names, const float *ctrl_values, int32_t ctrl_count,
                          const char *const *tags, int32_t tag_count, tv_style_resolver resolver,
                          void *resolver_state, tv_segment **segments, int32_t *count);
void tv_segments_free(tv_segment *segments, int32_t count);
#endif

// ---- full model: flow refiner, speaker encoder, prompt encoder ----
#if __has_include("nn/flow.h")
#include "nn/flow.h"
#define TV_HAVE_FLOW 1
#endif
#if __has_include("nn/spkenc.h")
#include "nn/spkenc.h"
#define TV_HAVE_WAVLM 1
#endif
#if __has_include("nn/prompt.h")
#include "nn/prompt.h"
#define TV_HAVE_PROMPT 1
#endif
