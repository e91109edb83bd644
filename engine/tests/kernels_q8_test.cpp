// The 8-bit product: the row quantiser and the product against a plain
// reference written here (the integer sums are exact, so every path must give
// the reference's bits), at odd sizes, at the deepest depth, on every kernel
// path and thread count.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <memory>
#include <vector>

#include "runtime/error.h"
#include "runtime/kernels.h"
#include "runtime/kernels_simd.h"

namespace {

uint32_t next(uint32_t &s) {
  s ^= s << 13, s ^= s >> 17, s ^= s << 5;
  return s;
}

std::vector<float> values(size_t n, uint32_t seed, float amp) {
  std::vector<float> v(n);
  uint32_t s = seed * 2654435761u + 7;
  for (float &x : v) x = ((float)(next(s) >> 8) / 8388608.0f - 1.0f) * amp;
  return v;
}

struct PathGuard {
  ~PathGuard() { tv_cpu_path_cap(TV_PATH_AVX512); }
};

// Every path this processor and environment allow, the portable one first.
std::vector<int> all_paths() {
  PathGuard guard;
  std::vector<int> paths = {TV_PATH_PORTABLE};
  for (int p : {TV_PATH_AVX2, TV_PATH_AVX512}) {
    tv_cpu_path_cap(p);
    if (tv_cpu_path() == p) paths.push_back(p);
  }
  return paths;
}

// One row quantised by the documented rule.
struct QRow {
  std::vector<uint8_t> q;
  float scale;
  int32_t zero;
};

QRow quant_ref(const float *x, int K) {
  QRow r;
  const int kq = (K + 3) / 4 * 4;
  float lo = 0, hi = 0;
  bool nan = false;
  for (int k = 0; k < K; k++) {
    if (std::isnan(x[k])) nan = true;
    else lo = fminf(lo, x[k]), hi = fmaxf(hi, x[k]);
  }
  const float s = (hi - lo) / 255.0f;
  r.q.assign(kq, 0);
  r.zero = 0;
  if (nan || std::isinf(s)) {
    r.scale = NAN;
    return r;
  }
  r.scale = s;
  if (s == 0 || std::isinf(1.0f / s)) return r;
  const float inv = 1.0f / s;
  r.zero = (int32_t)fminf(fmaxf(nearbyintf(-lo * inv), 0), 255);
  for (int k = 0; k < kq; k++) {
    const float q = k < K ? nearbyintf(x[k] * inv) + (float)r.zero : (float)r.zero;
    r.q[k] = (uint8_t)fminf(fmaxf(q, 0), 255);
  }
  return r;
}

bool same_bits(float a, float b) { return (std::isnan(a) && std::isnan(b)) || memcmp(&a, &b, 4) == 0; }

// Rows that test the quantiser's corners, then plain rows.
std::vector<float> awkward_rows(int rows, int K, uint32_t seed) {
  std::vector<float> X = values((size_t)rows * K, seed, 3.0f);
  for (int r = 0; r < rows; r++) {
    float *x = X.data() + (size_t)r * K;
    switch (r % 9) {
      case 0: memset(x, 0, sizeof(float) * K); break;                          // all zero
      case 1: for (int k = 0; k < K; k++) x[k] = fabsf(x[k]) + 0.5f; break;    // no negative value
      case 2: for (int k = 0; k < K; k++) x[k] = -fabsf(x[k]) * 1e-30f; break;  // tiny, no positive value
      case 3: x[K / 2] = NAN; break;
      case 4: x[K - 1] = -INFINITY; break;
      case 5: x[0] = 3e38f, x[K - 1] = -3e38f; break;                          // range beyond the floats
      case 6: for (int k = 0; k < K; k++) x[k] = (k % 3 - 1) * 2.5f; break;    // halves of a step
      case 7: for (int k = 0; k < K; k++) x[k] *= 1e-39f; break;               // denormals
      default: break;
    }
  }
  return X;
}

}  // namespace

TEST(Kernels, Q8QuantisesRowsByTheRule) {
  PathGuard guard;
  for (int path : all_paths()) {
    tv_cpu_path_cap(path);
    for (int K : {1, 3, 4, 5, 8, 17, 63, 257}) {
      SCOPED_TRACE(testing::Message() << "path " << path << " K " << K);
      const int rows = 16, kq = (K + 3) / 4 * 4, ldq = kq + 5;
      const std::vector<float> X = awkward_rows(rows, K, (uint32_t)K);
      std::vector<uint8_t> Q((size_t)rows * ldq, 0xA5);
      std::vector<float> scale(rows);
      std::vector<int32_t> zero(rows);
      tv_quant_rows(X.data(), rows, K, K, Q.data(), ldq, scale.data(), zero.data());
      for (int r = 0; r < rows; r++) {
        const float *x = X.data() + (size_t)r * K;
        const QRow want = quant_ref(x, K);
        ASSERT_TRUE(same_bits(scale[r], want.scale)) << r << ": " << scale[r] << " vs " << want.scale;
        ASSERT_EQ(zero[r], want.zero) << r;
        ASSERT_EQ(memcmp(Q.data() + (size_t)r * ldq, want.q.data(), kq), 0) << r;
        for (int k = kq; k < ldq; k++) ASSERT_EQ(Q[(size_t)r * ldq + k], 0xA5) << "wrote past the row at " << r;
        // What the bytes stand for lies within one step of the value.
        if (want.scale > 0 && std::isfinite(1.0f / want.scale)) {
          for (int k = 0; k < K; k++)
            ASSERT_LE(fabsf((Q[(size_t)r * ldq + k] - zero[r]) * scale[r] - x[k]), scale[r] * 1.0001f) << r << "," << k;
        }
      }
    }
  }
}

namespace {

struct Problem {
  int n, N, K;
  std::vector<int8_t> w;
  std::vector<float> sw, bias;
  std::vector<uint8_t> Q;
  std::vector<float> scale;
  std::vector<int32_t> zero;
  int64_t ldq;
  tv_mat W;

  Problem(int n_, int N_, int K_, uint32_t seed) : n(n_), N(N_), K(K_) {
    uint32_t s = seed * 747796405u + 1;
    w.resize((size_t)N * K);
    for (int8_t &v : w) v = (int8_t)(next(s) >> 24);
    if (K > 1) w[0] = -128, w[1] = 127;
    sw = values(N, seed + 1, 0.02f);
    bias = values(N, seed + 2, 1.0f);
    ldq = tv_q8_depth(K) + 3;
    Q.assign((size_t)n * ldq, 0);
    scale.resize(n);
    zero.resize(n);
    const std::vector<float> X = awkward_rows(n, K, seed + 3);
    tv_quant_rows(X.data(), n, K, K, Q.data(), ldq, scale.data(), zero.data());
    memset(&W, 0, sizeof W);
    W.storage = TV_MAT_I8;
    W.rows = N;
    W.cols = K;
    W.i8 = w.data();
    W.scales = sw.data();
  }

  // One output element: the exact sum, then the documented float steps.
  float want(int r, int o, bool with_bias) const {
    int64_t acc = 0;
    for (int k = 0; k < K; k++) acc += ((int64_t)Q[(size_t)r * ldq + k] - zero[r]) * w[(size_t)o * K + k];
    float v = (float)(int32_t)acc * (scale[r] * sw[o]);
    if (with_bias) v = v + bias[o];
    return v;
  }
};

using Pool = std::unique_ptr<tv_pool, void (*)(tv_pool *)>;

}  // namespace

TEST(Kernels, Q8ProductGivesTheExactSumOnEveryPath) {
  PathGuard guard;
  Pool pool(tv_pool_create(3), tv_pool_destroy), many(tv_pool_create(8), tv_pool_destroy);
  struct Shape {
    int n, N, K;
  };
  std::vector<Shape> shapes;
  for (int n : {1, 5, 7, 13})
    for (int N : {1, 15, 17, 64, 65, 130})
      for (int K : {1, 3, 4, 7, 65, 257}) shapes.push_back({n, N, K});
  shapes.push_back({97, 200, 384});
  shapes.push_back({300, 33, 1152});
  uint32_t seed = 1;
  for (const Shape &sh : shapes) {
    Problem p(sh.n, sh.N, sh.K, seed++);
    tv_q8mat M;
    ASSERT_EQ(tv_q8mat_make(&p.W, &M), 0) << tv_geterr();
    const int64_t ldy = sh.N + 2;
    for (int path : all_paths()) {
      tv_cpu_path_cap(path);
      for (tv_pool *pl : {(tv_pool *)nullptr, pool.get(), many.get()})
        for (bool with_bias : {false, true}) {
          SCOPED_TRACE(testing::Message() << sh.n << "x" << sh.N << "x" << sh.K << " path " << path << " threads "
                                          << tv_pool_size(pl) << " bias " << with_bias);
          std::vector<float> Y((size_t)sh.n * ldy, 777.0f);
          tv_linear_q8(pl, p.Q.data(), p.ldq, p.scale.data(), p.zero.data(), sh.n, &M,
                       with_bias ? p.bias.data() : nullptr, Y.data(), ldy);
          for (int r = 0; r < sh.n; r++) {
            for (int o = 0; o < sh.N; o++)
              ASSERT_TRUE(same_bits(Y[(size_t)r * ldy + o], p.want(r, o, with_bias)))
                  << r << "," << o << ": " << Y[(size_t)r * ldy + o] << " vs " << p.want(r, o, with_bias);
            for (int o = sh.N; o < ldy; o++) ASSERT_EQ(Y[(size_t)r * ldy + o], 777.0f) << "wrote past the row";
          }
        }
    }
    tv_q8mat_free(&M);
  }
}

TEST(Kernels, Q8ProductAtTheDeepestDepthStaysExact) {
  // Every term at its largest, with both signs of the zero-point correction:
  // bytes 255 with zero point 0 and bytes 0 with zero point 255 against
  // weights of -128 and 127.
  PathGuard guard;
  const int n = 2, N = 17, K = TV_Q8_MAX_K;
  const int64_t ldq = tv_q8_depth(K);
  std::vector<int8_t> w((size_t)N * K);
  for (int o = 0; o < N; o++)
    for (int k = 0; k < K; k++) w[(size_t)o * K + k] = o % 2 ? -128 : 127;
  std::vector<float> sw(N, 1.0f / 1024), scale = {1.0f / 1024, 1.0f / 1024};
  std::vector<int32_t> zero = {0, 255};
  std::vector<uint8_t> Q((size_t)n * ldq);
  memset(Q.data(), 255, (size_t)ldq);
  memset(Q.data() + ldq, 0, (size_t)ldq);
  tv_mat W;
  memset(&W, 0, sizeof W);
  W.storage = TV_MAT_I8, W.rows = N, W.cols = K, W.i8 = w.data(), W.scales = sw.data();
  tv_q8mat M;
  ASSERT_EQ(tv_q8mat_make(&W, &M), 0) << tv_geterr();
  for (int path : all_paths()) {
    tv_cpu_path_cap(path);
    std::vector<float> Y((size_t)n * N);
    tv_linear_q8(nullptr, Q.data(), ldq, scale.data(), zero.data(), n, &M, nullptr, Y.data(), N);
    for (int r = 0; r < n; r++)
      for (int o = 0; o < N; o++) {
        const int64_t acc = (int64_t)(r ? -255 : 255) * (o % 2 ? -128 : 127) * K;
        ASSERT_EQ(Y[(size_t)r * N + o], (float)acc * (1.0f / 1048576)) << path << " " << r << "," << o;
      }
  }
  tv_q8mat_free(&M);
}

TEST(Kernels, Q8MatrixTakesOnlyInt8WithinTheDepth) {
  std::vector<int8_t> w(4 * 5, 1);
  std::vector<float> s(4, 0.5f), f(4 * 5, 1.0f);
  tv_mat W;
  memset(&W, 0, sizeof W);
  W.storage = TV_MAT_I8, W.rows = 4, W.cols = 5, W.i8 = w.data(), W.scales = s.data();
  tv_q8mat M;
  ASSERT_EQ(tv_q8mat_make(&W, &M), 0);
  EXPECT_EQ(M.kq, 8);
  EXPECT_EQ(M.sums[3], 5);
  EXPECT_EQ(M.sums[4], 0);  // padding columns sum to nothing
  tv_q8mat_free(&M);
  EXPECT_EQ(M.panels, nullptr);
  tv_q8mat_free(nullptr);

  tv_mat bad = W;
  bad.storage = TV_MAT_F32, bad.i8 = nullptr, bad.f32 = f.data();
  EXPECT_EQ(tv_q8mat_make(&bad, &M), -1);
  EXPECT_NE(strstr(tv_geterr(), "q8: "), nullptr) << tv_geterr();
  bad = W;
  bad.storage = TV_MAT_I4;
  EXPECT_EQ(tv_q8mat_make(&bad, &M), -1);
  bad = W;
  bad.cols = TV_Q8_MAX_K + 1;  // refused before any byte is read
  EXPECT_EQ(tv_q8mat_make(&bad, &M), -1);
  EXPECT_EQ(M.panels, nullptr);
}

TEST(Kernels, Q8EveryTileTheProcessorHasGivesTheExactSum) {
  // The path picks one tile per processor (AVX-512 VNNI, else AVX-VNNI, else
  // the 16-bit multiply-add one); each one this processor can run is checked
  // here directly, so none goes untested where a better one exists.
  struct Tile {
    const char *name;
    tv_q8_tile_fn fn;
    bool runs;
  } tiles[] = {{"avx2", tv_q8_tile_avx2, tv_cpu_avx2() != 0},
               {"avxvnni", tv_q8_tile_avxvnni, tv_cpu_avx2() && tv_cpu_has_avxvnni()},
               {"vnni", tv_q8_tile_vnni, tv_cpu_vnni() != 0}};
  int ran = 0;
  uint32_t seed = 500;
  for (const Tile &t : tiles) {
    if (!t.runs) continue;
    ran++;
    for (int n : {1, 4, 6, 7, 13})
      for (int N : {5, 16, 47, 64, 100})
        for (int K : {1, 6, 9, 130}) {
          SCOPED_TRACE(testing::Message() << t.name << " " << n << "x" << N << "x" << K);
          Problem p(n, N, K, seed++);
          tv_q8mat M;
          ASSERT_EQ(tv_q8mat_make(&p.W, &M), 0) << tv_geterr();
          const int64_t pstride = (int64_t)M.kq / 4 * 64;
          std::vector<float> Y((size_t)n * N);
          for (int c0 = 0; c0 < N; c0 += 64)
            t.fn(n, N - c0 < 64 ? N - c0 : 64, M.kq / 4, p.Q.data(), p.ldq, p.scale.data(), p.zero.data(),
                 M.panels + c0 / 16 * pstride, pstride, M.sums + c0, p.sw.data() + c0, p.bias.data() + c0,
                 Y.data() + c0, N);
          for (int r = 0; r < n; r++)
            for (int o = 0; o < N; o++)
              ASSERT_TRUE(same_bits(Y[(size_t)r * N + o], p.want(r, o, true))) << r << "," << o;
          tv_q8mat_free(&M);
        }
  }
  if (!ran) GTEST_SKIP() << "no SIMD tile on this path";
}
