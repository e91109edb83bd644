// The speaker encoder: against the independent float64 reference on the
// tiny-full model, the 24 kHz entry and its limits, short clips, stored
// forms of the weights, and the loader's refusals.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "acoustic_fixture.h"
#include "fullnets_golden.h"
#include "models.h"
#include "nn/spkenc.h"
#include "runtime/error.h"
#include "runtime/pool.h"
#include "runtime/resample.h"
#include "runtime/stwriter.h"
#include "TempDir.h"

using tovan::test::TempDir;

namespace {

struct Enc {
  tv_weights *w = NULL;
  tv_wavlm *m = NULL;
  explicit Enc(const std::string &path) {
    w = tv_weights_open(path.c_str());
    if (w) m = tv_wavlm_load(w);
  }
  ~Enc() {
    tv_wavlm_free(m);
    tv_weights_close(w);
  }
  Enc(const Enc &) = delete;
  Enc &operator=(const Enc &) = delete;
};

std::string tiny_path() { return model_dir("tiny-full") + "/native/wavlm_sv.safetensors"; }

std::vector<float> clip24(size_t n, uint32_t seed = 3) {
  std::vector<float> x(n);
  for (size_t i = 0; i < n; i++) {
    seed = seed * 1664525u + 1013904223u;
    x[i] = 0.3f * sinf(0.05f * (float)i) + 0.1f * ((float)(seed >> 8) * 0x1p-24f - 0.5f);
  }
  return x;
}

double norm(const std::vector<float> &v) {
  double s = 0;
  for (float x : v) s += (double)x * x;
  return sqrt(s);
}

double cosine(const std::vector<float> &a, const std::vector<float> &b) {
  double s = 0;
  for (size_t i = 0; i < a.size(); i++) s += (double)a[i] * b[i];
  return s / (norm(a) * norm(b));
}

std::vector<float> xvec(const tv_wavlm *m, tv_pool *pool, const std::vector<float> &x, bool at16 = false) {
  std::vector<float> out(512, NAN);
  const int rc = at16 ? tv_wavlm_xvector16(m, pool, x.data(), x.size(), out.data())
                      : tv_wavlm_xvector(m, pool, x.data(), x.size(), out.data());
  EXPECT_EQ(rc, 0) << tv_geterr();
  return out;
}

TEST(SpeakerEncoder, MatchesTheReferenceOfTheTinyFullModel) {
  FullGolden gold;
  FULLNETS_CHECK_GOLDEN(gold);
  Enc e(tiny_path());
  ASSERT_NE(e.m, nullptr) << tv_geterr();
  const std::vector<float> clip = gold.f("wavlm.clip");
  tv_pool *pool = tv_pool_create(3);
  // 9000 samples as they are, and 3000 repeated three times.
  const std::vector<float> a = xvec(e.m, pool, clip, true);
  const std::vector<float> b = xvec(e.m, pool, std::vector<float>(clip.begin(), clip.begin() + 3000), true);
  // Both paths agree with the float64 reference to a few 1e-8.
  EXPECT_LT(max_rel_err(a, gold.f("wavlm.xvec")), 1e-6);
  EXPECT_LT(max_rel_err(b, gold.f("wavlm.xvec_short")), 1e-6);
  EXPECT_NEAR(norm(a), 1.0, 1e-6);
  EXPECT_LT(cosine(a, b), 0.9999) << "the two clips should give different vectors";
  tv_pool_destroy(pool);
}

TEST(SpeakerEncoder, ClipsAt24kHz) {
  Enc e(tiny_path());
  ASSERT_NE(e.m, nullptr) << tv_geterr();
  tv_pool *pool1 = tv_pool_create(1), *pool4 = tv_pool_create(4);
  // The 24 kHz entry is the 16 kHz one on the resampled clip.
  const std::vector<float> x = clip24(30000);
  float *y = NULL;
  size_t k = 0;
  ASSERT_EQ(tv_resample(x.data(), x.size(), 24000, 16000, &y, &k), 0);
  const std::vector<float> at16 = xvec(e.m, pool1, std::vector<float>(y, y + k), true);
  tv_free(y);
  const std::vector<float> v = xvec(e.m, pool1, x);
  EXPECT_EQ(v, at16);
  // No result depends on the number of threads.
  EXPECT_EQ(v, xvec(e.m, pool4, x));
  EXPECT_EQ(v, xvec(e.m, NULL, x));
  // Only the first 8 s count.
  const std::vector<float> longer = clip24(250000);
  EXPECT_EQ(xvec(e.m, pool4, longer), xvec(e.m, pool4, std::vector<float>(longer.begin(), longer.begin() + 192000)));
  // A 0.25 s clip (4000 samples at 16 kHz, repeated twice) still gives a unit vector.
  const std::vector<float> s = xvec(e.m, pool4, clip24(6000));
  EXPECT_NEAR(norm(s), 1.0, 1e-6);
  // Clips far too short are repeated too: one sample becomes 8000 of them.
  const std::vector<float> one = xvec(e.m, pool4, std::vector<float>(1, 0.25f), true);
  for (float f : one) ASSERT_TRUE(isfinite(f));
  // Empty input.
  float out[512];
  for (size_t n : {(size_t)0}) {
    EXPECT_EQ(tv_wavlm_xvector(e.m, pool1, x.data(), n, out), -1);
    EXPECT_STREQ(tv_geterr(), "wavlm: empty input");
    EXPECT_EQ(tv_wavlm_xvector16(e.m, pool1, x.data(), n, out), -1);
    EXPECT_STREQ(tv_geterr(), "wavlm: empty input");
  }
  EXPECT_EQ(tv_wavlm_xvector(e.m, pool1, NULL, 100, out), -1);
  EXPECT_STREQ(tv_geterr(), "wavlm: empty input");
  EXPECT_EQ(tv_wavlm_xvector16(NULL, pool1, x.data(), 100, out), -1);
  EXPECT_STREQ(tv_geterr(), "wavlm: empty input");
  tv_pool_destroy(pool1);
  tv_pool_destroy(pool4);
}

// The tiny encoder's own weights stored once more with every matrix as int8,
// int4 or fp16: relaid into the same network, their vectors stay close to
// the float one.
std::string restore(const std::string &from, const std::string &to, int storage) {
  tv_weights *src = tv_weights_open(from.c_str());
  if (!src) return tv_geterr();
  tv_stwriter *w = tv_stwriter_create();
  const tv_file *f = tv_weights_file(src);
  bool ok = true;
  for (int32_t i = 0; i < tv_file_count(f) && ok; i++) {
    const tv_tensor *t = tv_file_tensor(f, i);
    const float *v = tv_weights_f32(src, t->name, 0);
    std::vector<int64_t> dims(t->dims, t->dims + t->ndim);
    const bool matrix = t->ndim >= 2 && strstr(t->name, "gru_rel_pos") == NULL && strstr(t->name, "rel_attn") == NULL;
    ok = v && (matrix ? tv_stwriter_add_mat(w, t->name, storage, t->ndim, dims.data(), v, 32, 0)
                      : tv_stwriter_add_f32(w, t->name, t->ndim, dims.data(), v)) == 0;
  }
  ok = ok && tv_stwriter_save(w, to.c_str()) == 0;
  std::string err = ok ? "" : tv_geterr();
  tv_stwriter_free(w);
  tv_weights_close(src);
  return err;
}

TEST(SpeakerEncoder, QuantisedWeights) {
  TempDir dir;
  Enc f(tiny_path());
  ASSERT_NE(f.m, nullptr) << tv_geterr();
  tv_pool *pool = tv_pool_create(2);
  const std::vector<float> x = clip24(20000), ref = xvec(f.m, pool, x);
  struct Case {
    const char *name;
    int storage;
    uint32_t relaid;
    double min_cos;
  } cases[] = {{"int8", TV_ST_INT8, TV_MAT_I8, 0.9995}, {"int4", TV_ST_INT4, TV_MAT_F32, 0.98},
               {"fp16", TV_ST_FP16, TV_MAT_F32, 0.99999}};
  for (const Case &c : cases) {
    const std::string path = dir.file(std::string(c.name) + ".safetensors");
    ASSERT_EQ(restore(tiny_path(), path, c.storage), "") << c.name;
    Enc e(path);
    ASSERT_NE(e.m, nullptr) << c.name << ": " << tv_geterr();
    EXPECT_EQ(e.m->conv[3].m.storage, c.relaid) << c.name;
    EXPECT_EQ(e.m->pos.m.storage, c.relaid) << c.name;
    EXPECT_GT(cosine(xvec(e.m, pool, x), ref), c.min_cos) << c.name;
  }
  tv_pool_destroy(pool);
}

// A crafted encoder: every tensor zero unless a test changes it.
struct Spec {
  int C = 4, D = 8, H = 2, B = 8, K = 4, G = 2, L = 1, F = 8, P = 8;
  std::vector<int> tdnn = {8, 8, 8, 8, 8};
  std::vector<int> tdnn_k = {5, 3, 3, 1, 1};
  int convs = 7;
};

Tensors wavlm_tensors(const Spec &s) {
  Tensors t;
  const int kernel[7] = {10, 3, 3, 3, 3, 2, 2};
  for (int i = 0; i < s.convs; i++)
    t.add("wavlm.feature_extractor.conv_layers." + std::to_string(i) + ".conv.weight", {s.C, i == 0 ? 1 : s.C, kernel[i]});
  t.add("wavlm.feature_extractor.conv_layers.0.layer_norm.weight", {s.C});
  t.add("wavlm.feature_extractor.conv_layers.0.layer_norm.bias", {s.C});
  t.add("wavlm.feature_projection.layer_norm.weight", {s.C});
  t.add("wavlm.feature_projection.layer_norm.bias", {s.C});
  t.lin("wavlm.feature_projection.projection", s.D, s.C);
  t.add("wavlm.encoder.pos_conv_embed.conv.weight", {s.D, s.D / s.G, s.K});
  t.add("wavlm.encoder.pos_conv_embed.conv.bias", {s.D});
  t.add("wavlm.encoder.layer_norm.weight", {s.D});
  t.add("wavlm.encoder.layer_norm.bias", {s.D});
  t.add("wavlm.encoder.layers.0.attention.rel_attn_embed.weight", {s.B, s.H});
  for (int l = 0; l < s.L; l++) {
    const std::string p = "wavlm.encoder.layers." + std::to_string(l) + ".";
    for (const char *n : {"q_proj", "k_proj", "v_proj", "out_proj"}) t.lin(p + "attention." + n, s.D, s.D);
    t.add(p + "attention.gru_rel_pos_linear.weight", {8, s.D / s.H});
    t.add(p + "attention.gru_rel_pos_linear.bias", {8});
    t.add(p + "attention.gru_rel_pos_const", {1, s.H, 1, 1});
    for (const char *n : {"layer_norm", "final_layer_norm"}) {
      t.add(p + n + ".weight", {s.D});
      t.add(p + n + ".bias", {s.D});
    }
    t.lin(p + "feed_forward.intermediate_dense", s.F, s.D);
    t.lin(p + "feed_forward.output_dense", s.D, s.F);
  }
  t.add("layer_weights", {s.L + 1});
  t.lin("projector", s.P, s.D);
  int in = s.P;
  for (size_t i = 0; i < s.tdnn.size(); i++) {
    t.lin("tdnn." + std::to_string(i) + ".kernel", s.tdnn[i], in * s.tdnn_k[i]);
    in = s.tdnn[i];
  }
  t.lin("feature_extractor", 512, 2 * in);
  return t;
}

TEST(SpeakerEncoderLoad, RefusalTable) {
  TempDir dir;
  struct Case {
    const char *what;
    Spec spec;
    void (*edit)(Tensors &);
    const char *msg;
  };
  Spec six;
  six.convs = 6;
  Spec four_tdnn;
  four_tdnn.tdnn = {8, 8, 8, 8};
  Spec six_tdnn;
  six_tdnn.tdnn = {8, 8, 8, 8, 8, 8};
  six_tdnn.tdnn_k = {5, 3, 3, 1, 1, 1};
  Spec no_layers;
  no_layers.L = 0;
  Spec odd_heads;
  odd_heads.H = 3;  // 8 is not a multiple of 3
  Spec few_buckets;
  few_buckets.B = 3;
  const Case cases[] = {
      {"six convolutions", six, nullptr, "wavlm: expected 7 feature-encoder convs, found 6"},
      {"first convolution with two inputs", Spec(),
       [](Tensors &t) { t.add("wavlm.feature_extractor.conv_layers.0.conv.weight", {4, 2, 10}); },
       "wavlm: wavlm.feature_extractor.conv_layers.0.conv.weight has 2 input channels, expected 1"},
      {"channels that do not chain", Spec(),
       [](Tensors &t) { t.add("wavlm.feature_extractor.conv_layers.3.conv.weight", {4, 5, 3}); },
       "wavlm: wavlm.feature_extractor.conv_layers.3.conv.weight has 5 input channels, expected 4"},
      {"convolution bias", Spec(),
       [](Tensors &t) { t.add("wavlm.feature_extractor.conv_layers.0.conv.bias", {4}); },
       "wavlm: only the conv_bias = false, feat_extract_norm = group variant is supported"},
      {"per-layer norms", Spec(),
       [](Tensors &t) { t.add("wavlm.feature_extractor.conv_layers.1.layer_norm.weight", {4}); },
       "wavlm: only the conv_bias = false, feat_extract_norm = group variant is supported"},
      {"positional convolution missing", Spec(),
       [](Tensors &t) { t.drop("wavlm.encoder.pos_conv_embed.conv.weight"); },
       "wavlm: wavlm.encoder.pos_conv_embed.conv.weight is missing or bad"},
      {"positional convolution of 3 per group", Spec(),
       [](Tensors &t) { t.add("wavlm.encoder.pos_conv_embed.conv.weight", {8, 3, 4}); },
       "wavlm: wavlm.encoder.pos_conv_embed.conv.weight is missing or bad"},
      {"positional convolution in two dimensions", Spec(),
       [](Tensors &t) { t.add("wavlm.encoder.pos_conv_embed.conv.weight", {8, 16}); },
       "wavlm: wavlm.encoder.pos_conv_embed.conv.weight is missing or bad"},
      {"rel_attn_embed missing", Spec(),
       [](Tensors &t) { t.drop("wavlm.encoder.layers.0.attention.rel_attn_embed.weight"); },
       "wavlm: missing rel_attn_embed"},
      {"rel_attn_embed in one dimension", Spec(),
       [](Tensors &t) { t.add("wavlm.encoder.layers.0.attention.rel_attn_embed.weight", {16}); },
       "wavlm: missing rel_attn_embed"},
      {"three buckets", few_buckets, nullptr, "wavlm: rel_attn_embed of 3 x 2 (need at least 4 buckets and 1 head)"},
      {"four TDNN layers", four_tdnn, nullptr, "wavlm: unexpected architecture (4 TDNN layers, 1 transformer layers)"},
      {"six TDNN layers", six_tdnn, nullptr, "wavlm: unexpected TDNN layer 5"},
      {"TDNN width mismatch", Spec(), [](Tensors &t) { t.lin("tdnn.2.kernel", 8, 20); },
       "wavlm: unexpected TDNN layer 2"},
      {"no transformer layer", no_layers, nullptr, "wavlm: unexpected architecture (5 TDNN layers, 0 transformer layers)"},
      {"heads that do not divide the width", odd_heads, nullptr,
       "wavlm: unexpected architecture (5 TDNN layers, 1 transformer layers)"},
      {"missing tensor", Spec(), [](Tensors &t) { t.drop("wavlm.encoder.layers.0.final_layer_norm.bias"); },
       "wavlm.encoder.layers.0.final_layer_norm.bias"},
      {"misshaped x-vector layer", Spec(), [](Tensors &t) { t.lin("feature_extractor", 256, 16); },
       "feature_extractor.weight"},
  };
  int i = 0;
  for (const Case &c : cases) {
    Tensors t = wavlm_tensors(c.spec);
    if (c.edit) c.edit(t);
    const std::string path = dir.file("w" + std::to_string(i++) + ".safetensors");
    ASSERT_TRUE(t.save(path)) << c.what;
    Enc e(path);
    ASSERT_NE(e.w, nullptr) << c.what;
    EXPECT_EQ(e.m, nullptr) << c.what;
    EXPECT_NE(strstr(tv_geterr(), c.msg), nullptr) << c.what << ": " << tv_geterr();
  }
  // The unchanged crafted encoder loads; with zero weights its pooled
  // features are all zero, and so is the vector.
  const std::string path = dir.file("ok.safetensors");
  ASSERT_TRUE(wavlm_tensors(Spec()).save(path));
  Enc e(path);
  ASSERT_NE(e.m, nullptr) << tv_geterr();
  EXPECT_EQ(e.m->G, 2);
  EXPECT_EQ(e.m->K, 4);
  EXPECT_EQ(e.m->tdnn_k[0], 5);
  EXPECT_EQ(e.m->tdnn_k[3], 1);
  const std::vector<float> v = xvec(e.m, NULL, clip24(12000));
  EXPECT_EQ(v, std::vector<float>(512, 0.0f));
  tv_wavlm_free(NULL);
}

}  // namespace
