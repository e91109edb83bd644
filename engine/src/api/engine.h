// The engine handle behind tovantts_engine: what creation reads from a model
// directory (configuration, voices, tags, front end, networks), the thread
// pool every rendering uses, and the parts loaded on first need.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "runtime/json.h"
#include "runtime/pool.h"
#include "runtime/weights.h"
#include "tovantts.h"

struct tv_front;
struct tv_acoustic;
struct tv_vocoder;
struct tv_flow;
struct tv_prompt;
struct tv_wavlm;

#define TV_SPK_VEC 512
#define TV_ENGINE_VERSION "1.2.0"
#define TV_SAMPLE_RATE 24000

enum { TV_FEMALE = 0, TV_MALE = 1 };

struct tovantts_engine {
  int32_t edge;        // 1: "tovan-tts-edge", 0: "tovan-tts"
  char *model_dir;
  char *native_dir;
  char *precision;     // "fp32" or "int8"

  // Creation settings after their corrections (threads as given).
  int32_t threads;
  int32_t flow;
  int32_t flow_steps;
  float noise;
  float guidance;

  tv_pool *pool;

  int32_t n_voices;
  char **voices;
  const float *voice_table;  // n_voices rows of row_width floats, in voices_w
  int32_t row_width;
  tv_weights *voices_w;
  char *default_voice;

  char *genders;              // n_voices + 1 bytes: 'f', 'm' or 0
  int32_t genders_loaded;     // voices.json was read for genders
  int32_t gender_default[2];  // voice index per TV_FEMALE / TV_MALE, -1 = none

  int32_t n_tags;
  char **tags;

  struct tv_front *front;

  tv_weights *w_acoustic, *w_vocoder, *w_refiner, *w_pflow, *w_minilm, *w_adapter, *w_wavlm;
  struct tv_acoustic *acoustic;
  struct tv_vocoder *vocoder;
  struct tv_flow *refiner;   // NULL when absent
  struct tv_flow *pflow;     // prompted flow, loaded on first need
  int32_t pflow_missing;     // looked for and not found
  struct tv_prompt *prompt;  // loaded on first need
  char **adapter_tags;
  int32_t n_adapter_tags;
  int32_t adapter_tags_read;
  struct tv_wavlm *wavlm;    // loaded on first need

  tv_json *config;  // config.json, kept for the lazy loaders

  // The last reference clip's hash (0 = empty) and its speaker vector.
  uint64_t ref_hash;
  float ref_vec[TV_SPK_VEC];
};

// The twelve control names in index order.
extern const char *const TV_CONTROLS[12];

/* 0 / -1: loads the prompt encoder (full model; the edge model refuses). */
int need_prompt(tovantts_engine *e);
/* 0 / -1: loads the speaker encoder (full model; the edge model refuses). */
int need_wavlm(tovantts_engine *e);
/* 0 / -1: *out is the prompted flow, or NULL when the model has none. */
int get_pflow(tovantts_engine *e, struct tv_flow **out);
/* The container at dir/sub/name (sub NULL: dir/name), or NULL. */
tv_weights *open_weights(const char *dir, const char *sub, const char *name);
/* 1 when the native-directory file opens for reading ("int8/" before the
   name when the precision is int8). */
int asset_exists(const tovantts_engine *e, const char *name);
/* 0 / -1 ("expected a list"). An owned array of owned texts; items that are
   not texts become empty texts. A NULL value gives an empty list. */
int str_list(const tv_json *v, char ***out, int32_t *count);
void str_list_free(char **list, int32_t count);

/* Index of a name in a list, or -1. */
int32_t name_index(char *const *names, int32_t count, const char *name);
/* Pool size a thread setting gives: 0 = online processors, below 2 = 1. */
int32_t resolve_threads(int32_t n);
