#include "runtime/kernels.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "reference.h"
#include "runtime/error.h"
#include "runtime/kernels_simd.h"
#include "runtime/stwriter.h"

namespace {

// Deterministic values in [-1, 1).
std::vector<float> noise(size_t n, uint32_t seed) {
  std::vector<float> v(n);
  uint32_t s = seed * 2654435761u + 1;
  for (float &x : v) {
    s ^= s << 13, s ^= s >> 17, s ^= s << 5;
    x = (float)(s >> 8) / 8388608.0f - 1.0f;
  }
  return v;
}

using Pool = std::unique_ptr<tv_pool, void (*)(tv_pool *)>;
Pool make_pool(int threads) { return Pool(tv_pool_create(threads), tv_pool_destroy); }

// Float rounding bound for a sum of n products whose magnitudes add up to mag.
double bound(int n, double mag) { return (2.0 * n + 8) * 6e-8 * mag + 1e-30; }

const float kSentinel = 12345.0f;

}  // namespace

TEST(Kernels, PathFollowsTheEnvironment) {
  int avx2 = tv_cpu_avx2();
  if (getenv("TOVANTTS_NO_SIMD")) {
    EXPECT_EQ(avx2, 0);
  }
  EXPECT_EQ(tv_cpu_avx2(), avx2);  // decided once
  printf("kernel path: %s\n", tv_cpu_avx512() ? "AVX-512" : avx2 ? "AVX2/FMA" : "portable");
}

TEST(Kernels, GemmMatchesTheReferenceAtAwkwardSizes) {
  const int Ms[] = {1, 3, 6, 7, 17, 97};
  const int Ns[] = {1, 15, 16, 17, 65, 130};
  const int Ks[] = {0, 1, 7, 255, 257, 513};
  uint32_t seed = 1;
  for (int M : Ms)
    for (int N : Ns)
      for (int K : Ks)
        for (int nn = 0; nn < 2; nn++) {
          seed++;
          int accumulate = seed % 3 == 0;
          bool with_bias = seed % 2 == 0;
          int64_t lda = K + 3, ldb = (nn ? N : K) + 5, ldy = N + 2;
          std::vector<float> A = noise((size_t)M * lda, seed);
          std::vector<float> B = noise((size_t)(nn ? K : N) * ldb + 1, seed + 99);
          std::vector<float> bias = noise(N, seed + 7);
          std::vector<float> Y0 = noise((size_t)M * ldy, seed + 3);
          for (int i = 0; i < M; i++)
            for (int64_t j = N; j < ldy; j++) Y0[i * ldy + j] = kSentinel;
          std::vector<float> Y = Y0;
          if (nn)
            tv_gemm_nn(nullptr, M, N, K, A.data(), lda, B.data(), ldb, Y.data(), ldy, with_bias ? bias.data() : nullptr,
                       accumulate);
          else
            tv_gemm_nt(nullptr, M, N, K, A.data(), lda, B.data(), ldb, Y.data(), ldy, with_bias ? bias.data() : nullptr,
                       accumulate);
          auto R = ref::matmul(M, N, K, A.data(), lda, [&](int j, int k) {
            return (double)(nn ? B[(size_t)k * ldb + j] : B[(size_t)j * ldb + k]);
          });
          for (int i = 0; i < M; i++) {
            for (int j = 0; j < N; j++) {
              double want = R[(size_t)i * N + j].v, mag = R[(size_t)i * N + j].mag;
              if (with_bias) want += bias[j], mag += fabs(bias[j]);
              if (accumulate) want += Y0[i * ldy + j], mag += fabs(Y0[i * ldy + j]);
              ASSERT_NEAR(Y[i * ldy + j], want, bound(K + 2, mag))
                  << (nn ? "nn" : "nt") << " M " << M << " N " << N << " K " << K << " at " << i << "," << j;
            }
            for (int64_t j = N; j < ldy; j++) ASSERT_EQ(Y[i * ldy + j], kSentinel) << "wrote past N";
          }
        }
}

TEST(Kernels, ResultsDoNotDependOnTheThreadCount) {
  struct Shape {
    int M, N, K;
  } shapes[] = {{203, 301, 300}, {1000, 130, 257}, {7, 1000, 600}, {256, 256, 256}};
  for (const Shape &s : shapes) {
    std::vector<float> A = noise((size_t)s.M * s.K, 5), B = noise((size_t)s.N * s.K, 6), bias = noise(s.N, 7);
    std::vector<float> want((size_t)s.M * s.N), wantnn((size_t)s.M * s.N);
    tv_gemm_nt(nullptr, s.M, s.N, s.K, A.data(), s.K, B.data(), s.K, want.data(), s.N, bias.data(), 0);
    tv_gemm_nn(nullptr, s.M, s.N, s.K, A.data(), s.K, B.data(), s.N, wantnn.data(), s.N, nullptr, 0);
    for (int threads = 2; threads <= 8; threads++) {
      Pool pool = make_pool(threads);
      std::vector<float> Y((size_t)s.M * s.N), Ynn((size_t)s.M * s.N);
      tv_gemm_nt(pool.get(), s.M, s.N, s.K, A.data(), s.K, B.data(), s.K, Y.data(), s.N, bias.data(), 0);
      tv_gemm_nn(pool.get(), s.M, s.N, s.K, A.data(), s.K, B.data(), s.N, Ynn.data(), s.N, nullptr, 0);
      ASSERT_EQ(memcmp(Y.data(), want.data(), Y.size() * 4), 0) << s.M << "x" << s.N << "x" << s.K << " threads " << threads;
      ASSERT_EQ(memcmp(Ynn.data(), wantnn.data(), Y.size() * 4), 0) << threads;
    }
  }
}

TEST(Kernels, EmptyDepthGivesBiasOrKeepsTheAccumulator) {
  float bias[3] = {1, 2, 3};
  float Y[6] = {9, 9, 9, 9, 9, 9};
  tv_gemm_nt(nullptr, 2, 3, 0, nullptr, 0, nullptr, 0, Y, 3, nullptr, 0);
  for (float v : Y) EXPECT_EQ(v, 0);
  tv_gemm_nt(nullptr, 2, 3, 0, nullptr, 0, nullptr, 0, Y, 3, bias, 0);
  EXPECT_EQ(Y[4], 2);
  for (float &v : Y) v = 10;
  tv_gemm_nn(nullptr, 2, 3, 0, nullptr, 0, nullptr, 0, Y, 3, bias, 1);
  EXPECT_EQ(Y[0], 11);
  EXPECT_EQ(Y[5], 13);
  // Nothing at all for empty outputs.
  tv_gemm_nt(nullptr, 0, 3, 4, nullptr, 0, nullptr, 0, nullptr, 0, bias, 0);
  tv_gemm_nt(nullptr, 3, 0, 4, nullptr, 0, nullptr, 0, nullptr, 0, bias, 0);
}

namespace {

// The three storages of one weight matrix, quantised by the writer and read
// back through a container, so the kernels see real views.
struct Weights {
  std::string path;
  tv_weights *w = nullptr;
  Weights(int rows, int cols, uint32_t seed) {
    path = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/tovantts-kernels-" +
           std::to_string(getpid()) + "-" + std::to_string(seed) + ".safetensors";
    std::vector<float> x = noise((size_t)rows * cols, seed);
    int64_t d[2] = {rows, cols};
    tv_stwriter *sw = tv_stwriter_create();
    tv_stwriter_add_mat(sw, "f", TV_ST_RAW, 2, d, x.data(), 0, 0);
    tv_stwriter_add_mat(sw, "q8", TV_ST_INT8, 2, d, x.data(), 0, 0);
    tv_stwriter_add_mat(sw, "q4", TV_ST_INT4, 2, d, x.data(), 32, 0);
    tv_stwriter_add_mat(sw, "q4g6", TV_ST_INT4, 2, d, x.data(), 6, 0);
    EXPECT_EQ(tv_stwriter_save(sw, path.c_str()), 0) << tv_geterr();
    tv_stwriter_free(sw);
    w = tv_weights_open(path.c_str());
    EXPECT_NE(w, nullptr) << tv_geterr();
  }
  ~Weights() {
    tv_weights_close(w);
    unlink(path.c_str());
  }
  const tv_mat *mat(const char *name) { return tv_weights_mat(w, name, 0, 0); }
};

std::vector<float> expanded(const tv_mat *W) {
  std::vector<float> out((size_t)W->rows * W->cols);
  for (int r = 0; r < W->rows; r++) tv_mat_row(W, r, out.data() + (size_t)r * W->cols);
  return out;
}

}  // namespace

TEST(Kernels, LinearOverEveryStorageMatchesTheReference) {
  struct Shape {
    int N, K;
  } shapes[] = {{1, 1}, {17, 33}, {70, 300}, {257, 65}, {600, 400}};
  Pool pool = make_pool(3);
  uint32_t seed = 40;
  for (const Shape &s : shapes) {
    Weights ws(s.N, s.K, seed++);
    ASSERT_NE(ws.w, nullptr);
    for (const char *name : {"f", "q8", "q4", "q4g6"}) {
      const tv_mat *W = ws.mat(name);
      ASSERT_NE(W, nullptr) << tv_geterr();
      std::vector<float> Wf = expanded(W);
      for (int n : {1, 2, 3, 4, 5, 13}) {
        for (tv_pool *p : {(tv_pool *)nullptr, pool.get()}) {
          int64_t ldx = s.K + 1, ldy = s.N + 3;
          std::vector<float> X = noise((size_t)n * ldx, seed + n), bias = noise(s.N, seed + 50);
          std::vector<float> Y0 = noise((size_t)n * ldy, seed + 60), Y = Y0;
          int accumulate = n % 2;
          tv_linear(p, X.data(), n, ldx, W, bias.data(), Y.data(), ldy, accumulate);
          auto R = ref::matmul(n, s.N, s.K, X.data(), ldx, [&](int j, int k) { return (double)Wf[(size_t)j * s.K + k]; });
          for (int t = 0; t < n; t++)
            for (int o = 0; o < s.N; o++) {
              double want = R[(size_t)t * s.N + o].v + bias[o] + (accumulate ? Y0[t * ldy + o] : 0);
              double mag = R[(size_t)t * s.N + o].mag + fabs(bias[o]) + fabs(Y0[t * ldy + o]);
              ASSERT_NEAR(Y[t * ldy + o], want, bound(s.K + 2, mag))
                  << name << " " << s.N << "x" << s.K << " n " << n << " at " << t << "," << o;
            }
        }
      }
      // A band of rows is the same storage, shifted.
      if (s.N >= 3) {
        tv_mat band;
        tv_mat_rows(W, 1, s.N - 2, &band);
        std::vector<float> row(s.K);
        tv_mat_row(&band, s.N - 3, row.data());
        EXPECT_EQ(memcmp(row.data(), Wf.data() + (size_t)(s.N - 2) * s.K, 4 * (size_t)s.K), 0) << name;
      }
    }
  }
}

TEST(Kernels, Conv1dMatchesTheReference) {
  struct Case {
    int T, Cin, Cout, k, stride, dilation, padl, padr;
  } cases[] = {
      {3, 2, 4, 5, 1, 1, 0, 0},       // too short: no frames
      {3, 2, 4, 5, 1, 1, 2, 2},       // "same" padding keeps T
      {10, 3, 5, 1, 1, 1, 0, 0},      // pointwise: the linear layer directly
      {10, 3, 5, 1, 2, 1, 0, 0},
      {17, 7, 9, 3, 1, 2, 2, 2},
      {100, 16, 33, 7, 3, 1, 3, 0},
      {64, 5, 6, 4, 2, 3, 0, 5},
      {1, 1, 1, 1, 1, 1, 0, 0},
      {150, 4100, 3, 9, 1, 1, 4, 4},  // rows above 128 KiB: several chunks
      {300, 8, 4, 3, 1, 1, 1, 1},     // many rows per chunk
  };
  Pool pool = make_pool(4);
  uint32_t seed = 300;
  for (const Case &c : cases) {
    int64_t ldx = c.Cin + 2, ldy = c.Cout + 1;
    std::vector<float> X = noise((size_t)c.T * ldx, seed++), Wf = noise((size_t)c.Cout * c.Cin * c.k, seed++);
    std::vector<float> bias = noise(c.Cout, seed++);
    tv_mat W = {TV_MAT_F32, c.Cout, c.Cin * c.k, Wf.data(), nullptr, nullptr, nullptr, 0, 0};
    int L;
    auto R = ref::conv1d(X.data(), c.T, c.Cin, ldx, Wf.data(), c.Cout, c.k, c.stride, c.dilation, c.padl, c.padr,
                         bias.data(), &L);
    std::vector<float> Y((size_t)(L + 1) * ldy, kSentinel);
    int32_t got = tv_conv1d(pool.get(), X.data(), c.T, c.Cin, ldx, &W, c.k, c.stride, c.dilation, c.padl, c.padr,
                            bias.data(), Y.data(), ldy);
    ASSERT_EQ(got, L) << "T " << c.T << " k " << c.k;
    for (int t = 0; t < L; t++)
      for (int o = 0; o < c.Cout; o++) {
        const ref::Val &r = R[(size_t)t * c.Cout + o];
        ASSERT_NEAR(Y[t * ldy + o], r.v, bound(c.Cin * c.k + 1, r.mag)) << "T " << c.T << " k " << c.k << " at " << t;
      }
    for (size_t i = (size_t)L * ldy; i < Y.size(); i++) ASSERT_EQ(Y[i], kSentinel) << "wrote past L";
  }
}

TEST(Kernels, Conv1dRefusesBadGeometry) {
  float w[8] = {0};
  tv_mat W = {TV_MAT_F32, 2, 4, w, nullptr, nullptr, nullptr, 0, 0};
  struct Case {
    int T, Cin, k, stride, dilation, padl, padr;
    const char *msg;
  } cases[] = {
      {4, 2, 0, 1, 1, 0, 0, "conv1d: bad geometry (k 0, stride 1, dilation 1, padding 0/0)"},
      {4, 2, 2, 0, 1, 0, 0, "conv1d: bad geometry (k 2, stride 0, dilation 1, padding 0/0)"},
      {4, 2, 2, 1, 0, 0, 0, "conv1d: bad geometry (k 2, stride 1, dilation 0, padding 0/0)"},
      {4, 2, 2, 1, 1, -1, 0, "conv1d: bad geometry (k 2, stride 1, dilation 1, padding -1/0)"},
      {-1, 2, 2, 1, 1, 0, 0, "conv1d: bad geometry (k 2, stride 1, dilation 1, padding 0/0)"},
      {4, 3, 2, 1, 1, 0, 0, "conv1d: weight has 4 columns, expected 6"},
      {2147483647, 2, 2, 1, 1, 2147483647, 2147483647, "conv1d: output too long"},
  };
  for (const Case &c : cases) {
    float x[8] = {0}, y[8];
    EXPECT_EQ(tv_conv1d(nullptr, x, c.T, c.Cin, c.Cin, &W, c.k, c.stride, c.dilation, c.padl, c.padr, nullptr, y, 2), -1);
    EXPECT_STREQ(tv_geterr(), c.msg);
  }
}

TEST(Kernels, DepthwiseConvMatchesTheReference) {
  struct Case {
    int T, Ch, k, dilation, padl;
  } cases[] = {{1, 1, 1, 1, 0}, {20, 7, 7, 1, 3}, {33, 17, 3, 4, 4}, {5, 9, 9, 1, 8}, {12, 3, 2, 2, 0}};
  uint32_t seed = 700;
  for (const Case &c : cases) {
    std::vector<float> X = noise((size_t)c.T * c.Ch, seed++), W = noise((size_t)c.Ch * c.k, seed++), bias = noise(c.Ch, seed++);
    std::vector<float> Y((size_t)c.T * c.Ch);
    tv_dwconv1d(X.data(), c.T, c.Ch, W.data(), c.k, c.dilation, c.padl, bias.data(), Y.data());
    for (int t = 0; t < c.T; t++)
      for (int ch = 0; ch < c.Ch; ch++) {
        double want = bias[ch], mag = fabs(bias[ch]);
        for (int j = 0; j < c.k; j++) {
          int src = t - c.padl + j * c.dilation;
          if (src < 0 || src >= c.T) continue;
          want += (double)X[src * c.Ch + ch] * W[ch * c.k + j];
          mag += fabs((double)X[src * c.Ch + ch] * W[ch * c.k + j]);
        }
        ASSERT_NEAR(Y[t * c.Ch + ch], want, bound(c.k + 1, mag)) << t << "," << ch;
      }
  }
  std::vector<float> X = noise(6, 1), W = noise(6, 2), Y(6);
  tv_dwconv1d(X.data(), 3, 2, W.data(), 3, 1, 1, nullptr, Y.data());
  EXPECT_FLOAT_EQ(Y[0], X[0] * W[1] + X[2] * W[2]);
}

TEST(Kernels, NormsMatchTheReference) {
  for (int n : {1, 2, 7, 100, 513}) {
    int rows = 3;
    int64_t stride = n + 4;
    std::vector<float> X = noise((size_t)rows * stride, n), gamma = noise(n, n + 1), beta = noise(n, n + 2);
    for (float &v : X) v = v * 3 + 5;  // an offset mean tests the two-pass variance
    for (int variant = 0; variant < 3; variant++) {
      std::vector<float> L = X, Rm = X;
      const float *g = variant == 1 ? nullptr : gamma.data(), *b = variant == 2 ? nullptr : beta.data();
      tv_layernorm(L.data(), rows, n, stride, g, b, 1e-5f);
      tv_rmsnorm(Rm.data(), rows, n, stride, g, 1e-6f);
      for (int r = 0; r < rows; r++) {
        const float *x = X.data() + r * stride;
        double mean = 0, var = 0, ss = 0;
        for (int i = 0; i < n; i++) mean += x[i], ss += (double)x[i] * x[i];
        mean /= n;
        for (int i = 0; i < n; i++) var += (x[i] - mean) * (x[i] - mean);
        var /= n;
        for (int i = 0; i < n; i++) {
          double ln = (x[i] - mean) / sqrt(var + 1e-5) * (g ? g[i] : 1) + (b ? b[i] : 0);
          double rms = x[i] / sqrt(ss / n + 1e-6) * (g ? g[i] : 1);
          ASSERT_NEAR(L[r * stride + i], ln, 2e-5 * (1 + fabs(ln))) << n << " " << variant;
          ASSERT_NEAR(Rm[r * stride + i], rms, 2e-6 * (1 + fabs(rms))) << n << " " << variant;
        }
        for (int64_t i = n; i < stride; i++) ASSERT_EQ(L[r * stride + i], X[r * stride + i]);
      }
    }
  }
}

TEST(Kernels, ActivationsMatchTheReference) {
  const int n = 1003;  // not a multiple of 8: the tail takes the portable road
  std::vector<float> X = noise(n, 9);
  for (int i = 0; i < n; i++) X[i] *= (i % 7 == 0) ? 12.0f : 4.0f;
  X[0] = 0, X[1] = -0.0f, X[2] = 30, X[3] = -30, X[4] = INFINITY;
  std::vector<float> g = X, gt = X, s = X, r = X;
  tv_gelu(g.data(), n);
  tv_gelu_tanh(gt.data(), n);
  tv_silu(s.data(), n);
  tv_relu(r.data(), n);
  for (int i = 0; i < n; i++) {
    double x = X[i];
    if (std::isinf(x)) {
      EXPECT_EQ(g[i], INFINITY);
      continue;
    }
    ASSERT_NEAR(g[i], ref::gelu(x), 3e-7 * (1 + fabs(x))) << x;
    double t = 0.5 * x * (1 + tanh(sqrt(2 / M_PI) * (x + 0.044715 * x * x * x)));
    ASSERT_NEAR(gt[i], t, 1e-6 * (1 + fabs(x))) << x;
    ASSERT_NEAR(s[i], x / (1 + exp(-x)), 1e-6 * (1 + fabs(x))) << x;
    ASSERT_EQ(r[i], x > 0 ? (float)x : 0.0f);
  }
  float nan[1] = {NAN};
  tv_relu(nan, 1);
  EXPECT_EQ(nan[0], 0);
}

TEST(Kernels, SoftmaxRows) {
  const float inf = INFINITY;
  struct Case {
    std::vector<float> in;
    std::vector<float> want;  // NaN where NaN is expected
  } cases[] = {
      {{-inf, -inf, -inf}, {NAN, NAN, NAN}},
      {{-inf, 2, -inf}, {0, 1, 0}},
      {{1000, 1000}, {0.5f, 0.5f}},
      {{0, logf(3)}, {0.25f, 0.75f}},
      {{5}, {1}},
  };
  for (const Case &c : cases) {
    std::vector<float> x = c.in;
    tv_softmax_rows(x.data(), 1, (int)x.size(), (int64_t)x.size());
    for (size_t i = 0; i < x.size(); i++) {
      if (std::isnan(c.want[i])) EXPECT_TRUE(std::isnan(x[i]));
      else EXPECT_NEAR(x[i], c.want[i], 1e-6);
    }
  }
  // NaN entries do not take part in finding the maximum.
  float x[3] = {NAN, 1, 2};
  tv_softmax_rows(x, 1, 3, 3);
  EXPECT_TRUE(std::isnan(x[0]));
  // Rows with a stride, and a row that must be left alone beyond n.
  std::vector<float> m = noise(3 * 10, 4);
  std::vector<float> m0 = m;
  tv_softmax_rows(m.data(), 3, 7, 10);
  for (int r = 0; r < 3; r++) {
    double mx = -1e9, sum = 0;
    for (int i = 0; i < 7; i++) mx = fmax(mx, m0[r * 10 + i]);
    for (int i = 0; i < 7; i++) sum += exp(m0[r * 10 + i] - mx);
    for (int i = 0; i < 7; i++) EXPECT_NEAR(m[r * 10 + i], exp(m0[r * 10 + i] - mx) / sum, 1e-6);
    for (int i = 7; i < 10; i++) EXPECT_EQ(m[r * 10 + i], m0[r * 10 + i]);
  }
}

TEST(Kernels, AttentionMatchesTheReference) {
  struct Case {
    int Tq, Tk, H, D;
    bool mask, bias;
    float scale;
  } cases[] = {
      {1, 1, 1, 1, false, false, 0},    {5, 7, 2, 8, true, false, 0},   {63, 100, 3, 17, false, true, 0},
      {64, 64, 1, 16, true, true, 0.3f}, {65, 9, 4, 5, true, false, 0}, {130, 33, 2, 64, false, false, 0},
      {200, 300, 2, 32, true, true, 0},
  };
  uint32_t seed = 900;
  for (int threads : {1, 4}) {
    Pool pool = make_pool(threads);
    for (const Case &c : cases) {
      int HD = c.H * c.D;
      int64_t ldq = HD + 1, ldk = HD + 2, ldv = HD + 3, ldo = HD + 4;
      std::vector<float> Q = noise((size_t)c.Tq * ldq, seed++), K = noise((size_t)c.Tk * ldk, seed++);
      std::vector<float> V = noise((size_t)c.Tk * ldv, seed++);
      std::vector<float> bias = noise((size_t)c.H * c.Tq * c.Tk, seed++);
      std::vector<uint8_t> mask(c.Tk, 1);
      for (int k = 0; k < c.Tk; k++) mask[k] = (k % 3 != 1);
      std::vector<float> O((size_t)c.Tq * ldo, kSentinel);
      ASSERT_EQ(tv_attention(pool.get(), Q.data(), ldq, K.data(), ldk, V.data(), ldv, O.data(), ldo, c.Tq, c.Tk, c.H, c.D,
                             c.mask ? mask.data() : nullptr, c.bias ? bias.data() : nullptr, c.scale),
                0);
      double scale = c.scale > 0 ? c.scale : 1 / sqrt((double)c.D);
      auto R = ref::attention(Q.data(), ldq, K.data(), ldk, V.data(), ldv, c.Tq, c.Tk, c.H, c.D,
                              c.mask ? mask.data() : nullptr, c.bias ? bias.data() : nullptr, scale);
      for (int q = 0; q < c.Tq; q++) {
        for (int i = 0; i < HD; i++) ASSERT_NEAR(O[q * ldo + i], R[(size_t)q * HD + i], 2e-5) << c.Tq << "x" << c.Tk << " " << q;
        for (int64_t i = HD; i < ldo; i++) ASSERT_EQ(O[q * ldo + i], kSentinel);
      }
    }
  }
  // Every key masked: NaN outputs.
  std::vector<float> Q = noise(4 * 6, 1), K = noise(3 * 6, 2), V = noise(3 * 6, 3), O(4 * 6);
  uint8_t none[3] = {0, 0, 0};
  ASSERT_EQ(tv_attention(nullptr, Q.data(), 6, K.data(), 6, V.data(), 6, O.data(), 6, 4, 3, 2, 3, none, nullptr, 0), 0);
  for (float v : O) EXPECT_TRUE(std::isnan(v));
  EXPECT_EQ(tv_attention(nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, 0, 3, 2, 3, nullptr, nullptr, 0), 0);
}

TEST(Kernels, AttentionDoesNotDependOnTheThreadCount) {
  int Tq = 300, Tk = 170, H = 4, D = 24, HD = H * D;
  std::vector<float> Q = noise((size_t)Tq * HD, 1), K = noise((size_t)Tk * HD, 2), V = noise((size_t)Tk * HD, 3);
  std::vector<float> want((size_t)Tq * HD);
  ASSERT_EQ(tv_attention(nullptr, Q.data(), HD, K.data(), HD, V.data(), HD, want.data(), HD, Tq, Tk, H, D, nullptr, nullptr, 0), 0);
  for (int threads : {2, 3, 5, 8}) {
    Pool pool = make_pool(threads);
    std::vector<float> O((size_t)Tq * HD);
    ASSERT_EQ(tv_attention(pool.get(), Q.data(), HD, K.data(), HD, V.data(), HD, O.data(), HD, Tq, Tk, H, D, nullptr, nullptr, 0), 0);
    ASSERT_EQ(memcmp(O.data(), want.data(), O.size() * 4), 0) << threads;
  }
}

namespace {

// Runs the body on every kernel path this processor and environment allow,
// then goes back to the best one.
struct PathGuard {
  ~PathGuard() { tv_cpu_path_cap(TV_PATH_AVX512); }
};

const char *path_name(int path) {
  return path == TV_PATH_AVX512 ? "AVX-512" : path == TV_PATH_AVX2 ? "AVX2" : "portable";
}

// The paths above the portable one that can be taken here.
std::vector<int> simd_paths() {
  PathGuard guard;
  std::vector<int> paths;
  for (int p : {TV_PATH_AVX2, TV_PATH_AVX512}) {
    tv_cpu_path_cap(p);
    if (tv_cpu_path() == p) paths.push_back(p);
  }
  return paths;
}

// Each kernel's output on one path.
struct Outputs {
  std::vector<float> gemm_nt, gemm_nn, gelu, norm, soft;
};

const int kOdd[] = {1, 3, 7, 15, 17, 255, 257};

Outputs run_on_path(int path, int M, int N, int K, tv_pool *pool) {
  PathGuard guard;
  tv_cpu_path_cap(path);
  Outputs o;
  std::vector<float> A = noise((size_t)M * K, M * 7 + K), B = noise((size_t)N * K, N * 3 + K);
  std::vector<float> bias = noise(N, N), beta = noise(N, N + 1);
  o.gemm_nt = noise((size_t)M * N, 11);
  o.gemm_nn = o.gemm_nt;
  tv_gemm_nt(pool, M, N, K, A.data(), K, B.data(), K, o.gemm_nt.data(), N, bias.data(), 1);
  tv_gemm_nn(pool, M, N, K, A.data(), K, B.data(), N, o.gemm_nn.data(), N, nullptr, 0);
  // Element-wise kernels over N values per row, M rows.
  o.gelu = noise((size_t)M * N, 5);
  for (size_t i = 0; i < o.gelu.size(); i++) o.gelu[i] *= (i % 5) ? 4.0f : 12.0f;
  o.norm = o.gelu;
  o.soft = o.gelu;
  tv_gelu(o.gelu.data(), o.gelu.size());
  tv_layernorm(o.norm.data(), M, N, N, bias.data(), beta.data(), 1e-5f);
  tv_softmax_rows(o.soft.data(), M, N, N);
  return o;
}

}  // namespace

TEST(KernelPaths, EveryPathAgreesWithThePortableOneAtOddSizes) {
  std::vector<int> paths = simd_paths();
  if (paths.empty()) GTEST_SKIP() << "only the portable path here";
  struct Shape {
    int M, N, K;
  };
  std::vector<Shape> shapes;
  for (int M : {1, 3, 7, 17})
    for (int N : kOdd)
      for (int K : {1, 7, 257}) shapes.push_back({M, N, K});
  for (int n : kOdd) shapes.push_back({257, n, 15}), shapes.push_back({n, 65, 255});
  for (const Shape &s : shapes) {
    SCOPED_TRACE(testing::Message() << s.M << "x" << s.N << "x" << s.K);
    Outputs want = run_on_path(TV_PATH_PORTABLE, s.M, s.N, s.K, nullptr);
    Outputs avx2;
    for (int path : paths) {
      SCOPED_TRACE(path_name(path));
      Outputs got = run_on_path(path, s.M, s.N, s.K, nullptr);
      for (size_t i = 0; i < want.gemm_nt.size(); i++) {
        // Fused and unfused sums of K + 2 terms of magnitude below 1 each.
        double tol = bound(s.K + 2, s.K + 2.0);
        ASSERT_NEAR(got.gemm_nt[i], want.gemm_nt[i], tol) << "nt at " << i;
        ASSERT_NEAR(got.gemm_nn[i], want.gemm_nn[i], tol) << "nn at " << i;
        ASSERT_NEAR(got.gelu[i], want.gelu[i], 6e-7 * (1 + fabs(want.gelu[i]))) << "gelu at " << i;
        ASSERT_NEAR(got.norm[i], want.norm[i], 2e-6 * (1 + fabs(want.norm[i]))) << "layernorm at " << i;
        // The row sum of N terms in another order, exp within a few ulp.
        ASSERT_NEAR(got.soft[i], want.soft[i], (4e-7 + 6e-8 * s.N) * want.soft[i] + 1e-12) << "softmax at " << i;
      }
      // The wider registers run the same chains of fused multiply-adds.
      if (path == TV_PATH_AVX2) avx2 = got;
      else if (!avx2.gemm_nt.empty()) {
        ASSERT_EQ(got.gemm_nt, avx2.gemm_nt);
        ASSERT_EQ(got.gemm_nn, avx2.gemm_nn);
        ASSERT_EQ(got.gelu, avx2.gelu);
      }
    }
  }
}

TEST(KernelPaths, NoPathDependsOnTheThreadCount) {
  std::vector<int> paths = simd_paths();
  paths.insert(paths.begin(), TV_PATH_PORTABLE);
  struct Shape {
    int M, N, K;
  } shapes[] = {{257, 255, 257}, {1000, 17, 15}, {15, 1000, 255}};
  for (int path : paths)
    for (const Shape &s : shapes) {
      SCOPED_TRACE(testing::Message() << path_name(path) << " " << s.M << "x" << s.N << "x" << s.K);
      Outputs one = run_on_path(path, s.M, s.N, s.K, nullptr);
      for (int threads : {3, 8}) {
        Pool pool = make_pool(threads);
        Outputs many = run_on_path(path, s.M, s.N, s.K, pool.get());
        ASSERT_EQ(one.gemm_nt, many.gemm_nt) << threads;
        ASSERT_EQ(one.gemm_nn, many.gemm_nn) << threads;
      }
    }
}

TEST(KernelPaths, EnvironmentCapsThePath) {
  PathGuard guard;
  int best = tv_cpu_path();
  if (getenv("TOVANTTS_NO_SIMD")) {
    EXPECT_EQ(best, TV_PATH_PORTABLE);
  }
  if (getenv("TOVANTTS_NO_AVX512")) {
    EXPECT_LE(best, TV_PATH_AVX2);
  }
  EXPECT_EQ(tv_cpu_avx2(), best >= TV_PATH_AVX2);
  EXPECT_EQ(tv_cpu_avx512(), best >= TV_PATH_AVX512);
  // A cap lowers the path and never raises it above what is allowed.
  for (int cap : {TV_PATH_PORTABLE, TV_PATH_AVX2, TV_PATH_AVX512}) {
    tv_cpu_path_cap(cap);
    EXPECT_EQ(tv_cpu_path(), cap < best ? cap : best) << cap;
  }
  tv_cpu_avx2_override(0);
  EXPECT_EQ(tv_cpu_path(), TV_PATH_PORTABLE);
  tv_cpu_avx2_override(1);
  EXPECT_EQ(tv_cpu_path(), best);
}

TEST(KernelPaths, SoftmaxEdgeRowsOnEveryPath) {
  std::vector<int> paths = simd_paths();
  paths.insert(paths.begin(), TV_PATH_PORTABLE);
  const float inf = INFINITY;
  PathGuard guard;
  for (int path : paths) {
    SCOPED_TRACE(path_name(path));
    tv_cpu_path_cap(path);
    for (int n : kOdd) {
      // Every key but one hidden: exactly one 1 and exact zeros.
      std::vector<float> x(n, -inf);
      x[n / 2] = 3;
      tv_softmax_rows(x.data(), 1, n, n);
      for (int i = 0; i < n; i++) ASSERT_EQ(x[i], i == n / 2 ? 1.0f : 0.0f) << n;
      // All hidden: all NaN; one NaN among numbers: NaN throughout.
      std::vector<float> y(n, -inf);
      tv_softmax_rows(y.data(), 1, n, n);
      for (float v : y) ASSERT_TRUE(std::isnan(v)) << n;
      std::vector<float> z = noise(n, n);
      z[n - 1] = NAN;
      tv_softmax_rows(z.data(), 1, n, n);
      EXPECT_TRUE(std::isnan(z[0])) << n;
      // Far below the maximum counts as nothing, as expf underflows.
      std::vector<float> w(n, -200);
      w[0] = 0;
      tv_softmax_rows(w.data(), 1, n, n);
      EXPECT_EQ(w[0], 1.0f) << n;
    }
  }
}

TEST(KernelPaths, LinearOverEveryStorageGivesTheAvx2Bits) {
  // The wide path gathers whole panels of float and int8 weights; the values
  // it packs, and so the products, must be those of the AVX2 path.
  std::vector<int> paths = simd_paths();
  if (paths.size() < 2) GTEST_SKIP() << "needs both the AVX2 and the AVX-512 path";
  PathGuard guard;
  struct Shape {
    int N, K;
  } shapes[] = {{16, 4}, {17, 15}, {65, 257}, {255, 7}, {257, 513}};
  uint32_t seed = 90;
  for (const Shape &s : shapes)
    for (int n : {4, 7, 17}) {
      Weights ws(s.N, s.K, seed++);
      ASSERT_NE(ws.w, nullptr);
      for (const char *name : {"f", "q8", "q4"}) {
        const tv_mat *W = ws.mat(name);
        ASSERT_NE(W, nullptr) << tv_geterr();
        std::vector<float> X = noise((size_t)n * s.K, seed), bias = noise(s.N, seed + 1);
        std::vector<float> got[2];
        for (int i = 0; i < 2; i++) {
          tv_cpu_path_cap(paths[i]);
          got[i].assign((size_t)n * s.N, 0.0f);
          tv_linear(nullptr, X.data(), n, s.K, W, bias.data(), got[i].data(), s.N, 0);
        }
        ASSERT_EQ(got[0], got[1]) << name << " " << s.N << "x" << s.K << " n " << n;
      }
    }
}
