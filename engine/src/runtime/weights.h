// Safetensors files, read in place through a read-only mapping, and the
// weights container on top that understands the engine's quantisation layout
// ("tovantts_quant" metadata: float, fp16, int8 with row scales, int4 with
// group scales). Model loaders ask for float arrays (tv_weights_f32) or matrix
// views (tv_weights_mat) that the kernels consume in their stored form.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "runtime/error.h"
#include "runtime/json.h"

enum {
  TV_DT_F32 = 0,
  TV_DT_F16 = 1,
  TV_DT_BF16 = 2,
  TV_DT_I8 = 3,
  TV_DT_U8 = 4,
  TV_DT_I16 = 5,
  TV_DT_I32 = 6,
  TV_DT_I64 = 7,
  TV_DT_BOOL = 8,
  TV_DT_F64 = 9,
};

#define TV_MAX_DIMS 8

typedef struct tv_tensor {
  char *name;
  int32_t dtype;              /* TV_DT_* */
  int32_t ndim;               /* 0..8 */
  uint64_t dims[TV_MAX_DIMS];
  const void *data;           /* inside the mapping; no alignment promised */
  uint64_t size;              /* bytes */
} tv_tensor;

typedef struct tv_file {
  char *path;
  void *map;
  size_t maplen;
  tv_tensor *tensors;  /* sorted by name (byte order) */
  int32_t count;
  tv_json *meta;       /* the "__metadata__" object or NULL */
} tv_file;

enum { TV_MAT_F32 = 0, TV_MAT_I8 = 1, TV_MAT_I4 = 2 };

/* A matrix of rows x cols in its stored form; read-only, owned by the
   container it came from.
   f32: value(r, c) = f32[r * cols + c]
   i8:  value(r, c) = i8[r * cols + c] * scales[r]
   i4:  element j = r * kp + c sits in byte j / 2 (low nibble when j is even),
        value(r, c) = (nibble - 8) * scales[r * (kp / g) + c / g] */
typedef struct tv_mat {
  uint32_t storage;  /* TV_MAT_* */
  int32_t rows;
  int32_t cols;
  const float *f32;
  const int8_t *i8;
  const uint8_t *i4;
  const float *scales;
  int32_t g;   /* int4 group size */
  int32_t kp;  /* int4 padded row width */
} tv_mat;

typedef struct tv_weights tv_weights;

/* The file, or NULL with a message naming the path. Closed with tv_file_close. */
tv_file *tv_file_open(const char *path);
void tv_file_close(tv_file *f);
/* Entry of that name, or NULL (no message). */
const tv_tensor *tv_file_find(const tv_file *f, const char *name);
int32_t tv_file_count(const tv_file *f);
/* Entry i, 0 <= i < count. */
const tv_tensor *tv_file_tensor(const tv_file *f, int32_t i);
/* String value of a "__metadata__" member, or NULL. */
const char *tv_file_metadata(const tv_file *f, const char *key);
/* Product of the dimensions (1 for none). */
uint64_t tv_numel(const tv_tensor *t);
/* Bytes per element of a dtype, 0 for an unknown code. */
int32_t tv_dtype_size(int32_t dtype);

float tv_half_to_float(uint16_t h);
float tv_bf16_to_float(uint16_t b);

/* The container, or NULL. Closed with tv_weights_close, which frees every view
   and array it handed out. */
tv_weights *tv_weights_open(const char *path);
void tv_weights_close(tv_weights *w);
const char *tv_weights_path(const tv_weights *w);
const tv_file *tv_weights_file(const tv_weights *w);
/* 1 when the layout or the file knows the name, else 0. */
int tv_weights_has(const tv_weights *w, const char *name);
/* Dimensions of the logical shape into dims; 0 when the tensor is missing or
   its layout shape is bad (with a message). */
int tv_weights_shape(const tv_weights *w, const char *name, uint64_t dims[TV_MAX_DIMS]);
/* Float array of the logical tensor (expected < 1: any element count), or NULL. */
const float *tv_weights_f32(tv_weights *w, const char *name, int64_t expected);
/* As tv_weights_f32, refusing an array that holds NaN or an infinity: for
   norms, scales and tables, where a damaged file would otherwise turn every
   result into NaN. */
const float *tv_weights_finite(tv_weights *w, const char *name, int64_t expected);
/* Matrix view (rows/cols < 1: any), or NULL. */
const tv_mat *tv_weights_mat(tv_weights *w, const char *name, int32_t rows, int32_t cols);

/* Formats a tensor name into the next of four rotating 512-byte buffers of the
   calling thread, so four names built in a row stay valid together. */
const char *tv_name(const char *fmt, ...) TV_PRINTF(1, 2);
