#include "nn/flow.h"

#include <math.h>
#include <string.h>

#include "nn/flow_simd.h"
#include "nn/rows.h"
#include "runtime/error.h"
#include "runtime/kernels.h"
#include "runtime/rng.h"

#define LN_EPS 1e-5f
#define STATE_COLS (3 * TV_FLOW_MEL)
#define MAX_SIZE 65536

// ---------------------------------------------------------------------------
// Loading

namespace {

// A cfg number truncated to i32; values an i32 cannot hold (and NaN) become
// INT32_MIN, which the checks refuse.
int32_t cfg_i(const tv_json *cfg, const char *key, int32_t def) {
  const double v = tv_json_num(tv_json_get(cfg, key), def);
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
  return (int32_t)v;
}

void mat_free(tv_flow_mat *m) {
  tv_free(m->data);
  tv_free(m->scales);
  memset(m, 0, sizeof *m);
}

// Columns [c0, c1) of every row of src, as an owned matrix in the same form.
int slice_cols(const tv_mat *src, int32_t c0, int32_t c1, tv_flow_mat *out) {
  memset(out, 0, sizeof *out);
  const int32_t rows = src->rows, cols = c1 - c0;
  out->m.rows = rows;
  out->m.cols = cols;
  if (src->storage == TV_MAT_F32) {
    float *p = (float *)tv_malloc(sizeof(float) * (size_t)rows * (size_t)cols);
    if (!p) return -1;
    for (int32_t r = 0; r < rows; r++)
      memcpy(p + (size_t)r * cols, src->f32 + (size_t)r * src->cols + c0, sizeof(float) * (size_t)cols);
    out->m.storage = TV_MAT_F32;
    out->m.f32 = p;
    out->data = p;
    return 0;
  }
  if (src->storage == TV_MAT_I8) {
    int8_t *p = (int8_t *)tv_malloc((size_t)rows * (size_t)cols);
    float *s = (float *)tv_malloc(sizeof(float) * (size_t)rows);
    if (!p || !s) {
      tv_free(p);
      tv_free(s);
      return -1;
    }
    for (int32_t r = 0; r < rows; r++) memcpy(p + (size_t)r * cols, src->i8 + (size_t)r * src->cols + c0, (size_t)cols);
    memcpy(s, src->scales, sizeof(float) * (size_t)rows);
    out->m.storage = TV_MAT_I8;
    out->m.i8 = p;
    out->m.scales = s;
    out->data = p;
    out->scales = s;
    return 0;
  }
  tv_seterr("flow: int4 weights are not supported for the inp conv");
  return -1;
}

int load_block(tv_flow *f, tv_weights *w, int32_t b) {
  const int32_t d = f->d;
  tv_flow_block *B = &f->block[b];
  const float *dw = tv_weights_f32(w, tv_name("net.blocks.%d.dw.weight", b), (int64_t)TV_FLOW_TAPS * d);
  if (!dw) return -1;
  if (!(B->dw_b = tv_weights_f32(w, tv_name("net.blocks.%d.dw.bias", b), d))) return -1;
  if (!(B->taps = (float *)tv_malloc(sizeof(float) * (size_t)TV_FLOW_TAPS * d))) return -1;
  for (int32_t j = 0; j < TV_FLOW_TAPS; j++)
    for (int32_t c = 0; c < d; c++) B->taps[(size_t)j * d + c] = dw[(size_t)c * TV_FLOW_TAPS + j];
  if (tv_lin_load(w, tv_name("net.blocks.%d.mod", b), 3 * d, d, &B->mod) != 0) return -1;
  if (tv_lin_load(w, tv_name("net.blocks.%d.pw1", b), 3 * d, d, &B->pw1) != 0) return -1;
  if (tv_lin_load(w, tv_name("net.blocks.%d.pw2", b), d, 3 * d, &B->pw2) != 0) return -1;
  // int8 pointwise layers take the 8-bit product: their inputs are quantised
  // per frame, which costs little accuracy next to the int8 weights, and the
  // block's two big products run at about three times the float speed.
  if (B->pw1.w->storage == TV_MAT_I8 && B->pw2.w->storage == TV_MAT_I8 && 3 * d <= TV_Q8_MAX_K) {
    if (tv_q8mat_make(B->pw1.w, &B->pw1q) != 0 || tv_q8mat_make(B->pw2.w, &B->pw2q) != 0) return -1;
    B->q8 = 1;
  }
  return 0;
}

int load_attn(tv_flow *f, tv_weights *w, int32_t a) {
  const int32_t d = f->d;
  tv_flow_attn *A = &f->attn[a];
  if (tv_lin_load(w, tv_name("net.attn.%d.mod", a), 3 * d, d, &A->mod) != 0) return -1;
  if (!(A->in_w = tv_weights_mat(w, tv_name("net.attn.%d.att.in_proj_weight", a), 3 * d, d))) return -1;
  if (!(A->in_b = tv_weights_f32(w, tv_name("net.attn.%d.att.in_proj_bias", a), 3 * d))) return -1;
  if (tv_lin_load(w, tv_name("net.attn.%d.att.out_proj", a), d, d, &A->out) != 0) return -1;
  if (A->in_w->storage == TV_MAT_I8 && A->out.w->storage == TV_MAT_I8 && d <= TV_Q8_MAX_K) {
    if (tv_q8mat_make(A->in_w, &A->inq) != 0 || tv_q8mat_make(A->out.w, &A->outq) != 0) return -1;
    A->q8 = 1;
  }
  return 0;
}

}  // namespace

tv_flow *tv_flow_load(tv_weights *w, const tv_json *cfg) {
  const int32_t d = cfg_i(cfg, "d", 384), n_layers = cfg_i(cfg, "n_layers", 12), g_dim = cfg_i(cfg, "g_dim", 128);
  const int32_t n_mel = cfg_i(cfg, "n_mel", 100);
  const int prompt = tv_json_num(tv_json_get(cfg, "prompt"), 0) != 0;
  const int mu_cmn = tv_json_num(tv_json_get(cfg, "mu_cmn"), 0) != 0;
  // d = 0 is a multiple of 6 too, but gives no network.
  if (n_mel != TV_FLOW_MEL || n_layers < 1 || n_layers > TV_FLOW_MAX_LAYERS || d < 6 || d % 6 != 0) {
    tv_seterr("flow: unsupported cfg (n_mel %d, d %d, n_layers %d)", n_mel, d, n_layers);
    return NULL;
  }
  if (g_dim < 1) {
    tv_seterr("flow: unsupported cfg (g_dim %d)", g_dim);
    return NULL;
  }
  // Bounded before 3 d, 4 d and the other products of sizes below.
  if (d > MAX_SIZE || g_dim > MAX_SIZE) {
    tv_seterr("flow: unsupported cfg (d %d, g_dim %d; at most %d)", d, g_dim, MAX_SIZE);
    return NULL;
  }
  {
    const tv_json *rope = tv_json_get(cfg, "rope_at");
    const double n_ptok = tv_json_num(tv_json_get(cfg, "n_ptok"), 0);
    const double skips = tv_json_num(tv_json_get(cfg, "skips"), 0);
    if ((rope && rope->kind == TV_JSON_ARR && rope->count > 0) || n_ptok > 0 || !(skips == 0)) {
      tv_seterr("flow: rope_at / n_ptok / skips (optional flow blocks) are not supported");
      return NULL;
    }
  }
  int32_t dils[TV_FLOW_MAX_LAYERS] = {1, 2, 4, 1, 2, 4, 1, 2, 4, 1, 2, 4};
  int32_t n_dils = 12;
  {
    const tv_json *dj = tv_json_get(cfg, "dils");
    if (dj && dj->kind == TV_JSON_ARR && dj->count > 0) {
      n_dils = dj->count < TV_FLOW_MAX_LAYERS ? dj->count : TV_FLOW_MAX_LAYERS;
      for (int32_t i = 0; i < n_dils; i++) {
        // A dilation below 1 would read the same frame for every tap (or walk
        // backwards); a huge one overflows the frame arithmetic.
        const double v = tv_json_num(tv_json_at(dj, i), NAN);
        if (!(v >= 1.0 && v < TV_FLOW_MAX_DIL + 1.0)) {
          tv_seterr("flow: dils[%d] = %g is not a dilation in [1, %d]", i, v, TV_FLOW_MAX_DIL);
          return NULL;
        }
        dils[i] = (int32_t)v;
      }
    }
  }
  tv_flow *f = (tv_flow *)tv_calloc(sizeof(tv_flow));
  if (!f) return NULL;
  f->d = d;
  f->n_layers = n_layers;
  f->g_dim = g_dim;
  f->prompt = prompt;
  f->mu_cmn = mu_cmn;
  f->n_in = prompt ? 301 : 200;
  {
    const float *mean = tv_weights_finite(w, "mean", 1), *std = mean ? tv_weights_finite(w, "std", 1) : NULL;
    if (!mean || !std) goto fail;
    f->mean = *mean;
    f->std = *std;
  }
  {
    const tv_mat *inp = tv_weights_mat(w, "net.inp.weight", d, 3 * f->n_in);
    if (!inp) goto fail;
    if (!(f->inp_b = tv_weights_f32(w, "net.inp.bias", d))) goto fail;
    if (slice_cols(inp, 0, STATE_COLS, &f->inp_state) != 0) goto fail;
    if (slice_cols(inp, STATE_COLS, 3 * f->n_in, &f->inp_const) != 0) goto fail;
  }
  if (tv_lin_load(w, "net.temb.mlp.0", 4 * d, d, &f->temb0) != 0) goto fail;
  if (tv_lin_load(w, "net.temb.mlp.2", d, 4 * d, &f->temb2) != 0) goto fail;
  if (tv_lin_load(w, "net.gemb.0", d, g_dim, &f->gemb0) != 0) goto fail;
  if (tv_lin_load(w, "net.gemb.2", d, d, &f->gemb2) != 0) goto fail;
  if (tv_lin_load(w, "net.out", TV_FLOW_MEL, d, &f->out) != 0) goto fail;
  for (int32_t b = 0; b < n_layers; b++) {
    f->block[b].dil = dils[b % n_dils];
    if (load_block(f, w, b) != 0) goto fail;
  }
  if (prompt) {
    static const int32_t def_attn[] = {3, 7, 11};
    const tv_json *aj = tv_json_get(cfg, "attn_at");
    const bool list = aj && aj->kind == TV_JSON_ARR;
    const int32_t n = list ? (aj->count < TV_FLOW_MAX_LAYERS ? aj->count : TV_FLOW_MAX_LAYERS) : 3;
    for (int32_t i = 0; i < n; i++) {
      const double v = list ? tv_json_num(tv_json_at(aj, i), -1) : def_attn[i];
      if (!(v >= 0 && v < n_layers)) continue;
      const int32_t a = (int32_t)v;
      if (f->has_attn[a]) continue;
      if (load_attn(f, w, a) != 0) goto fail;
      f->has_attn[a] = 1;
    }
    if (tv_lin_load(w, "net.ctx_enc.0", d, 3 * TV_FLOW_MEL, &f->ctx0) != 0) goto fail;
    if (tv_lin_load(w, "net.ctx_enc.2", d, 3 * d, &f->ctx2) != 0) goto fail;
    if (tv_lin_load(w, "net.ctx_out", d, d, &f->ctx_out) != 0) goto fail;
  }
  if (!(f->freq = (float *)tv_malloc(sizeof(float) * (size_t)(d / 2)))) goto fail;
  for (int32_t j = 0; j < d / 2; j++) f->freq[j] = (float)exp(-9.2103405 * j / (double)(d / 2));
  return f;
fail:
  tv_flow_free(f);
  return NULL;
}

void tv_flow_free(tv_flow *f) {
  if (!f) return;
  for (int32_t b = 0; b < TV_FLOW_MAX_LAYERS; b++) {
    tv_free(f->block[b].taps);
    tv_q8mat_free(&f->block[b].pw1q);
    tv_q8mat_free(&f->block[b].pw2q);
    tv_q8mat_free(&f->attn[b].inq);
    tv_q8mat_free(&f->attn[b].outq);
  }
  mat_free(&f->inp_state);
  mat_free(&f->inp_const);
  tv_free(f->freq);
  tv_free(f);
}

int tv_flow_is_prompted(const tv_flow *f) { return f && f->prompt ? 1 : 0; }

void tv_flow_time_grid(int32_t steps, float *t) {
  const float r = 1.0f / (float)steps;
  for (int32_t i = 0; i <= steps; i++)
    t[i] = i < (steps + 1) / 2 ? (float)((double)i * r) : (float)(1.0 - (double)(steps - i) * r);
}

// ---------------------------------------------------------------------------
// Sampling

namespace {

// Layer norm over n values in single precision (no weights), then the
// modulation u (1 + scale) + shift when scale is given.
void ln_mod(float *u, int32_t n, const float *scale, const float *shift) {
  float s = 0.0f;
  for (int32_t c = 0; c < n; c++) s += u[c];
  const float mean = s / (float)n;
  float v = 0.0f;
  for (int32_t c = 0; c < n; c++) {
    const float q = u[c] - mean;
    v += q * q;
  }
  const float inv = 1.0f / sqrtf(v / (float)n + LN_EPS);
  if (scale) {
    for (int32_t c = 0; c < n; c++) u[c] = (u[c] - mean) * inv * (1.0f + scale[c]) + shift[c];
  } else {
    for (int32_t c = 0; c < n; c++) u[c] = (u[c] - mean) * inv;
  }
}

inline float gelu_erf(float u) {
  const float z = u * 0.70710678f;
  const float a = fabsf(z);
  const float t = 1.0f / (1.0f + 0.3275911f * a);
  const float poly = ((((1.0614054f * t - 1.4531521f) * t + 1.4214138f) * t - 0.28449672f) * t + 0.2548296f) * t;
  const float e = 1.0f - poly * expf(-a * a);
  return 0.5f * u * (1.0f + (z < 0 ? -e : e));
}

struct dw_job {
  const float *h;
  float *u;   // row f goes to u + (f - u0) d
  int64_t u0;
  int64_t N;
  int32_t d, dil;
  const float *taps, *bias, *scale, *shift;
  int simd;
};

void dw_rows(void *arg, int64_t r0, int64_t r1) {
  const dw_job *j = (const dw_job *)arg;
  const int32_t d = j->d;
  for (int64_t f = r0; f < r1; f++) {
    float *u = j->u + (f - j->u0) * d;
    if (j->simd) {
      tv_flow_dwnorm_avx2(j->h, j->N, d, f, j->dil, j->taps, j->bias, j->scale, j->shift, u);
      continue;
    }
    memcpy(u, j->bias, sizeof(float) * (size_t)d);
    for (int32_t k = 0; k < TV_FLOW_TAPS; k++) {
      const int64_t s = f + (int64_t)(k - TV_FLOW_TAPS / 2) * j->dil;
      if (s < 0 || s >= j->N) continue;
      const float *x = j->h + s * d, *tap = j->taps + (size_t)k * d;
      for (int32_t c = 0; c < d; c++) u[c] += tap[c] * x[c];
    }
    ln_mod(u, d, j->scale, j->shift);
  }
}

struct norm_job {
  const float *h;
  float *u;
  int32_t d;
  const float *scale, *shift;
};

void norm_rows(void *arg, int64_t r0, int64_t r1) {
  const norm_job *j = (const norm_job *)arg;
  for (int64_t f = r0; f < r1; f++) {
    float *u = j->u + f * j->d;
    memcpy(u, j->h + f * j->d, sizeof(float) * (size_t)j->d);
    ln_mod(u, j->d, j->scale, j->shift);
  }
}

// Layer norm and modulation of h's rows into u, then u's rows to bytes for
// an 8-bit projection (mod NULL: quantise u as it stands).
struct norm_quant_job {
  const float *h;
  float *u;
  int32_t d;
  const float *scale, *shift;
  bool norm;
  uint8_t *q;
  float *qs;
  int32_t *qz;
};

void norm_quant_rows(void *arg, int64_t r0, int64_t r1) {
  const norm_quant_job *j = (const norm_quant_job *)arg;
  const int64_t lq = tv_q8_depth(j->d);
  if (j->norm) {
    norm_job nj = {j->h, j->u, j->d, j->scale, j->shift};
    norm_rows(&nj, r0, r1);
  }
  tv_quant_rows(j->u + r0 * j->d, (int32_t)(r1 - r0), j->d, j->d, j->q + r0 * lq, lq, j->qs + r0, j->qz + r0);
}

struct gelu_job {
  float *x;
  int64_t n;  // values
  int simd;   // 0 portable, 1 AVX2, 2 AVX-512
};

// Rows of this job are groups of 8 values.
void gelu_rows(void *arg, int64_t r0, int64_t r1) {
  const gelu_job *j = (const gelu_job *)arg;
  const int64_t a = r0 * 8, b = r1 * 8 < j->n ? r1 * 8 : j->n;
  int64_t i = a;
  if (j->simd) {
    const int64_t whole = a + (b - a) / 8 * 8;
    if (j->simd == 2) tv_flow_gelu_avx512(j->x + a, whole - a);
    else tv_flow_gelu_avx2(j->x + a, whole - a);
    i = whole;
  }
  for (; i < b; i++) j->x[i] = gelu_erf(j->x[i]);
}

struct gate_job {
  float *h;
  const float *u;
  int64_t ldu;
  int32_t d;
  const float *gate;
};

void gate_rows(void *arg, int64_t r0, int64_t r1) {
  const gate_job *j = (const gate_job *)arg;
  for (int64_t f = r0; f < r1; f++) {
    float *h = j->h + f * j->d;
    const float *u = j->u + f * j->ldu;
    for (int32_t c = 0; c < j->d; c++) h[c] += j->gate[c] * u[c];
  }
}

struct add_job {
  float *y;
  const float *x;
  int32_t d;
};

void add_rows(void *arg, int64_t r0, int64_t r1) {
  const add_job *j = (const add_job *)arg;
  for (int64_t i = r0 * j->d; i < r1 * j->d; i++) j->y[i] += j->x[i];
}

// Everything one conditioning (with or without the prompt) needs.
struct Cond {
  float *tab;   // n_layers x K x 3d: block modulations
  float *atab;  // n_layers x K x 3d: attention modulations (prompted only)
  float *cin;   // N x d: the constant part of the input convolution
};

// Working memory of one item of the 8-bit block: the rows of one chunk in
// each form they take.
struct Q8Scratch {
  uint8_t *qu, *qb;  // chunk x depth(d), chunk x depth(3 d): quantised inputs of pw1, pw2
  float *u, *s;      // chunk x d, chunk x 3 d
  float *scale;      // 2 x chunk
  int32_t *zero;     // 2 x chunk
};

struct Run {
  const tv_flow *f;
  tv_pool *pool;
  int64_t N;
  int32_t K;  // time points
  int64_t items;
  int simd_dw, simd_gelu, simd_gate;
  float *h, *u, *big;  // N x d, N x d, N x 3d
  float *h2;           // N x d: the other state of the 8-bit blocks (NULL without them)
  int32_t q8_items;    // items of the 8-bit blocks, each with its scratch
  Q8Scratch *q8;
  uint8_t *qa;         // N x depth(d): the attention projections' quantised inputs
  float *qa_scale;     // N
  int32_t *qa_zero;    // N
};

// ---- a whole block on the 8-bit product, chunk by chunk of frames
//
// Each chunk goes through depthwise convolution and norm, pw1, GELU, pw2 and
// the gate while its rows are in cache, reading the state h and writing the
// next state into another buffer (neighbouring chunks still read the old
// one). Every frame's result is the same whichever item or thread runs it.

#define Q8_CHUNK 6 /* rows of the product's micro-tile */

struct q8_block_job {
  const Run *r;
  const tv_flow_block *B;
  const float *h, *row;  // state in; modulation row (scale, shift, gate)
  float *out;            // state out
};

// GELU over one row of a chunk (its output is quantised next, so the
// AVX-512 path takes the approximate reciprocal).
void gelu_row(const Run *r, float *x, int64_t n) {
  if (r->simd_gelu == 2) {
    tv_flow_gelu_fast_avx512(x, n);
    return;
  }
  int64_t i = 0;
  if (r->simd_gelu) {
    i = n / 8 * 8;
    tv_flow_gelu_avx2(x, i);
  }
  for (; i < n; i++) x[i] = gelu_erf(x[i]);
}

void q8_chunk(const q8_block_job *j, const Q8Scratch *q, int64_t f0, int32_t m) {
  const Run *r = j->r;
  const tv_flow_block *B = j->B;
  const int32_t d = r->f->d, d3 = 3 * d;
  const int64_t lq1 = tv_q8_depth(d), lq3 = tv_q8_depth(d3);
  const float *scale = j->row, *shift = j->row + d, *gate = j->row + 2 * d;
  dw_job dj = {j->h, q->u, f0, r->N, d, B->dil, B->taps, B->dw_b, scale, shift, r->simd_dw};
  dw_rows(&dj, f0, f0 + m);
  tv_quant_rows(q->u, m, d, d, q->qu, lq1, q->scale, q->zero);
  tv_linear_q8(NULL, q->qu, lq1, q->scale, q->zero, m, &B->pw1q, B->pw1.b, q->s, d3);
  for (int32_t i = 0; i < m; i++) gelu_row(r, q->s + (int64_t)i * d3, d3);
  tv_quant_rows(q->s, m, d3, d3, q->qb, lq3, q->scale + Q8_CHUNK, q->zero + Q8_CHUNK);
  tv_linear_q8(NULL, q->qb, lq3, q->scale + Q8_CHUNK, q->zero + Q8_CHUNK, m, &B->pw2q, B->pw2.b, q->u, d);
  for (int32_t i = 0; i < m; i++) {
    const float *h = j->h + (f0 + i) * d, *u = q->u + (int64_t)i * d;
    float *o = j->out + (f0 + i) * d;
    if (r->simd_gate) tv_flow_gate_avx2(o, h, gate, u, d);
    else
      for (int32_t c = 0; c < d; c++) o[c] = h[c] + gate[c] * u[c];
  }
}

// Item i of n: the chunks [i C / n, (i + 1) C / n) of the C chunks.
void q8_block_item(void *arg, int32_t i, int32_t n) {
  const q8_block_job *j = (const q8_block_job *)arg;
  const int64_t C = (j->r->N + Q8_CHUNK - 1) / Q8_CHUNK;
  for (int64_t c = i * C / n; c < (i + 1) * C / n; c++) {
    const int64_t f0 = c * Q8_CHUNK;
    const int32_t m = (int32_t)(j->r->N - f0 < Q8_CHUNK ? j->r->N - f0 : Q8_CHUNK);
    q8_chunk(j, &j->r->q8[i], f0, m);
  }
}

// The modulation tables of all K time points for the global conditioning e.
int cond_tables(const Run *r, const float *e, const float *tp, Cond *c) {
  const tv_flow *f = r->f;
  const int32_t d = f->d, K = r->K, half = d / 2;
  float *emb = (float *)tv_malloc(sizeof(float) * (size_t)K * d);
  float *h1 = (float *)tv_malloc(sizeof(float) * (size_t)K * 4 * d);
  float *cc = (float *)tv_malloc(sizeof(float) * (size_t)K * d);
  int rc = -1;
  if (!emb || !h1 || !cc) goto done;
  for (int32_t k = 0; k < K; k++) {
    const float s = 1000.0f * tp[k];
    for (int32_t j = 0; j < half; j++) {
      const float a = s * f->freq[j];
      emb[(size_t)k * d + j] = sinf(a);
      emb[(size_t)k * d + half + j] = cosf(a);
    }
  }
  tv_linear(r->pool, emb, K, d, f->temb0.w, f->temb0.b, h1, 4 * d, 0);
  tv_silu(h1, (uint64_t)K * 4 * d);
  tv_linear(r->pool, h1, K, 4 * d, f->temb2.w, f->temb2.b, cc, d, 0);
  for (int32_t k = 0; k < K; k++)
    for (int32_t i = 0; i < d; i++) cc[(size_t)k * d + i] += e[i];
  for (int32_t b = 0; b < f->n_layers; b++) {
    const size_t at = (size_t)b * K * 3 * d;
    tv_linear(r->pool, cc, K, d, f->block[b].mod.w, f->block[b].mod.b, c->tab + at, 3 * d, 0);
    if (f->has_attn[b]) tv_linear(r->pool, cc, K, d, f->attn[b].mod.w, f->attn[b].mod.b, c->atab + at, 3 * d, 0);
  }
  rc = 0;
done:
  tv_free(emb);
  tv_free(h1);
  tv_free(cc);
  return rc;
}

// The constant input: [mu | ctx | mask] per frame through the constant part
// of the input convolution, plus its bias. ctx / mask NULL: zeros.
int const_input(const Run *r, const float *mu, const float *ctx, const float *mask, float *cin) {
  const tv_flow *f = r->f;
  const int32_t w = f->n_in - TV_FLOW_MEL;
  float *x = (float *)tv_calloc(sizeof(float) * (size_t)r->N * w);
  if (!x) return -1;
  for (int64_t t = 0; t < r->N; t++) {
    float *row = x + t * w;
    memcpy(row, mu + t * TV_FLOW_MEL, sizeof(float) * TV_FLOW_MEL);
    if (f->prompt) {
      if (ctx) memcpy(row + TV_FLOW_MEL, ctx + t * TV_FLOW_MEL, sizeof(float) * TV_FLOW_MEL);
      if (mask) row[2 * TV_FLOW_MEL] = mask[t];
    }
  }
  const int32_t L = tv_conv1d(r->pool, x, (int32_t)r->N, w, w, &f->inp_const.m, 3, 1, 1, 1, 1, f->inp_b, cin, f->d);
  tv_free(x);
  return L < 0 ? -1 : 0;
}

// The velocity at time point k for state x (N x 100) into v (N x 100).
int net_eval(const Run *r, const Cond *c, const float *x, int32_t k, float *v) {
  const tv_flow *f = r->f;
  const int32_t d = f->d, N = (int32_t)r->N;
  float *h = r->h, *h2 = r->h2, *u = r->u, *big = r->big;
  if (tv_conv1d(r->pool, x, N, TV_FLOW_MEL, TV_FLOW_MEL, &f->inp_state.m, 3, 1, 1, 1, 1, NULL, h, d) < 0) return -1;
  {
    add_job aj = {h, c->cin, d};
    tv_rows_split(r->pool, N, r->items, add_rows, &aj);
  }
  const int64_t gelu_n = (int64_t)N * 3 * d;
  for (int32_t b = 0; b < f->n_layers; b++) {
    const tv_flow_block *B = &f->block[b];
    const float *row = c->tab + ((size_t)b * r->K + k) * 3 * d;
    if (B->q8) {
      q8_block_job qj = {r, B, h, row, h2};
      if (r->q8_items > 1) tv_parallel_for(r->pool, r->q8_items, q8_block_item, &qj);
      else q8_block_item(&qj, 0, 1);
      float *t = h;
      h = h2;
      h2 = t;
    } else {
      dw_job dj = {h, u, 0, r->N, d, B->dil, B->taps, B->dw_b, row, row + d, r->simd_dw};
      tv_rows_split(r->pool, N, r->items, dw_rows, &dj);
      tv_linear(r->pool, u, N, d, B->pw1.w, B->pw1.b, big, 3 * d, 0);
      gelu_job gj = {big, gelu_n, r->simd_gelu};
      tv_rows_split(r->pool, (gelu_n + 7) / 8, r->items, gelu_rows, &gj);
      tv_linear(r->pool, big, N, 3 * d, B->pw2.w, B->pw2.b, u, d, 0);
      gate_job gt = {h, u, d, d, row + 2 * d};
      tv_rows_split(r->pool, N, r->items, gate_rows, &gt);
    }
    if (!f->has_attn[b]) continue;
    const tv_flow_attn *A = &f->attn[b];
    const float *arow = c->atab + ((size_t)b * r->K + k) * 3 * d;
    const int64_t lq = tv_q8_depth(d);
    if (A->q8) {
      norm_quant_job nq = {h, u, d, arow, arow + d, true, r->qa, r->qa_scale, r->qa_zero};
      tv_rows_split(r->pool, N, r->items, norm_quant_rows, &nq);
      tv_linear_q8(r->pool, r->qa, lq, r->qa_scale, r->qa_zero, N, &A->inq, A->in_b, big, 3 * d);
    } else {
      norm_job nj = {h, u, d, arow, arow + d};
      tv_rows_split(r->pool, N, r->items, norm_rows, &nj);
      tv_linear(r->pool, u, N, d, A->in_w, A->in_b, big, 3 * d, 0);
    }
    const int32_t hd = d / TV_FLOW_HEADS;
    if (tv_attention(r->pool, big, 3 * d, big + d, 3 * d, big + 2 * d, 3 * d, u, d, N, N, TV_FLOW_HEADS, hd, NULL,
                     NULL, 1.0f / sqrtf((float)hd)) != 0)
      return -1;
    if (A->q8) {
      norm_quant_job nq = {NULL, u, d, NULL, NULL, false, r->qa, r->qa_scale, r->qa_zero};
      tv_rows_split(r->pool, N, r->items, norm_quant_rows, &nq);
      tv_linear_q8(r->pool, r->qa, lq, r->qa_scale, r->qa_zero, N, &A->outq, A->out.b, big, d);
    } else {
      tv_linear(r->pool, u, N, d, A->out.w, A->out.b, big, d, 0);
    }
    gate_job ga = {h, big, d, d, arow + 2 * d};
    tv_rows_split(r->pool, N, r->items, gate_rows, &ga);
  }
  norm_job fin = {h, u, d, NULL, NULL};
  tv_rows_split(r->pool, N, r->items, norm_rows, &fin);
  tv_linear(r->pool, u, N, d, f->out.w, f->out.b, v, TV_FLOW_MEL, 0);
  return 0;
}

// Guided velocity: v = vp + w (vp - vf), with vf evaluated into scratch.
int eval(const Run *r, const Cond *cp, const Cond *cf, float w, const float *x, int32_t k, float *v, float *vf) {
  if (net_eval(r, cp, x, k, v) != 0) return -1;
  if (!cf) return 0;
  if (net_eval(r, cf, x, k, vf) != 0) return -1;
  const size_t n = (size_t)r->N * TV_FLOW_MEL;
  for (size_t i = 0; i < n; i++) v[i] = v[i] + w * (v[i] - vf[i]);
  return 0;
}

}  // namespace

int tv_flow_sample(const tv_flow *f, tv_pool *pool, const float *mel, int32_t T, const float *g, int32_t steps,
                   uint64_t seed, const float *prompt, int32_t P, float *out, float noise_scale,
                   float prompt_guidance) {
  if (steps < 1 || T < 1 || !f || !mel || !g || !out) {
    tv_seterr("flow: bad arguments (T %d, steps %d)", T, steps);
    return -1;
  }
  if (!(P > 0 && prompt)) P = 0;
  if (P > 0 && !f->prompt) {
    tv_seterr("flow: a prompt was given to the (unprompted) refiner");
    return -1;
  }
  const int64_t N64 = (int64_t)P + T;
  // Frame counts go to the kernels as i32, and every product below stays
  // far inside size_t.
  if (N64 > (1 << 24) || steps > (1 << 20)) {
    tv_seterr("flow: bad arguments (T %d, steps %d)", T, steps);
    return -1;
  }
  const int32_t N = (int32_t)N64, d = f->d, K = 2 * steps;
  const size_t NM = (size_t)N * TV_FLOW_MEL, tab_n = (size_t)f->n_layers * K * 3 * d;
  const bool guided = P > 0 && prompt_guidance != 0.0f;  // NaN counts as non-zero
  Run r;
  r.f = f;
  r.pool = pool;
  r.N = N;
  r.K = K;
  r.items = 2 * (int64_t)tv_pool_size(pool);
  if (r.items > N) r.items = N;
  r.simd_dw = tv_cpu_avx2() && d % 8 == 0;
  r.simd_gelu = tv_cpu_avx512() ? 2 : tv_cpu_avx2();
  r.simd_gate = tv_cpu_avx2();
  r.h2 = NULL;
  r.q8 = NULL;
  r.q8_items = 0;
  r.qa = NULL;
  r.qa_scale = NULL;
  r.qa_zero = NULL;
  int rc = -1;
  float *mu = (float *)tv_malloc(sizeof(float) * NM);
  float *x = (float *)tv_malloc(sizeof(float) * NM);
  float *xm = (float *)tv_malloc(sizeof(float) * NM);
  float *v = (float *)tv_malloc(sizeof(float) * NM);
  float *noise = (float *)tv_malloc(sizeof(float) * NM);
  float *vf = guided ? (float *)tv_malloc(sizeof(float) * NM) : NULL;
  float *ctx = f->prompt ? (float *)tv_calloc(sizeof(float) * NM) : NULL;
  float *mask = f->prompt ? (float *)tv_calloc(sizeof(float) * (size_t)N) : NULL;
  float *tp = (float *)tv_malloc(sizeof(float) * (size_t)(steps + 1 + K));
  float *eg = (float *)tv_malloc(sizeof(float) * 4 * (size_t)d);  // e with the prompt, e without, 2 d scratch
  Cond cp = {NULL, NULL, NULL}, cf = {NULL, NULL, NULL};
  r.h = (float *)tv_malloc(sizeof(float) * (size_t)N * d);
  r.u = (float *)tv_malloc(sizeof(float) * (size_t)N * d);
  {
    // The N x 3d rows serve the float blocks and the attention blocks; the
    // 8-bit blocks keep theirs per chunk.
    bool need_big = false;
    for (int32_t b = 0; b < f->n_layers; b++) need_big = need_big || !f->block[b].q8 || f->has_attn[b];
    r.big = need_big ? (float *)tv_malloc(sizeof(float) * (size_t)N * 3 * d) : NULL;
    if (need_big && !r.big) goto done;
  }
  cp.tab = (float *)tv_malloc(sizeof(float) * tab_n);
  cp.atab = f->prompt ? (float *)tv_malloc(sizeof(float) * tab_n) : NULL;
  cp.cin = (float *)tv_malloc(sizeof(float) * (size_t)N * d);
  if (guided) {
    cf.tab = (float *)tv_malloc(sizeof(float) * tab_n);
    cf.atab = (float *)tv_malloc(sizeof(float) * tab_n);
    cf.cin = (float *)tv_malloc(sizeof(float) * (size_t)N * d);
  }
  for (int32_t b = 0; b < f->n_layers; b++)
    if (f->block[b].q8) {
      // Items of whole chunks, a few per participant so uneven ones balance.
      const int64_t chunks = (N + Q8_CHUNK - 1) / Q8_CHUNK, want = 4 * (int64_t)tv_pool_size(pool);
      r.q8_items = (int32_t)(chunks < want ? chunks : want);
      r.h2 = (float *)tv_malloc(sizeof(float) * (size_t)N * d);
      r.q8 = (Q8Scratch *)tv_calloc(sizeof(Q8Scratch) * (size_t)r.q8_items);
      if (!r.h2 || !r.q8) goto done;
      for (int32_t i = 0; i < r.q8_items; i++) {
        Q8Scratch *q = &r.q8[i];
        q->qu = (uint8_t *)tv_malloc((size_t)(Q8_CHUNK * tv_q8_depth(d)));
        q->qb = (uint8_t *)tv_malloc((size_t)(Q8_CHUNK * tv_q8_depth(3 * d)));
        q->u = (float *)tv_malloc(sizeof(float) * Q8_CHUNK * (size_t)d);
        q->s = (float *)tv_malloc(sizeof(float) * Q8_CHUNK * 3 * (size_t)d);
        q->scale = (float *)tv_malloc(sizeof(float) * 2 * Q8_CHUNK);
        q->zero = (int32_t *)tv_malloc(sizeof(int32_t) * 2 * Q8_CHUNK);
        if (!q->qu || !q->qb || !q->u || !q->s || !q->scale || !q->zero) goto done;
      }
      break;
    }
  for (int32_t b = 0; b < f->n_layers; b++)
    if (f->has_attn[b] && f->attn[b].q8) {
      r.qa = (uint8_t *)tv_malloc((size_t)(N * tv_q8_depth(d)));
      r.qa_scale = (float *)tv_malloc(sizeof(float) * (size_t)N);
      r.qa_zero = (int32_t *)tv_malloc(sizeof(int32_t) * (size_t)N);
      if (!r.qa || !r.qa_scale || !r.qa_zero) goto done;
      break;
    }
  if (!mu || !x || !xm || !v || !noise || (guided && (!vf || !cf.tab || !cf.atab || !cf.cin)) ||
      (f->prompt && (!ctx || !mask || !cp.atab)) || !tp || !eg || !r.h || !r.u || !cp.tab || !cp.cin)
    goto done;

  // mu: the prompt frames then the acoustic frames, normalised.
  for (int64_t t = 0; t < N; t++) {
    const float *src = t < P ? prompt + t * TV_FLOW_MEL : mel + (t - P) * TV_FLOW_MEL;
    for (int32_t c = 0; c < TV_FLOW_MEL; c++) mu[t * TV_FLOW_MEL + c] = (src[c] - f->mean) / f->std;
  }
  if (f->mu_cmn) {
    for (int32_t c = 0; c < TV_FLOW_MEL; c++) {
      double s = 0;
      for (int64_t t = P; t < N; t++) s += mu[t * TV_FLOW_MEL + c];
      const float m = (float)(s / T);
      for (int64_t t = 0; t < N; t++) mu[t * TV_FLOW_MEL + c] -= m;
    }
  }
  for (int64_t t = 0; t < P; t++) {
    for (int32_t c = 0; c < TV_FLOW_MEL; c++) {
      const float q = (prompt[t * TV_FLOW_MEL + c] - f->mean) / f->std;
      ctx[t * TV_FLOW_MEL + c] = q;
      mu[t * TV_FLOW_MEL + c] = q;
    }
    mask[t] = 1.0f;
  }

  {
    // Global conditioning: e from g, plus the prompt term.
    float *ep = eg, *efree = eg + d, *s1 = eg + 2 * d;
    tv_linear(pool, g, 1, f->g_dim, f->gemb0.w, f->gemb0.b, s1, d, 0);
    tv_silu(s1, (uint64_t)d);
    tv_linear(pool, s1, 1, d, f->gemb2.w, f->gemb2.b, ep, d, 0);
    memcpy(efree, ep, sizeof(float) * (size_t)d);
    if (f->prompt) {
      for (int32_t i = 0; i < d; i++) efree[i] += f->ctx_out.b[i];
      if (P > 0) {
        // Both context convolutions over the prompt frames and one frame
        // past them: the outputs of frames [0, P) are those of the whole
        // zero-padded sequence.
        const int32_t M = P + 1;
        float *c0 = r.u, *c2 = r.h;  // free until integration
        double *acc = (double *)tv_calloc(sizeof(double) * (size_t)d);
        if (!acc) goto done;
        int32_t L = tv_conv1d(pool, ctx, M, TV_FLOW_MEL, TV_FLOW_MEL, f->ctx0.w, 3, 1, 1, 1, 1, f->ctx0.b, c0, d);
        if (L >= 0) {
          tv_silu(c0, (uint64_t)M * d);
          L = tv_conv1d(pool, c0, M, d, d, f->ctx2.w, 3, 1, 1, 1, 1, f->ctx2.b, c2, d);
        }
        if (L < 0) {
          tv_free(acc);
          goto done;
        }
        for (int64_t t = 0; t < P; t++)
          for (int32_t i = 0; i < d; i++) acc[i] += c2[t * d + i];
        for (int32_t i = 0; i < d; i++) s1[i] = (float)(acc[i] / P);
        tv_free(acc);
        tv_linear(pool, s1, 1, d, f->ctx_out.w, f->ctx_out.b, s1 + d, d, 0);
        for (int32_t i = 0; i < d; i++) ep[i] += s1[d + i];
      } else {
        memcpy(ep, efree, sizeof(float) * (size_t)d);
      }
    }
    // Time points: t_i, then the midpoints.
    float *grid = tp + K;
    tv_flow_time_grid(steps, grid);
    for (int32_t i = 0; i < steps; i++) {
      tp[2 * i] = grid[i];
      tp[2 * i + 1] = grid[i] + 0.5f * (grid[i + 1] - grid[i]);
    }
    if (cond_tables(&r, ep, tp, &cp) != 0) goto done;
    if (const_input(&r, mu, ctx, mask, cp.cin) != 0) goto done;
    if (guided) {
      if (cond_tables(&r, efree, tp, &cf) != 0) goto done;
      if (const_input(&r, mu, NULL, NULL, cf.cin) != 0) goto done;
    }
  }

  tv_randn_torch(seed, noise, NM);
  for (int64_t t = 0; t < N; t++)
    for (int32_t c = 0; c < TV_FLOW_MEL; c++) x[t * TV_FLOW_MEL + c] = noise_scale * noise[(size_t)c * N + t];

  for (int32_t i = 0; i < steps; i++) {
    const float *grid = tp + K;
    const float h = grid[i + 1] - grid[i], hh = h * 0.5f;
    if (eval(&r, &cp, guided ? &cf : NULL, prompt_guidance, x, 2 * i, v, vf) != 0) goto done;
    for (size_t j = 0; j < NM; j++) xm[j] = x[j] + hh * v[j];
    if (eval(&r, &cp, guided ? &cf : NULL, prompt_guidance, xm, 2 * i + 1, v, vf) != 0) goto done;
    for (size_t j = 0; j < NM; j++) x[j] = x[j] + h * v[j];
  }
  for (int64_t t = 0; t < T; t++)
    for (int32_t c = 0; c < TV_FLOW_MEL; c++)
      out[t * TV_FLOW_MEL + c] = x[(P + t) * TV_FLOW_MEL + c] * f->std + f->mean;
  rc = 0;
done:
  tv_free(mu);
  tv_free(x);
  tv_free(xm);
  tv_free(v);
  tv_free(noise);
  tv_free(vf);
  tv_free(ctx);
  tv_free(mask);
  tv_free(tp);
  tv_free(eg);
  tv_free(r.h);
  tv_free(r.u);
  tv_free(r.big);
  tv_free(cp.tab);
  tv_free(cp.atab);
  tv_free(cp.cin);
  tv_free(cf.tab);
  tv_free(cf.atab);
  tv_free(cf.cin);
  tv_free(r.h2);
  tv_free(r.qa);
  tv_free(r.qa_scale);
  tv_free(r.qa_zero);
  for (int32_t i = 0; r.q8 && i < r.q8_items; i++) {
    tv_free(r.q8[i].qu);
    tv_free(r.q8[i].qb);
    tv_free(r.q8[i].u);
    tv_free(r.q8[i].s);
    tv_free(r.q8[i].scale);
    tv_free(r.q8[i].zero);
  }
  tv_free(r.q8);
  return rc;
}
