// The edge networks against an independent float64 computation of the same
// tiny weights (data/reference/make-golden.py, numpy): conditioning, the
// acoustic model's durations and mel, the vocoder's samples, and the log-mel
// analysis. The golden files record a fingerprint of the weights they were
// made from, so a change in the generator is reported as such.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "models.h"
#include "nn/acoustic.h"
#include "nn/vocoder.h"
#include "runtime/dsp.h"
#include "runtime/error.h"
#include "runtime/pool.h"
#include "TempDir.h"
#include "TestPaths.h"

using tovan::test::TempDir;

namespace {

std::string golden_path(const char *name) {
  return (tovan::test::testData("reference") / name).string();
}

std::string fingerprint(const std::string &dir) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (const char *f : {"voices.safetensors", "acoustic.safetensors", "vocoder.safetensors"}) {
    std::ifstream in(dir + "/" + f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    for (unsigned char c : ss.str()) h = (h ^ c) * 0x100000001B3ull;
  }
  char buf[17];
  snprintf(buf, sizeof buf, "%016llx", (unsigned long long)h);
  return buf;
}

struct Golden {
  tv_weights *w;
  explicit Golden(const std::string &path) : w(tv_weights_open(path.c_str())) {}
  ~Golden() { tv_weights_close(w); }
  std::vector<float> f(const char *name) {
    const float *p = tv_weights_f32(w, name, 0);
    EXPECT_NE(p, nullptr) << tv_geterr();
    uint64_t dims[TV_MAX_DIMS];
    int nd = tv_weights_shape(w, name, dims);
    size_t n = 1;
    for (int i = 0; i < nd; i++) n *= dims[i];
    return p ? std::vector<float>(p, p + n) : std::vector<float>();
  }
  std::vector<int32_t> i(const char *name) {
    std::vector<float> v = f(name);
    return std::vector<int32_t>(v.begin(), v.end());
  }
};

struct Model {
  tv_json *cfg = NULL;
  tv_weights *ac_w = NULL, *voc_w = NULL, *voices = NULL;
  tv_acoustic *ac = NULL;
  tv_vocoder *voc = NULL;
  explicit Model(const std::string &dir) {
    char *text = NULL;
    size_t len = 0;
    if (tv_read_file((dir + "/config.json").c_str(), &text, &len) != 0) return;
    cfg = tv_json_parse(text, len);
    tv_free(text);
    ac_w = tv_weights_open((dir + "/acoustic.safetensors").c_str());
    voc_w = tv_weights_open((dir + "/vocoder.safetensors").c_str());
    voices = tv_weights_open((dir + "/voices.safetensors").c_str());
    if (!cfg || !ac_w || !voc_w || !voices) return;
    ac = tv_acoustic_load(ac_w, tv_json_get(tv_json_get(cfg, "acoustic"), "arch"));
    const tv_json *v = tv_json_get(cfg, "vocoder");
    voc = tv_vocoder_load(voc_w, (int32_t)tv_json_num(tv_json_get(v, "dim"), 384),
                          (int32_t)tv_json_num(tv_json_get(v, "inter"), 896),
                          (int32_t)tv_json_num(tv_json_get(v, "layers"), 8), 1024, 256);
  }
  ~Model() {
    tv_vocoder_free(voc);
    tv_acoustic_free(ac);
    tv_weights_close(ac_w);
    tv_weights_close(voc_w);
    tv_weights_close(voices);
    tv_json_free(cfg);
  }
};

// Largest absolute difference, and the largest magnitude of the reference.
void compare(const char *what, const std::vector<float> &got, const std::vector<float> &want, double tol) {
  ASSERT_EQ(got.size(), want.size()) << what;
  double worst = 0, scale = 0;
  size_t at = 0;
  for (size_t i = 0; i < got.size(); i++) {
    double e = fabs((double)got[i] - want[i]);
    if (e > worst) worst = e, at = i;
    scale = fmax(scale, fabs(want[i]));
  }
  EXPECT_LE(worst, tol) << what << ": worst difference " << worst << " at " << at << " (reference magnitude up to "
                        << scale << ")";
}

struct Case {
  const char *golden;
  const char *quant;  // NULL: the build tree's tiny model
  double g_tol, mel_tol, audio_tol;
};

// Tolerances, absolute: the observed float32-vs-float64 differences are about
// 2e-7 for g (values up to 0.8), 2.4e-6 for the mel (up to 6.5) and 3e-8 for
// the samples (up to 0.033), on both kernel paths; the bounds leave a margin
// of 40 to 80 times and stay far below what a wrong formula moves.
const Case CASES[] = {
    {"tiny.safetensors", NULL, 1e-5, 2e-4, 2e-6},
    {"tiny-int8.safetensors", "int8", 1e-5, 2e-4, 2e-6},
};

TEST(Reference, NetworksMatchTheIndependentComputation) {
  for (const Case &c : CASES) {
    SCOPED_TRACE(c.golden);
    TempDir tmp;
    std::string dir = model_dir();
    if (c.quant) {
      dir = tmp.file("model");
      std::string cmd = mkmodel_tool() + " --size tiny --quant " + c.quant + " " + dir;
      ASSERT_EQ(system(cmd.c_str()), 0);
    }
    Golden G(golden_path(c.golden));
    ASSERT_NE(G.w, nullptr) << tv_geterr();
    const char *fp = tv_file_metadata(tv_weights_file(G.w), "fingerprint");
    ASSERT_NE(fp, nullptr);
    ASSERT_EQ(fingerprint(dir), fp) << "the generated model changed: rerun engine/tests/data/reference/make-golden.py";
    Model M(dir);
    ASSERT_NE(M.ac, nullptr) << tv_geterr();
    ASSERT_NE(M.voc, nullptr) << tv_geterr();

    const int voice = G.i("in.voice")[0], tag = G.i("in.tag")[0];
    std::vector<float> ctrl = G.f("in.ctrl"), mask = G.f("in.mask");
    const float *rows = tv_weights_f32(M.voices, "s", 0);
    std::vector<float> g(tv_acoustic_g_dim(M.ac)), g_ref(g.size());
    ASSERT_EQ(tv_acoustic_condition(M.ac, rows + (size_t)voice * M.ac->spk_dim, NULL, tag, ctrl.data(), mask.data(),
                                    g.data()),
              0)
        << tv_geterr();
    ASSERT_EQ(tv_acoustic_condition(M.ac, rows + (size_t)voice * M.ac->spk_dim, NULL, 0, NULL, NULL, g_ref.data()), 0);
    compare("g", g, G.f("out.g"), c.g_tol);
    compare("g_ref", g_ref, G.f("out.g_ref"), c.g_tol);

    // The network runs from the reference's float32 conditioning, so its own
    // comparison does not inherit the conditioning's rounding.
    std::vector<float> gg = G.f("out.g"), ggr = G.f("out.g_ref"), shifts = G.f("in.shifts");
    std::vector<int32_t> ids = G.i("in.ids"), words = G.i("in.words");
    const int n_words = (int)shifts.size() / 3;
    for (int threads : {1, 4}) {
      SCOPED_TRACE(threads);
      tv_pool *pool = tv_pool_create(threads);
      float *mel = NULL;
      int32_t T = 0, *durs = NULL;
      ASSERT_EQ(tv_acoustic_infer(M.ac, pool, ids.data(), words.data(), (int32_t)ids.size(), gg.data(), ggr.data(),
                                  shifts.data(), n_words, &mel, &T, &durs, G.f("in.w")[0], G.f("in.pace")[0]),
                0)
          << tv_geterr();
      EXPECT_EQ(std::vector<int32_t>(durs, durs + ids.size()), G.i("out.durs"));
      compare("mel", std::vector<float>(mel, mel + (size_t)T * 100), G.f("out.mel"), c.mel_tol);
      tv_free(mel);
      tv_free(durs);

      std::vector<float> ref_mel = G.f("out.mel");
      float *audio = NULL;
      size_t n = 0;
      ASSERT_EQ(tv_vocoder_decode(M.voc, pool, ref_mel.data(), (int32_t)(ref_mel.size() / 100), &audio, &n), 0)
          << tv_geterr();
      compare("audio", std::vector<float>(audio, audio + n), G.f("out.audio"), c.audio_tol);
      tv_free(audio);
      tv_pool_destroy(pool);
    }
  }
}

TEST(Reference, MelAnalysisMatchesTheIndependentComputation) {
  Golden G(golden_path("tiny.safetensors"));
  ASSERT_NE(G.w, nullptr) << tv_geterr();
  std::vector<float> sig = G.f("in.signal");
  float *mel = NULL;
  int32_t T = 0;
  ASSERT_EQ(tv_mel_spectrogram(sig.data(), sig.size(), &mel, &T), 0) << tv_geterr();
  EXPECT_EQ(T, (int32_t)(sig.size() / 256 + 1));
  // The recipe rounds its filter edges to float; the reference keeps them in
  // double. That moves log values by about 2e-5.
  compare("log-mel", std::vector<float>(mel, mel + (size_t)T * 100), G.f("out.logmel"), 3e-4);
  tv_free(mel);
}

}  // namespace
