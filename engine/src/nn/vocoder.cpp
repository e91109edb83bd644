#include "nn/vocoder.h"

#include <math.h>
#include <string.h>

#include "nn/rows.h"
#include "runtime/dsp.h"
#include "runtime/error.h"
#include "runtime/kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#define TV_X86 1
#endif

#define LN_EPS 1e-6f
#define MAX_MAGNITUDE 100.0f
#define MAX_SIZE 65536
#define MAX_LAYERS 1024

tv_vocoder *tv_vocoder_load(tv_weights *w, int32_t dim, int32_t inter, int32_t layers, int32_t n_fft,
                            int32_t hop) {
  // A hop at or above the FFT size leaves samples under no window at all: the
  // inverse STFT could never decode such a model.
  if (n_fft < 2 || n_fft > MAX_SIZE || (n_fft & (n_fft - 1)) != 0 || dim < 1 || dim > MAX_SIZE || inter < 1 ||
      inter > MAX_SIZE || layers < 1 || layers > MAX_LAYERS || hop < 1 || hop >= n_fft) {
    tv_seterr("vocoder: bad shape (dim %d inter %d layers %d n_fft %d hop %d)", dim, inter, layers, n_fft, hop);
    return NULL;
  }
  // The layer count comes from a config file: the weights must hold that many
  // blocks before anything is allocated for them.
  if (!tv_weights_has(w, tv_name("backbone.convnext.%d.dwconv.weight", layers - 1))) {
    tv_seterr("%s: vocoder layers = %d, but there is no backbone.convnext.%d", tv_weights_path(w), layers,
              layers - 1);
    return NULL;
  }
  tv_vocoder *v = (tv_vocoder *)tv_calloc(sizeof(tv_vocoder));
  if (!v) return NULL;
  v->dim = dim;
  v->inter = inter;
  v->layers = layers;
  v->n_fft = n_fft;
  v->hop = hop;
  if (!(v->block = (tv_voc_block *)tv_calloc(sizeof(tv_voc_block) * (size_t)layers))) goto fail;
  if (!(v->embed = tv_weights_mat(w, "backbone.embed.weight", dim, TV_VOCODER_MEL * TV_VOCODER_TAPS))) goto fail;
  if (!(v->embed_b = tv_weights_f32(w, "backbone.embed.bias", dim))) goto fail;
  if (!(v->norm_w = tv_weights_finite(w, "backbone.norm.weight", dim))) goto fail;
  if (!(v->norm_b = tv_weights_finite(w, "backbone.norm.bias", dim))) goto fail;
  if (!(v->final_w = tv_weights_finite(w, "backbone.final_layer_norm.weight", dim))) goto fail;
  if (!(v->final_b = tv_weights_finite(w, "backbone.final_layer_norm.bias", dim))) goto fail;
  if (!(v->head = tv_weights_mat(w, "head.out.weight", n_fft + 2, dim))) goto fail;
  if (!(v->head_b = tv_weights_f32(w, "head.out.bias", n_fft + 2))) goto fail;
  for (int32_t b = 0; b < layers; b++) {
    tv_voc_block *B = &v->block[b];
#define BLOCK(s) tv_name("backbone.convnext.%d.%s", b, s)
    if (!(B->dw = tv_weights_f32(w, BLOCK("dwconv.weight"), (int64_t)dim * TV_VOCODER_TAPS))) goto fail;
    if (!(B->dw_b = tv_weights_f32(w, BLOCK("dwconv.bias"), dim))) goto fail;
    if (!(B->norm_w = tv_weights_finite(w, BLOCK("norm.weight"), dim))) goto fail;
    if (!(B->norm_b = tv_weights_finite(w, BLOCK("norm.bias"), dim))) goto fail;
    if (!(B->gamma = tv_weights_finite(w, BLOCK("gamma"), dim))) goto fail;
    if (!(B->pw1 = tv_weights_mat(w, BLOCK("pwconv1.weight"), inter, dim))) goto fail;
    if (!(B->pw1_b = tv_weights_f32(w, BLOCK("pwconv1.bias"), inter))) goto fail;
    if (!(B->pw2 = tv_weights_mat(w, BLOCK("pwconv2.weight"), dim, inter))) goto fail;
    if (!(B->pw2_b = tv_weights_f32(w, BLOCK("pwconv2.bias"), dim))) goto fail;
#undef BLOCK
    if (!(B->taps = (float *)tv_malloc(sizeof(float) * (size_t)dim * TV_VOCODER_TAPS))) goto fail;
    for (int32_t k = 0; k < TV_VOCODER_TAPS; k++)
      for (int32_t c = 0; c < dim; c++) B->taps[k * dim + c] = B->dw[c * TV_VOCODER_TAPS + k];
  }
  return v;
fail:
  tv_vocoder_free(v);
  return NULL;
}

void tv_vocoder_free(tv_vocoder *v) {
  if (!v) return;
  if (v->block)
    for (int32_t b = 0; b < v->layers; b++) tv_free(v->block[b].taps);
  tv_free(v->block);
  tv_free(v);
}

namespace {

// y[c] += a[c] * x[c] for c < n: a product rounded, then a sum rounded, four
// lanes at a time where there are four (the same numbers as one at a time).
inline void mul_add(float *y, const float *a, const float *x, int32_t n) {
  int32_t c = 0;
#ifdef TV_X86
  for (; c + 4 <= n; c += 4)
    _mm_storeu_ps(y + c, _mm_add_ps(_mm_loadu_ps(y + c), _mm_mul_ps(_mm_loadu_ps(a + c), _mm_loadu_ps(x + c))));
#endif
  for (; c < n; c++) y[c] += a[c] * x[c];
}

struct ln_job {
  float *x;
  int32_t n;
  const float *w, *b;
};

void ln_rows(void *arg, int64_t r0, int64_t r1) {
  ln_job *j = (ln_job *)arg;
  tv_layernorm(j->x + r0 * j->n, (int32_t)(r1 - r0), j->n, j->n, j->w, j->b, LN_EPS);
}

struct dw_job {
  const float *x;
  float *y;
  int32_t T, dim;
  const float *taps, *bias;
};

// y[t] = bias + sum over taps of tap[k] * x[t + k - 3], frames outside [0, T)
// counting as zero; each tap adds one contiguous row of dim floats.
void dw_rows(void *arg, int64_t r0, int64_t r1) {
  dw_job *j = (dw_job *)arg;
  const int32_t dim = j->dim;
  for (int64_t t = r0; t < r1; t++) {
    float *y = j->y + t * dim;
    memcpy(y, j->bias, sizeof(float) * dim);
    for (int32_t k = 0; k < TV_VOCODER_TAPS; k++) {
      const int64_t s = t + k - TV_VOCODER_TAPS / 2;
      if (s < 0 || s >= j->T) continue;
      mul_add(y, j->taps + (size_t)k * dim, j->x + s * dim, dim);
    }
  }
}

struct gelu_job {
  float *h;
  int32_t n;
};

void gelu_rows(void *arg, int64_t r0, int64_t r1) {
  gelu_job *j = (gelu_job *)arg;
  tv_gelu(j->h + r0 * j->n, (uint64_t)(r1 - r0) * (uint64_t)j->n);
}

struct head_job {
  const float *h;
  int32_t F, width;
  float *re, *im;
};

void head_rows(void *arg, int64_t r0, int64_t r1) {
  head_job *j = (head_job *)arg;
  for (int64_t t = r0; t < r1; t++) {
    const float *h = j->h + t * j->width;
    float *re = j->re + t * j->F, *im = j->im + t * j->F;
    for (int32_t k = 0; k < j->F; k++) {
      float m = expf(h[k]);
      if (!(m <= MAX_MAGNITUDE)) m = MAX_MAGNITUDE;
      const float p = h[j->F + k];
      re[k] = m * cosf(p);
      im[k] = m * sinf(p);
    }
  }
}

}  // namespace

int tv_vocoder_decode(const tv_vocoder *v, tv_pool *pool, const float *mel, int32_t T, float **audio, size_t *n) {
  *audio = NULL;
  *n = 0;
  if (T < 1) {
    tv_seterr("vocoder: empty mel");
    return -1;
  }
  const int32_t dim = v->dim, F = v->n_fft / 2 + 1, hw = v->n_fft + 2;
  const int32_t hcols = v->inter > hw ? v->inter : hw;
  const int64_t items = 2 * (int64_t)tv_pool_size(pool);
  const int64_t N = tv_istft_len(T, v->hop);
  int rc = -1;
  float *x = (float *)tv_malloc(sizeof(float) * (size_t)T * dim);
  float *y = (float *)tv_malloc(sizeof(float) * (size_t)T * dim);
  float *h = (float *)tv_malloc(sizeof(float) * (size_t)T * hcols);
  float *spec = (float *)tv_malloc(sizeof(float) * 2 * (size_t)T * F);
  float *out = NULL;
  if (!x || !y || !h || !spec) goto done;
  if (tv_conv1d(pool, mel, T, TV_VOCODER_MEL, TV_VOCODER_MEL, v->embed, TV_VOCODER_TAPS, 1, 1, 3, 3, v->embed_b, x,
                dim) < 0)
    goto done;
  {
    ln_job ln = {x, dim, v->norm_w, v->norm_b};
    tv_rows_split(pool, T, items, ln_rows, &ln);
  }
  for (int32_t b = 0; b < v->layers; b++) {
    const tv_voc_block *B = &v->block[b];
    dw_job dj = {x, y, T, dim, B->taps, B->dw_b};
    tv_rows_split(pool, T, items, dw_rows, &dj);
    ln_job ln = {y, dim, B->norm_w, B->norm_b};
    tv_rows_split(pool, T, items, ln_rows, &ln);
    tv_linear(pool, y, T, dim, B->pw1, B->pw1_b, h, v->inter, 0);
    gelu_job gj = {h, v->inter};
    tv_rows_split(pool, T, items, gelu_rows, &gj);
    tv_linear(pool, h, T, v->inter, B->pw2, B->pw2_b, y, dim, 0);
    for (int64_t t = 0; t < T; t++) mul_add(x + t * dim, B->gamma, y + t * dim, dim);
  }
  {
    ln_job ln = {x, dim, v->final_w, v->final_b};
    tv_rows_split(pool, T, items, ln_rows, &ln);
  }
  tv_linear(pool, x, T, dim, v->head, v->head_b, h, hw, 0);
  {
    head_job hj = {h, F, hw, spec, spec + (size_t)T * F};
    tv_rows_split(pool, T, items, head_rows, &hj);
  }
  out = (float *)tv_malloc(sizeof(float) * (size_t)(N > 0 ? N : 1));
  if (!out) goto done;
  if (tv_istft(pool, spec, spec + (size_t)T * F, F, T, v->n_fft, v->hop, out) != 0) goto done;
  *audio = out;
  *n = (size_t)N;
  out = NULL;
  rc = 0;
done:
  tv_free(x);
  tv_free(y);
  tv_free(h);
  tv_free(spec);
  tv_free(out);
  return rc;
}
