#include "nn/spkenc.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "nn/rows.h"
#include "runtime/error.h"
#include "runtime/kernels.h"
#include "runtime/resample.h"

#define LN_EPS 1e-5f
#define MAX_SAMPLES16 128000
#define MAX_SAMPLES24 192000
#define MIN_SAMPLES16 8000
#define MAX_DISTANCE 800.0
#define MAX_DIM 65536
#define STAT_CHUNK 64

static const int32_t STRIDE[TV_WAVLM_CONVS] = {5, 2, 2, 2, 2, 2, 2};
static const int32_t TDNN_DIL[TV_WAVLM_TDNN] = {1, 2, 3, 1, 1};

#define PFX "wavlm."
#define CONV_W PFX "feature_extractor.conv_layers.%d.conv.weight"
#define POS_W PFX "encoder.pos_conv_embed.conv.weight"
#define REL_W PFX "encoder.layers.0.attention.rel_attn_embed.weight"

// ---------------------------------------------------------------------------
// Loading

namespace {

void mat_free(tv_wavlm_mat *m) {
  tv_free(m->data);
  tv_free(m->scales);
  memset(m, 0, sizeof *m);
}

// A convolution weight of rows x (in x k) (column c k + j) relaid tap-major
// (column j in + c). int8 keeps its bytes and row scales; float stays float;
// int4 is expanded to float.
int relay(const tv_mat *src, int32_t in, int32_t k, tv_wavlm_mat *out) {
  memset(out, 0, sizeof *out);
  const int32_t rows = src->rows, cols = in * k;
  out->m.rows = rows;
  out->m.cols = cols;
  if (src->storage == TV_MAT_I8) {
    int8_t *q = (int8_t *)tv_malloc((size_t)rows * cols);
    float *s = (float *)tv_malloc(sizeof(float) * (size_t)rows);
    if (!q || !s) {
      tv_free(q);
      tv_free(s);
      return -1;
    }
    for (int32_t r = 0; r < rows; r++) {
      const int8_t *a = src->i8 + (size_t)r * cols;
      int8_t *b = q + (size_t)r * cols;
      for (int32_t c = 0; c < in; c++)
        for (int32_t j = 0; j < k; j++) b[(size_t)j * in + c] = a[(size_t)c * k + j];
    }
    memcpy(s, src->scales, sizeof(float) * (size_t)rows);
    out->m.storage = TV_MAT_I8;
    out->m.i8 = q;
    out->m.scales = s;
    out->data = q;
    out->scales = s;
    return 0;
  }
  float *p = (float *)tv_malloc(sizeof(float) * (size_t)rows * cols);
  float *row = (float *)tv_malloc(sizeof(float) * (size_t)cols);
  if (!p || !row) {
    tv_free(p);
    tv_free(row);
    return -1;
  }
  for (int32_t r = 0; r < rows; r++) {
    tv_mat_row(src, r, row);
    float *b = p + (size_t)r * cols;
    for (int32_t c = 0; c < in; c++)
      for (int32_t j = 0; j < k; j++) b[(size_t)j * in + c] = row[(size_t)c * k + j];
  }
  tv_free(row);
  out->m.storage = TV_MAT_F32;
  out->m.f32 = p;
  out->data = p;
  return 0;
}

bool dim_ok(uint64_t v) { return v >= 1 && v <= MAX_DIM; }

int load_layer(tv_wavlm *m, tv_weights *w, int32_t l) {
  const int32_t D = m->D, hd = D / m->H;
  tv_wavlm_layer *Y = &m->layer[l];
#define LN(s) tv_name(PFX "encoder.layers.%d.%s", l, s)
  if (!(Y->q.w = tv_weights_mat(w, LN("attention.q_proj.weight"), D, D))) return -1;
  if (!(Y->k.w = tv_weights_mat(w, LN("attention.k_proj.weight"), D, D))) return -1;
  if (!(Y->v.w = tv_weights_mat(w, LN("attention.v_proj.weight"), D, D))) return -1;
  if (!(Y->o.w = tv_weights_mat(w, LN("attention.out_proj.weight"), D, D))) return -1;
  if (!(Y->q.b = tv_weights_f32(w, LN("attention.q_proj.bias"), D))) return -1;
  if (!(Y->k.b = tv_weights_f32(w, LN("attention.k_proj.bias"), D))) return -1;
  if (!(Y->v.b = tv_weights_f32(w, LN("attention.v_proj.bias"), D))) return -1;
  if (!(Y->o.b = tv_weights_f32(w, LN("attention.out_proj.bias"), D))) return -1;
  if (!(Y->gate_w = tv_weights_f32(w, LN("attention.gru_rel_pos_linear.weight"), 8 * (int64_t)hd))) return -1;
  if (!(Y->gate_b = tv_weights_f32(w, LN("attention.gru_rel_pos_linear.bias"), 8))) return -1;
  if (!(Y->gate_c = tv_weights_f32(w, LN("attention.gru_rel_pos_const"), m->H))) return -1;
  if (!(Y->ln_w = tv_weights_finite(w, LN("layer_norm.weight"), D))) return -1;
  if (!(Y->ln_b = tv_weights_finite(w, LN("layer_norm.bias"), D))) return -1;
  if (!(Y->ffi.w = tv_weights_mat(w, LN("feed_forward.intermediate_dense.weight"), 0, D))) return -1;
  const int32_t F = Y->ffi.w->rows;
  if (!(Y->ffi.b = tv_weights_f32(w, LN("feed_forward.intermediate_dense.bias"), F))) return -1;
  if (!(Y->ffo.w = tv_weights_mat(w, LN("feed_forward.output_dense.weight"), D, F))) return -1;
  if (!(Y->ffo.b = tv_weights_f32(w, LN("feed_forward.output_dense.bias"), D))) return -1;
  if (!(Y->fln_w = tv_weights_finite(w, LN("final_layer_norm.weight"), D))) return -1;
  if (!(Y->fln_b = tv_weights_finite(w, LN("final_layer_norm.bias"), D))) return -1;
#undef LN
  return 0;
}

}  // namespace

tv_wavlm *tv_wavlm_load(tv_weights *w) {
  tv_wavlm *m = (tv_wavlm *)tv_calloc(sizeof(tv_wavlm));
  if (!m) return NULL;
  uint64_t dims[TV_MAX_DIMS];
  char name[256];
  {
    int32_t count = 0;
    while (count < 64 && tv_weights_has(w, tv_name(CONV_W, count)) &&
           tv_weights_shape(w, tv_name(CONV_W, count), dims) == 3)
      count++;
    if (count != TV_WAVLM_CONVS) {
      tv_seterr("wavlm: expected 7 feature-encoder convs, found %d", count);
      goto fail;
    }
  }
  for (int32_t i = 0; i < TV_WAVLM_CONVS; i++) {
    snprintf(name, sizeof name, CONV_W, i);
    if (tv_weights_shape(w, name, dims) != 3) goto fail;
    const int64_t want = i == 0 ? 1 : m->conv_c[i - 1];
    if ((int64_t)dims[1] != want) {
      tv_seterr("wavlm: %s has %lld input channels, expected %d", name, (long long)dims[1], (int)want);
      goto fail;
    }
    if (!dim_ok(dims[0]) || !dim_ok(dims[2])) {
      tv_seterr("wavlm: %s has a bad shape", name);
      goto fail;
    }
    m->conv_c[i] = (int32_t)dims[0];
    m->conv_k[i] = (int32_t)dims[2];
    m->conv_s[i] = STRIDE[i];
    const tv_mat *src = tv_weights_mat(w, name, m->conv_c[i], (int32_t)(want * m->conv_k[i]));
    if (!src) goto fail;
    if (i == 0)
      m->conv0 = src;
    else if (relay(src, (int32_t)want, m->conv_k[i], &m->conv[i]) != 0)
      goto fail;
  }
  if (tv_weights_has(w, PFX "feature_extractor.conv_layers.0.conv.bias") ||
      tv_weights_has(w, PFX "feature_extractor.conv_layers.1.layer_norm.weight")) {
    tv_seterr("wavlm: only the conv_bias = false, feat_extract_norm = group variant is supported");
    goto fail;
  }
  {
    const int32_t C0 = m->conv_c[0], C6 = m->conv_c[TV_WAVLM_CONVS - 1];
    if (!(m->gn_w = tv_weights_finite(w, PFX "feature_extractor.conv_layers.0.layer_norm.weight", C0))) goto fail;
    if (!(m->gn_b = tv_weights_finite(w, PFX "feature_extractor.conv_layers.0.layer_norm.bias", C0))) goto fail;
    if (!(m->fp_ln_w = tv_weights_finite(w, PFX "feature_projection.layer_norm.weight", C6))) goto fail;
    if (!(m->fp_ln_b = tv_weights_finite(w, PFX "feature_projection.layer_norm.bias", C6))) goto fail;
    if (tv_lin_load(w, PFX "feature_projection.projection", 0, C6, &m->proj) != 0) goto fail;
    m->D = m->proj.w->rows;
  }
  {
    const int32_t D = m->D;
    const int nd = tv_weights_has(w, POS_W) ? tv_weights_shape(w, POS_W, dims) : 0;
    if (nd != 3 || (int64_t)dims[0] != D || dims[1] == 0 || D % (int64_t)dims[1] != 0 || !dim_ok(dims[2])) {
      tv_seterr("wavlm: " POS_W " is missing or bad (export the speaker encoder with the model's export tool, "
                "which folds its weight norm into a plain D x D/G x K weight)");
      goto fail;
    }
    const int32_t Dg = (int32_t)dims[1];
    m->G = D / Dg;
    m->K = (int32_t)dims[2];
    const tv_mat *src = tv_weights_mat(w, POS_W, D, Dg * m->K);
    if (!src || relay(src, Dg, m->K, &m->pos) != 0) goto fail;
    if (!(m->pos_b = tv_weights_f32(w, PFX "encoder.pos_conv_embed.conv.bias", D))) goto fail;
    if (!(m->enc_ln_w = tv_weights_finite(w, PFX "encoder.layer_norm.weight", D))) goto fail;
    if (!(m->enc_ln_b = tv_weights_finite(w, PFX "encoder.layer_norm.bias", D))) goto fail;
  }
  if (!tv_weights_has(w, REL_W) || tv_weights_shape(w, REL_W, dims) != 2) {
    tv_seterr("wavlm: missing rel_attn_embed");
    goto fail;
  }
  // Fewer than 4 buckets leave no exact range to divide the distances by;
  // no head at all divides the width by zero.
  if (dims[0] < 4 || !dim_ok(dims[0]) || !dim_ok(dims[1])) {
    tv_seterr("wavlm: rel_attn_embed of %llu x %llu (need at least 4 buckets and 1 head)",
              (unsigned long long)dims[0], (unsigned long long)dims[1]);
    goto fail;
  }
  m->B = (int32_t)dims[0];
  m->H = (int32_t)dims[1];
  if (!(m->rel = tv_weights_f32(w, REL_W, (int64_t)m->B * m->H))) goto fail;
  while (m->L < TV_WAVLM_MAX_LAYERS && tv_weights_has(w, tv_name(PFX "encoder.layers.%d.attention.q_proj.weight", m->L)))
    m->L++;
  for (int32_t l = 0; l < m->L; l++)
    if (load_layer(m, w, l) != 0) goto fail;
  {
    const float *lw = tv_weights_f32(w, "layer_weights", m->L + 1);
    if (!lw) goto fail;
    double mx = lw[0], sum = 0;
    for (int32_t i = 1; i <= m->L; i++)
      if (lw[i] > mx) mx = lw[i];
    for (int32_t i = 0; i <= m->L; i++) sum += exp((double)lw[i] - mx);
    for (int32_t i = 0; i <= m->L; i++) m->lw[i] = (float)(exp((double)lw[i] - mx) / sum);
  }
  if (tv_lin_load(w, "projector", 0, m->D, &m->projector) != 0) goto fail;
  {
    int32_t in = m->projector.w->rows;
    for (int32_t t = 0; t < 8 && tv_weights_has(w, tv_name("tdnn.%d.kernel.weight", t)); t++) {
      if (t >= TV_WAVLM_TDNN) {
        tv_seterr("wavlm: unexpected TDNN layer %d", t);
        goto fail;
      }
      snprintf(name, sizeof name, "tdnn.%d.kernel", t);
      if (tv_lin_load(w, name, 0, 0, &m->tdnn[t]) != 0) goto fail;
      const int32_t cols = m->tdnn[t].w->cols;
      if (cols < in || cols % in != 0) {
        tv_seterr("wavlm: unexpected TDNN layer %d", t);
        goto fail;
      }
      m->tdnn_k[t] = cols / in;
      m->tdnn_dil[t] = TDNN_DIL[t];
      m->tdnn_out[t] = in = m->tdnn[t].w->rows;
      m->n_tdnn = t + 1;
    }
    if (tv_lin_load(w, "feature_extractor", TV_WAVLM_OUT, 2 * in, &m->fe) != 0) goto fail;
  }
  if (m->L < 1 || m->n_tdnn != TV_WAVLM_TDNN || m->H * (m->D / m->H) != m->D) {
    tv_seterr("wavlm: unexpected architecture (%d TDNN layers, %d transformer layers)", m->n_tdnn, m->L);
    goto fail;
  }
  return m;
fail:
  tv_wavlm_free(m);
  return NULL;
}

void tv_wavlm_free(tv_wavlm *m) {
  if (!m) return;
  for (int i = 0; i < TV_WAVLM_CONVS; i++) mat_free(&m->conv[i]);
  mat_free(&m->pos);
  tv_free(m);
}

// ---------------------------------------------------------------------------
// Forward pass

namespace {

struct gelu_job {
  float *x;
  int64_t width;
};

void gelu_rows(void *arg, int64_t r0, int64_t r1) {
  const gelu_job *j = (const gelu_job *)arg;
  tv_gelu(j->x + r0 * j->width, (uint64_t)((r1 - r0) * j->width));
}

struct ln_job {
  float *x;
  int32_t n;
  const float *w, *b;
};

void ln_rows(void *arg, int64_t r0, int64_t r1) {
  const ln_job *j = (const ln_job *)arg;
  tv_layernorm(j->x + r0 * j->n, (int32_t)(r1 - r0), j->n, j->n, j->w, j->b, LN_EPS);
}

// Group norm with one group per channel: statistics over all T frames,
// summed per 64-frame chunk and then chunk after chunk, so no sum depends on
// how the frames were shared out.
struct gn_job {
  float *x;
  int64_t T;
  int32_t C;
  double *part;  // chunks x C
  const double *mean;
  const float *scale, *shift;  // per channel, after the statistics
  int pass;
};

void gn_chunks(void *arg, int64_t c0, int64_t c1) {
  const gn_job *j = (const gn_job *)arg;
  const int32_t C = j->C;
  for (int64_t ch = c0; ch < c1; ch++) {
    double *p = j->part + ch * C;
    for (int32_t c = 0; c < C; c++) p[c] = 0;
    const int64_t t1 = (ch + 1) * STAT_CHUNK < j->T ? (ch + 1) * STAT_CHUNK : j->T;
    for (int64_t t = ch * STAT_CHUNK; t < t1; t++) {
      const float *x = j->x + t * C;
      if (j->pass == 0) {
        for (int32_t c = 0; c < C; c++) p[c] += x[c];
      } else {
        for (int32_t c = 0; c < C; c++) {
          const double d = x[c] - j->mean[c];
          p[c] += d * d;
        }
      }
    }
  }
}

void gn_apply(void *arg, int64_t r0, int64_t r1) {
  const gn_job *j = (const gn_job *)arg;
  const int32_t C = j->C;
  for (int64_t t = r0; t < r1; t++) {
    float *x = j->x + t * C;
    for (int32_t c = 0; c < C; c++) x[c] = x[c] * j->scale[c] + j->shift[c];
    tv_gelu(x, (uint64_t)C);
  }
}

int group_norm_gelu(tv_pool *pool, int64_t items, float *x, int64_t T, int32_t C, const float *w, const float *b) {
  const int64_t chunks = (T + STAT_CHUNK - 1) / STAT_CHUNK;
  double *part = (double *)tv_malloc(sizeof(double) * (size_t)(chunks * C + 2 * C));
  float *ss = (float *)tv_malloc(sizeof(float) * 2 * (size_t)C);
  if (!part || !ss) {
    tv_free(part);
    tv_free(ss);
    return -1;
  }
  double *mean = part + chunks * C, *var = mean + C;
  gn_job j = {x, T, C, part, mean, ss, ss + C, 0};
  for (int pass = 0; pass < 2; pass++) {
    j.pass = pass;
    tv_rows_split(pool, chunks, items, gn_chunks, &j);
    double *acc = pass == 0 ? mean : var;
    for (int32_t c = 0; c < C; c++) acc[c] = 0;
    for (int64_t ch = 0; ch < chunks; ch++)
      for (int32_t c = 0; c < C; c++) acc[c] += part[ch * C + c];
    for (int32_t c = 0; c < C; c++) acc[c] /= (double)T;
  }
  for (int32_t c = 0; c < C; c++) {
    const double inv = 1.0 / sqrt(var[c] + LN_EPS);
    ss[c] = (float)(inv * w[c]);
    ss[C + c] = (float)(b[c] - mean[c] * inv * w[c]);
  }
  tv_rows_split(pool, T, items, gn_apply, &j);
  tv_free(part);
  tv_free(ss);
  return 0;
}

struct pos_job {
  const tv_wavlm *m;
  const float *h;  // T x D
  float *pad;      // G x (T + K) x Dg
  float *out;      // T x D
  int64_t T;
};

void pos_group(void *arg, int32_t g, int32_t) {
  const pos_job *j = (const pos_job *)arg;
  const tv_wavlm *m = j->m;
  const int32_t D = m->D, Dg = D / m->G, K = m->K;
  const int64_t T = j->T;
  float *pad = j->pad + (size_t)g * (T + K) * Dg;
  memset(pad, 0, sizeof(float) * (size_t)(T + K) * Dg);
  for (int64_t t = 0; t < T; t++) memcpy(pad + (t + K / 2) * Dg, j->h + t * D + (size_t)g * Dg, sizeof(float) * Dg);
  tv_mat band;
  tv_mat_rows(&m->pos.m, g * Dg, Dg, &band);
  tv_linear(NULL, pad, (int32_t)T, Dg, &band, m->pos_b + (size_t)g * Dg, j->out + (size_t)g * Dg, D, 0);
}

struct bias_job {
  const tv_wavlm *m;
  const tv_wavlm_layer *Y;
  const float *x;    // layer input, T x D
  const float *tab;  // H x (2T - 1)
  float *bias;       // H x T x T
  int64_t T;
};

void bias_rows(void *arg, int64_t r0, int64_t r1) {
  const bias_job *j = (const bias_job *)arg;
  const int32_t D = j->m->D, H = j->m->H, hd = D / H;
  const int64_t T = j->T;
  for (int64_t r = r0; r < r1; r++) {
    const int32_t h = (int32_t)(r / T);
    const int64_t t = r % T;
    const float *xs = j->x + t * D + (size_t)h * hd;
    float gs[8];
    for (int i = 0; i < 8; i++) {
      float s = j->Y->gate_b[i];
      for (int32_t c = 0; c < hd; c++) s += xs[c] * j->Y->gate_w[(size_t)i * hd + c];
      gs[i] = s;
    }
    const float ga = 1.0f / (1.0f + expf(-(gs[0] + gs[1] + gs[2] + gs[3])));
    const float gb = 1.0f / (1.0f + expf(-(gs[4] + gs[5] + gs[6] + gs[7])));
    const float gate = ga * (gb * j->Y->gate_c[h] - 1.0f) + 2.0f;
    const float *tab = j->tab + (size_t)h * (2 * T - 1) + (T - 1 - t);  // tab[s] is key s
    float *b = j->bias + ((size_t)h * T + t) * T;
    for (int64_t s = 0; s < T; s++) b[s] = gate * tab[s];
  }
}

struct scale_add_job {
  float *acc;
  const float *x;
  float w;
};

void scale_add_rows(void *arg, int64_t r0, int64_t r1) {
  const scale_add_job *j = (const scale_add_job *)arg;
  for (int64_t i = r0; i < r1; i++) j->acc[i] += j->w * j->x[i];
}

struct add_job {
  float *y;
  const float *x;
};

void add_rows(void *arg, int64_t r0, int64_t r1) {
  const add_job *j = (const add_job *)arg;
  for (int64_t i = r0; i < r1; i++) j->y[i] += j->x[i];
}

}  // namespace

int tv_wavlm_xvector16(const tv_wavlm *m, tv_pool *pool, const float *samples, size_t n, float *out) {
  if (!m || !samples || !out || n == 0) {
    tv_seterr("wavlm: empty input");
    return -1;
  }
  if (n > MAX_SAMPLES16) n = MAX_SAMPLES16;
  const size_t reps = n < MIN_SAMPLES16 ? (MIN_SAMPLES16 + n - 1) / n : 1, total = n * reps;
  // Frame counts, refusing any layer whose input is shorter than its kernel
  // (the subtraction would otherwise wrap around).
  int64_t frames[TV_WAVLM_CONVS];
  int64_t len = (int64_t)total;
  size_t big = 0, small = 0;  // floats of the largest even and odd layer outputs
  for (int i = 0; i < TV_WAVLM_CONVS; i++) {
    if (len < m->conv_k[i]) {
      tv_seterr("wavlm: input of %zu samples is too short", total);
      return -1;
    }
    len = frames[i] = (len - m->conv_k[i]) / m->conv_s[i] + 1;
    const size_t sz = (size_t)len * m->conv_c[i];
    size_t &slot = i % 2 == 0 ? big : small;
    if (sz > slot) slot = sz;
  }
  const int64_t T = frames[TV_WAVLM_CONVS - 1];
  const int32_t D = m->D, H = m->H, hd = D / H, C6 = m->conv_c[TV_WAVLM_CONVS - 1];
  int32_t F = 1;
  for (int32_t l = 0; l < m->L; l++)
    if (m->layer[l].ffi.w->rows > F) F = m->layer[l].ffi.w->rows;
  int32_t widest = m->projector.w->rows;
  for (int t = 0; t < m->n_tdnn; t++)
    if (m->tdnn_out[t] > widest) widest = m->tdnn_out[t];
  size_t gather = 0;
  {
    int64_t Tt = T;
    int32_t in = m->projector.w->rows;
    for (int t = 0; t < m->n_tdnn; t++) {
      const int64_t next = Tt - (int64_t)(m->tdnn_k[t] - 1) * m->tdnn_dil[t];
      if (next < 2) {
        tv_seterr("wavlm: input too short for the TDNN stack");
        return -1;
      }
      // Dilated windows are gathered; a scratch of exactly their size.
      if (m->tdnn_k[t] > 1 && m->tdnn_dil[t] > 1 && (size_t)next * m->tdnn_k[t] * in > gather)
        gather = (size_t)next * m->tdnn_k[t] * in;
      Tt = next;
      in = m->tdnn_out[t];
    }
  }
  const int64_t items = T < 4 * (int64_t)tv_pool_size(pool) ? T : 4 * (int64_t)tv_pool_size(pool);
  int rc = -1;
  float *x = (float *)tv_malloc(sizeof(float) * total);
  float *a = (float *)tv_malloc(sizeof(float) * big);
  float *b = (float *)tv_malloc(sizeof(float) * (small > 0 ? small : 1));
  float *h = (float *)tv_malloc(sizeof(float) * (size_t)T * D);
  float *acc = (float *)tv_malloc(sizeof(float) * (size_t)T * D);
  float *q = (float *)tv_malloc(sizeof(float) * 3 * (size_t)T * D);
  float *ctx = (float *)tv_malloc(sizeof(float) * (size_t)T * D);
  float *tmp = (float *)tv_malloc(sizeof(float) * (size_t)T * D);
  float *ff = (float *)tv_malloc(sizeof(float) * (size_t)T * F);
  float *pad = (float *)tv_malloc(sizeof(float) * (size_t)(T + m->K) * D);
  float *tab = (float *)tv_malloc(sizeof(float) * (size_t)H * (2 * T - 1));
  float *bias = (float *)tv_malloc(sizeof(float) * (size_t)H * T * T);
  float *t1 = (float *)tv_malloc(sizeof(float) * (size_t)T * widest);
  float *t2 = (float *)tv_malloc(sizeof(float) * (size_t)T * widest);
  float *win = gather ? (float *)tv_malloc(sizeof(float) * gather) : NULL;
  if (!x || !a || !b || !h || !acc || !q || !ctx || !tmp || !ff || !pad || !tab || !bias || !t1 || !t2 ||
      (gather && !win))
    goto done;
  for (size_t r = 0; r < reps; r++) memcpy(x + r * n, samples, sizeof(float) * n);

  // Feature convolutions: each output frame is one product over a window
  // of the time-major input, so the windows are rows of stride s x width.
  {
    const float *in = x;
    int32_t cin = 1;
    for (int i = 0; i < TV_WAVLM_CONVS; i++) {
      float *o = i % 2 == 0 ? a : b;
      const tv_mat *W = i == 0 ? m->conv0 : &m->conv[i].m;
      tv_linear(pool, in, (int32_t)frames[i], (int64_t)m->conv_s[i] * cin, W, NULL, o, m->conv_c[i], 0);
      if (i == 0) {
        if (group_norm_gelu(pool, items, o, frames[0], m->conv_c[0], m->gn_w, m->gn_b) != 0) goto done;
      } else {
        gelu_job gj = {o, m->conv_c[i]};
        tv_rows_split(pool, frames[i], items, gelu_rows, &gj);
      }
      in = o;
      cin = m->conv_c[i];
    }
    float *last = (TV_WAVLM_CONVS - 1) % 2 == 0 ? a : b;
    ln_job lj = {last, C6, m->fp_ln_w, m->fp_ln_b};
    tv_rows_split(pool, T, items, ln_rows, &lj);
    tv_linear(pool, last, (int32_t)T, C6, m->proj.w, m->proj.b, h, D, 0);
  }
  // Positional convolution, one item per group.
  {
    pos_job pj = {m, h, pad, tmp, T};
    tv_parallel_for(pool, m->G, pos_group, &pj);
    gelu_job gj = {tmp, D};
    tv_rows_split(pool, T, items, gelu_rows, &gj);
    add_job aj = {h, tmp};
    tv_rows_split(pool, T * D, items, add_rows, &aj);
    ln_job lj = {h, D, m->enc_ln_w, m->enc_ln_b};
    tv_rows_split(pool, T, items, ln_rows, &lj);
    for (size_t i = 0; i < (size_t)T * D; i++) acc[i] = m->lw[0] * h[i];
  }
  // Relative position table over key - query = 1 - T .. T - 1.
  {
    const int32_t half = m->B / 2, exact = m->B / 4;
    const float den = (float)log(MAX_DISTANCE / exact);
    for (int64_t r = 0; r < 2 * T - 1; r++) {
      const int64_t rel = r - (T - 1);
      int64_t dist = rel < 0 ? -rel : rel;
      if (dist >= exact) {
        float v = logf((float)dist / (float)exact);
        v = v / den;
        v = (float)exact + v * (float)(half - exact);
        const int64_t big_dist = (int64_t)v;
        dist = big_dist < half - 1 ? big_dist : half - 1;
      }
      const int64_t bucket = dist + (rel > 0 ? half : 0);
      for (int32_t hh = 0; hh < H; hh++) tab[(size_t)hh * (2 * T - 1) + r] = m->rel[bucket * H + hh];
    }
  }
  for (int32_t l = 0; l < m->L; l++) {
    const tv_wavlm_layer *Y = &m->layer[l];
    float *Q = q, *K = q + (size_t)T * D, *V = q + 2 * (size_t)T * D;
    tv_linear(pool, h, (int32_t)T, D, Y->q.w, Y->q.b, Q, D, 0);
    tv_linear(pool, h, (int32_t)T, D, Y->k.w, Y->k.b, K, D, 0);
    tv_linear(pool, h, (int32_t)T, D, Y->v.w, Y->v.b, V, D, 0);
    bias_job bj = {m, Y, h, tab, bias, T};
    tv_rows_split(pool, (int64_t)H * T, items, bias_rows, &bj);
    if (tv_attention(pool, Q, D, K, D, V, D, ctx, D, (int32_t)T, (int32_t)T, H, hd, NULL, bias,
                     1.0f / sqrtf((float)hd)) != 0) {
      tv_seterr("out of memory");
      goto done;
    }
    tv_linear(pool, ctx, (int32_t)T, D, Y->o.w, Y->o.b, h, D, 1);
    ln_job l1 = {h, D, Y->ln_w, Y->ln_b};
    tv_rows_split(pool, T, items, ln_rows, &l1);
    const int32_t Fl = Y->ffi.w->rows;
    tv_linear(pool, h, (int32_t)T, D, Y->ffi.w, Y->ffi.b, ff, Fl, 0);
    gelu_job gj = {ff, Fl};
    tv_rows_split(pool, T, items, gelu_rows, &gj);
    tv_linear(pool, ff, (int32_t)T, Fl, Y->ffo.w, Y->ffo.b, h, D, 1);
    ln_job l2 = {h, D, Y->fln_w, Y->fln_b};
    tv_rows_split(pool, T, items, ln_rows, &l2);
    scale_add_job sj = {acc, h, m->lw[l + 1]};
    tv_rows_split(pool, T * D, items, scale_add_rows, &sj);
  }
  {
    int32_t in = m->projector.w->rows;
    int64_t Tt = T;
    tv_linear(pool, acc, (int32_t)T, D, m->projector.w, m->projector.b, t1, in, 0);
    float *cur = t1, *nxt = t2;
    for (int t = 0; t < m->n_tdnn; t++) {
      const int32_t k = m->tdnn_k[t], dil = m->tdnn_dil[t], o = m->tdnn_out[t];
      const int64_t Tn = Tt - (int64_t)(k - 1) * dil;
      if (k > 1 && dil > 1) {
        for (int64_t f = 0; f < Tn; f++)
          for (int32_t j = 0; j < k; j++)
            memcpy(win + ((size_t)f * k + j) * in, cur + (f + (int64_t)j * dil) * in, sizeof(float) * in);
        tv_linear(pool, win, (int32_t)Tn, (int64_t)k * in, m->tdnn[t].w, m->tdnn[t].b, nxt, o, 0);
      } else {
        tv_linear(pool, cur, (int32_t)Tn, in, m->tdnn[t].w, m->tdnn[t].b, nxt, o, 0);
      }
      tv_relu(nxt, (uint64_t)Tn * o);
      float *s = cur;
      cur = nxt;
      nxt = s;
      Tt = Tn;
      in = o;
    }
    // Statistics pooling in double: means, then deviations with T - 1. The
    // vector goes into the TDNN buffer not in use (T >= 2 rows of widest).
    float *sv = nxt;
    for (int32_t c = 0; c < in; c++) {
      double s = 0;
      for (int64_t f = 0; f < Tt; f++) s += cur[f * in + c];
      const double mean = s / (double)Tt;
      double v = 0;
      for (int64_t f = 0; f < Tt; f++) {
        const double d = cur[f * in + c] - mean;
        v += d * d;
      }
      sv[c] = (float)mean;
      sv[in + c] = (float)sqrt(v / (double)(Tt - 1));
    }
    float y[TV_WAVLM_OUT];
    tv_linear(NULL, sv, 1, 2 * in, m->fe.w, m->fe.b, y, TV_WAVLM_OUT, 0);
    double norm = 0;
    for (int i = 0; i < TV_WAVLM_OUT; i++) norm += (double)y[i] * y[i];
    norm = sqrt(norm);
    // NaN or infinite values come from damaged weights; passed on, the
    // vector would turn every clone of this clip into silence.
    if (!isfinite(norm)) {
      tv_seterr("wavlm: the speaker vector is not finite; the speaker encoder's weights may be damaged");
      goto done;
    }
    if (!(norm > 1e-12)) norm = 1e-12;
    for (int i = 0; i < TV_WAVLM_OUT; i++) out[i] = (float)(y[i] / norm);
  }
  rc = 0;
done:
  tv_free(x);
  tv_free(a);
  tv_free(b);
  tv_free(h);
  tv_free(acc);
  tv_free(q);
  tv_free(ctx);
  tv_free(tmp);
  tv_free(ff);
  tv_free(pad);
  tv_free(tab);
  tv_free(bias);
  tv_free(t1);
  tv_free(t2);
  tv_free(win);
  return rc;
}

int tv_wavlm_xvector(const tv_wavlm *m, tv_pool *pool, const float *samples, size_t n, float *out) {
  if (!m || !samples || !out || n == 0) {
    tv_seterr("wavlm: empty input");
    return -1;
  }
  float *y = NULL;
  size_t k = 0;
  if (tv_resample(samples, n < MAX_SAMPLES24 ? n : MAX_SAMPLES24, 24000, 16000, &y, &k) != 0) return -1;
  int rc = -1;
  if (k == 0)
    tv_seterr("wavlm: input too short");
  else
    rc = tv_wavlm_xvector16(m, pool, y, k, out);
  tv_free(y);
  return rc;
}
