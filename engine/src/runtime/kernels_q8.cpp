// The 8-bit product: activations quantised per row to bytes, times int8
// weights relaid once into panels of 16 columns by groups of 4 bytes (the
// layout of the processors' 8-bit dot products). The sums over the depth are
// exact 32-bit integers, so the paths differ only in speed.
#include <string.h>

#include "runtime/error.h"
#include "runtime/kernels.h"
#include "runtime/kernels_simd.h"

#define SERIAL_WORK 200000.0 /* multiply-adds x 2 below which a product stays on the caller */
#define TILE_N 64
#define BLOCK_M 96
#define GROUP 64 /* bytes of one group in a panel: 16 columns x 4 */

int64_t tv_q8_depth(int32_t K) { return ((int64_t)K + 3) / 4 * 4; }

int tv_q8mat_make(const tv_mat *W, tv_q8mat *out) {
  memset(out, 0, sizeof *out);
  if (W->storage != TV_MAT_I8 || W->rows < 1 || W->cols < 1 || W->cols > TV_Q8_MAX_K) {
    tv_seterr("q8: needs an int8 matrix of 1 to %d columns (storage %u, %d x %d)", TV_Q8_MAX_K, W->storage,
              W->rows, W->cols);
    return -1;
  }
  const int32_t N = W->rows, K = W->cols, kq = (int32_t)tv_q8_depth(K);
  const int64_t panels = ((int64_t)N + 15) / 16, pstride = (int64_t)kq / 4 * GROUP;
  out->panels = (int8_t *)tv_calloc((size_t)(panels * pstride));
  out->sums = (int32_t *)tv_calloc(sizeof(int32_t) * (size_t)(panels * 16));
  if (!out->panels || !out->sums) {
    tv_q8mat_free(out);
    return -1;
  }
  for (int32_t n = 0; n < N; n++) {
    const int8_t *w = W->i8 + (int64_t)n * K;
    int8_t *p = out->panels + n / 16 * pstride + n % 16 * 4;
    int32_t sum = 0;
    for (int32_t k = 0; k < K; k++) {
      p[k / 4 * GROUP + k % 4] = w[k];
      sum += w[k];
    }
    out->sums[n] = sum;
  }
  out->rows = N;
  out->cols = K;
  out->kq = kq;
  out->scales = W->scales;
  return 0;
}

void tv_q8mat_free(tv_q8mat *m) {
  if (!m) return;
  tv_free(m->panels);
  tv_free(m->sums);
  memset(m, 0, sizeof *m);
}

// ---- quantising rows

void tv_quant_rows(const float *X, int32_t rows, int32_t K, int64_t ldx, uint8_t *Q, int64_t ldq, float *scale,
                   int32_t *zero) {
  if (tv_cpu_path() == TV_PATH_AVX512) {
    tv_quant_rows_avx512(X, rows, K, ldx, Q, ldq, scale, zero);
    return;
  }
  if (tv_cpu_path() == TV_PATH_AVX2) {
    tv_quant_rows_avx2(X, rows, K, ldx, Q, ldq, scale, zero);
    return;
  }
  const int64_t kq = tv_q8_depth(K);
  for (int32_t r = 0; r < rows; r++) {
    const float *x = X + r * ldx;
    uint8_t *q = Q + r * ldq;
    float lo = 0.0f, hi = 0.0f, inv;
    int nan = 0;
    tv_q8_extremes(x, 0, K, &lo, &hi, &nan);
    if (tv_q8_row_params(lo, hi, nan, &scale[r], &inv, &zero[r])) memset(q, 0, (size_t)kq);
    else tv_q8_bytes(x, 0, K, kq, inv, zero[r], q);
  }
}

// ---- the product

// Every row of A against every column of the tile, one integer sum each.
static void tile_portable(int32_t rows, int32_t nc, int32_t groups, const uint8_t *A, int64_t lda, const float *scale,
                          const int32_t *zero, const int8_t *panels, int64_t pstride, const int32_t *,
                          const float *sw, const float *bias, float *Y, int64_t ldy) {
  for (int32_t r = 0; r < rows; r++) {
    const uint8_t *a = A + r * lda;
    const int32_t z = zero[r];
    for (int32_t c0 = 0; c0 < nc; c0 += 16) {
      const int8_t *P = panels + c0 / 16 * pstride;
      int32_t acc[16] = {0};
      for (int32_t g = 0; g < groups; g++) {
        const int8_t *p = P + (int64_t)g * GROUP;
        for (int t = 0; t < 4; t++) {
          const int32_t v = (int32_t)a[4 * g + t] - z;
          for (int j = 0; j < 16; j++) acc[j] += v * p[4 * j + t];
        }
      }
      const int32_t jn = nc - c0 < 16 ? nc - c0 : 16;
      for (int32_t j = 0; j < jn; j++) {
        const float s = scale[r] * sw[c0 + j];
        float v = (float)acc[j] * s;
        if (bias) v = v + bias[c0 + j];
        Y[r * ldy + c0 + j] = v;
      }
    }
  }
}

tv_q8_tile_fn tv_q8_tile(void) {
  if (tv_cpu_vnni()) return tv_q8_tile_vnni;
  if (tv_cpu_path() >= TV_PATH_AVX2) return tv_cpu_has_avxvnni() ? tv_q8_tile_avxvnni : tv_q8_tile_avx2;
  return tile_portable;
}

struct q8_job {
  const uint8_t *Q;
  int64_t ldq;
  const float *scale;
  const int32_t *zero;
  int32_t n;
  const tv_q8mat *W;
  const float *bias;
  float *Y;
  int64_t ldy;
  int32_t block_m, tiles;
  tv_q8_tile_fn tile;
};

static void q8_item(void *arg, int32_t item, int32_t) {
  const q8_job *j = (const q8_job *)arg;
  const int32_t rb = item / j->tiles, tile = item % j->tiles;
  const int32_t r0 = rb * j->block_m, r1 = r0 + j->block_m < j->n ? r0 + j->block_m : j->n;
  const int32_t c0 = tile * TILE_N, nc = j->W->rows - c0 < TILE_N ? j->W->rows - c0 : TILE_N;
  const int64_t pstride = (int64_t)j->W->kq / 4 * GROUP;
  j->tile(r1 - r0, nc, j->W->kq / 4, j->Q + r0 * j->ldq, j->ldq, j->scale + r0, j->zero + r0,
          j->W->panels + c0 / 16 * pstride, pstride, j->W->sums + c0, j->W->scales + c0, j->bias ? j->bias + c0 : NULL,
          j->Y + r0 * j->ldy + c0, j->ldy);
}

void tv_linear_q8(tv_pool *pool, const uint8_t *Q, int64_t ldq, const float *scale, const int32_t *zero, int32_t n,
                  const tv_q8mat *W, const float *bias, float *Y, int64_t ldy) {
  if (n < 1 || W->rows < 1) return;
  if (2.0 * n * (double)W->rows * W->cols < SERIAL_WORK) pool = NULL;
  const int32_t threads = tv_pool_size(pool);
  q8_job j = {Q, ldq, scale, zero, n, W, bias, Y, ldy, 0, 0, NULL};
  j.tiles = (W->rows + TILE_N - 1) / TILE_N;
  j.block_m = threads > 1 && j.tiles < 3 * threads ? BLOCK_M : n;
  j.tile = tv_q8_tile();
  const int32_t blocks = (n + j.block_m - 1) / j.block_m;
  tv_parallel_for(pool, blocks * j.tiles, q8_item, &j);
}
