// Acoustic model rules on crafted weights: loader refusals, the conditioning
// input's slots, duration rounding and shifts, the frame limit, input
// refusals; guidance and thread-count independence on generated models.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "acoustic_fixture.h"
#include "models.h"
#include "nn/acoustic.h"
#include "runtime/error.h"
#include "runtime/pool.h"
#include "TempDir.h"

using tovan::test::TempDir;

namespace {

struct Loaded {
  tv_weights *w = NULL;
  tv_json *arch = NULL;
  tv_acoustic *m = NULL;
  std::string path, err;
  ~Loaded() {
    tv_acoustic_free(m);
    tv_json_free(arch);
    tv_weights_close(w);
  }
};

// Writes the tensors, opens them and loads a model with the arch JSON.
void load(Loaded &L, const TempDir &dir, const Tensors &t, const std::string &arch_json) {
  L.path = dir.file("acoustic.safetensors");
  ASSERT_TRUE(t.save(L.path)) << tv_geterr();
  L.w = tv_weights_open(L.path.c_str());
  ASSERT_NE(L.w, nullptr) << tv_geterr();
  L.arch = tv_json_parse(arch_json.data(), arch_json.size());
  ASSERT_NE(L.arch, nullptr) << tv_geterr();
  L.m = tv_acoustic_load(L.w, L.arch);
  if (!L.m) L.err = tv_geterr();
}

TEST(AcousticLoad, RefusesBadArchitecturesAndTensors) {
  struct Case {
    const char *name;
    std::function<void(Arch &)> arch;
    std::function<void(Tensors &)> tweak;
    std::string arch_extra;  // appended inside the arch object
    std::string msg;         // "%p" stands for the weights path
  };
  auto none = [](Tensors &) {};
  auto keep = [](Arch &) {};
  const Case cases[] = {
      {"five heads", [](Arch &a) { a.d = 192, a.heads = 5; }, none, "",
       "acoustic: unsupported arch (d=192 heads=5 k=3)"},
      {"even kernel", [](Arch &a) { a.k = 4; }, none, "", "acoustic: unsupported arch (d=4 heads=1 k=4)"},
      {"odd width", [](Arch &a) { a.d = 3; }, none, "", "acoustic: unsupported arch (d=3 heads=1 k=3)"},
      {"no heads", [](Arch &a) { a.heads = 0; }, none, "", "acoustic: unsupported arch (d=4 heads=0 k=3)"},
      {"negative ffn", [](Arch &a) { a.ffn = -1; }, none, "",
       "acoustic: unsupported arch (ffn=-1 g_dim=4 spk_dim=2 tag_dim=2)"},
      {"too wide", [](Arch &a) { a.spk_dim = 400, a.tag_dim = 89; }, none, "",
       "acoustic: conditioning input too wide"},
      {"symbol count", keep, none, ", \"n_symbols\": 118", "acoustic: emb.weight has 10 rows, arch n_symbols = 118"},
      {"unknown mixer", [](Arch &a) { a.dec_mixer = "lstm"; }, none, "", "acoustic: unknown mixer lstm"},
      {"missing projection", [](Arch &a) { a.spk_enc_dim = 512; },
       [](Tensors &t) { t.drop("spk_proj.weight"); }, "", "%p: missing tensor spk_proj.weight"},
      {"misshapen", keep, [](Tensors &t) { t.add("cond.2.weight", {8, 256}); }, "",
       "%p: cond.2.weight is [8, 256], expected [4, 256]"},
      {"hybrid width", [](Arch &a) { a.enc_layers = 1, a.enc_mixer = "hybrid", a.d = 40, a.heads = 2; }, none, "",
       "acoustic: d=40 / state_dim=8 unsupported"},
      {"odd state", [](Arch &a) { a.enc_layers = 1, a.enc_mixer = "hybrid", a.d = 32, a.state_dim = 31; }, none, "",
       "acoustic: d=32 / state_dim=31 unsupported"},
      {"big state", [](Arch &a) { a.dec_layers = 1, a.dec_mixer = "hybrid", a.d = 32, a.state_dim = 66; }, none, "",
       "acoustic: d=32 / state_dim=66 unsupported"},
      // Sizes are bounded before any sum or product of them can overflow.
      {"speaker width at the i32 limit", [](Arch &a) { a.spk_dim = 2147483647; }, none, "",
       "acoustic: unsupported arch (spk_dim=2147483647 is above 65536)"},
      {"tag width at the i32 limit", [](Arch &a) { a.tag_dim = 2147483647; }, none, "",
       "acoustic: unsupported arch (tag_dim=2147483647 is above 65536)"},
      {"width whose triple wraps", [](Arch &a) { a.d = 1073741824, a.heads = 1; }, none, "",
       "acoustic: unsupported arch (d=1073741824 is above 65536)"},
      {"kernel times width wraps", [](Arch &a) { a.k = 1048577; }, none, "",
       "acoustic: unsupported arch (k=1048577 is above 255)"},
      {"feed-forward width", [](Arch &a) { a.ffn = 65537; }, none, "",
       "acoustic: unsupported arch (ffn=65537 is above 65536)"},
      {"missing in a later layer", [](Arch &a) { a.dec_layers = 2, a.dec_mixer = "hybrid", a.d = 32; },
       [](Tensors &t) { t.drop("decoder.layers.1.seq.bwd.decay_log"); }, "",
       "%p: missing tensor decoder.layers.1.seq.bwd.decay_log"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Arch a;
    c.arch(a);
    // Sizes the fixture cannot build (a refused arch) fall back to a valid
    // tensor set: the refusal must come before any tensor is read.
    Arch shapes = a;
    if (shapes.heads < 1 || shapes.d % shapes.heads || shapes.d % 2 || shapes.k % 2 == 0 || shapes.ffn < 1 ||
        shapes.d > 65536 || shapes.k > 255 || shapes.ffn > 65536 || shapes.spk_dim > 65536 ||
        shapes.tag_dim > 65536 || (int64_t)shapes.spk_dim + shapes.tag_dim > 488)
      shapes = Arch();
    Tensors t = acoustic_tensors(shapes);
    c.tweak(t);
    std::string arch = a.json();
    arch.insert(arch.size() - 1, c.arch_extra);
    TempDir dir;
    Loaded L;
    load(L, dir, t, arch);
    EXPECT_EQ(L.m, nullptr);
    std::string want = c.msg;
    size_t at = want.find("%p");
    if (at != std::string::npos) want.replace(at, 2, L.path);
    EXPECT_EQ(L.err, want);
  }
}

TEST(AcousticLoad, AcceptsTheWidestConditioningInput) {
  Arch a;
  a.spk_dim = 400;
  a.tag_dim = 88;
  TempDir dir;
  Loaded L;
  load(L, dir, acoustic_tensors(a), a.json());
  EXPECT_NE(L.m, nullptr) << L.err;
}

TEST(AcousticLoad, EmptyArchGivesTheDefaultModel) {
  // The generated development model has the default sizes.
  std::string path = model_dir("dev") + "/acoustic.safetensors";
  tv_weights *w = tv_weights_open(path.c_str());
  ASSERT_NE(w, nullptr) << tv_geterr();
  for (const char *text : {"{}", (const char *)NULL}) {
    tv_json *arch = text ? tv_json_parse(text, strlen(text)) : NULL;
    tv_acoustic *m = tv_acoustic_load(w, arch);
    ASSERT_NE(m, nullptr) << tv_geterr();
    EXPECT_EQ(m->d, 192);
    EXPECT_EQ(m->heads, 2);
    EXPECT_EQ(m->ffn, 384);
    EXPECT_EQ(m->k, 3);
    EXPECT_EQ(tv_acoustic_g_dim(m), 128);
    EXPECT_EQ(m->spk_dim, 64);
    EXPECT_EQ(m->tag_dim, 32);
    EXPECT_EQ(m->enc.layers, 4);
    EXPECT_EQ(m->dec.layers, 4);
    EXPECT_EQ(m->enc.layer[0].hybrid, 0);
    EXPECT_EQ(tv_acoustic_n_symbols(m), 118);
    EXPECT_EQ(tv_acoustic_n_tags(m), 20);
    EXPECT_EQ(tv_acoustic_spk_enc_dim(m), 0) << "no spk_enc_dim in arch: no projection";
    tv_acoustic_free(m);
    tv_json_free(arch);
  }
  tv_weights_close(w);
}

// Conditioning with cond.0 and cond.2 set to identities: g = SiLU(input), so
// every slot of the input can be read back.
struct CondModel {
  TempDir dir;
  Loaded L;
  static constexpr int IN = 2 + 2 + 24;
  explicit CondModel(int spk_enc_dim) {
    Arch a;
    a.g_dim = 32;
    a.spk_enc_dim = spk_enc_dim;
    Tensors t = acoustic_tensors(a);
    for (int i = 0; i < IN; i++) {
      t["cond.0.weight"][i * IN + i] = 1.0f;
      t["cond.2.weight"][i * 256 + i] = 1.0f;
    }
    t["tag.weight"] = {0, 0, 2, 3, -4, 5};
    if (spk_enc_dim) {
      t["spk_proj.weight"][0 * spk_enc_dim + 3] = 1.0f;  // slot 0 = vec[3] + 0.25
      t["spk_proj.weight"][1 * spk_enc_dim + 0] = 2.0f;  // slot 1 = 2 vec[0]
      t["spk_proj.bias"] = {0.25f, 0.0f};
    }
    load(L, dir, t, a.json());
  }
};

float silu(float x) { return x / (1.0f + expf(-x)); }

TEST(AcousticCondition, FillsSpeakerTagValueAndFlagSlots) {
  CondModel cm(4);
  ASSERT_NE(cm.L.m, nullptr) << cm.L.err;
  const float BIG = 3.4028235e38f;
  struct Case {
    const char *name;
    std::vector<float> row, vec;
    int tag;
    std::vector<float> ctrl, mask;
    std::vector<float> want;  // the 28 input slots
  };
  std::vector<float> z12(12, 0.0f);
  auto slots = [](std::vector<float> spk, std::vector<float> tag, std::vector<float> vals, std::vector<float> flags) {
    std::vector<float> v = spk;
    v.insert(v.end(), tag.begin(), tag.end());
    vals.resize(12, 0.0f);
    flags.resize(12, 0.0f);
    v.insert(v.end(), vals.begin(), vals.end());
    v.insert(v.end(), flags.begin(), flags.end());
    return v;
  };
  const Case cases[] = {
      {"voice row, tag 1", {0.5f, -1.0f}, {}, 1, {}, {}, slots({0.5f, -1.0f}, {2, 3}, {}, {})},
      {"flagged and unflagged controls", {0, 0}, {}, 2,
       {1.5f, NAN, INFINITY, -INFINITY, 7.0f, -2.0f, 0, 0, 0, 0, 0, 0},
       {1, 1, 1, 1, 0, 0.5f, 0, 0, 0, 0, 0, 0},
       slots({0, 0}, {-4, 5}, {1.5f, 0.0f, BIG, -BIG, 0.0f, -1.0f}, {1, 1, 1, 1, 0, 0.5f})},
      {"speaker vector wins over the voice row", {9, 9}, {1.0f, 0, 0, -3.0f}, 0, {}, {},
       slots({-2.75f, 2.0f}, {0, 0}, {}, {})},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    float g[32];
    ASSERT_EQ(tv_acoustic_condition(cm.L.m, c.row.data(), c.vec.empty() ? NULL : c.vec.data(), c.tag,
                                    c.ctrl.empty() ? NULL : c.ctrl.data(), c.mask.empty() ? NULL : c.mask.data(), g),
              0)
        << tv_geterr();
    for (int i = 0; i < CondModel::IN; i++) EXPECT_FLOAT_EQ(g[i], silu(c.want[i])) << "slot " << i;
    for (int i = CondModel::IN; i < 32; i++) EXPECT_EQ(g[i], 0.0f) << i;
  }
}

TEST(AcousticCondition, RefusesWithoutTouchingG) {
  CondModel with(4), without(0);
  ASSERT_NE(with.L.m, nullptr) << with.L.err;
  ASSERT_NE(without.L.m, nullptr) << without.L.err;
  float row[2] = {1, 2}, vec[4] = {1, 2, 3, 4};
  struct Case {
    const tv_acoustic *m;
    const float *row, *vec;
    int tag;
    const char *msg;
  };
  const Case cases[] = {
      {with.L.m, row, NULL, 3, "acoustic: tag index 3 out of range [0, 3)"},
      {with.L.m, row, NULL, -1, "acoustic: tag index -1 out of range [0, 3)"},
      {with.L.m, NULL, NULL, 0, "acoustic: no speaker given"},
      {without.L.m, row, vec, 0, "acoustic: this model has no speaker-vector projection"},
  };
  for (const Case &c : cases) {
    float g[32];
    for (float &x : g) x = 42.0f;
    EXPECT_EQ(tv_acoustic_condition(c.m, c.row, c.vec, c.tag, NULL, NULL, g), -1);
    EXPECT_STREQ(tv_geterr(), c.msg);
    for (float x : g) ASSERT_EQ(x, 42.0f);
  }
  EXPECT_EQ(tv_acoustic_spk_enc_dim(with.L.m), 4);
  EXPECT_EQ(tv_acoustic_spk_enc_dim(without.L.m), 0);
}

// Zero weights and a duration bias of exactly one frame per symbol: every
// symbol's frame count is then 1 / pace times its word's duration factor.
struct DurModel {
  TempDir dir;
  Loaded L;
  DurModel() {
    Arch a;
    Tensors t = acoustic_tensors(a);
    t["dur_pred.out.bias"] = {exact_log_duration(1.0f)};
    for (int i = 0; i < 100; i++) t["to_mel.bias"][i] = (float)i;
    load(L, dir, t, a.json());
  }

  struct Run {
    int rc;
    std::vector<int32_t> durs;
    int32_t T;
    std::string err;
    std::vector<float> mel;
  };
  // One word per symbol, that word's factor as given.
  Run run(const std::vector<float> &factors, float pace, bool with_words = true, bool with_shifts = true) {
    const int n = (int)factors.size();
    std::vector<int32_t> ids(n, 1), words(n);
    std::vector<float> shifts;
    for (int i = 0; i < n; i++) {
      words[i] = i;
      shifts.insert(shifts.end(), {0.0f, 0.0f, factors[i]});
    }
    float g[4] = {0, 0, 0, 0};
    float *mel = (float *)1;
    int32_t T = -1, *durs = (int32_t *)1;
    Run r;
    r.rc = tv_acoustic_infer(L.m, NULL, ids.data(), with_words ? words.data() : NULL, n, g, NULL,
                             with_shifts ? shifts.data() : NULL, n, &mel, &T, &durs, 1.0f, pace);
    r.T = T;
    if (r.rc == 0) {
      r.durs.assign(durs, durs + n);
      r.mel.assign(mel, mel + (size_t)T * 100);
      tv_free(mel);
      tv_free(durs);
    } else {
      r.err = tv_geterr();
      EXPECT_EQ(mel, nullptr);
      EXPECT_EQ(durs, nullptr);
      EXPECT_EQ(T, 0);
    }
    return r;
  }
};

TEST(AcousticInfer, DurationsRoundHalfToEvenAndTheFirstSymbolAlwaysSounds) {
  DurModel dm;
  ASSERT_NE(dm.L.m, nullptr) << dm.L.err;
  struct Case {
    std::vector<float> factors;
    float pace;
    std::vector<int32_t> want;
  };
  const Case cases[] = {
      {{2.5f, 3.5f, 0.5f, 0.4f, 1.5f, 0.51f}, 1.0f, {2, 4, 0, 0, 2, 1}},
      {{0.2f, 0.2f}, 1.0f, {1, 0}},
      {{0.0f}, 1.0f, {1}},
      {{5.0f, 7.0f, 1.0f}, 2.0f, {2, 4, 0}},  // the factor multiplies after the pace division
      {{1.0f, NAN, -3.0f}, 1.0f, {1, 0, 0}},
      {{NAN}, 1.0f, {1}},
  };
  for (const Case &c : cases) {
    DurModel::Run r = dm.run(c.factors, c.pace);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.durs, c.want);
    int32_t sum = 0;
    for (int32_t x : r.durs) sum += x;
    EXPECT_EQ(r.T, sum);
    // Zero weights: every frame is the mel bias.
    for (int32_t f = 0; f < r.T; f++) ASSERT_EQ(r.mel[(size_t)f * 100 + 37], 37.0f);
  }
}

TEST(AcousticInfer, WordShiftsNeedBothTheWordMapAndTheRows) {
  DurModel dm;
  ASSERT_NE(dm.L.m, nullptr) << dm.L.err;
  EXPECT_EQ(dm.run({3, 3}, 1.0f, false, true).durs, (std::vector<int32_t>{1, 1}));
  EXPECT_EQ(dm.run({3, 3}, 1.0f, true, false).durs, (std::vector<int32_t>{1, 1}));
  EXPECT_EQ(dm.run({3, 3}, 1.0f, true, true).durs, (std::vector<int32_t>{3, 3}));
  // Word numbers outside [0, n_words) leave their symbols alone.
  std::vector<int32_t> ids = {1, 1, 1}, words = {-1, 1, 5};
  std::vector<float> shifts = {0, 0, 4, 0, 0, 2};  // two words
  float g[4] = {0};
  float *mel = NULL;
  int32_t T = 0, *durs = NULL;
  ASSERT_EQ(tv_acoustic_infer(dm.L.m, NULL, ids.data(), words.data(), 3, g, NULL, shifts.data(), 2, &mel, &T, &durs,
                              1.0f, 1.0f),
            0)
      << tv_geterr();
  EXPECT_EQ(std::vector<int32_t>(durs, durs + 3), (std::vector<int32_t>{1, 2, 1}));
  tv_free(mel);
  tv_free(durs);
}

TEST(AcousticInfer, FrameLimitIs65536) {
  DurModel dm;
  ASSERT_NE(dm.L.m, nullptr) << dm.L.err;
  DurModel::Run ok = dm.run({65535.0f, 1.0f}, 1.0f);
  ASSERT_EQ(ok.rc, 0) << ok.err;
  EXPECT_EQ(ok.T, 65536);
  const std::string too_long =
      "this text is too long to render in one pass (over 699 s of audio); use stream() or markup to render it "
      "sentence by sentence";
  struct Case {
    std::vector<float> factors;
    std::string msg;
  };
  const Case cases[] = {
      {{65535.0f, 2.0f}, too_long},
      {{40000.0f, 40000.0f}, too_long},
      {{1048577.0f}, "acoustic: a token duration is out of range"},
      {{1.0f, INFINITY}, "acoustic: a token duration is out of range"},
  };
  for (const Case &c : cases) {
    DurModel::Run r = dm.run(c.factors, 1.0f);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, c.msg);
  }
  EXPECT_EQ(dm.run({1048576.0f / 16}, 1.0f).rc, 0);
}

TEST(AcousticInfer, RefusesBadInputsAndClearsTheOutputs) {
  DurModel dm;
  ASSERT_NE(dm.L.m, nullptr) << dm.L.err;
  struct Case {
    std::vector<int32_t> ids;
    float pace;
    const char *msg;
  };
  const Case cases[] = {
      {{}, 1.0f, "acoustic: empty input"},
      {{1, 10}, 1.0f, "acoustic: symbol id 10 out of range [0, 10)"},
      {{-1}, 1.0f, "acoustic: symbol id -1 out of range [0, 10)"},
      {{1}, 0.0f, "acoustic: pace must be > 0"},
      {{1}, -2.0f, "acoustic: pace must be > 0"},
      {{1}, NAN, "acoustic: pace must be > 0"},
  };
  float g[4] = {0};
  for (const Case &c : cases) {
    float *mel = (float *)1;
    int32_t T = 5, *durs = (int32_t *)1;
    EXPECT_EQ(tv_acoustic_infer(dm.L.m, NULL, c.ids.data(), NULL, (int32_t)c.ids.size(), g, NULL, NULL, 0, &mel, &T,
                                &durs, 1.0f, c.pace),
              -1);
    EXPECT_STREQ(tv_geterr(), c.msg);
    EXPECT_EQ(mel, nullptr);
    EXPECT_EQ(T, 0);
    EXPECT_EQ(durs, nullptr);
  }
}

// The generated tiny model (hybrid layers, random weights).
struct TinyModel {
  tv_weights *w = NULL, *voices = NULL;
  tv_json *cfg = NULL;
  tv_acoustic *m = NULL;
  TinyModel(const std::string &dir = model_dir()) {
    char *text = NULL;
    size_t len = 0;
    if (tv_read_file((dir + "/config.json").c_str(), &text, &len) != 0) return;
    cfg = tv_json_parse(text, len);
    tv_free(text);
    w = tv_weights_open((dir + "/acoustic.safetensors").c_str());
    voices = tv_weights_open((dir + "/voices.safetensors").c_str());
    if (cfg && w) m = tv_acoustic_load(w, tv_json_get(tv_json_get(cfg, "acoustic"), "arch"));
  }
  ~TinyModel() {
    tv_acoustic_free(m);
    tv_weights_close(w);
    tv_weights_close(voices);
    tv_json_free(cfg);
  }
  std::vector<float> cond(int voice, int tag, bool controls) {
    const float *rows = tv_weights_f32(voices, "s", 0);
    std::vector<float> g(tv_acoustic_g_dim(m));
    float ctrl[12] = {0.9f, 0, -1.1f}, mask[12] = {1, 0, 1};
    EXPECT_EQ(tv_acoustic_condition(m, rows + (size_t)voice * m->spk_dim, NULL, tag, controls ? ctrl : NULL,
                                    controls ? mask : NULL, g.data()),
              0)
        << tv_geterr();
    return g;
  }
  struct Out {
    std::vector<float> mel;
    std::vector<int32_t> durs;
  };
  Out infer(tv_pool *pool, const std::vector<int32_t> &ids, const float *g, const float *g_ref, float w) {
    float *mel = NULL;
    int32_t T = 0, *durs = NULL;
    Out o;
    EXPECT_EQ(tv_acoustic_infer(m, pool, ids.data(), NULL, (int32_t)ids.size(), g, g_ref, NULL, 0, &mel, &T, &durs, w,
                                1.0f),
              0)
        << tv_geterr();
    if (mel) o.mel.assign(mel, mel + (size_t)T * 100);
    if (durs) o.durs.assign(durs, durs + ids.size());
    tv_free(mel);
    tv_free(durs);
    return o;
  }
};

std::vector<int32_t> symbols(int n) {
  std::vector<int32_t> ids(n);
  for (int i = 0; i < n; i++) ids[i] = (i * 37 + 11) % 118;
  return ids;
}

TEST(AcousticInfer, GuidanceWeightBlendsTheTwoPasses) {
  TinyModel tm;
  ASSERT_NE(tm.m, nullptr) << tv_geterr();
  std::vector<float> g = tm.cond(1, 4, true), g_ref = tm.cond(1, 0, false);
  std::vector<int32_t> ids = symbols(12);
  TinyModel::Out plain = tm.infer(NULL, ids, g.data(), NULL, 1.0f);
  TinyModel::Out ref = tm.infer(NULL, ids, g_ref.data(), NULL, 1.0f);
  // w = 0 is the reference pass, exactly.
  TinyModel::Out w0 = tm.infer(NULL, ids, g.data(), g_ref.data(), 0.0f);
  EXPECT_EQ(w0.durs, ref.durs);
  EXPECT_EQ(w0.mel, ref.mel);
  // w = 1 is the pass with g alone, up to rounding.
  TinyModel::Out w1 = tm.infer(NULL, ids, g.data(), g_ref.data(), 1.0f);
  ASSERT_EQ(w1.durs, plain.durs);
  ASSERT_EQ(w1.mel.size(), plain.mel.size());
  for (size_t i = 0; i < w1.mel.size(); i++) ASSERT_NEAR(w1.mel[i], plain.mel[i], 1e-5) << i;
  // The conditioning differs enough for the test to mean something.
  EXPECT_NE(plain.mel, ref.mel);
}

TEST(AcousticInfer, ThreadCountDoesNotChangeTheResult) {
  for (const char *name : {"tiny", "dev"}) {
    SCOPED_TRACE(name);
    TinyModel tm(model_dir(name));
    ASSERT_NE(tm.m, nullptr) << tv_geterr();
    std::vector<float> g = tm.cond(3, 2, true), g_ref = tm.cond(3, 0, false);
    std::vector<int32_t> ids = symbols(48);
    TinyModel::Out one = tm.infer(NULL, ids, g.data(), g_ref.data(), 1.3f);
    for (int threads : {1, 3, 4}) {
      tv_pool *pool = tv_pool_create(threads);
      TinyModel::Out many = tm.infer(pool, ids, g.data(), g_ref.data(), 1.3f);
      EXPECT_EQ(many.durs, one.durs) << threads;
      EXPECT_TRUE(many.mel == one.mel) << threads << " threads change the mel";
      tv_pool_destroy(pool);
    }
  }
}

}  // namespace
