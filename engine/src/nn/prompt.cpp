#include "nn/prompt.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "runtime/dsp.h"
#include "runtime/error.h"
#include "runtime/kernels.h"

#define LN_EPS 1e-12f
#define MIN_POSITIONS 256
#define MIN_TAGS 3
#define REF_MIN_SAMPLES 12000
#define REF_MAX_SAMPLES 192000
#define MIN_BINS 8

// ---------------------------------------------------------------------------
// Loading

namespace {

int load_layer(tv_prompt *p, tv_weights *w, int32_t l) {
  const int32_t d = TV_MINILM_D, f = TV_MINILM_FFN;
  tv_minilm_layer *L = &p->layer[l];
#define N(s) tv_name("encoder.layer.%d.%s", l, s)
  if (!(L->q.w = tv_weights_mat(w, N("attention.self.query.weight"), d, d))) return -1;
  if (!(L->k.w = tv_weights_mat(w, N("attention.self.key.weight"), d, d))) return -1;
  if (!(L->v.w = tv_weights_mat(w, N("attention.self.value.weight"), d, d))) return -1;
  if (!(L->o.w = tv_weights_mat(w, N("attention.output.dense.weight"), d, d))) return -1;
  if (!(L->inter.w = tv_weights_mat(w, N("intermediate.dense.weight"), f, d))) return -1;
  if (!(L->out.w = tv_weights_mat(w, N("output.dense.weight"), d, f))) return -1;
  if (!(L->q.b = tv_weights_f32(w, N("attention.self.query.bias"), d))) return -1;
  if (!(L->k.b = tv_weights_f32(w, N("attention.self.key.bias"), d))) return -1;
  if (!(L->v.b = tv_weights_f32(w, N("attention.self.value.bias"), d))) return -1;
  if (!(L->o.b = tv_weights_f32(w, N("attention.output.dense.bias"), d))) return -1;
  if (!(L->inter.b = tv_weights_f32(w, N("intermediate.dense.bias"), f))) return -1;
  if (!(L->out.b = tv_weights_f32(w, N("output.dense.bias"), d))) return -1;
  if (!(L->ln1_w = tv_weights_finite(w, N("attention.output.LayerNorm.weight"), d))) return -1;
  if (!(L->ln1_b = tv_weights_finite(w, N("attention.output.LayerNorm.bias"), d))) return -1;
  if (!(L->ln2_w = tv_weights_finite(w, N("output.LayerNorm.weight"), d))) return -1;
  if (!(L->ln2_b = tv_weights_finite(w, N("output.LayerNorm.bias"), d))) return -1;
#undef N
  return 0;
}

}  // namespace

tv_prompt *tv_prompt_load(tv_weights *minilm, const char *vocab, tv_weights *adapter, const char *const *tags,
                          int32_t n) {
  tv_prompt *p = (tv_prompt *)tv_calloc(sizeof(tv_prompt));
  if (!p) return NULL;
  const int32_t d = TV_MINILM_D, h = TV_PROMPT_HIDDEN, c = TV_PROMPT_CONTROLS;
  // A tag count below 1 would read as "any number of rows" to the container;
  // such an adapter is refused by the tag check below anyway.
  const int32_t tag_rows = n > 0 ? n : 1;
  if (!(p->vocab = tv_wordpiece_load(vocab))) goto fail;
  if (!(p->word = tv_weights_mat(minilm, "embeddings.word_embeddings.weight", tv_wordpiece_vocab_size(p->vocab), d)))
    goto fail;
  if (!(p->pos = tv_weights_mat(minilm, "embeddings.position_embeddings.weight", 0, d))) goto fail;
  if (!(p->type = tv_weights_mat(minilm, "embeddings.token_type_embeddings.weight", 0, d))) goto fail;
  if (p->pos->rows < MIN_POSITIONS) {
    tv_seterr("%s: %d position embeddings < %d", tv_weights_path(minilm), p->pos->rows, MIN_POSITIONS);
    goto fail;
  }
  if (!(p->emb_ln_w = tv_weights_finite(minilm, "embeddings.LayerNorm.weight", d))) goto fail;
  if (!(p->emb_ln_b = tv_weights_finite(minilm, "embeddings.LayerNorm.bias", d))) goto fail;
  for (int32_t l = 0; l < TV_MINILM_LAYERS; l++)
    if (load_layer(p, minilm, l) != 0) goto fail;
  if (!(p->body0.w = tv_weights_mat(adapter, "body.0.weight", h, d))) goto fail;
  if (!(p->body3.w = tv_weights_mat(adapter, "body.3.weight", h, h))) goto fail;
  if (!(p->tag.w = tv_weights_mat(adapter, "tag.weight", tag_rows, h))) goto fail;
  if (!(p->spec.w = tv_weights_mat(adapter, "spec.weight", c, h))) goto fail;
  if (!(p->val.w = tv_weights_mat(adapter, "val.weight", c, h))) goto fail;
  if (!(p->body0.b = tv_weights_f32(adapter, "body.0.bias", h))) goto fail;
  if (!(p->body3.b = tv_weights_f32(adapter, "body.3.bias", h))) goto fail;
  if (!(p->tag.b = tv_weights_f32(adapter, "tag.bias", tag_rows))) goto fail;
  if (!(p->spec.b = tv_weights_f32(adapter, "spec.bias", c))) goto fail;
  if (!(p->val.b = tv_weights_f32(adapter, "val.bias", c))) goto fail;
  if (n < MIN_TAGS) {
    tv_seterr("prompt adapter: %d tags < %d", n, MIN_TAGS);
    goto fail;
  }
  if (!(p->tags = (char **)tv_calloc(sizeof(char *) * (size_t)n))) goto fail;
  p->n_tags = n;
  for (int32_t i = 0; i < n; i++)
    if (!(p->tags[i] = tv_strdup(tags && tags[i] ? tags[i] : ""))) goto fail;
  return p;
fail:
  tv_prompt_free(p);
  return NULL;
}

void tv_prompt_free(tv_prompt *p) {
  if (!p) return;
  tv_wordpiece_free(p->vocab);
  if (p->tags)
    for (int32_t i = 0; i < p->n_tags; i++) tv_free(p->tags[i]);
  tv_free(p->tags);
  tv_free(p);
}

int32_t tv_prompt_n_tags(const tv_prompt *p) { return p ? p->n_tags : 0; }

const char *tv_prompt_tag(const tv_prompt *p, int32_t i) {
  return p && i >= 0 && i < p->n_tags ? p->tags[i] : NULL;
}

// ---------------------------------------------------------------------------
// Sentence embedding and mapping

int tv_minilm_embed(const tv_prompt *p, tv_pool *pool, const char *text, float *out) {
  const int32_t d = TV_MINILM_D, f = TV_MINILM_FFN;
  uint32_t ids[TV_MINILM_MAX_TOKENS];
  const int32_t n = tv_wordpiece_encode(p->vocab, text, ids, TV_MINILM_MAX_TOKENS);
  if (n < 0) return -1;
  int rc = -1;
  float *x = (float *)tv_malloc(sizeof(float) * (size_t)n * d);
  float *qkv = (float *)tv_malloc(sizeof(float) * 3 * (size_t)n * d);
  float *att = (float *)tv_malloc(sizeof(float) * (size_t)n * d);
  float *hid = (float *)tv_malloc(sizeof(float) * (size_t)n * f);
  float *row = (float *)tv_malloc(sizeof(float) * 2 * (size_t)d);
  if (!x || !qkv || !att || !hid || !row) goto done;
  tv_mat_row(p->type, 0, row + d);
  for (int32_t t = 0; t < n; t++) {
    float *xt = x + (size_t)t * d;
    tv_mat_row(p->word, (int32_t)ids[t], xt);
    tv_mat_row(p->pos, t, row);
    for (int32_t i = 0; i < d; i++) xt[i] = xt[i] + row[i] + row[d + i];
  }
  tv_layernorm(x, n, d, d, p->emb_ln_w, p->emb_ln_b, LN_EPS);
  for (int32_t l = 0; l < TV_MINILM_LAYERS; l++) {
    const tv_minilm_layer *L = &p->layer[l];
    float *q = qkv, *k = qkv + (size_t)n * d, *v = qkv + 2 * (size_t)n * d;
    tv_linear(pool, x, n, d, L->q.w, L->q.b, q, d, 0);
    tv_linear(pool, x, n, d, L->k.w, L->k.b, k, d, 0);
    tv_linear(pool, x, n, d, L->v.w, L->v.b, v, d, 0);
    if (tv_attention(pool, q, d, k, d, v, d, att, d, n, n, TV_MINILM_HEADS, d / TV_MINILM_HEADS, NULL, NULL, 0) != 0)
      goto done;
    tv_linear(pool, att, n, d, L->o.w, L->o.b, x, d, 1);
    tv_layernorm(x, n, d, d, L->ln1_w, L->ln1_b, LN_EPS);
    tv_linear(pool, x, n, d, L->inter.w, L->inter.b, hid, f, 0);
    tv_gelu(hid, (uint64_t)n * f);
    tv_linear(pool, hid, n, f, L->out.w, L->out.b, x, d, 1);
    tv_layernorm(x, n, d, d, L->ln2_w, L->ln2_b, LN_EPS);
  }
  {
    double mean[TV_MINILM_D], norm = 0;
    for (int32_t i = 0; i < d; i++) {
      double s = 0;
      for (int32_t t = 0; t < n; t++) s += x[(size_t)t * d + i];
      mean[i] = s / n;
      norm += mean[i] * mean[i];
    }
    norm = sqrt(norm);
    if (!(norm > 1e-12)) norm = 1e-12;
    for (int32_t i = 0; i < d; i++) out[i] = (float)(mean[i] / norm);
  }
  rc = 0;
done:
  tv_free(x);
  tv_free(qkv);
  tv_free(att);
  tv_free(hid);
  tv_free(row);
  return rc;
}

int tv_prompt_heads(const tv_prompt *p, const float *embed, float *prob, float *spec, float *val) {
  float h1[TV_PROMPT_HIDDEN], h2[TV_PROMPT_HIDDEN];
  tv_linear(NULL, embed, 1, TV_MINILM_D, p->body0.w, p->body0.b, h1, TV_PROMPT_HIDDEN, 0);
  tv_gelu(h1, TV_PROMPT_HIDDEN);
  tv_linear(NULL, h1, 1, TV_PROMPT_HIDDEN, p->body3.w, p->body3.b, h2, TV_PROMPT_HIDDEN, 0);
  tv_gelu(h2, TV_PROMPT_HIDDEN);
  tv_linear(NULL, h2, 1, TV_PROMPT_HIDDEN, p->tag.w, p->tag.b, prob, p->n_tags, 0);
  tv_softmax_rows(prob, 1, p->n_tags, p->n_tags);
  tv_linear(NULL, h2, 1, TV_PROMPT_HIDDEN, p->spec.w, p->spec.b, spec, TV_PROMPT_CONTROLS, 0);
  tv_linear(NULL, h2, 1, TV_PROMPT_HIDDEN, p->val.w, p->val.b, val, TV_PROMPT_CONTROLS, 0);
  return 0;
}

static int32_t clamp_i32(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v; }

int tv_prompt_map(const tv_prompt *p, tv_pool *pool, const char *text, tv_prompt_mapping *m) {
  float e[TV_MINILM_D], spec[TV_PROMPT_CONTROLS], val[TV_PROMPT_CONTROLS], stack[256];
  if (tv_minilm_embed(p, pool, text, e) != 0) return -1;
  float *prob = p->n_tags <= 256 ? stack : (float *)tv_malloc(sizeof(float) * (size_t)p->n_tags);
  if (!prob) return -1;
  tv_prompt_heads(p, e, prob, spec, val);
  memset(m, 0, sizeof *m);
  m->n_tags = 3;
  for (int k = 0; k < 3; k++) {
    int32_t best = -1;
    for (int32_t i = 0; i < p->n_tags; i++) {
      bool used = false;
      for (int j = 0; j < k; j++) used |= m->tag[j] == i;
      if (used) continue;
      if (best < 0 || prob[i] > prob[best]) best = i;  // equal: the lower index stays
    }
    m->tag[k] = best;
    m->prob_milli[k] = clamp_i32(tv_pyround_scaled(3, prob[best]));
    m->prob[k] = (float)m->prob_milli[k] / 1000.0f;
  }
  for (int32_t k = 0; k < TV_PROMPT_CONTROLS; k++) {
    if (!(1.0f / (1.0f + expf(-spec[k])) > 0.5f)) continue;
    const int32_t i = m->n_ctrl++;
    m->ctrl[i] = k;
    m->val_centi[i] = clamp_i32(tv_pyround_scaled(2, val[k]));
    m->val[i] = (float)m->val_centi[i] / 100.0f;
  }
  if (prob != stack) tv_free(prob);
  return 0;
}

int64_t tv_pyround_scaled(int32_t digits, double x) {
  if (digits < 1) digits = 0;
  if (digits > 22) digits = 22;  // powers of ten up to 10^22 are exact doubles
  double scale = 1.0;
  for (int32_t i = 0; i < digits; i++) scale *= 10.0;
  // x * scale exactly: the rounded product plus its rounding error.
  const double prod = x * scale, err = fma(x, scale, -prod);
  if (prod != prod) return 0;
  if (prod >= 4611686018427387904.0) return INT64_C(4611686018427387904);
  if (prod <= -4611686018427387904.0) return -INT64_C(4611686018427387904);
  const double fl = floor(prod), frac = prod - fl;  // exact below 2^52; above, prod is an integer
  int64_t r = (int64_t)fl;
  // frac is a multiple of the product's last place, and |err| at most half
  // of it: only an exact half is decided by the error's sign. (A fraction of
  // 0 with a negative error stays: the true value is above fl - 1/2.)
  if (frac > 0.5 || (frac == 0.5 && (err > 0 || (err == 0 && (r & 1))))) r++;
  return r;
}

// ---------------------------------------------------------------------------
// Reference-clip prompt

int32_t tv_prompt_mel_bins(int32_t rate) {
  if (rate < 1 || rate > 23999) return TV_MEL_BINS;
  const double step = 2595.0 * log10(1.0 + 12000.0 / 700.0) / 101.0;
  int32_t k = 0;
  for (int32_t i = 2; i <= 101; i++)
    if (700.0 * (pow(10.0, i * step / 2595.0) - 1.0) < 0.475 * rate) k++;
  return k < MIN_BINS ? MIN_BINS : k;
}

static int cmp_double(const void *a, const void *b) {
  const double x = *(const double *)a, y = *(const double *)b;
  return x < y ? -1 : x > y ? 1 : 0;
}

// Mean of the upper half (from index rows / 2) of the per-frame means of the
// first K bins.
static int upper_level(const float *mel, int32_t rows, int32_t K, double *level) {
  double *m = (double *)tv_malloc(sizeof(double) * (size_t)rows);
  if (!m) return -1;
  for (int32_t t = 0; t < rows; t++) {
    double s = 0;
    for (int32_t j = 0; j < K; j++) s += mel[(size_t)t * TV_MEL_BINS + j];
    m[t] = s / K;
  }
  qsort(m, (size_t)rows, sizeof(double), cmp_double);
  double s = 0;
  for (int32_t t = rows / 2; t < rows; t++) s += m[t];
  *level = s / (rows - rows / 2);
  tv_free(m);
  return 0;
}

int tv_prompt_mel(const float *ref, size_t n, int32_t rate, const float *mel, int32_t T, float **pmel,
                  int32_t *frames) {
  *pmel = NULL;
  *frames = 0;
  if (!ref || n < REF_MIN_SAMPLES) return 0;
  if (!mel || T <= 0) {
    tv_seterr("prompt_mel: no render mel");
    return -1;
  }
  float *r = NULL;
  int32_t F = 0;
  if (tv_mel_spectrogram(ref, n < REF_MAX_SAMPLES ? n : REF_MAX_SAMPLES, &r, &F) != 0) return -1;
  const int32_t K = tv_prompt_mel_bins(rate);
  double R, P;
  if (upper_level(mel, T, K, &R) != 0 || upper_level(r, F, K, &P) != 0) {
    tv_free(r);
    return -1;
  }
  const float shift = (float)(R - P);
  for (size_t i = 0; i < (size_t)F * TV_MEL_BINS; i++) r[i] += shift;
  if (K < TV_MEL_BINS) {
    // Bins above what the recording held take the segment's average spectrum
    // from the last usable bin on.
    double a[TV_MEL_BINS];
    for (int32_t j = K - 1; j < TV_MEL_BINS; j++) {
      double s = 0;
      for (int32_t t = 0; t < T; t++) s += mel[(size_t)t * TV_MEL_BINS + j];
      a[j] = s / T;
    }
    for (int32_t t = 0; t < F; t++) {
      float *row = r + (size_t)t * TV_MEL_BINS;
      for (int32_t j = K; j < TV_MEL_BINS; j++) row[j] = (float)(a[j] - a[K - 1] + row[K - 1]);
    }
  }
  *pmel = r;
  *frames = F;
  return 0;
}
