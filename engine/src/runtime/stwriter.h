// Writes safetensors files, plain or in the engine's quantised layout, for the
// model generator and the tests. Tensors are collected in memory, then saved
// atomically (temporary file in the same folder, then rename).
#pragma once

#include <stdint.h>

#include "runtime/weights.h"

typedef struct tv_stwriter tv_stwriter;

/* Storage forms for tv_stwriter_add_mat. */
enum { TV_ST_RAW = 0, TV_ST_FP16 = 1, TV_ST_INT8 = 2, TV_ST_INT4 = 3 };

/* A new empty writer, or NULL. Freed with tv_stwriter_free. */
tv_stwriter *tv_stwriter_create(void);
void tv_stwriter_free(tv_stwriter *w);

/* 0 / -1. Adds a tensor of any dtype; data holds numel x element size bytes
   (copied). A name added again replaces the earlier tensor. */
int tv_stwriter_add(tv_stwriter *w, const char *name, int32_t dtype, int32_t ndim, const int64_t *dims,
                    const void *data);
/* 0 / -1. A float tensor stored as "F32". */
int tv_stwriter_add_f32(tv_stwriter *w, const char *name, int32_t ndim, const int64_t *dims,
                        const float *data);
/* 0 / -1. A logical tensor (first dimension = rows, the rest = columns) in one
   of the storage forms, with its layout entry: TV_ST_RAW as F32, TV_ST_FP16 as
   F16, TV_ST_INT8 as "::q"/"::s" with one scale per row, TV_ST_INT4 with one
   scale per group of g columns and rows padded to kp (kp 0: the smallest even
   multiple of g that holds the columns). Scales are max |x| / 127 (int8) and
   max |x| / 7 (int4); values round to nearest. */
int tv_stwriter_add_mat(tv_stwriter *w, const char *name, int32_t storage, int32_t ndim,
                        const int64_t *dims, const float *data, int32_t g, int32_t kp);
/* 0 / -1. A "__metadata__" string member. The key "tovantts_quant" is written
   by the writer itself when any quantised matrix was added. */
int tv_stwriter_meta(tv_stwriter *w, const char *key, const char *value);
/* 0 / -1. Writes the file atomically; data offsets are 64-byte aligned. */
int tv_stwriter_save(tv_stwriter *w, const char *path);

/* IEEE half of a float, rounded to nearest even (infinities and NaNs kept). */
uint16_t tv_float_to_half(float f);
