// The prompt encoder and style adapter: tokens, embedding and adapter heads
// against the independent float64 reference on the tiny-full model; the
// mapping's rounding and tie rules on a crafted adapter; loader refusals;
// and the reference-clip prompt mel.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "acoustic_fixture.h"
#include "fullnets_golden.h"
#include "models.h"
#include "nn/prompt.h"
#include "runtime/dsp.h"
#include "runtime/error.h"
#include "runtime/pool.h"
#include "TempDir.h"

using tovan::test::TempDir;

namespace {

const char *const TAGS[] = {"none", "calm", "happy", "sad", "angry"};

struct Model {
  tv_weights *mini = NULL, *adapter = NULL;
  tv_prompt *p = NULL;
  Model(const std::string &adapter_path, const char *const *tags, int n,
        const std::string &mini_path = model_dir("tiny-full") + "/native/minilm.safetensors",
        const std::string &vocab = model_dir("tiny-full") + "/native/minilm_vocab.txt") {
    mini = tv_weights_open(mini_path.c_str());
    adapter = tv_weights_open(adapter_path.c_str());
    if (mini && adapter) p = tv_prompt_load(mini, vocab.c_str(), adapter, tags, n);
  }
  ~Model() {
    tv_prompt_free(p);
    tv_weights_close(mini);
    tv_weights_close(adapter);
  }
  Model(const Model &) = delete;
  Model &operator=(const Model &) = delete;
};

std::vector<std::string> config_tags() {
  FullConfig cfg;
  std::vector<std::string> out;
  const tv_json *tags = cfg.get("prompt_adapter", "tags");
  for (int i = 0; tags && i < tags->count; i++) out.push_back(tv_json_str(tv_json_at(tags, i), ""));
  return out;
}

Tensors adapter_tensors(int n_tags) {
  Tensors t;
  t.lin("body.0", 512, 384);
  t.lin("body.3", 512, 512);
  t.lin("tag", n_tags, 512);
  t.lin("spec", 12, 512);
  t.lin("val", 12, 512);
  return t;
}

TEST(Prompt, MatchesTheReferenceOfTheTinyFullModel) {
  FullGolden gold;
  FULLNETS_CHECK_GOLDEN(gold);
  const std::vector<std::string> names = config_tags();
  std::vector<const char *> tags;
  for (const std::string &s : names) tags.push_back(s.c_str());
  Model m(model_dir("tiny-full") + "/prompt_adapter.safetensors", tags.data(), (int)tags.size());
  ASSERT_NE(m.p, nullptr) << tv_geterr();
  EXPECT_EQ(tv_prompt_n_tags(m.p), (int)tags.size());
  EXPECT_STREQ(tv_prompt_tag(m.p, 0), "none");
  EXPECT_EQ(tv_prompt_tag(m.p, -1), nullptr);
  EXPECT_EQ(tv_prompt_tag(m.p, (int)tags.size()), nullptr);
  tv_pool *pool = tv_pool_create(2);
  for (int i = 0; gold.has(("prompt." + std::to_string(i) + ".text").c_str()); i++) {
    const std::string p = "prompt." + std::to_string(i);
    std::string text;
    for (int32_t c : gold.i(p + ".text"))
      if (c) text += (char)c;
    // Tokens.
    std::vector<uint32_t> ids(256);
    const int n = tv_wordpiece_encode(m.p->vocab, text.c_str(), ids.data(), 256);
    ids.resize(n > 0 ? (size_t)n : 0);
    const std::vector<int32_t> want = gold.i(p + ".ids");
    EXPECT_EQ(std::vector<int32_t>(ids.begin(), ids.end()), want) << text;
    // Embedding and heads: both paths agree with the reference to ~1e-7.
    std::vector<float> e(384);
    ASSERT_EQ(tv_minilm_embed(m.p, pool, text.c_str(), e.data()), 0) << tv_geterr();
    EXPECT_LT(max_rel_err(e, gold.f(p + ".embed")), 2e-6) << text;
    std::vector<float> prob(tags.size()), spec(12), val(12);
    ASSERT_EQ(tv_prompt_heads(m.p, e.data(), prob.data(), spec.data(), val.data()), 0);
    EXPECT_LT(max_rel_err(prob, gold.f(p + ".prob")), 2e-5) << text;
    EXPECT_LT(max_rel_err(spec, gold.f(p + ".spec")), 2e-4) << text;
    EXPECT_LT(max_rel_err(val, gold.f(p + ".val")), 2e-4) << text;
    // The mapping picks from the reference's probabilities and controls.
    tv_prompt_mapping map;
    ASSERT_EQ(tv_prompt_map(m.p, pool, text.c_str(), &map), 0) << tv_geterr();
    const std::vector<float> gp = gold.f(p + ".prob"), gs = gold.f(p + ".spec"), gv = gold.f(p + ".val");
    std::vector<int> order(gp.size());
    for (size_t k = 0; k < order.size(); k++) order[k] = (int)k;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return gp[a] > gp[b]; });
    ASSERT_EQ(map.n_tags, 3);
    for (int k = 0; k < 3; k++) {
      EXPECT_EQ(map.tag[k], order[k]) << text << " " << k;
      EXPECT_NEAR(map.prob[k], gp[order[k]], 0.0006) << text;
      EXPECT_EQ(map.prob[k], map.prob_milli[k] / 1000.0f);
    }
    std::vector<int> present;
    for (int k = 0; k < 12; k++)
      if (gs[k] > 0) present.push_back(k);
    EXPECT_EQ(std::vector<int>(map.ctrl, map.ctrl + map.n_ctrl), present) << text;
    for (int k = 0; k < map.n_ctrl; k++) EXPECT_NEAR(map.val[k], gv[map.ctrl[k]], 0.006) << text;
  }
  tv_pool_destroy(pool);
}

TEST(Prompt, MappingRoundsAndBreaksTiesByRule) {
  TempDir dir;
  // Zero weights: the heads are their biases, so the test sets the exact
  // probabilities and values.
  Tensors t = adapter_tensors(5);
  t["tag.bias"] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  t["spec.bias"] = {1.0f, 0.0f, -1.0f, 1e-3f, 2.0f, 3.0f, 1.0f, 1.0f, 1.0f, -0.0f, 5.0f, 1.0f};
  t["val.bias"] = {0.125f, 9.0f, 9.0f, 0.375f, -0.125f, 2.675f, 1.005f, -1.115f, 0.135f, 9.0f, 0.0f, -0.005f};
  const std::string path = dir.file("a.safetensors");
  ASSERT_TRUE(t.save(path));
  Model m(path, TAGS, 5);
  ASSERT_NE(m.p, nullptr) << tv_geterr();
  tv_prompt_mapping map;
  ASSERT_EQ(tv_prompt_map(m.p, NULL, "", &map), 0) << tv_geterr();  // [CLS] [SEP] alone
  // Five equal probabilities of 0.2: the three lowest indices.
  EXPECT_EQ(std::vector<int>(map.tag, map.tag + 3), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(map.prob_milli[0], 200);
  // Controls whose presence logit is above 0 (a logit of exactly 0 is not),
  // each value rounded half to even on its exact binary value (the heads
  // are floats: 2.675f lies below 2.675, -1.115f beyond -1.115).
  EXPECT_EQ(std::vector<int>(map.ctrl, map.ctrl + map.n_ctrl), (std::vector<int>{0, 3, 4, 5, 6, 7, 8, 10, 11}));
  const std::vector<int> centi = {12, 38, -12, 267, 100, -112, 14, 0, 0};
  EXPECT_EQ(std::vector<int>(map.val_centi, map.val_centi + map.n_ctrl), centi);
  for (int k = 0; k < map.n_ctrl; k++) EXPECT_EQ(map.val[k], map.val_centi[k] / 100.0f);

  // Sixteen equal tags give probabilities of exactly 0.0625: 0.062.
  std::vector<const char *> sixteen(16, "t");
  Tensors t16 = adapter_tensors(16);
  t16["tag.bias"][15] = 0.0f;
  const std::string p16 = dir.file("a16.safetensors");
  ASSERT_TRUE(t16.save(p16));
  Model m16(p16, sixteen.data(), 16);
  ASSERT_NE(m16.p, nullptr) << tv_geterr();
  ASSERT_EQ(tv_prompt_map(m16.p, NULL, "calm voice", &map), 0);
  EXPECT_EQ(std::vector<int>(map.prob_milli, map.prob_milli + 3), (std::vector<int>{62, 62, 62}));
  EXPECT_EQ(map.prob[0], 0.062f);
  EXPECT_EQ(map.n_ctrl, 0);
  // One tag clearly first, two tied after it.
  Tensors t3 = adapter_tensors(5);
  t3["tag.bias"] = {0.0f, 1.0f, 3.0f, 1.0f, 0.5f};
  const std::string p3 = dir.file("a3.safetensors");
  ASSERT_TRUE(t3.save(p3));
  Model m3(p3, TAGS, 5);
  ASSERT_NE(m3.p, nullptr) << tv_geterr();
  ASSERT_EQ(tv_prompt_map(m3.p, NULL, "x", &map), 0);
  EXPECT_EQ(std::vector<int>(map.tag, map.tag + 3), (std::vector<int>{2, 1, 3}));
  EXPECT_GT(map.prob[0], map.prob[1]);
  EXPECT_EQ(map.prob[1], map.prob[2]);
}

TEST(Prompt, PythonRounding) {
  struct Case {
    int digits;
    double x;
    int64_t want;
  } cases[] = {
      {3, 0.0625, 62},  {2, 2.675, 267},  {0, 0.5, 0},     {0, 1.5, 2},     {0, 2.5, 2},      {0, -0.5, 0},
      {0, -1.5, -2},    {0, -2.5, -2},    {1, 0.25, 2},    {1, 0.35, 3},    {2, 1.005, 100},  {2, -0.125, -12},
      {2, 0.375, 38},   {3, 0.0005, 1},   {3, 1.0, 1000},  {2, -1.115, -111}, {3, 0.1235, 123}, {2, -0.005, -1},
      {0, 1e15 + 0.5, 1000000000000000}, {-1, 2.5, 2},    {0, -0.0, 0},    {2, NAN, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(tv_pyround_scaled(c.digits, c.x), c.want) << c.digits << " " << c.x;
  EXPECT_GT(tv_pyround_scaled(2, 1e300), 0);
  EXPECT_LT(tv_pyround_scaled(2, -INFINITY), 0);
}

TEST(PromptLoad, Refusals) {
  TempDir dir;
  const std::string mini = model_dir("tiny-full") + "/native/minilm.safetensors";
  const std::string vocab = model_dir("tiny-full") + "/native/minilm_vocab.txt";
  const std::string good = dir.file("a5.safetensors");
  ASSERT_TRUE(adapter_tensors(5).save(good));
  // The word embedding rows follow the vocabulary; embeddings alone stop at
  // the first layer; a short position table is refused right after them.
  tv_wordpiece *wp = tv_wordpiece_load(vocab.c_str());
  ASSERT_NE(wp, nullptr) << tv_geterr();
  const int V = tv_wordpiece_vocab_size(wp);
  tv_wordpiece_free(wp);
  auto embeddings = [&](int words, int positions) {
    Tensors t;
    t.add("embeddings.word_embeddings.weight", {words, 384});
    t.add("embeddings.position_embeddings.weight", {positions, 384});
    t.add("embeddings.token_type_embeddings.weight", {2, 384});
    t.add("embeddings.LayerNorm.weight", {384});
    t.add("embeddings.LayerNorm.bias", {384});
    return t;
  };
  const std::string short_pos = dir.file("short.safetensors"), no_layers = dir.file("nolayers.safetensors");
  const std::string bad_words = dir.file("words.safetensors");
  ASSERT_TRUE(embeddings(V, 255).save(short_pos));
  ASSERT_TRUE(embeddings(V, 256).save(no_layers));
  ASSERT_TRUE(embeddings(V + 1, 512).save(bad_words));
  const std::string two = dir.file("a2.safetensors"), wrong = dir.file("a4.safetensors");
  ASSERT_TRUE(adapter_tensors(2).save(two));
  ASSERT_TRUE(adapter_tensors(4).save(wrong));
  const std::string crlf = dir.write("bad_vocab.txt", "[PAD]\n[CLS]\n[SEP]\n");
  struct Case {
    std::string mini, vocab, adapter;
    int n;
    std::string msg;
  } cases[] = {
      {short_pos, vocab, good, 5, short_pos + ": 255 position embeddings < 256"},
      {no_layers, vocab, good, 5, "encoder.layer.0.attention.self.query.weight"},
      {bad_words, vocab, good, 5, "embeddings.word_embeddings.weight"},
      {mini, vocab, two, 2, "prompt adapter: 2 tags < 3"},
      {mini, vocab, wrong, 5, "tag.weight"},
      {mini, vocab, good, 0, "tag.weight"},
      {mini, crlf, good, 5, crlf + ": no [UNK] / [CLS] / [SEP] token"},
      {mini, dir.file("none.txt"), good, 5, "none.txt"},
  };
  for (const Case &c : cases) {
    std::vector<const char *> tags(c.n > 0 ? (size_t)c.n : 1, "x");
    Model m(c.adapter, tags.data(), c.n, c.mini, c.vocab);
    ASSERT_NE(m.mini, nullptr) << c.msg;
    EXPECT_EQ(m.p, nullptr) << c.msg;
    EXPECT_NE(strstr(tv_geterr(), c.msg.c_str()), nullptr) << c.msg << ": " << tv_geterr();
  }
  tv_prompt_free(NULL);
  EXPECT_EQ(tv_prompt_n_tags(NULL), 0);
}

std::vector<float> tone(size_t n, double hz) {
  std::vector<float> x(n);
  for (size_t i = 0; i < n; i++)
    x[i] = (float)(0.3 * sin(2 * M_PI * hz * (double)i / 24000.0) + 0.1 * sin(2 * M_PI * 5100.0 * (double)i / 24000.0));
  return x;
}

// Mean of the upper half of the per-frame means of the first K bins.
double level(const float *mel, int rows, int K) {
  std::vector<double> m;
  for (int t = 0; t < rows; t++) {
    double s = 0;
    for (int j = 0; j < K; j++) s += mel[(size_t)t * 100 + j];
    m.push_back(s / K);
  }
  std::sort(m.begin(), m.end());
  double s = 0;
  for (int t = rows / 2; t < rows; t++) s += m[(size_t)t];
  return s / (rows - rows / 2);
}

TEST(PromptMel, UsableBins) {
  struct Case {
    int rate, bins;
  } cases[] = {{16000, 85}, {24000, 100}, {48000, 100}, {0, 100}, {-5, 100}, {1, 8}, {100, 8}};
  for (const Case &c : cases) EXPECT_EQ(tv_prompt_mel_bins(c.rate), c.bins) << c.rate;
  // Every rate below 24 kHz: the count of mel edge points below 0.475 x rate.
  const double step = 2595.0 * log10(1.0 + 12000.0 / 700.0) / 101.0;
  for (int rate : {8000, 11025, 22050, 23999}) {
    int k = 0;
    for (int i = 2; i <= 101; i++) k += 700.0 * (pow(10.0, i * step / 2595.0) - 1.0) < 0.475 * rate;
    EXPECT_EQ(tv_prompt_mel_bins(rate), std::max(k, 8)) << rate;
    EXPECT_LT(tv_prompt_mel_bins(rate), 100) << rate;
  }
}

TEST(PromptMel, LevelledToTheSegmentAndFilledAboveTheRecording) {
  // A segment mel with a sloping spectrum, and a 2 s reference.
  const int T = 40;
  std::vector<float> seg((size_t)T * 100);
  for (int t = 0; t < T; t++)
    for (int j = 0; j < 100; j++) seg[(size_t)t * 100 + j] = -2.0f - 0.05f * j + 0.3f * sinf(0.7f * t + 0.1f * j);
  const std::vector<float> ref = tone(48000, 440.0);
  float *plain = NULL;
  int32_t F0 = 0;
  ASSERT_EQ(tv_mel_spectrogram(ref.data(), ref.size(), &plain, &F0), 0);

  for (int rate : {24000, 16000, 8000}) {
    float *pm = NULL;
    int32_t F = 0;
    ASSERT_EQ(tv_prompt_mel(ref.data(), ref.size(), rate, seg.data(), T, &pm, &F), 0) << tv_geterr();
    ASSERT_NE(pm, nullptr);
    ASSERT_EQ(F, F0);
    const int K = tv_prompt_mel_bins(rate);
    // The usable bins are the clip's analysis shifted by one level, so that
    // their loud half sits at the segment's.
    const float shift = pm[0] - plain[0];
    for (int t = 0; t < F; t++)
      for (int j = 0; j < K; j++)
        ASSERT_NEAR(pm[(size_t)t * 100 + j] - plain[(size_t)t * 100 + j], shift, 2e-5) << rate;
    EXPECT_NEAR(level(pm, F, K), level(seg.data(), T, K), 1e-4) << rate;
    // Above them, the segment's average spectrum from the last usable bin on.
    for (int j = K; j < 100; j++) {
      double a = 0, b = 0;
      for (int t = 0; t < T; t++) a += seg[(size_t)t * 100 + j], b += seg[(size_t)t * 100 + K - 1];
      for (int t = 0; t < F; t++)
        ASSERT_NEAR(pm[(size_t)t * 100 + j] - pm[(size_t)t * 100 + K - 1], (a - b) / T, 2e-5) << rate << " " << j;
    }
    tv_free(pm);
  }
  tv_free(plain);

  // Longer than 8 s: the first 192000 samples.
  const std::vector<float> lng = tone(250000, 300.0);
  float *a = NULL, *b = NULL;
  int32_t Fa = 0, Fb = 0;
  ASSERT_EQ(tv_prompt_mel(lng.data(), lng.size(), 24000, seg.data(), T, &a, &Fa), 0);
  ASSERT_EQ(tv_prompt_mel(lng.data(), 192000, 24000, seg.data(), T, &b, &Fb), 0);
  EXPECT_EQ(Fa, 751);
  ASSERT_EQ(Fa, Fb);
  EXPECT_EQ(0, memcmp(a, b, sizeof(float) * 100 * (size_t)Fa));
  tv_free(a);
  tv_free(b);

  // A 0.4 s clip gives no prompt and success; a long one needs the segment's mel.
  float *pm = (float *)1;
  int32_t F = 7;
  EXPECT_EQ(tv_prompt_mel(ref.data(), 9600, 24000, seg.data(), T, &pm, &F), 0);
  EXPECT_EQ(pm, nullptr);
  EXPECT_EQ(F, 0);
  EXPECT_EQ(tv_prompt_mel(ref.data(), 12000, 24000, NULL, T, &pm, &F), -1);
  EXPECT_STREQ(tv_geterr(), "prompt_mel: no render mel");
  EXPECT_EQ(tv_prompt_mel(ref.data(), 12000, 24000, seg.data(), 0, &pm, &F), -1);
  EXPECT_STREQ(tv_geterr(), "prompt_mel: no render mel");
  EXPECT_EQ(pm, nullptr);
}

}  // namespace
