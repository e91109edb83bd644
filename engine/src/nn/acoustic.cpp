#include "nn/acoustic.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "nn/rows.h"
#include "runtime/error.h"
#include "runtime/kernels.h"
#include "runtime/pool.h"

#define COND_HIDDEN 256
#define MAX_TOKEN_FRAMES 1048576
#define MAX_LAYERS 256
#define MAX_SIZE 65536
#define MAX_KERNEL 255

// ---------------------------------------------------------------------------
// Loading

namespace {

// An arch number truncated to i32; values an i32 cannot hold (and NaN) become
// INT32_MIN, which every check below refuses.
int32_t arch_i(const tv_json *arch, const char *key, int32_t def) {
  double v = tv_json_num(tv_json_get(arch, key), def);
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
  return (int32_t)v;
}

int add_ada(tv_acoustic *m, tv_weights *w, const char *prefix, int32_t *index) {
  if (m->n_ada >= m->cap_ada) {
    tv_seterr("acoustic: AdaLN table overflow");
    return -1;
  }
  if (tv_lin_load(w, tv_name("%s.proj", prefix), 2 * m->d, m->g_dim, &m->ada[m->n_ada]) != 0) return -1;
  *index = m->n_ada++;
  return 0;
}

int load_stack(tv_acoustic *m, tv_weights *w, const char *name, int32_t layers, const char *mixer,
               tv_ac_stack *s) {
  int hybrid;
  if (strcmp(mixer, "attn") == 0)
    hybrid = 0;
  else if (strcmp(mixer, "hybrid") == 0)
    hybrid = 1;
  else {
    tv_seterr("acoustic: unknown mixer %s", mixer);
    return -1;
  }
  if (layers < 0) layers = 0;
  s->layer = (tv_ac_layer *)tv_calloc(sizeof(tv_ac_layer) * (size_t)(layers > 0 ? layers : 1));
  if (!s->layer) return -1;
  const int32_t d = m->d;
  for (int32_t i = 0; i < layers; i++) {
    tv_ac_layer *L = &s->layer[i];
    // Counted before loading, so a failure inside the layer still frees its
    // mixers (tv_seqmix_free accepts a half-loaded one).
    s->layers = i + 1;
    char prefix[256];
    snprintf(prefix, sizeof prefix, "%s.layers.%d", name, i);
    L->hybrid = hybrid;
    if (add_ada(m, w, tv_name("%s.n1", prefix), &L->n1) != 0) return -1;
    if (!(L->in_proj_w = tv_weights_mat(w, tv_name("%s.att.in_proj_weight", prefix), 3 * d, d))) return -1;
    if (!(L->in_proj_b = tv_weights_f32(w, tv_name("%s.att.in_proj_bias", prefix), 3 * d))) return -1;
    if (tv_lin_load(w, tv_name("%s.att.out_proj", prefix), d, d, &L->out_proj) != 0) return -1;
    if (hybrid) {
      if (add_ada(m, w, tv_name("%s.n_seq", prefix), &L->n_seq) != 0) return -1;
      if (tv_seqmix_load(w, tv_name("%s.seq.fwd", prefix), d, m->state_dim, &L->fwd) != 0) return -1;
      if (tv_seqmix_load(w, tv_name("%s.seq.bwd", prefix), d, m->state_dim, &L->bwd) != 0) return -1;
    }
    if (add_ada(m, w, tv_name("%s.n2", prefix), &L->n2) != 0) return -1;
    if (tv_lin_load(w, tv_name("%s.c1", prefix), m->ffn, m->k * d, &L->c1) != 0) return -1;
    if (tv_lin_load(w, tv_name("%s.c2", prefix), d, m->ffn, &L->c2) != 0) return -1;
  }
  return add_ada(m, w, tv_name("%s.out_norm", name), &s->out_norm);
}

int load_varpred(tv_acoustic *m, tv_weights *w, const char *name, tv_ac_varpred *p) {
  const int32_t d = m->d;
  if (tv_lin_load(w, tv_name("%s.c1", name), d, 3 * d, &p->c1) != 0) return -1;
  if (tv_lin_load(w, tv_name("%s.c2", name), d, 3 * d, &p->c2) != 0) return -1;
  if (tv_lin_load(w, tv_name("%s.out", name), 1, d, &p->out) != 0) return -1;
  if (add_ada(m, w, tv_name("%s.n1", name), &p->n1) != 0) return -1;
  return add_ada(m, w, tv_name("%s.n2", name), &p->n2);
}

void free_stack(tv_ac_stack *s) {
  if (!s->layer) return;
  for (int32_t i = 0; i < s->layers; i++) {
    tv_seqmix_free(&s->layer[i].fwd);
    tv_seqmix_free(&s->layer[i].bwd);
  }
  tv_free(s->layer);
  s->layer = NULL;
}

}  // namespace

tv_acoustic *tv_acoustic_load(tv_weights *w, const tv_json *arch) {
  const int32_t d = arch_i(arch, "d", 192), heads = arch_i(arch, "heads", 2), k = arch_i(arch, "k", 3);
  const int32_t ffn = arch_i(arch, "ffn", 384), g_dim = arch_i(arch, "g_dim", 128);
  const int32_t spk_dim = arch_i(arch, "spk_dim", 64), tag_dim = arch_i(arch, "tag_dim", 32);
  const int32_t state_dim = arch_i(arch, "state_dim", 32), spk_enc_dim = arch_i(arch, "spk_enc_dim", 0);
  int32_t enc_layers = arch_i(arch, "enc_layers", 4), dec_layers = arch_i(arch, "dec_layers", 4);
  const int32_t want_symbols = arch_i(arch, "n_symbols", 0);
  const char *enc_mixer = tv_json_str(tv_json_get(arch, "enc_mixer"), "attn");
  const char *dec_mixer = tv_json_str(tv_json_get(arch, "dec_mixer"), "attn");
  // Every size is bounded before any arithmetic on it: a damaged config must
  // be refused, never overflow a product or a sum of two sizes.
  {
    const struct {
      const char *key;
      int32_t v, max;
    } sizes[] = {{"d", d, MAX_SIZE},
                 {"heads", heads, MAX_SIZE},
                 {"k", k, MAX_KERNEL},
                 {"ffn", ffn, MAX_SIZE},
                 {"g_dim", g_dim, MAX_SIZE},
                 {"spk_dim", spk_dim, MAX_SIZE},
                 {"tag_dim", tag_dim, MAX_SIZE},
                 {"state_dim", state_dim, MAX_SIZE},
                 {"spk_enc_dim", spk_enc_dim, MAX_SIZE}};
    for (const auto &z : sizes)
      if (z.v > z.max) {
        tv_seterr("acoustic: unsupported arch (%s=%d is above %d)", z.key, z.v, z.max);
        return NULL;
      }
  }
  if (heads < 1 || d < 2 || d % heads != 0 || d % 2 != 0 || k < 1 || k % 2 == 0) {
    tv_seterr("acoustic: unsupported arch (d=%d heads=%d k=%d)", d, heads, k);
    return NULL;
  }
  // Sizes the tensor shapes are built from must be positive; a negative one
  // would otherwise read as "any size" when the tensors are fetched.
  if (ffn < 1 || g_dim < 1 || spk_dim < 1 || tag_dim < 1) {
    tv_seterr("acoustic: unsupported arch (ffn=%d g_dim=%d spk_dim=%d tag_dim=%d)", ffn, g_dim, spk_dim, tag_dim);
    return NULL;
  }
  if (enc_layers > MAX_LAYERS || dec_layers > MAX_LAYERS) {
    tv_seterr("acoustic: unsupported arch (enc_layers=%d dec_layers=%d)", enc_layers, dec_layers);
    return NULL;
  }
  if (enc_layers < 0) enc_layers = 0;
  if (dec_layers < 0) dec_layers = 0;
  // Checked here as well as on every call: a model whose conditioning input
  // cannot be built must not load at all.
  if (spk_dim + tag_dim > TV_ACOUSTIC_MAX_COND - 2 * TV_N_CONTROLS) {
    tv_seterr("acoustic: conditioning input too wide");
    return NULL;
  }
  tv_acoustic *m = (tv_acoustic *)tv_calloc(sizeof(tv_acoustic));
  if (!m) return NULL;
  m->d = d;
  m->heads = heads;
  m->ffn = ffn;
  m->k = k;
  m->g_dim = g_dim;
  m->spk_dim = spk_dim;
  m->tag_dim = tag_dim;
  m->spk_enc_dim = spk_enc_dim;
  m->state_dim = state_dim;
  const int32_t cond_in = spk_dim + tag_dim + 2 * TV_N_CONTROLS;
  if (!(m->emb = tv_weights_mat(w, "emb.weight", 0, d))) goto fail;
  m->n_symbols = m->emb->rows;
  if (want_symbols > 0 && want_symbols != m->n_symbols) {
    tv_seterr("acoustic: emb.weight has %d rows, arch n_symbols = %d", m->n_symbols, want_symbols);
    goto fail;
  }
  if (!(m->tag = tv_weights_mat(w, "tag.weight", 0, tag_dim))) goto fail;
  m->n_tags = m->tag->rows;
  if (spk_enc_dim > 0 && tv_lin_load(w, "spk_proj", spk_dim, spk_enc_dim, &m->spk_proj) != 0) goto fail;
  if (tv_lin_load(w, "cond.0", COND_HIDDEN, cond_in, &m->cond0) != 0) goto fail;
  if (tv_lin_load(w, "cond.2", g_dim, COND_HIDDEN, &m->cond2) != 0) goto fail;
  m->cap_ada = 4 * (enc_layers + dec_layers) + 8;
  if (!(m->ada = (tv_lin *)tv_calloc(sizeof(tv_lin) * (size_t)m->cap_ada))) goto fail;
  if (load_stack(m, w, "encoder", enc_layers, enc_mixer, &m->enc) != 0) goto fail;
  if (load_stack(m, w, "decoder", dec_layers, dec_mixer, &m->dec) != 0) goto fail;
  if (load_varpred(m, w, "dur_pred", &m->dur) != 0) goto fail;
  if (load_varpred(m, w, "pitch_pred", &m->pitch) != 0) goto fail;
  if (load_varpred(m, w, "energy_pred", &m->energy) != 0) goto fail;
  if (tv_lin_load(w, "pitch_emb", d, 3, &m->pitch_emb) != 0) goto fail;
  if (tv_lin_load(w, "energy_emb", d, 3, &m->energy_emb) != 0) goto fail;
  if (tv_lin_load(w, "to_mel", TV_ACOUSTIC_MEL, d, &m->to_mel) != 0) goto fail;
  return m;
fail:
  tv_acoustic_free(m);
  return NULL;
}

void tv_acoustic_free(tv_acoustic *m) {
  if (!m) return;
  free_stack(&m->enc);
  free_stack(&m->dec);
  tv_free(m->ada);
  tv_free(m);
}

int32_t tv_acoustic_g_dim(const tv_acoustic *m) { return m->g_dim; }
int32_t tv_acoustic_n_symbols(const tv_acoustic *m) { return m->n_symbols; }
int32_t tv_acoustic_n_tags(const tv_acoustic *m) { return m->n_tags; }
int32_t tv_acoustic_spk_enc_dim(const tv_acoustic *m) { return m->spk_proj.w ? m->spk_enc_dim : 0; }

// ---------------------------------------------------------------------------
// Conditioning

int tv_acoustic_condition(const tv_acoustic *m, const float *voice_row, const float *spk_vec, int32_t tag,
                          const float *ctrl, const float *mask, float *g) {
  const int32_t spk = m->spk_dim, td = m->tag_dim;
  if (spk + td > TV_ACOUSTIC_MAX_COND - 2 * TV_N_CONTROLS) {
    tv_seterr("acoustic: conditioning input too wide");
    return -1;
  }
  if (tag < 0 || tag >= m->n_tags) {
    tv_seterr("acoustic: tag index %d out of range [0, %d)", tag, m->n_tags);
    return -1;
  }
  float in[TV_ACOUSTIC_MAX_COND], h[COND_HIDDEN];
  if (spk_vec) {
    if (!m->spk_proj.w) {
      tv_seterr("acoustic: this model has no speaker-vector projection");
      return -1;
    }
    tv_linear(NULL, spk_vec, 1, m->spk_enc_dim, m->spk_proj.w, m->spk_proj.b, in, spk, 0);
  } else if (voice_row) {
    memcpy(in, voice_row, sizeof(float) * (size_t)spk);
  } else {
    tv_seterr("acoustic: no speaker given");
    return -1;
  }
  tv_mat_row(m->tag, tag, in + spk);
  float *vals = in + spk + td, *flags = vals + TV_N_CONTROLS;
  for (int i = 0; i < TV_N_CONTROLS; i++) {
    float v = ctrl ? ctrl[i] : 0.0f, f = mask ? mask[i] : 0.0f;
    if (v != v) v = 0.0f;
    if (v > 3.4028235e38f) v = 3.4028235e38f;
    if (v < -3.4028235e38f) v = -3.4028235e38f;
    vals[i] = v * f;
    flags[i] = f;
  }
  tv_linear(NULL, in, 1, spk + td + 2 * TV_N_CONTROLS, m->cond0.w, m->cond0.b, h, COND_HIDDEN, 0);
  tv_silu(h, COND_HIDDEN);
  tv_linear(NULL, h, 1, COND_HIDDEN, m->cond2.w, m->cond2.b, g, m->g_dim, 0);
  return 0;
}

// ---------------------------------------------------------------------------
// Inference

namespace {

struct ada_job {
  const float *x;
  float *y;
  int32_t d;
  const float *mod;  // 2d: 1 + scale, then shift
};

void ada_rows(void *arg, int64_t r0, int64_t r1) {
  ada_job *j = (ada_job *)arg;
  const int32_t d = j->d;
  for (int64_t r = r0; r < r1; r++) {
    const float *x = j->x + r * d;
    float *y = j->y + r * d;
    double s = 0;
    for (int32_t i = 0; i < d; i++) s += x[i];
    const double mean = s / d;
    double v = 0;
    for (int32_t i = 0; i < d; i++) v += (x[i] - mean) * (x[i] - mean);
    const float rs = (float)(1.0 / sqrt(v / d + 1e-5)), mf = (float)mean;
    for (int32_t i = 0; i < d; i++) y[i] = (x[i] - mf) * rs * j->mod[i] + j->mod[d + i];
  }
}

// y = AdaLN(x) over L rows; y may be x.
void adaln(tv_pool *pool, const float *x, float *y, int64_t L, int32_t d, const float *mod) {
  ada_job j = {x, y, d, mod};
  tv_rows_run(pool, L, 16, ada_rows, &j);
}

struct gelu_job {
  float *u;
  int32_t w;
};

void gelu_rows(void *arg, int64_t r0, int64_t r1) {
  gelu_job *j = (gelu_job *)arg;
  tv_gelu(j->u + r0 * j->w, (uint64_t)(r1 - r0) * (uint64_t)j->w);
}

void add_positions(float *x, int64_t L, int32_t d) {
  const float c = (float)(-log(10000.0) / d);
  for (int32_t i = 0; i < d / 2; i++) {
    const float freq = expf((float)(2 * i) * c);
    for (int64_t t = 0; t < L; t++) {
      const float a = (float)t * freq;
      x[t * d + 2 * i] += sinf(a);
      x[t * d + 2 * i + 1] += cosf(a);
    }
  }
}

// One layer stack over the L rows of x, in place. rows: the modulation rows.
int run_stack(const tv_acoustic *m, tv_pool *pool, const tv_ac_stack *s, float *x, int32_t L,
              const float *rows) {
  const int32_t d = m->d, D = d / m->heads, r2 = 2 * d;
  size_t need = 4 * (size_t)L * d;
  if ((size_t)L * m->ffn > need) need = (size_t)L * m->ffn;
  for (int32_t i = 0; i < s->layers; i++)
    if (s->layer[i].hybrid) {
      size_t sm = tv_seqmix_scratch(L, d, m->state_dim);
      if (sm > need) need = sm;
      break;
    }
  float *h = (float *)tv_malloc(sizeof(float) * ((size_t)L * d + need));
  if (!h) return -1;
  float *buf = h + (size_t)L * d;
  const int32_t pad = (m->k - 1) / 2;
  int rc = -1;
  if (d >= 2) add_positions(x, L, d);
  for (int32_t i = 0; i < s->layers; i++) {
    const tv_ac_layer *ly = &s->layer[i];
    adaln(pool, x, h, L, d, rows + (size_t)ly->n1 * r2);
    tv_linear(pool, h, L, d, ly->in_proj_w, ly->in_proj_b, buf, 3 * d, 0);
    float *a = buf + 3 * (size_t)L * d;
    if (tv_attention(pool, buf, 3 * d, buf + d, 3 * d, buf + 2 * d, 3 * d, a, d, L, L, m->heads, D, NULL, NULL,
                     (float)(1.0 / sqrt((double)D))) != 0)
      goto done;
    tv_linear(pool, a, L, d, ly->out_proj.w, ly->out_proj.b, x, d, 1);
    if (ly->hybrid) {
      adaln(pool, x, h, L, d, rows + (size_t)ly->n_seq * r2);
      tv_seqmix_run(pool, &ly->fwd, &ly->bwd, h, L, d, x, buf);
    }
    adaln(pool, x, h, L, d, rows + (size_t)ly->n2 * r2);
    if (tv_conv1d(pool, h, L, d, d, ly->c1.w, m->k, 1, 1, pad, pad, ly->c1.b, buf, m->ffn) < 0) goto done;
    {
      gelu_job gj = {buf, m->ffn};
      tv_rows_run(pool, L, 8, gelu_rows, &gj);
    }
    tv_linear(pool, buf, L, m->ffn, ly->c2.w, ly->c2.b, x, d, 1);
  }
  adaln(pool, x, x, L, d, rows + (size_t)s->out_norm * r2);
  rc = 0;
done:
  tv_free(h);
  return rc;
}

void relu(float *x, int64_t n) {
  for (int64_t i = 0; i < n; i++) x[i] = x[i] > 0.0f ? x[i] : 0.0f;
}

// out (n floats) = one predictor over the n encoder rows x.
int run_varpred(const tv_acoustic *m, tv_pool *pool, const tv_ac_varpred *p, const float *x, int32_t n,
                const float *rows, float *out) {
  const int32_t d = m->d;
  float *u = (float *)tv_malloc(sizeof(float) * 2 * (size_t)n * d);
  if (!u) return -1;
  float *v = u + (size_t)n * d;
  int rc = -1;
  if (tv_conv1d(pool, x, n, d, d, p->c1.w, 3, 1, 1, 1, 1, p->c1.b, u, d) < 0) goto done;
  relu(u, (int64_t)n * d);
  adaln(pool, u, u, n, d, rows + (size_t)p->n1 * 2 * d);
  if (tv_conv1d(pool, u, n, d, d, p->c2.w, 3, 1, 1, 1, 1, p->c2.b, v, d) < 0) goto done;
  relu(v, (int64_t)n * d);
  adaln(pool, v, v, n, d, rows + (size_t)p->n2 * 2 * d);
  tv_linear(pool, v, n, d, p->out.w, p->out.b, out, 1, 0);
  rc = 0;
done:
  tv_free(u);
  return rc;
}

// Modulation rows of every AdaLN for one conditioning vector: proj x g + bias,
// with 1 added to the scale half.
void mod_rows(const tv_acoustic *m, const float *g, float *rows) {
  const int32_t d = m->d;
  for (int32_t j = 0; j < m->n_ada; j++) {
    float *r = rows + (size_t)j * 2 * d;
    tv_linear(NULL, g, 1, m->g_dim, m->ada[j].w, m->ada[j].b, r, 2 * d, 0);
    for (int32_t i = 0; i < d; i++) r[i] += 1.0f;
  }
}

// Embedding, encoder and the three predictors: x (n x d) and pred (3 x n:
// log duration, pitch, energy).
int encode_predict(const tv_acoustic *m, tv_pool *pool, const int32_t *ids, int32_t n, const float *rows,
                   float *x, float *pred) {
  const int32_t d = m->d;
  for (int32_t i = 0; i < n; i++) tv_mat_row(m->emb, ids[i], x + (size_t)i * d);
  if (run_stack(m, pool, &m->enc, x, n, rows) != 0) return -1;
  if (run_varpred(m, pool, &m->dur, x, n, rows, pred) != 0) return -1;
  if (run_varpred(m, pool, &m->pitch, x, n, rows, pred + n) != 0) return -1;
  return run_varpred(m, pool, &m->energy, x, n, rows, pred + 2 * (size_t)n);
}

// Length regulation of xe (n x d) by r, the decoder and the mel projection.
int decode(const tv_acoustic *m, tv_pool *pool, const float *xe, const int32_t *r, int32_t n, int32_t T,
           const float *rows, float *mel) {
  const int32_t d = m->d;
  float *f = (float *)tv_malloc(sizeof(float) * (size_t)T * d);
  if (!f) return -1;
  size_t at = 0;
  for (int32_t i = 0; i < n; i++)
    for (int32_t c = 0; c < r[i]; c++, at++) memcpy(f + at * d, xe + (size_t)i * d, sizeof(float) * d);
  int rc = run_stack(m, pool, &m->dec, f, T, rows);
  if (rc == 0) tv_linear(pool, f, T, d, m->to_mel.w, m->to_mel.b, mel, TV_ACOUSTIC_MEL, 0);
  tv_free(f);
  return rc;
}

}  // namespace

int tv_acoustic_infer(const tv_acoustic *m, tv_pool *pool, const int32_t *ids, const int32_t *words, int32_t n,
                      const float *g, const float *g_ref, const float *shifts, int32_t n_words, float **mel_out,
                      int32_t *frames_out, int32_t **durs_out, float w, float pace) {
  *mel_out = NULL;
  *frames_out = 0;
  if (durs_out) *durs_out = NULL;
  if (n < 1) {
    tv_seterr("acoustic: empty input");
    return -1;
  }
  for (int32_t i = 0; i < n; i++)
    if (ids[i] < 0 || ids[i] >= m->n_symbols) {
      tv_seterr("acoustic: symbol id %d out of range [0, %d)", ids[i], m->n_symbols);
      return -1;
    }
  if (!(pace > 0.0f)) {
    tv_seterr("acoustic: pace must be > 0");
    return -1;
  }
  const int32_t d = m->d;
  const size_t nd = (size_t)n * d, rows_len = (size_t)m->n_ada * 2 * d;
  const int guided = g_ref != NULL;
  int rc = -1;
  int64_t T = 0;
  float *mel = NULL, *mel_r = NULL;
  int32_t *r = NULL;
  // rows, rows_ref, x, x_ref, e, tmp, pred (3n), pred_ref (3n), pitch/energy columns (2n)
  float *work = (float *)tv_malloc(sizeof(float) * (2 * rows_len + 4 * nd + 8 * (size_t)n));
  r = (int32_t *)tv_malloc(sizeof(int32_t) * (size_t)n);
  if (!work || !r) goto done;
  {
    float *rows = work, *rows_ref = rows + rows_len, *x = rows_ref + rows_len, *x_ref = x + nd;
    float *e = x_ref + nd, *tmp = e + nd, *pred = tmp + nd, *pred_ref = pred + 3 * (size_t)n;
    float *pe = pred_ref + 3 * (size_t)n;  // pitch column, then energy column
    mod_rows(m, g, rows);
    if (encode_predict(m, pool, ids, n, rows, x, pred) != 0) goto done;
    if (guided) {
      mod_rows(m, g_ref, rows_ref);
      if (encode_predict(m, pool, ids, n, rows_ref, x_ref, pred_ref) != 0) goto done;
      for (int32_t i = 0; i < 3 * n; i++) pred[i] = pred_ref[i] + w * (pred[i] - pred_ref[i]);
    }
    float *dur = pred, *pitch = pe, *energy = pe + n;
    memcpy(pitch, pred + n, sizeof(float) * (size_t)n);
    memcpy(energy, pred + 2 * (size_t)n, sizeof(float) * (size_t)n);
    const int shifting = words && shifts;
    for (int32_t i = 0; i < n; i++) {
      float f = expf(dur[i]) - 1.0f;
      f = (f > 0.0f ? f : 0.0f) / pace;
      if (shifting && words[i] >= 0 && words[i] < n_words) {
        const float *row = shifts + (size_t)words[i] * 3;
        pitch[i] += row[0];
        energy[i] += row[1];
        f *= row[2];
      }
      float rf = rintf(f);
      if (!(rf > 0.0f)) rf = 0.0f;  // negative and NaN
      if (i == 0 && rf < 1.0f) rf = 1.0f;
      if (rf > (float)MAX_TOKEN_FRAMES) {
        tv_seterr("acoustic: a token duration is out of range");
        goto done;
      }
      r[i] = (int32_t)rf;
      T += r[i];
      if (T > TV_ACOUSTIC_MAX_FRAMES) {
        tv_seterr("this text is too long to render in one pass (over %d s of audio); use stream() or markup to "
                  "render it sentence by sentence",
                  TV_ACOUSTIC_MAX_FRAMES * 256 / 24000);
        goto done;
      }
    }
    if (tv_conv1d(pool, pitch, n, 1, 1, m->pitch_emb.w, 3, 1, 1, 1, 1, m->pitch_emb.b, e, d) < 0) goto done;
    if (tv_conv1d(pool, energy, n, 1, 1, m->energy_emb.w, 3, 1, 1, 1, 1, m->energy_emb.b, tmp, d) < 0) goto done;
    for (size_t i = 0; i < nd; i++) e[i] += tmp[i];
    mel = (float *)tv_malloc(sizeof(float) * (size_t)T * TV_ACOUSTIC_MEL);
    if (!mel) goto done;
    for (size_t i = 0; i < nd; i++) tmp[i] = x[i] + e[i];
    if (decode(m, pool, tmp, r, n, (int32_t)T, rows, mel) != 0) goto done;
    if (guided) {
      mel_r = (float *)tv_malloc(sizeof(float) * (size_t)T * TV_ACOUSTIC_MEL);
      if (!mel_r) goto done;
      for (size_t i = 0; i < nd; i++) tmp[i] = x_ref[i] + e[i];
      if (decode(m, pool, tmp, r, n, (int32_t)T, rows_ref, mel_r) != 0) goto done;
      for (size_t i = 0; i < (size_t)T * TV_ACOUSTIC_MEL; i++) mel[i] = mel_r[i] + w * (mel[i] - mel_r[i]);
    }
  }
  *mel_out = mel;
  *frames_out = (int32_t)T;
  mel = NULL;
  if (durs_out) {
    *durs_out = r;
    r = NULL;
  }
  rc = 0;
done:
  tv_free(work);
  tv_free(r);
  tv_free(mel);
  tv_free(mel_r);
  return rc;
}
