#include "nn/seqmix.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "nn/rows.h"
#include "runtime/error.h"
#include "runtime/kernels.h"
#include "runtime/pool.h"

static const float RMS_EPS = 1.1920929e-7f;  // 2^-23

int tv_seqmix_load(tv_weights *w, const char *name, int32_t d, int32_t S, tv_seqmix *m) {
  memset(m, 0, sizeof *m);
  // The caller's name may sit in one of tv_name's rotating buffers, which the
  // names built below reuse.
  char prefix[512];
  snprintf(prefix, sizeof prefix, "%s", name);
  if (d < 32 || d % 32 != 0 || S < 2 || S % 2 != 0 || S > TV_SEQMIX_MAX_S) {
    tv_seterr("acoustic: d=%d / state_dim=%d unsupported", d, S);
    return -1;
  }
  const int32_t H = d / 32;
  m->H = H;
  m->S = S;
  m->Dv = TV_SEQMIX_DV;
  struct {
    const char *name;
    tv_lin *lin;
    int32_t rows;
  } lins[] = {
      {"in_proj", &m->in_proj, d},       {"k_proj", &m->k_proj, S * H},
      {"q_proj", &m->q_proj, S * H},     {"v_proj", &m->v_proj, d},
      {"step_proj", &m->step_proj, H},   {"rot_proj", &m->rot_proj, S * H / 2},
      {"mix_proj", &m->mix_proj, H},     {"out_proj", &m->out_proj, d},
  };
  for (auto &l : lins)
    if (tv_lin_load(w, tv_name("%s.%s", prefix, l.name), l.rows, d, l.lin) != 0) return -1;
  struct {
    const char *name;
    const float **dst;
    int64_t n;
  } vecs[] = {
      {"norm.weight", &m->norm_w, d},   {"k_norm.weight", &m->k_norm_w, S},
      {"q_norm.weight", &m->q_norm_w, S}, {"k_bias", &m->k_bias, (int64_t)S * H},
      {"q_bias", &m->q_bias, (int64_t)S * H},
  };
  for (auto &v : vecs)
    if (!(*v.dst = tv_weights_finite(w, tv_name("%s.%s", prefix, v.name), v.n))) return -1;
  const float *decay_log = tv_weights_f32(w, tv_name("%s.decay_log", prefix), H);
  if (!decay_log) return -1;
  m->neg_decay = (float *)tv_malloc(sizeof(float) * (size_t)H);
  if (!m->neg_decay) return -1;
  for (int32_t h = 0; h < H; h++) m->neg_decay[h] = -expf(decay_log[h]);
  return 0;
}

void tv_seqmix_free(tv_seqmix *m) {
  if (!m) return;
  tv_free(m->neg_decay);
  m->neg_decay = NULL;
}

namespace {

// Per-direction working rows, each L rows of the given width.
struct dir_bufs {
  float *gate;    // d
  float *keys;    // S H
  float *queries; // S H
  float *values;  // d
  float *step;    // H
  float *angles;  // S H / 2
  float *mix;     // H
  float *out;     // d
};

size_t dir_floats(int32_t d, int32_t S) {
  const int32_t H = d / 32;
  return 3 * (size_t)d + 2 * (size_t)S * H + (size_t)S * H / 2 + 2 * (size_t)H;
}

dir_bufs carve(float *p, int64_t L, int32_t d, int32_t S) {
  const int32_t H = d / 32;
  dir_bufs b;
  b.gate = p;
  p += L * d;
  b.keys = p;
  p += L * S * H;
  b.queries = p;
  p += L * S * H;
  b.values = p;
  p += L * d;
  b.step = p;
  p += L * H;
  b.angles = p;
  p += L * S * H / 2;
  b.mix = p;
  p += L * H;
  b.out = p;
  return b;
}

struct norm_job {
  float *x;
  int32_t d;
  const float *w;
};

void norm_rows(void *arg, int64_t r0, int64_t r1) {
  norm_job *j = (norm_job *)arg;
  tv_rmsnorm(j->x + r0 * j->d, (int32_t)(r1 - r0), j->d, j->d, j->w, RMS_EPS);
}

struct coef_job {
  const tv_seqmix *m;
  dir_bufs *b;
};

void coef_rows(void *arg, int64_t r0, int64_t r1) {
  coef_job *j = (coef_job *)arg;
  const tv_seqmix *m = j->m;
  const int32_t H = m->H, S = m->S, SH = S * H;
  for (int64_t t = r0; t < r1; t++) {
    float *k = j->b->keys + t * SH, *q = j->b->queries + t * SH;
    tv_rmsnorm(k, H, S, S, m->k_norm_w, RMS_EPS);
    tv_rmsnorm(q, H, S, S, m->q_norm_w, RMS_EPS);
    for (int32_t i = 0; i < SH; i++) {
      k[i] += m->k_bias[i];
      q[i] += m->q_bias[i];
    }
    float *step = j->b->step + t * H, *mix = j->b->mix + t * H, *ang = j->b->angles + t * (SH / 2);
    for (int32_t h = 0; h < H; h++) {
      float s = step[h];
      if (!(s > 20.0f)) s = log1pf(expf(s));
      step[h] = s;
      mix[h] = 1.0f / (1.0f + expf(-mix[h]));
      for (int32_t i = 0; i < S / 2; i++) ang[h * (S / 2) + i] *= s;
    }
  }
}

void prepare(tv_pool *pool, const tv_seqmix *m, const float *h, int32_t L, int32_t d, float *xn,
             dir_bufs *b) {
  memcpy(xn, h, sizeof(float) * (size_t)L * d);
  norm_job nj = {xn, d, m->norm_w};
  tv_rows_run(pool, L, 16, norm_rows, &nj);
  const int32_t SH = m->S * m->H;
  tv_linear(pool, xn, L, d, m->in_proj.w, m->in_proj.b, b->gate, d, 0);
  tv_linear(pool, xn, L, d, m->k_proj.w, m->k_proj.b, b->keys, SH, 0);
  tv_linear(pool, xn, L, d, m->q_proj.w, m->q_proj.b, b->queries, SH, 0);
  tv_linear(pool, xn, L, d, m->v_proj.w, m->v_proj.b, b->values, d, 0);
  tv_linear(pool, xn, L, d, m->step_proj.w, m->step_proj.b, b->step, m->H, 0);
  tv_linear(pool, xn, L, d, m->rot_proj.w, m->rot_proj.b, b->angles, SH / 2, 0);
  tv_linear(pool, xn, L, d, m->mix_proj.w, m->mix_proj.b, b->mix, m->H, 0);
  coef_job cj = {m, b};
  tv_rows_run(pool, L, 8, coef_rows, &cj);
}

struct scan_job {
  const tv_seqmix *m[2];
  dir_bufs *b[2];
  int32_t L, d;
};

// One head of one direction over all frames. The state lives on the stack:
// at most 64 x 32 floats.
void scan_task(void *arg, int32_t item, int32_t) {
  scan_job *j = (scan_job *)arg;
  const int dir = item / j->m[0]->H;
  const tv_seqmix *m = j->m[dir];
  const dir_bufs *b = j->b[dir];
  const int32_t H = m->H, S = m->S, SH = S * H, h = item % H, L = j->L, d = j->d;
  const int32_t DV = TV_SEQMIX_DV;
  float st[TV_SEQMIX_MAX_S * TV_SEQMIX_DV];
  float cs[TV_SEQMIX_MAX_S / 2], sn[TV_SEQMIX_MAX_S / 2];
  int64_t prev = -1;
  for (int32_t n = 0; n < L; n++) {
    const int64_t t = dir == 0 ? n : L - 1 - n;
    const float *k = b->keys + t * SH + h * S;
    const float *v = b->values + t * d + h * DV;
    const float delta = b->step[t * H + h], mu = b->mix[t * H + h];
    const float a = expf(m->neg_decay[h] * delta);
    const float beta = delta * mu, gamma = delta * (1.0f - mu) * a;
    if (prev < 0) {
      for (int32_t i = 0; i < S; i++) {
        const float bk = beta * k[i];
        for (int32_t c = 0; c < DV; c++) st[i * DV + c] = bk * v[c];
      }
    } else {
      const float *kp = b->keys + prev * SH + h * S;
      const float *vp = b->values + prev * d + h * DV;
      const float *th = b->angles + t * (SH / 2) + h * (S / 2);
      for (int32_t p = 0; p < S / 2; p++) {
        cs[p] = cosf(th[p]);
        sn[p] = sinf(th[p]);
      }
      for (int32_t p = 0; p < S / 2; p++) {
        float *r0 = st + (2 * p) * DV, *r1 = r0 + DV;
        const float g0 = gamma * kp[2 * p], g1 = gamma * kp[2 * p + 1];
        const float b0 = beta * k[2 * p], b1 = beta * k[2 * p + 1];
        for (int32_t c = 0; c < DV; c++) {
          const float a0 = a * r0[c] + g0 * vp[c];
          const float a1 = a * r1[c] + g1 * vp[c];
          r0[c] = (cs[p] * a0 - sn[p] * a1) + b0 * v[c];
          r1[c] = (sn[p] * a0 + cs[p] * a1) + b1 * v[c];
        }
      }
    }
    const float *q = b->queries + t * SH + h * S;
    float *y = b->out + t * d + h * DV;
    for (int32_t c = 0; c < DV; c++) y[c] = 0.0f;
    for (int32_t i = 0; i < S; i++) {
      const float qi = q[i];
      const float *r = st + i * DV;
      for (int32_t c = 0; c < DV; c++) y[c] += qi * r[c];
    }
    prev = t;
  }
}

struct gate_job {
  dir_bufs *b;
  int32_t d;
};

void gate_rows(void *arg, int64_t r0, int64_t r1) {
  gate_job *j = (gate_job *)arg;
  for (int64_t i = r0 * j->d; i < r1 * j->d; i++) {
    const float g = j->b->gate[i];
    j->b->out[i] *= g / (1.0f + expf(-g));
  }
}

}  // namespace

size_t tv_seqmix_scratch(int64_t L, int32_t d, int32_t S) {
  return (size_t)L * ((size_t)d + 2 * dir_floats(d, S));
}

void tv_seqmix_run(tv_pool *pool, const tv_seqmix *fwd, const tv_seqmix *bwd, const float *h, int32_t L,
                   int32_t d, float *x, float *scratch) {
  if (L < 1) return;
  const int32_t S = fwd->S;
  float *xn = scratch;
  dir_bufs b[2] = {carve(scratch + (size_t)L * d, L, d, S),
                   carve(scratch + (size_t)L * d + (size_t)L * dir_floats(d, S), L, d, S)};
  prepare(pool, fwd, h, L, d, xn, &b[0]);
  prepare(pool, bwd, h, L, d, xn, &b[1]);
  scan_job sj = {{fwd, bwd}, {&b[0], &b[1]}, L, d};
  tv_parallel_for(pool, 2 * fwd->H, scan_task, &sj);
  for (int dir = 0; dir < 2; dir++) {
    const tv_seqmix *m = dir == 0 ? fwd : bwd;
    gate_job gj = {&b[dir], d};
    tv_rows_run(pool, L, 16, gate_rows, &gj);
    tv_linear(pool, b[dir].out, L, d, m->out_proj.w, m->out_proj.b, x, d, 1);
  }
}
