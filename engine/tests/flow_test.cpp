// The flow refiner: against the independent float64 reference of the
// tiny-full model's refiners (plain, prompted, guided), the solver's time
// grid, the configuration and weight refusals, and the sampling rules.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "acoustic_fixture.h"
#include "fullnets_golden.h"
#include "models.h"
#include "nn/flow.h"
#include "nn/flow_simd.h"
#include "runtime/error.h"
#include "runtime/kernels.h"
#include "runtime/pool.h"
#include "runtime/stwriter.h"
#include "TempDir.h"

using tovan::test::TempDir;

namespace {

struct Json {
  tv_json *root;
  explicit Json(const std::string &text) : root(tv_json_parse(text.data(), text.size())) {}
  ~Json() { tv_json_free(root); }
};

struct Loaded {
  tv_weights *w = NULL;
  tv_flow *f = NULL;
  Loaded() = default;
  Loaded(const std::string &path, const tv_json *cfg) {
    w = tv_weights_open(path.c_str());
    if (w) f = tv_flow_load(w, cfg);
  }
  ~Loaded() {
    tv_flow_free(f);
    tv_weights_close(w);
  }
  Loaded(const Loaded &) = delete;
  Loaded &operator=(const Loaded &) = delete;
};

// Every tensor of a refiner, zero unless set; small random values where a
// test wants a network that does something.
Tensors flow_tensors(int d, int layers, int g_dim, bool prompted, const std::vector<int> &attn_at) {
  Tensors t;
  const int n_in = prompted ? 301 : 200;
  t.add("mean", {1});
  t.add("std", {1});
  t["std"][0] = 1.0f;
  t.add("net.inp.weight", {d, n_in, 3});
  t.add("net.inp.bias", {d});
  t.lin("net.temb.mlp.0", 4 * d, d);
  t.lin("net.temb.mlp.2", d, 4 * d);
  t.lin("net.gemb.0", d, g_dim);
  t.lin("net.gemb.2", d, d);
  t.lin("net.out", 100, d);
  for (int b = 0; b < layers; b++) {
    const std::string p = "net.blocks." + std::to_string(b);
    t.add(p + ".dw.weight", {d, 1, 7});
    t.add(p + ".dw.bias", {d});
    t.lin(p + ".mod", 3 * d, d);
    t.lin(p + ".pw1", 3 * d, d);
    t.lin(p + ".pw2", d, 3 * d);
  }
  if (prompted) {
    for (int a : attn_at) {
      const std::string p = "net.attn." + std::to_string(a);
      t.lin(p + ".mod", 3 * d, d);
      t.add(p + ".att.in_proj_weight", {3 * d, d});
      t.add(p + ".att.in_proj_bias", {3 * d});
      t.lin(p + ".att.out_proj", d, d);
    }
    t.lin("net.ctx_enc.0", d, 300);
    t.lin("net.ctx_enc.2", d, 3 * d);
    t.lin("net.ctx_out", d, d);
  }
  return t;
}

void fill(Tensors &t, uint32_t seed) {
  for (auto &e : t.t) {
    if (e.first == "mean" || e.first == "std") continue;
    for (float &x : e.second.second) {
      seed = seed * 1664525u + 1013904223u;
      x = ((float)(seed >> 8) * 0x1p-24f - 0.5f) * 0.4f;
    }
  }
}

std::vector<float> sample(const tv_flow *f, tv_pool *pool, const std::vector<float> &mel, const std::vector<float> &g,
                          int steps, uint64_t seed, const std::vector<float> *prompt, float noise, float guidance,
                          int *rc = NULL) {
  const int T = (int)(mel.size() / 100);
  std::vector<float> out(mel.size(), NAN);
  const int r = tv_flow_sample(f, pool, mel.data(), T, g.data(), steps, seed, prompt ? prompt->data() : NULL,
                               prompt ? (int)(prompt->size() / 100) : 0, out.data(), noise, guidance);
  if (rc) *rc = r;
  EXPECT_TRUE(rc || r == 0) << tv_geterr();
  return out;
}

TEST(Flow, MatchesTheReferenceOfTheTinyFullModel) {
  FullGolden gold;
  FULLNETS_CHECK_GOLDEN(gold);
  FullConfig cfg;
  ASSERT_NE(cfg.root, nullptr) << tv_geterr();
  const std::string dir = model_dir("tiny-full");
  Loaded plain(dir + "/refiner.safetensors", cfg.get("refiner", "cfg"));
  Loaded prompted(dir + "/prompted_flow.safetensors", cfg.get("prompted_flow", "cfg"));
  ASSERT_NE(plain.f, nullptr) << tv_geterr();
  ASSERT_NE(prompted.f, nullptr) << tv_geterr();
  EXPECT_EQ(tv_flow_is_prompted(plain.f), 0);
  EXPECT_EQ(tv_flow_is_prompted(prompted.f), 1);
  const std::vector<float> mel = gold.f("flow.mel"), g = gold.f("flow.g"), prompt = gold.f("flow.prompt");
  tv_pool *pool = tv_pool_create(3);
  for (const char *name :
       {"flow.plain4", "flow.plain1_quiet", "flow.prompted_none", "flow.prompted", "flow.prompted_guided"}) {
    const std::vector<float> a = gold.f(std::string(name) + ".args"), want = gold.f(name);
    ASSERT_EQ(a.size(), 5u);
    const tv_flow *f = strstr(name, "prompted") ? prompted.f : plain.f;
    const std::vector<float> got =
        sample(f, pool, mel, g, (int)a[0], (uint64_t)a[1], a[4] > 0 ? &prompt : NULL, a[2], a[3]);
    // Both paths agree with the float64 reference to a few 1e-7.
    EXPECT_LT(max_rel_err(got, want), 5e-6) << name;
  }
  tv_pool_destroy(pool);
}

TEST(Flow, TimeGrid) {
  struct Case {
    int steps;
    std::vector<float> t;
  } cases[] = {
      {1, {0.0f, 1.0f}},
      {2, {0.0f, 0.5f, 1.0f}},
      {3, {0.0f, 1.0f / 3.0f, (float)(1.0 - (double)(1.0f / 3.0f)), 1.0f}},
      {4, {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}},
  };
  for (const Case &c : cases) {
    std::vector<float> t((size_t)c.steps + 1);
    tv_flow_time_grid(c.steps, t.data());
    EXPECT_EQ(t, c.t) << c.steps;
  }
  for (int steps : {5, 7, 10, 33, 1000}) {
    std::vector<float> t((size_t)steps + 1);
    tv_flow_time_grid(steps, t.data());
    EXPECT_EQ(t[0], 0.0f);
    EXPECT_EQ(t[(size_t)steps], 1.0f);
    for (int i = 0; i < steps; i++) EXPECT_LT(t[(size_t)i], t[(size_t)i + 1]) << steps << " " << i;
    // Symmetric about one half: each end is built from its own side.
    for (int i = 0; i <= steps; i++)
      EXPECT_NEAR(t[(size_t)i] + t[(size_t)(steps - i)], 1.0f, 1.5e-7f) << steps << " " << i;
  }
}

TEST(FlowLoad, RefusesUnsupportedConfigurations) {
  TempDir dir;
  const std::string path = dir.file("f.safetensors");
  ASSERT_TRUE(flow_tensors(12, 2, 4, false, {}).save(path));
  struct Case {
    const char *cfg, *msg;
  } cases[] = {
      {"{\"d\": 12, \"n_layers\": 0, \"g_dim\": 4}", "flow: unsupported cfg (n_mel 100, d 12, n_layers 0)"},
      {"{\"d\": 12, \"n_layers\": 65, \"g_dim\": 4}", "flow: unsupported cfg (n_mel 100, d 12, n_layers 65)"},
      {"{\"d\": 100, \"n_layers\": 2, \"g_dim\": 4}", "flow: unsupported cfg (n_mel 100, d 100, n_layers 2)"},
      {"{\"d\": 0, \"n_layers\": 2, \"g_dim\": 4}", "flow: unsupported cfg (n_mel 100, d 0, n_layers 2)"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"n_mel\": 80}", "flow: unsupported cfg (n_mel 80, d 12, n_layers 2)"},
      {"{\"d\": 1e300, \"n_layers\": 2, \"g_dim\": 4}",
       "flow: unsupported cfg (n_mel 100, d -2147483648, n_layers 2)"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 0}", "flow: unsupported cfg (g_dim 0)"},
      // Sizes whose multiples would wrap an i32 are refused first.
      {"{\"d\": 1073741820, \"n_layers\": 2, \"g_dim\": 4}",
       "flow: unsupported cfg (d 1073741820, g_dim 4; at most 65536)"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 2147483647}",
       "flow: unsupported cfg (d 12, g_dim 2147483647; at most 65536)"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"rope_at\": [1]}",
       "flow: rope_at / n_ptok / skips (optional flow blocks) are not supported"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"n_ptok\": 4}",
       "flow: rope_at / n_ptok / skips (optional flow blocks) are not supported"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"skips\": 1}",
       "flow: rope_at / n_ptok / skips (optional flow blocks) are not supported"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"dils\": [1, 0]}", "flow: dils[1] = 0 is not a dilation in [1, 4096]"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"dils\": [-3]}", "flow: dils[0] = -3 is not a dilation in [1, 4096]"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"dils\": [1e12]}",
       "flow: dils[0] = 1e+12 is not a dilation in [1, 4096]"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"dils\": [\"2\"]}",
       "flow: dils[0] = nan is not a dilation in [1, 4096]"},
      {"{\"d\": 12, \"n_layers\": 3, \"g_dim\": 4}", "net.blocks.2.dw.weight"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 5}", "net.gemb.0.weight"},
      {"{\"d\": 18, \"n_layers\": 2, \"g_dim\": 4}", "net.inp.weight"},
      {"{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"prompt\": 1}", "net.inp.weight"},
  };
  for (const Case &c : cases) {
    Json cfg(c.cfg);
    ASSERT_NE(cfg.root, nullptr) << c.cfg;
    Loaded L(path, cfg.root);
    ASSERT_NE(L.w, nullptr) << tv_geterr();
    EXPECT_EQ(L.f, nullptr) << c.cfg;
    EXPECT_NE(strstr(tv_geterr(), c.msg), nullptr) << c.cfg << ": " << tv_geterr();
  }
  // Accepted: empty rope_at, zero n_ptok and skips, dilations up to the bound.
  Json ok("{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"rope_at\": [], \"n_ptok\": 0, \"skips\": 0, \"dils\": [4096, 1.9]}");
  Loaded L(path, ok.root);
  ASSERT_NE(L.f, nullptr) << tv_geterr();
  EXPECT_EQ(L.f->block[0].dil, 4096);
  EXPECT_EQ(L.f->block[1].dil, 1);
}

TEST(FlowLoad, Int4InputConvolutionIsRefused) {
  TempDir dir;
  Tensors t = flow_tensors(12, 1, 4, false, {});
  t.drop("net.inp.weight");
  const std::string path = dir.file("f.safetensors");
  ASSERT_TRUE(t.save(path));
  // Add the input convolution once more, as int4.
  tv_stwriter *w = tv_stwriter_create();
  for (auto &e : t.t)
    ASSERT_EQ(tv_stwriter_add_f32(w, e.first.c_str(), (int32_t)e.second.first.size(), e.second.first.data(),
                                  e.second.second.data()), 0);
  std::vector<float> inp((size_t)12 * 600, 0.25f);
  int64_t dims[3] = {12, 200, 3};
  ASSERT_EQ(tv_stwriter_add_mat(w, "net.inp.weight", TV_ST_INT4, 3, dims, inp.data(), 32, 0), 0);
  ASSERT_EQ(tv_stwriter_save(w, path.c_str()), 0);
  tv_stwriter_free(w);
  Json cfg("{\"d\": 12, \"n_layers\": 1, \"g_dim\": 4}");
  Loaded L(path, cfg.root);
  ASSERT_NE(L.w, nullptr) << tv_geterr();
  EXPECT_EQ(L.f, nullptr);
  EXPECT_STREQ(tv_geterr(), "flow: int4 weights are not supported for the inp conv");
}

TEST(FlowLoad, DilationsAndAttentionBlocks) {
  TempDir dir;
  const std::string path = dir.file("f.safetensors");
  ASSERT_TRUE(flow_tensors(6, 12, 4, true, {0, 3, 7, 11}).save(path));
  struct Case {
    const char *cfg;
    std::vector<int> dils, attn;
  } cases[] = {
      {"{\"d\": 6, \"n_layers\": 12, \"g_dim\": 4, \"prompt\": 1}",
       {1, 2, 4, 1, 2, 4, 1, 2, 4, 1, 2, 4}, {3, 7, 11}},
      {"{\"d\": 6, \"n_layers\": 12, \"g_dim\": 4, \"prompt\": 1, \"dils\": [3, 1, 5], \"attn_at\": []}",
       {3, 1, 5, 3, 1, 5, 3, 1, 5, 3, 1, 5}, {}},
      {"{\"d\": 6, \"n_layers\": 12, \"g_dim\": 4, \"prompt\": 1, \"dils\": [], \"attn_at\": [3, 99, -1, 3]}",
       {1, 2, 4, 1, 2, 4, 1, 2, 4, 1, 2, 4}, {3}},
      {"{\"d\": 6, \"n_layers\": 12, \"g_dim\": 4, \"prompt\": 1, \"dils\": \"2\", \"attn_at\": {\"a\": 1}}",
       {1, 2, 4, 1, 2, 4, 1, 2, 4, 1, 2, 4}, {3, 7, 11}},
      {"{\"d\": 6, \"n_layers\": 12, \"g_dim\": 4, \"prompt\": 1, \"attn_at\": [0, 11.5]}",
       {1, 2, 4, 1, 2, 4, 1, 2, 4, 1, 2, 4}, {0, 11}},
  };
  for (const Case &c : cases) {
    Json cfg(c.cfg);
    Loaded L(path, cfg.root);
    ASSERT_NE(L.f, nullptr) << c.cfg << ": " << tv_geterr();
    std::vector<int> dils, attn;
    for (int b = 0; b < 12; b++) {
      dils.push_back(L.f->block[b].dil);
      if (L.f->has_attn[b]) attn.push_back(b);
    }
    EXPECT_EQ(dils, c.dils) << c.cfg;
    EXPECT_EQ(attn, c.attn) << c.cfg;
  }
  // A listed attention block whose tensors are missing stops loading.
  Json cfg("{\"d\": 6, \"n_layers\": 12, \"g_dim\": 4, \"prompt\": 1, \"attn_at\": [5]}");
  Loaded L(path, cfg.root);
  EXPECT_EQ(L.f, nullptr);
  EXPECT_NE(strstr(tv_geterr(), "net.attn.5.mod.weight"), nullptr) << tv_geterr();
}

TEST(Flow, SamplingRules) {
  TempDir dir;
  const std::string path = dir.file("f.safetensors"), ppath = dir.file("p.safetensors");
  Tensors t = flow_tensors(12, 2, 4, false, {}), p = flow_tensors(12, 2, 4, true, {1});
  fill(t, 1);
  fill(p, 2);
  t["std"][0] = p["std"][0] = 2.0f;
  t["mean"][0] = p["mean"][0] = -3.0f;
  ASSERT_TRUE(t.save(path));
  ASSERT_TRUE(p.save(ppath));
  Json cfg("{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4}"), pcfg("{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4, \"prompt\": 1, \"attn_at\": [1]}");
  Loaded F(path, cfg.root), PF(ppath, pcfg.root);
  ASSERT_NE(F.f, nullptr) << tv_geterr();
  ASSERT_NE(PF.f, nullptr) << tv_geterr();
  std::vector<float> mel(7 * 100), g = {0.3f, -0.2f, 0.5f, 0.1f}, prompt(5 * 100);
  for (size_t i = 0; i < mel.size(); i++) mel[i] = -4.0f + (float)(i % 13) * 0.2f;
  for (size_t i = 0; i < prompt.size(); i++) prompt[i] = -3.0f + (float)(i % 7) * 0.3f;
  tv_pool *pool1 = tv_pool_create(1), *pool4 = tv_pool_create(4);

  // Same seed, same result, on any number of threads; another seed differs.
  const std::vector<float> a = sample(F.f, pool1, mel, g, 3, 11, NULL, 0.4f, 0.0f);
  EXPECT_EQ(a, sample(F.f, pool4, mel, g, 3, 11, NULL, 0.4f, 0.0f));
  EXPECT_EQ(a, sample(F.f, NULL, mel, g, 3, 11, NULL, 0.4f, 0.0f));
  EXPECT_NE(a, sample(F.f, pool1, mel, g, 3, 12, NULL, 0.4f, 0.0f));
  EXPECT_EQ(a, sample(F.f, pool1, mel, g, 3, 11 + (1ull << 32), NULL, 0.4f, 0.0f));
  for (float x : a) ASSERT_TRUE(isfinite(x));
  // Noise scale 0 starts from zero: the seed no longer matters, the field
  // still shapes the result.
  const std::vector<float> q = sample(F.f, pool1, mel, g, 2, 1, NULL, 0.0f, 0.0f);
  EXPECT_EQ(q, sample(F.f, pool1, mel, g, 2, 99, NULL, 0.0f, 0.0f));
  EXPECT_NE(q, std::vector<float>(q.size(), t["mean"][0]));
  // Prompted: the output has the segment's frames only; a prompt changes it;
  // guidance 0 and a prompt-free run differ from a guided one; threads don't
  // matter.
  const std::vector<float> none = sample(PF.f, pool1, mel, g, 2, 3, NULL, 0.4f, 0.0f);
  const std::vector<float> with = sample(PF.f, pool1, mel, g, 2, 3, &prompt, 0.4f, 0.0f);
  const std::vector<float> guided = sample(PF.f, pool4, mel, g, 2, 3, &prompt, 0.4f, 1.5f);
  EXPECT_EQ(with.size(), mel.size());
  EXPECT_NE(none, with);
  EXPECT_NE(with, guided);
  EXPECT_EQ(guided, sample(PF.f, pool1, mel, g, 2, 3, &prompt, 0.4f, 1.5f));
  // Guidance without a prompt has nothing to amplify.
  EXPECT_EQ(none, sample(PF.f, pool1, mel, g, 2, 3, NULL, 0.4f, 2.0f));
  // A prompt of P = 0 frames, or a NULL prompt with P > 0, counts as none.
  std::vector<float> out(mel.size());
  ASSERT_EQ(tv_flow_sample(PF.f, pool1, mel.data(), 7, g.data(), 2, 3, prompt.data(), 0, out.data(), 0.4f, 0.0f), 0);
  EXPECT_EQ(out, none);
  ASSERT_EQ(tv_flow_sample(PF.f, pool1, mel.data(), 7, g.data(), 2, 3, NULL, 5, out.data(), 0.4f, 0.0f), 0);
  EXPECT_EQ(out, none);

  // Refusals.
  struct Bad {
    const tv_flow *f;
    const float *mel;
    int T;
    const float *g;
    int steps;
    const float *prompt;
    int P;
    float *out;
    const char *msg;
  } bad[] = {
      {F.f, mel.data(), 7, g.data(), 0, NULL, 0, out.data(), "flow: bad arguments (T 7, steps 0)"},
      {F.f, mel.data(), 0, g.data(), 3, NULL, 0, out.data(), "flow: bad arguments (T 0, steps 3)"},
      {F.f, mel.data(), -2, g.data(), 3, NULL, 0, out.data(), "flow: bad arguments (T -2, steps 3)"},
      {NULL, mel.data(), 7, g.data(), 3, NULL, 0, out.data(), "flow: bad arguments (T 7, steps 3)"},
      {F.f, NULL, 7, g.data(), 3, NULL, 0, out.data(), "flow: bad arguments (T 7, steps 3)"},
      {F.f, mel.data(), 7, NULL, 3, NULL, 0, out.data(), "flow: bad arguments (T 7, steps 3)"},
      {F.f, mel.data(), 7, g.data(), 3, NULL, 0, NULL, "flow: bad arguments (T 7, steps 3)"},
      {F.f, mel.data(), 7, g.data(), 3, prompt.data(), 5, out.data(),
       "flow: a prompt was given to the (unprompted) refiner"},
  };
  for (const Bad &b : bad) {
    EXPECT_EQ(tv_flow_sample(b.f, pool1, b.mel, b.T, b.g, b.steps, 1, b.prompt, b.P, b.out, 0.4f, 0.0f), -1) << b.msg;
    EXPECT_STREQ(tv_geterr(), b.msg);
  }
  EXPECT_EQ(tv_flow_is_prompted(NULL), 0);
  tv_flow_free(NULL);
  tv_pool_destroy(pool1);
  tv_pool_destroy(pool4);
}

// The tensors with every matrix stored as int8 (row scales), as an int8
// model directory holds them; the depthwise taps stay float.
bool save_int8(const Tensors &t, const std::string &path) {
  tv_stwriter *w = tv_stwriter_create();
  bool ok = w != NULL;
  for (auto &e : t.t) {
    const std::string &name = e.first;
    const bool mat = e.second.first.size() >= 2 && name.find(".dw.") == std::string::npos;
    const int32_t nd = (int32_t)e.second.first.size();
    ok = ok && (mat ? tv_stwriter_add_mat(w, name.c_str(), TV_ST_INT8, nd, e.second.first.data(),
                                          e.second.second.data(), 32, 0)
                    : tv_stwriter_add_f32(w, name.c_str(), nd, e.second.first.data(), e.second.second.data())) == 0;
  }
  ok = ok && tv_stwriter_save(w, path.c_str()) == 0;
  tv_stwriter_free(w);
  return ok;
}

// Root mean square of the difference over the reference's standard
// deviation (the mel's offset would hide the error).
double rel_rms(const std::vector<float> &got, const std::vector<float> &want) {
  double mean = 0, e = 0, r = 0;
  for (float v : want) mean += v;
  mean /= (double)want.size();
  for (size_t i = 0; i < want.size(); i++) {
    e += ((double)got[i] - want[i]) * ((double)got[i] - want[i]);
    r += (want[i] - mean) * (want[i] - mean);
  }
  return sqrt(e / r);
}

}  // namespace

TEST(Flow, Int8BlocksRunOnTheEightBitProduct) {
  // Two refiners with int8 matrices, plain and prompted with attention (whose
  // projections take the 8-bit product too), over a frame count that leaves
  // a short chunk. The 8-bit blocks must not
  // depend on the thread count, and must stay close to the same weights on
  // the float path (int8 weights, float activations).
  TempDir dir;
  struct Case {
    bool prompted;
    const char *cfg;
  } cases[] = {{false, "{\"d\": 48, \"n_layers\": 3, \"g_dim\": 4, \"dils\": [1, 3, 2]}"},
               {true, "{\"d\": 30, \"n_layers\": 2, \"g_dim\": 4, \"prompt\": 1, \"attn_at\": [0]}"}};
  std::vector<float> mel(37 * 100), g = {0.3f, -0.2f, 0.5f, 0.1f}, prompt(8 * 100);
  for (size_t i = 0; i < mel.size(); i++) mel[i] = -4.0f + (float)((i * 7) % 13) * 0.2f;
  for (size_t i = 0; i < prompt.size(); i++) prompt[i] = -3.0f + (float)(i % 7) * 0.3f;
  tv_pool *pool3 = tv_pool_create(3), *pool8 = tv_pool_create(8);
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cfg);
    Json cfg(c.cfg);
    const int d = (int)tv_json_num(tv_json_get(cfg.root, "d"), 0);
    const int layers = (int)tv_json_num(tv_json_get(cfg.root, "n_layers"), 0);
    Tensors t = flow_tensors(d, layers, 4, c.prompted, {0});
    fill(t, 5 + n);
    t["std"][0] = 2.0f;
    t["mean"][0] = -3.0f;
    const std::string q = dir.file("q" + std::to_string(n++) + ".safetensors");
    ASSERT_TRUE(save_int8(t, q));
    Loaded F(q, cfg.root);
    ASSERT_NE(F.f, nullptr) << tv_geterr();
    for (int b = 0; b < layers; b++) EXPECT_EQ(F.f->block[b].q8, 1) << b;
    EXPECT_EQ(F.f->attn[0].q8, c.prompted ? 1 : 0);
    const std::vector<float> *p = c.prompted ? &prompt : NULL;
    const std::vector<float> a = sample(F.f, NULL, mel, g, 3, 21, p, 0.4f, 0.0f);
    for (float x : a) ASSERT_TRUE(isfinite(x));
    EXPECT_EQ(a, sample(F.f, pool3, mel, g, 3, 21, p, 0.4f, 0.0f));
    EXPECT_EQ(a, sample(F.f, pool8, mel, g, 3, 21, p, 0.4f, 0.0f));
    // The same refiner with its blocks on the float path.
    tv_flow *float_path = (tv_flow *)tv_malloc(sizeof(tv_flow));
    ASSERT_NE(float_path, nullptr);
    *float_path = *F.f;
    for (int b = 0; b < layers; b++) float_path->block[b].q8 = float_path->attn[b].q8 = 0;
    const std::vector<float> want = sample(float_path, pool3, mel, g, 3, 21, p, 0.4f, 0.0f);
    tv_free(float_path);
    EXPECT_NE(a, want);
    // Measured about 2e-3 and 6e-4 (54 and 65 dB).
    EXPECT_LT(rel_rms(a, want), 1e-2);
    // Fewer frames than one chunk, and one frame.
    for (size_t frames : {5, 1}) {
      const std::vector<float> short_mel(mel.begin(), mel.begin() + (long)frames * 100);
      const std::vector<float> s1 = sample(F.f, NULL, short_mel, g, 2, 4, p, 0.4f, 0.0f);
      for (float x : s1) ASSERT_TRUE(isfinite(x)) << frames;
      EXPECT_EQ(s1, sample(F.f, pool8, short_mel, g, 2, 4, p, 0.4f, 0.0f)) << frames;
    }
  }
  // A float refiner keeps the float path.
  Tensors t = flow_tensors(12, 2, 4, false, {});
  fill(t, 9);
  const std::string f = dir.file("f.safetensors");
  ASSERT_TRUE(t.save(f));
  Json cfg("{\"d\": 12, \"n_layers\": 2, \"g_dim\": 4}");
  Loaded F(f, cfg.root);
  ASSERT_NE(F.f, nullptr) << tv_geterr();
  EXPECT_EQ(F.f->block[0].q8, 0);
  EXPECT_EQ(F.f->block[0].pw1q.panels, nullptr);
  tv_pool_destroy(pool3);
  tv_pool_destroy(pool8);
}

TEST(Flow, GeluTwinsAgreeToTheBit) {
  if (!tv_cpu_avx512()) GTEST_SKIP() << "no AVX-512 path here";
  for (int n : {8, 16, 24, 248, 256, 264}) {
    std::vector<float> x(n);
    for (int i = 0; i < n; i++) x[i] = (float)((i * 37) % 101 - 50) * 0.17f;
    x[0] = -0.0f, x[n - 1] = 40.0f;
    std::vector<float> a = x, b = x;
    tv_flow_gelu_avx2(a.data(), n);
    tv_flow_gelu_avx512(b.data(), n);
    ASSERT_EQ(memcmp(a.data(), b.data(), sizeof(float) * n), 0) << n;
  }
}

TEST(Flow, FastGeluStaysWithinAFewUlpOfTheDivision) {
  // The 8-bit blocks' GELU takes a refined reciprocal; any length, the tail
  // masked.
  if (!tv_cpu_avx512()) GTEST_SKIP() << "no AVX-512 path here";
  for (int n : {1, 7, 15, 16, 17, 1152}) {
    std::vector<float> x(n);
    for (int i = 0; i < n; i++) x[i] = (float)((i * 37) % 201 - 100) * 0.061f;
    x[0] = -0.0f;
    std::vector<float> a = x, b = x;
    const int whole = n / 8 * 8;
    tv_flow_gelu_avx512(a.data(), whole);
    tv_flow_gelu_fast_avx512(b.data(), n);
    for (int i = 0; i < n; i++) {
      if (i >= whole) a[i] = 0.5f * x[i] * (1.0f + erff(x[i] * 0.70710678f));  // the exact GELU for the tail
      ASSERT_NEAR(b[i], a[i], 1e-6f * (fabsf(a[i]) + 1e-3f) + (i >= whole ? 2e-6f : 0.0f)) << n << " at " << i;
    }
  }
}
