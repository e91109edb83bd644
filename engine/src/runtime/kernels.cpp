#include "runtime/kernels.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "runtime/error.h"
#include "runtime/kernels_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <xmmintrin.h>
#define TV_X86 1
#endif

#define SERIAL_WORK 200000.0 /* flops below which a product stays on the caller */
#define TILE_N 64
#define BLOCK_K TV_BLOCK_K
#define BLOCK_M 96
#define PANELS (TILE_N / TV_NR)

// ---- run-time choice of path

static int detect_path(void) {
#ifdef TV_X86
  unsigned a, b, c, d;
  if (__get_cpuid_max(0, NULL) < 7) return TV_PATH_PORTABLE;
  __cpuid(1, a, b, c, d);
  const unsigned fma = 1u << 12, osxsave = 1u << 27, avx = 1u << 28;
  if ((c & (fma | osxsave | avx)) != (fma | osxsave | avx)) return TV_PATH_PORTABLE;
  uint32_t xlo, xhi;
  __asm__ volatile("xgetbv" : "=a"(xlo), "=d"(xhi) : "c"(0));
  if ((xlo & 6) != 6) return TV_PATH_PORTABLE;  // SSE and AVX state saved by the OS
  __cpuid_count(7, 0, a, b, c, d);
  if (!(b & (1u << 5))) return TV_PATH_PORTABLE;
  if (getenv("TOVANTTS_NO_SIMD")) return TV_PATH_PORTABLE;
  // AVX-512 F, DQ, BW and VL, and the opmask and upper ZMM state saved by the OS.
  const unsigned f = 1u << 16, dq = 1u << 17, bw = 1u << 30, vl = 1u << 31;
  if ((b & (f | dq | bw | vl)) != (f | dq | bw | vl) || (xlo & 0xe0) != 0xe0) return TV_PATH_AVX2;
  if (getenv("TOVANTTS_NO_AVX512")) return TV_PATH_AVX2;
  return TV_PATH_AVX512;
#else
  return TV_PATH_PORTABLE;
#endif
}

static std::atomic<int> cached_path{-1};

int tv_cpu_path(void) {
  int v = cached_path.load(std::memory_order_relaxed);
  if (v < 0) {
    v = detect_path();
    cached_path.store(v, std::memory_order_relaxed);
  }
  return v;
}

int tv_cpu_avx2(void) { return tv_cpu_path() >= TV_PATH_AVX2; }

int tv_cpu_avx512(void) { return tv_cpu_path() >= TV_PATH_AVX512; }

void tv_cpu_path_cap(int cap) {
  int v = detect_path();
  cached_path.store(cap < v ? cap : v);
}

void tv_cpu_avx2_override(int use_avx2) { tv_cpu_path_cap(use_avx2 ? TV_PATH_AVX512 : TV_PATH_PORTABLE); }

// The 8-bit dot products: bit 0 for AVX-512's (VNNI), bit 1 for the
// VEX-encoded one (AVX-VNNI).
static int detect_vnni(void) {
#ifdef TV_X86
  unsigned a, b, c, d;
  if (__get_cpuid_max(0, NULL) < 7) return 0;
  __cpuid_count(7, 0, a, b, c, d);
  const int avx512 = (c >> 11) & 1;
  if (a < 1) return avx512;  // no sub-leaf 1
  __cpuid_count(7, 1, a, b, c, d);
  return avx512 | (int)((a >> 4) & 1) << 1;
#else
  return 0;
#endif
}

static int vnni_bits(void) {
  static const int bits = detect_vnni();
  return bits;
}

int tv_cpu_vnni(void) { return tv_cpu_path() == TV_PATH_AVX512 && (vnni_bits() & 1); }

int tv_cpu_has_avxvnni(void) { return (vnni_bits() >> 1) & 1; }

// ---- portable micro-kernel: multiply, then add, four floats at a time

typedef void (*tv_ukernel_fn)(int mr, int nr, int kb, const float *A, int64_t lda, const float *P, float *Y,
                              int64_t ldy, int add);

static void ukernel_portable(int mr, int nr, int kb, const float *A, int64_t lda, const float *P, float *Y,
                             int64_t ldy, int add) {
  alignas(16) float acc[TV_MR][TV_NR];
  memset(acc, 0, sizeof acc);
  for (int k = 0; k < kb; k++) {
    const float *p = P + (size_t)k * TV_NR;
    for (int i = 0; i < mr; i++) {
      float a = A[i * lda + k];
#ifdef TV_X86
      __m128 av = _mm_set1_ps(a);
      for (int j = 0; j < TV_NR; j += 4)
        _mm_store_ps(&acc[i][j], _mm_add_ps(_mm_load_ps(&acc[i][j]), _mm_mul_ps(av, _mm_loadu_ps(p + j))));
#else
      for (int j = 0; j < TV_NR; j++) acc[i][j] = acc[i][j] + a * p[j];
#endif
    }
  }
  for (int i = 0; i < mr; i++) {
    float *y = Y + i * ldy;
    if (add)
      for (int j = 0; j < nr; j++) y[j] += acc[i][j];
    else
      for (int j = 0; j < nr; j++) y[j] = acc[i][j];
  }
}

// ---- the general product

enum { OP_NT, OP_NN, OP_MAT };

struct gemm_job {
  int32_t M, N, K;
  const float *A;
  int64_t lda;
  int op;
  const float *B;
  int64_t ldb;
  const tv_mat *W;
  float *Y;
  int64_t ldy;
  const float *bias;
  int accumulate;
  int32_t block_m;
  int32_t tiles;
  int path;
};

// A full panel of 16 columns from col on the SIMD paths: float rows (nt, float
// weights) and int8 weights are gathered. 0 when it does not apply.
static int pack_fast(const gemm_job *g, int64_t col, int32_t k0, int32_t kb, float *P) {
  if (g->path == TV_PATH_PORTABLE) return 0;
  const tv_mat *W = g->W;
  int64_t stride = g->op == OP_NT ? g->ldb : g->op == OP_MAT ? W->cols : 0;
  if (stride < 1 || stride > 2147483647 / TV_NR) return 0;
  const int wide = g->path == TV_PATH_AVX512;
  const float *f = g->op == OP_NT ? g->B : W->storage == TV_MAT_F32 ? W->f32 : NULL;
  if (f) {
    f += col * stride + k0;
    if (wide) tv_pack_f32_avx512(f, stride, kb, P);
    else tv_pack_f32_avx2(f, stride, kb, P);
  } else if (W->storage == TV_MAT_I8) {
    const int8_t *q = W->i8 + col * stride + k0;
    if (wide) tv_pack_i8_avx512(q, stride, W->scales + col, kb, P);
    else tv_pack_i8_avx2(q, stride, W->scales + col, kb, P);
  } else {
    return 0;
  }
  return 1;
}

// Packs columns [c0, c0 + nc) and depth [k0, k0 + kb) of op(B) into panels of
// 16 columns, kb rows each; columns past nc are zero.
static void pack(const gemm_job *g, int32_t c0, int32_t nc, int32_t k0, int32_t kb, float *panels) {
  int np = (nc + TV_NR - 1) / TV_NR;
  for (int p = 0; p < np; p++) {
    float *P = panels + (size_t)p * BLOCK_K * TV_NR;
    int jn = nc - p * TV_NR < TV_NR ? nc - p * TV_NR : TV_NR;
    if (jn == TV_NR && pack_fast(g, c0 + p * TV_NR, k0, kb, P)) continue;
    if (jn < TV_NR)
      for (int k = 0; k < kb; k++)
        for (int j = jn; j < TV_NR; j++) P[k * TV_NR + j] = 0;
    if (g->op == OP_NN) {
      // Rows of B are the panel's rows: copy them whole.
      for (int k = 0; k < kb; k++) {
        const float *b = g->B + (int64_t)(k0 + k) * g->ldb + c0 + p * TV_NR;
        for (int j = 0; j < jn; j++) P[k * TV_NR + j] = b[j];
      }
      continue;
    }
    for (int j = 0; j < jn; j++) {
      int64_t col = c0 + p * TV_NR + j;
      switch (g->op) {
        case OP_NT: {
          const float *b = g->B + col * g->ldb + k0;
          for (int k = 0; k < kb; k++) P[k * TV_NR + j] = b[k];
          break;
        }
        default: {
          const tv_mat *W = g->W;
          if (W->storage == TV_MAT_F32) {
            const float *b = W->f32 + col * W->cols + k0;
            for (int k = 0; k < kb; k++) P[k * TV_NR + j] = b[k];
          } else if (W->storage == TV_MAT_I8) {
            const int8_t *q = W->i8 + col * W->cols + k0;
            float s = W->scales[col];
            for (int k = 0; k < kb; k++) P[k * TV_NR + j] = (float)q[k] * s;
          } else {
            const float *s = W->scales + col * (W->kp / W->g);
            int64_t base = col * W->kp;
            for (int k = 0; k < kb; k++) {
              int64_t e = base + k0 + k;
              int nib = (W->i4[e >> 1] >> ((e & 1) * 4)) & 15;
              P[k * TV_NR + j] = (float)(nib - 8) * s[(k0 + k) / W->g];
            }
          }
        }
      }
    }
  }
}

static void gemm_item(void *arg, int32_t item, int32_t) {
  const gemm_job *g = (const gemm_job *)arg;
  int32_t rb = item / g->tiles, tile = item % g->tiles;
  int32_t r0 = rb * g->block_m;
  int32_t r1 = r0 + g->block_m < g->M ? r0 + g->block_m : g->M;
  int32_t c0 = tile * TILE_N;
  int32_t nc = g->N - c0 < TILE_N ? g->N - c0 : TILE_N;
  if (g->K == 0 && !g->accumulate)
    for (int32_t r = r0; r < r1; r++) memset(g->Y + r * g->ldy + c0, 0, sizeof(float) * (size_t)nc);
  alignas(64) float panels[PANELS * BLOCK_K * TV_NR];
  for (int32_t k0 = 0; k0 < g->K; k0 += BLOCK_K) {
    int32_t kb = g->K - k0 < BLOCK_K ? g->K - k0 : BLOCK_K;
    pack(g, c0, nc, k0, kb, panels);
    int add = k0 > 0 || g->accumulate;
    if (g->path == TV_PATH_AVX512) {
      tv_tile_avx512(r1 - r0, nc, kb, g->A + r0 * g->lda + k0, g->lda, panels, g->Y + r0 * g->ldy + c0, g->ldy, add);
      continue;
    }
    tv_ukernel_fn ukernel = g->path == TV_PATH_AVX2 ? tv_ukernel_avx2 : ukernel_portable;
    for (int32_t r = r0; r < r1; r += TV_MR) {
      int mr = r1 - r < TV_MR ? r1 - r : TV_MR;
      const float *a = g->A + r * g->lda + k0;
      for (int p = 0; p * TV_NR < nc; p++) {
        int nr = nc - p * TV_NR < TV_NR ? nc - p * TV_NR : TV_NR;
        ukernel(mr, nr, kb, a, g->lda, panels + (size_t)p * BLOCK_K * TV_NR,
                   g->Y + r * g->ldy + c0 + p * TV_NR, g->ldy, add);
      }
    }
  }
  if (g->bias)
    for (int32_t r = r0; r < r1; r++) {
      float *y = g->Y + r * g->ldy + c0;
      const float *b = g->bias + c0;
      int32_t j = 0;
#ifdef TV_X86
      for (; j + 4 <= nc; j += 4) _mm_storeu_ps(y + j, _mm_add_ps(_mm_loadu_ps(y + j), _mm_loadu_ps(b + j)));
#endif
      for (; j < nc; j++) y[j] += b[j];
    }
}

static void gemm_run(tv_pool *pool, gemm_job *g) {
  if (g->M < 1 || g->N < 1) return;
  double work = 2.0 * g->M * (double)g->N * g->K;
  if (work < SERIAL_WORK) pool = NULL;
  int32_t threads = tv_pool_size(pool);
  g->tiles = (g->N + TILE_N - 1) / TILE_N;
  g->block_m = (threads > 1 && g->tiles < 3 * threads) ? BLOCK_M : g->M;
  int32_t blocks = (g->M + g->block_m - 1) / g->block_m;
  g->path = tv_cpu_path();
  tv_parallel_for(pool, blocks * g->tiles, gemm_item, g);
}

void tv_gemm_nt(tv_pool *pool, int32_t M, int32_t N, int32_t K, const float *A, int64_t lda, const float *B,
                int64_t ldb, float *Y, int64_t ldy, const float *bias, int accumulate) {
  gemm_job g = {M, N, K, A, lda, OP_NT, B, ldb, NULL, Y, ldy, bias, accumulate, 0, 0, 0};
  gemm_run(pool, &g);
}

void tv_gemm_nn(tv_pool *pool, int32_t M, int32_t N, int32_t K, const float *A, int64_t lda, const float *B,
                int64_t ldb, float *Y, int64_t ldy, const float *bias, int accumulate) {
  gemm_job g = {M, N, K, A, lda, OP_NN, B, ldb, NULL, Y, ldy, bias, accumulate, 0, 0, 0};
  gemm_run(pool, &g);
}

// ---- the linear layer; one to three rows take the matrix-vector road

struct matvec_job {
  const float *X;
  int32_t n;
  int64_t ldx;
  const tv_mat *W;
  const float *bias;
  float *Y;
  int64_t ldy;
  int accumulate;
};

static void matvec_rows(void *arg, int64_t o0, int64_t o1) {
  const matvec_job *m = (const matvec_job *)arg;
  const tv_mat *W = m->W;
  int32_t K = W->cols;
  for (int64_t o = o0; o < o1; o++) {
    for (int32_t t = 0; t < m->n; t++) {
      const float *x = m->X + t * m->ldx;
      float v;
      if (W->storage == TV_MAT_F32) {
        const float *w = W->f32 + o * K;
        float s = 0;
        for (int32_t c = 0; c < K; c++) s += w[c] * x[c];
        v = s;
      } else if (W->storage == TV_MAT_I8) {
        const int8_t *q = W->i8 + o * K;
        float s = 0;
        for (int32_t c = 0; c < K; c++) s += (float)q[c] * x[c];
        v = s * W->scales[o];
      } else {
        int32_t g = W->g;
        const float *sc = W->scales + o * (W->kp / g);
        int64_t base = o * W->kp;
        double acc = 0;
        for (int32_t c0 = 0, gi = 0; c0 < K; c0 += g, gi++) {
          int32_t c1 = c0 + g < K ? c0 + g : K;
          float s = 0;
          for (int32_t c = c0; c < c1; c++) {
            int64_t e = base + c;
            int nib = (W->i4[e >> 1] >> ((e & 1) * 4)) & 15;
            s += (float)(nib - 8) * x[c];
          }
          acc += (double)(s * sc[gi]);
        }
        v = (float)acc;
      }
      v += m->bias ? m->bias[o] : 0.0f;
      float *y = m->Y + t * m->ldy + o;
      *y = m->accumulate ? *y + v : v;
    }
  }
}

void tv_linear(tv_pool *pool, const float *X, int32_t n, int64_t ldx, const tv_mat *W, const float *bias,
               float *Y, int64_t ldy, int accumulate) {
  if (n < 1) return;
  int32_t N = W->rows, K = W->cols;
  if (n >= 4) {
    gemm_job g = {n, N, K, X, ldx, OP_MAT, NULL, 0, W, Y, ldy, bias, accumulate, 0, 0, 0};
    gemm_run(pool, &g);
    return;
  }
  if (N < 1) return;
  matvec_job m = {X, n, ldx, W, bias, Y, ldy, accumulate};
  int32_t parts = (double)N * K < SERIAL_WORK ? 1 : tv_pool_size(pool);
  int32_t items = parts < N ? parts : N;
  if (items < 2) {
    matvec_rows(&m, 0, N);
    return;
  }
  tv_parallel_rows(pool, items, N, matvec_rows, &m);
}

void tv_mat_rows(const tv_mat *W, int32_t r0, int32_t count, tv_mat *out) {
  *out = *W;
  out->rows = count;
  switch (W->storage) {
    case TV_MAT_F32: out->f32 = W->f32 + (int64_t)r0 * W->cols; break;
    case TV_MAT_I8:
      out->i8 = W->i8 + (int64_t)r0 * W->cols;
      out->scales = W->scales + r0;
      break;
    default:
      out->i4 = W->i4 + (int64_t)r0 * (W->kp / 2);
      out->scales = W->scales + (int64_t)r0 * (W->kp / W->g);
  }
}

void tv_mat_row(const tv_mat *W, int32_t r, float *out) {
  int32_t K = W->cols;
  switch (W->storage) {
    case TV_MAT_F32: memcpy(out, W->f32 + (int64_t)r * K, sizeof(float) * (size_t)K); break;
    case TV_MAT_I8: {
      const int8_t *q = W->i8 + (int64_t)r * K;
      for (int32_t c = 0; c < K; c++) out[c] = (float)q[c] * W->scales[r];
      break;
    }
    default: {
      const float *s = W->scales + (int64_t)r * (W->kp / W->g);
      int64_t base = (int64_t)r * W->kp;
      for (int32_t c = 0; c < K; c++) {
        int64_t e = base + c;
        int nib = (W->i4[e >> 1] >> ((e & 1) * 4)) & 15;
        out[c] = (float)(nib - 8) * s[c / W->g];
      }
    }
  }
}

// ---- convolutions

#define CONV_SCRATCH 8388608.0 /* bytes of unfolded input per chunk */

int32_t tv_conv1d(tv_pool *pool, const float *X, int32_t T, int32_t Cin, int64_t ldx, const tv_mat *W,
                  int32_t k, int32_t stride, int32_t dilation, int32_t pad_left, int32_t pad_right,
                  const float *bias, float *Y, int64_t ldy) {
  if (k < 1 || stride < 1 || dilation < 1 || T < 0 || Cin < 0 || pad_left < 0 || pad_right < 0) {
    tv_seterr("conv1d: bad geometry (k %d, stride %d, dilation %d, padding %d/%d)", k, stride, dilation,
              pad_left, pad_right);
    return -1;
  }
  int64_t span = (int64_t)T + pad_left + pad_right - (int64_t)(k - 1) * dilation - 1;
  if (span < 0) return 0;
  if (span / stride >= 2147483647) {
    tv_seterr("conv1d: output too long");
    return -1;
  }
  int64_t row = (int64_t)Cin * k;
  if (W->cols != row) {
    // The product would read the weight rows past their end.
    tv_seterr("conv1d: weight has %d columns, expected %lld", W->cols, (long long)row);
    return -1;
  }
  int32_t L = (int32_t)(span / stride + 1);
  if (k == 1 && stride == 1 && pad_left == 0 && pad_right == 0) {
    tv_linear(pool, X, L, ldx, W, bias, Y, ldy, 0);
    return L;
  }
  double row_bytes = (double)row * 4;
  int64_t chunk = row_bytes > CONV_SCRATCH ? 64 : (int64_t)(CONV_SCRATCH / row_bytes);
  if (chunk < 64) chunk = 64;
  if (chunk > L) chunk = L;
  float *U = (float *)tv_malloc((size_t)chunk * (size_t)row * sizeof(float));
  if (!U) return -1;
  for (int64_t t0 = 0; t0 < L; t0 += chunk) {
    int64_t rows = L - t0 < chunk ? L - t0 : chunk;
    for (int64_t r = 0; r < rows; r++) {
      float *u = U + r * row;
      int64_t first = (t0 + r) * stride - pad_left;
      for (int32_t c = 0; c < Cin; c++)
        for (int32_t j = 0; j < k; j++) {
          int64_t src = first + (int64_t)j * dilation;
          u[(int64_t)c * k + j] = (src >= 0 && src < T) ? X[src * ldx + c] : 0.0f;
        }
    }
    tv_linear(pool, U, (int32_t)rows, row, W, bias, Y + t0 * ldy, ldy, 0);
  }
  tv_free(U);
  return L;
}

void tv_dwconv1d(const float *X, int32_t T, int32_t Ch, const float *W, int32_t k, int32_t dilation,
                 int32_t pad_left, const float *bias, float *Y) {
  for (int32_t t = 0; t < T; t++) {
    float *y = Y + (int64_t)t * Ch;
    for (int32_t c = 0; c < Ch; c++) y[c] = bias ? bias[c] : 0.0f;
    for (int32_t j = 0; j < k; j++) {
      int64_t src = (int64_t)t - pad_left + (int64_t)j * dilation;
      if (src < 0 || src >= T) continue;
      const float *x = X + src * Ch;
      for (int32_t c = 0; c < Ch; c++) y[c] += x[c] * W[(int64_t)c * k + j];
    }
  }
}

// ---- norms

void tv_layernorm(float *X, int32_t rows, int32_t n, int64_t stride, const float *gamma, const float *beta,
                  float eps) {
  if (n < 1) return;
  if (tv_cpu_path() == TV_PATH_AVX512) {
    tv_layernorm_avx512(X, rows, n, stride, gamma, beta, eps);
    return;
  }
  for (int32_t r = 0; r < rows; r++) {
    float *x = X + r * stride;
    double sum = 0;
    for (int32_t i = 0; i < n; i++) sum += x[i];
    double mean = sum / n;
    double var = 0;
    for (int32_t i = 0; i < n; i++) var += (x[i] - mean) * (x[i] - mean);
    var /= n;
    float m = (float)mean;
    float inv = (float)(1.0 / sqrt(var + eps));
    for (int32_t i = 0; i < n; i++) {
      float v = (x[i] - m) * inv;
      if (gamma) v *= gamma[i];
      if (beta) v += beta[i];
      x[i] = v;
    }
  }
}

void tv_rmsnorm(float *X, int32_t rows, int32_t n, int64_t stride, const float *weight, float eps) {
  if (n < 1) return;
  for (int32_t r = 0; r < rows; r++) {
    float *x = X + r * stride;
    double ss = 0;
    for (int32_t i = 0; i < n; i++) ss += (double)x[i] * x[i];
    float inv = (float)(1.0 / sqrt(ss / n + eps));
    for (int32_t i = 0; i < n; i++) x[i] = x[i] * inv * (weight ? weight[i] : 1.0f);
  }
}

// ---- activations

void tv_gelu(float *X, uint64_t n) {
  int path = tv_cpu_path();
  uint64_t done = path == TV_PATH_AVX512 ? tv_gelu_avx512(X, n) : path == TV_PATH_AVX2 ? tv_gelu_avx2(X, n) : 0;
  for (uint64_t i = done; i < n; i++) X[i] = 0.5f * X[i] * (1.0f + erff(X[i] * 0.70710677f));
}

void tv_gelu_tanh(float *X, uint64_t n) {
  for (uint64_t i = 0; i < n; i++) {
    float x = X[i];
    X[i] = 0.5f * x * (1.0f + tanhf(0.7978846f * (x + 0.044715f * x * x * x)));
  }
}

void tv_silu(float *X, uint64_t n) {
  for (uint64_t i = 0; i < n; i++) X[i] = X[i] / (1.0f + expf(-X[i]));
}

void tv_relu(float *X, uint64_t n) {
  for (uint64_t i = 0; i < n; i++) X[i] = X[i] > 0 ? X[i] : 0.0f;  // NaN becomes 0
}

void tv_softmax_rows(float *X, int32_t rows, int32_t n, int64_t stride) {
  if (tv_cpu_path() == TV_PATH_AVX512) {
    tv_softmax_rows_avx512(X, rows, n, stride);
    return;
  }
  for (int32_t r = 0; r < rows; r++) {
    float *x = X + r * stride;
    float mx = -INFINITY;
    for (int32_t i = 0; i < n; i++)
      if (x[i] > mx) mx = x[i];
    if (mx == -INFINITY) {
      for (int32_t i = 0; i < n; i++) x[i] = NAN;
      continue;
    }
    float sum = 0;
    for (int32_t i = 0; i < n; i++) {
      x[i] = expf(x[i] - mx);
      sum += x[i];
    }
    float inv = 1.0f / sum;
    for (int32_t i = 0; i < n; i++) x[i] *= inv;
  }
}

// ---- attention

#define ATT_BLOCK 64

struct att_job {
  const float *Q, *K, *V;
  int64_t ldq, ldk, ldv;
  float *O;
  int64_t ldo;
  int32_t Tq, Tk, H, D;
  const uint8_t *mask;
  const float *bias;
  float scale;
  int32_t blocks;  // query blocks per head
  int32_t items;
  float *scratch;  // one 64 x max(Tk, 1) area per task
  int64_t scratch_stride;
  std::atomic<int32_t> next;
};

static void att_item(att_job *a, int32_t item, float *S) {
  int32_t h = item / a->blocks, b = item % a->blocks;
  int32_t q0 = b * ATT_BLOCK;
  int32_t rows = a->Tq - q0 < ATT_BLOCK ? a->Tq - q0 : ATT_BLOCK;
  int32_t Tk = a->Tk;
  tv_gemm_nt(NULL, rows, Tk, a->D, a->Q + q0 * a->ldq + (int64_t)h * a->D, a->ldq, a->K + (int64_t)h * a->D,
             a->ldk, S, Tk, NULL, 0);
  for (int32_t r = 0; r < rows; r++) {
    float *s = S + (int64_t)r * Tk;
    const float *bias = a->bias ? a->bias + ((int64_t)h * a->Tq + q0 + r) * Tk : NULL;
    for (int32_t j = 0; j < Tk; j++) {
      float v = a->scale * s[j];
      if (bias) v += bias[j];
      if (a->mask && !a->mask[j]) v = -INFINITY;
      s[j] = v;
    }
  }
  tv_softmax_rows(S, rows, Tk, Tk);
  tv_gemm_nn(NULL, rows, a->D, Tk, S, Tk, a->V + (int64_t)h * a->D, a->ldv, a->O + q0 * a->ldo + (int64_t)h * a->D,
             a->ldo, NULL, 0);
}

static void att_task(void *arg, int32_t task, int32_t) {
  att_job *a = (att_job *)arg;
  float *S = a->scratch + task * a->scratch_stride;
  for (int32_t item; (item = a->next.fetch_add(1)) < a->items;) att_item(a, item, S);
}

int tv_attention(tv_pool *pool, const float *Q, int64_t ldq, const float *K, int64_t ldk, const float *V,
                 int64_t ldv, float *O, int64_t ldo, int32_t Tq, int32_t Tk, int32_t H, int32_t D,
                 const uint8_t *mask, const float *bias, float scale) {
  if (H < 1 || Tq < 1) return 0;
  att_job a;
  a.Q = Q, a.K = K, a.V = V, a.ldq = ldq, a.ldk = ldk, a.ldv = ldv, a.O = O, a.ldo = ldo;
  a.Tq = Tq, a.Tk = Tk, a.H = H, a.D = D, a.mask = mask, a.bias = bias;
  a.scale = scale > 0 ? scale : 1.0f / sqrtf((float)D);
  a.blocks = (Tq + ATT_BLOCK - 1) / ATT_BLOCK;
  a.items = H * a.blocks;
  int32_t tasks = tv_pool_size(pool) < a.items ? tv_pool_size(pool) : a.items;
  a.scratch_stride = (int64_t)ATT_BLOCK * (Tk > 1 ? Tk : 1);
  a.scratch = (float *)tv_malloc((size_t)tasks * (size_t)a.scratch_stride * sizeof(float));
  if (!a.scratch) {
    for (int32_t t = 0; t < Tq; t++)
      for (int64_t c = 0; c < (int64_t)H * D; c++) O[t * ldo + c] = NAN;
    return -1;
  }
  a.next.store(0);
  if (tasks > 1) tv_parallel_for(pool, tasks, att_task, &a);
  else att_task(&a, 0, 1);
  tv_free(a.scratch);
  return 0;
}
