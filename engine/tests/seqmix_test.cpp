// The sequence mixer against an independent double-precision computation of
// its two scans, at the default width with several heads, on one and four
// threads; and its size refusals.
#include <gtest/gtest.h>
#include <math.h>

#include <string>
#include <vector>

#include "acoustic_fixture.h"
#include "nn/seqmix.h"
#include "runtime/error.h"
#include "runtime/pool.h"
#include "runtime/weights.h"
#include "tmpdir.h"

namespace {

const int DV = 32;
const double EPS = 1.1920929e-7;

// Deterministic values in [-1, 1).
struct Noise {
  uint32_t s;
  explicit Noise(uint32_t seed) : s(seed * 2654435761u + 7) {}
  float next() {
    s ^= s << 13, s ^= s >> 17, s ^= s << 5;
    return (float)(s >> 8) / 8388608.0f - 1.0f;
  }
  void fill(std::vector<float> &v, float scale, float offset = 0) {
    for (float &x : v) x = offset + scale * next();
  }
};

const char *const LINS[] = {"in_proj", "k_proj", "q_proj", "v_proj", "step_proj", "rot_proj", "mix_proj", "out_proj"};

// Both mixers' tensors with seeded values; step_bias, when not NaN, replaces
// the step projection's bias (and quiets its weights) to reach the branch
// above 20.
Tensors mixer_tensors(int d, int S, uint32_t seed, float step_bias) {
  Tensors T;
  const int H = d / 32;
  Noise n(seed);
  for (const char *dir : {"m.fwd", "m.bwd"}) {
    const std::string m = dir;
    const int rows[] = {d, S * H, S * H, d, H, S * H / 2, H, d};
    for (int i = 0; i < 8; i++) {
      T.lin(m + "." + LINS[i], rows[i], d);
      n.fill(T[m + "." + LINS[i] + ".weight"], 1.5f / sqrtf((float)d));
      n.fill(T[m + "." + LINS[i] + ".bias"], 0.3f);
    }
    if (!std::isnan(step_bias)) {
      n.fill(T[m + ".step_proj.weight"], 0.01f);
      for (float &b : T[m + ".step_proj.bias"]) b = step_bias;
    }
    T.add(m + ".norm.weight", {d});
    n.fill(T[m + ".norm.weight"], 0.2f, 1.0f);
    T.add(m + ".k_norm.weight", {S});
    n.fill(T[m + ".k_norm.weight"], 0.2f, 1.0f);
    T.add(m + ".q_norm.weight", {S});
    n.fill(T[m + ".q_norm.weight"], 0.2f, 1.0f);
    T.add(m + ".k_bias", {S * H});
    n.fill(T[m + ".k_bias"], 0.1f);
    T.add(m + ".q_bias", {S * H});
    n.fill(T[m + ".q_bias"], 0.1f);
    T.add(m + ".decay_log", {H});
    n.fill(T[m + ".decay_log"], 0.7f, -0.8f);
  }
  return T;
}

std::vector<double> linear(const Tensors &T, const std::string &name, const std::vector<double> &x, int in) {
  const std::vector<float> &w = T.t.at(name + ".weight").second, &b = T.t.at(name + ".bias").second;
  const size_t out = b.size();
  std::vector<double> y(out);
  for (size_t o = 0; o < out; o++) {
    double s = b[o];
    for (int c = 0; c < in; c++) s += (double)w[o * in + c] * x[c];
    y[o] = s;
  }
  return y;
}

void rms(double *x, int n, const std::vector<float> &w) {
  double ss = 0;
  for (int i = 0; i < n; i++) ss += x[i] * x[i];
  const double r = 1.0 / sqrt(ss / n + EPS);
  for (int i = 0; i < n; i++) x[i] *= r * w[i];
}

// x + both directions' gated, projected outputs, forward first.
std::vector<double> reference(const Tensors &T, int d, int S, int L, const std::vector<float> &h,
                              const std::vector<float> &x0) {
  const int H = d / 32, SH = S * H;
  std::vector<double> x(x0.begin(), x0.end());
  for (int dir = 0; dir < 2; dir++) {
    const std::string m = dir == 0 ? "m.fwd" : "m.bwd";
    auto W = [&](const char *n) -> const std::vector<float> & { return T.t.at(m + "." + n).second; };
    std::vector<std::vector<double>> gate(L), keys(L), queries(L), values(L), step(L), angles(L), mix(L);
    for (int t = 0; t < L; t++) {
      std::vector<double> xn(h.begin() + (size_t)t * d, h.begin() + (size_t)(t + 1) * d);
      rms(xn.data(), d, W("norm.weight"));
      gate[t] = linear(T, m + ".in_proj", xn, d);
      keys[t] = linear(T, m + ".k_proj", xn, d);
      queries[t] = linear(T, m + ".q_proj", xn, d);
      values[t] = linear(T, m + ".v_proj", xn, d);
      step[t] = linear(T, m + ".step_proj", xn, d);
      angles[t] = linear(T, m + ".rot_proj", xn, d);
      mix[t] = linear(T, m + ".mix_proj", xn, d);
      for (int hh = 0; hh < H; hh++) {
        rms(&keys[t][hh * S], S, W("k_norm.weight"));
        rms(&queries[t][hh * S], S, W("q_norm.weight"));
        if (step[t][hh] <= 20) step[t][hh] = log1p(exp(step[t][hh]));
        mix[t][hh] = 1 / (1 + exp(-mix[t][hh]));
        for (int j = 0; j < S / 2; j++) angles[t][hh * S / 2 + j] *= step[t][hh];
      }
      for (int i = 0; i < SH; i++) keys[t][i] += W("k_bias")[i], queries[t][i] += W("q_bias")[i];
    }
    std::vector<std::vector<double>> y(L, std::vector<double>(d));
    for (int hh = 0; hh < H; hh++) {
      std::vector<double> st((size_t)S * DV), A((size_t)S * DV);
      for (int n = 0; n < L; n++) {
        const int t = dir == 0 ? n : L - 1 - n, p = dir == 0 ? t - 1 : t + 1;
        const double delta = step[t][hh], mu = mix[t][hh];
        const double a = exp(-exp((double)W("decay_log")[hh]) * delta);
        const double beta = delta * mu, gamma = delta * (1 - mu) * a;
        for (int i = 0; i < S; i++)
          for (int c = 0; c < DV; c++) {
            const double now = beta * keys[t][hh * S + i] * values[t][hh * DV + c];
            if (n == 0) {
              st[i * DV + c] = now;
              continue;
            }
            A[i * DV + c] = a * st[i * DV + c] + gamma * keys[p][hh * S + i] * values[p][hh * DV + c];
          }
        if (n > 0)
          for (int j = 0; j < S / 2; j++) {
            const double th = angles[t][hh * S / 2 + j];
            for (int c = 0; c < DV; c++) {
              const double a0 = A[2 * j * DV + c], a1 = A[(2 * j + 1) * DV + c];
              st[2 * j * DV + c] = cos(th) * a0 - sin(th) * a1 + beta * keys[t][hh * S + 2 * j] * values[t][hh * DV + c];
              st[(2 * j + 1) * DV + c] =
                  sin(th) * a0 + cos(th) * a1 + beta * keys[t][hh * S + 2 * j + 1] * values[t][hh * DV + c];
            }
          }
        for (int c = 0; c < DV; c++) {
          double s = 0;
          for (int i = 0; i < S; i++) s += queries[t][hh * S + i] * st[i * DV + c];
          y[t][hh * DV + c] = s;
        }
      }
    }
    for (int t = 0; t < L; t++) {
      for (int c = 0; c < d; c++) y[t][c] *= gate[t][c] / (1 + exp(-gate[t][c]));
      std::vector<double> o = linear(T, m + ".out_proj", y[t], d);
      for (int c = 0; c < d; c++) x[(size_t)t * d + c] += o[c];
    }
  }
  return x;
}

}  // namespace

TEST(Seqmix, MatchesTheIndependentComputation) {
  struct Case {
    int d, S, L;
    float step_bias;  // NaN: the seeded projection
  } cases[] = {
      {192, 32, 1, NAN},  {192, 32, 2, NAN},  {192, 32, 17, NAN}, {192, 32, 64, NAN},
      {192, 32, 9, 25.0f}, {192, 32, 9, 20.0f}, {64, 8, 33, NAN},  {96, 64, 12, NAN},
  };
  uint32_t seed = 3;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "d " << c.d << " S " << c.S << " L " << c.L << " step " << c.step_bias);
    TmpDir tmp;
    Tensors T = mixer_tensors(c.d, c.S, seed++, c.step_bias);
    const std::string path = tmp.file("m.safetensors");
    ASSERT_TRUE(T.save(path));
    tv_weights *w = tv_weights_open(path.c_str());
    ASSERT_NE(w, nullptr) << tv_geterr();
    tv_seqmix fwd, bwd;
    ASSERT_EQ(tv_seqmix_load(w, "m.fwd", c.d, c.S, &fwd), 0) << tv_geterr();
    ASSERT_EQ(tv_seqmix_load(w, "m.bwd", c.d, c.S, &bwd), 0) << tv_geterr();
    std::vector<float> h((size_t)c.L * c.d), x0((size_t)c.L * c.d);
    Noise n(seed * 31);
    n.fill(h, 2.0f);
    n.fill(x0, 1.0f);
    const std::vector<double> want = reference(T, c.d, c.S, c.L, h, x0);
    double scale = 0;
    for (double v : want) scale = fmax(scale, fabs(v));
    std::vector<float> first;
    for (int threads : {1, 4}) {
      tv_pool *pool = tv_pool_create(threads);
      std::vector<float> x = x0, scratch(tv_seqmix_scratch(c.L, c.d, c.S));
      tv_seqmix_run(pool, &fwd, &bwd, h.data(), c.L, c.d, x.data(), scratch.data());
      tv_pool_destroy(pool);
      for (size_t i = 0; i < x.size(); i++)
        ASSERT_NEAR(x[i], want[i], 2e-5 * scale) << threads << " threads, at " << i << " (scale " << scale << ")";
      if (threads == 1) {
        first = x;
      } else {
        EXPECT_EQ(x, first) << "the thread count changed the result";
      }
    }
    tv_seqmix_free(&fwd);
    tv_seqmix_free(&bwd);
    tv_weights_close(w);
  }
}

TEST(Seqmix, RefusesWidthsAndStateSizesItCannotScan) {
  struct Case {
    int d, S;
    bool ok;
  } cases[] = {{192, 32, true}, {200, 32, false}, {192, 66, false}, {192, 31, false}, {16, 8, false}, {64, 64, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "d " << c.d << " S " << c.S);
    TmpDir tmp;
    const std::string path = tmp.file("m.safetensors");
    // Tensors for the valid shapes; the refused ones fail before any look-up.
    Tensors T = mixer_tensors(c.ok ? c.d : 64, c.ok ? c.S : 8, 1, NAN);
    ASSERT_TRUE(T.save(path));
    tv_weights *w = tv_weights_open(path.c_str());
    ASSERT_NE(w, nullptr) << tv_geterr();
    tv_seqmix m;
    EXPECT_EQ(tv_seqmix_load(w, "m.fwd", c.d, c.S, &m), c.ok ? 0 : -1);
    if (!c.ok) {
      EXPECT_NE(std::string(tv_geterr()).find("unsupported"), std::string::npos) << tv_geterr();
    }
    tv_seqmix_free(&m);
    tv_weights_close(w);
  }
}
