#include "nn/lin.h"

#include <stdio.h>

int tv_lin_load(tv_weights *w, const char *name, int32_t rows, int32_t cols, tv_lin *out) {
  // name may live in one of tv_name's rotating buffers, which the weights
  // container itself reuses for the names of quantised parts.
  char base[512];
  snprintf(base, sizeof base, "%s", name);
  const tv_mat *m = tv_weights_mat(w, tv_name("%s.weight", base), rows, cols);
  if (!m) return -1;
  const float *b = tv_weights_f32(w, tv_name("%s.bias", base), m->rows);
  if (!b) return -1;
  out->w = m;
  out->b = b;
  return 0;
}
