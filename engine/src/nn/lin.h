// A linear layer as the networks load it: a weight matrix view and a bias of
// as many floats as the matrix has rows, both owned by the weights container.
#pragma once

#include <stdint.h>

#include "runtime/weights.h"

typedef struct tv_lin {
  const tv_mat *w;
  const float *b;
} tv_lin;

/* 0 / -1. "<name>.weight" (rows x cols; below 1 means any) and "<name>.bias";
   the container's message stands on failure. */
int tv_lin_load(tv_weights *w, const char *name, int32_t rows, int32_t cols, tv_lin *out);
