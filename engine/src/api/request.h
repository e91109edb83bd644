// Synthesis requests. Whatever call a request came through, it is written
// once as a JSON object and validated by req_from_json into a tv_request;
// tovantts_options become that JSON through req_from_options. Messages show
// JSON values the way the request's own language would (py_repr, py_float),
// and callers may match them word for word.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "front/sb.h"
#include "runtime/json.h"
#include "tovantts.h"

#define TV_REQ_MAX_TEXT 5000
#define TV_N_CTRL 12

enum { TV_SHIFT_PITCH = 1, TV_SHIFT_ENERGY = 2, TV_SHIFT_DUR = 4 };

// One word's prosody shift; mask bits say which members were given.
typedef struct tv_req_shift {
  int32_t index;
  float pitch, energy, dur;
  uint32_t mask;
} tv_req_shift;

typedef struct tv_request {
  char *text;
  char *voice;    // NULL when a speaker vector or a clip stands in
  char *ref_wav;
  float *spk_vec;  // 512 floats
  char *prompt;
  char *tag;

  int32_t n_ctrl;  // one entry per distinct control, at most 12
  int32_t ctrl_idx[TV_N_CTRL];
  double ctrl_val[TV_N_CTRL];

  double pace;
  double guidance;

  int32_t markup;
  int32_t flow;
  int64_t seed;

  int32_t n_shifts;  // one record per distinct word index, first-seen order
  tv_req_shift *shifts;

  // Filled when a free-text prompt was mapped.
  int32_t mapped;
  char *mapped_tag;
  int32_t n_mapped_ctrl;
  int32_t mapped_idx[TV_N_CTRL];
  double mapped_val[TV_N_CTRL];
  int32_t n_top;
  char *top_tags[3];
  double top_prob[3];
} tv_request;

/* 0 / -1. Writes the options as request JSON and validates it. */
int req_from_options(const tovantts_engine *e, const char *text, const tovantts_options *opt,
                     tv_request *r, int streaming);
/* 0 / -1. Validates a JSON request into r (zeroed first). */
int req_from_json(const tovantts_engine *e, const char *json, tv_request *r, int streaming);
/* Frees every owned field and zeroes the record. */
void req_free(tv_request *r);
/* 0 / -1. The request JSON of some options, into *out (tv_free). */
int req_options_json(const char *text, const tovantts_options *opt, char **out);
/* The canonical form of a validated (and resolved) request, or NULL with
   "out of memory". Freed with tv_free. */
char *req_canonical(const tovantts_engine *e, const tv_request *r);

/* 0 / -1. The word shifts of a JSON object into r. */
int parse_word_shift(const tv_json *obj, tv_request *r);
/* 0 / -1. A JSON number inside [lo, hi] into *out; the messages name it and
   show the bounds as given (in parentheses when paren is set). */
int json_num(const char *name, const tv_json *v, const char *lo_text, const char *hi_text,
             int paren, double *out, double lo, double hi);
/* Control index 0-11 of a name, or -1. */
int32_t ctrl_index(const char *name);

/* Text forms. Buffers of TV_NUM_TEXT bytes hold any number. */
#define TV_NUM_TEXT 40
#define TV_REPR_TEXT 256
/* A double in its shortest round-trip form: 1.0, 0.0001, 1e+16, 1.5e-05, nan. */
void py_float(char *out, double v);
/* An f32 by its shortest f32 decimal, written by py_float (1.1f gives 1.1). */
void float_short(char *out, float v);
/* A JSON value as messages show it (at most 255 bytes). */
void py_repr(char *out, const tv_json *v);
/* Appends a JSON string literal. */
void sb_json_str(uint32_t *flag, sb *b, const char *s);
/* Appends a number as written JSON: py_float, NaN and Infinity spelled out. */
void sb_json_num(uint32_t *flag, sb *b, double v);
/* Appends {"name": value, ...} of n controls. */
void sb_json_ctrl(uint32_t *flag, sb *b, int32_t n, const int32_t *idx, const double *val);
