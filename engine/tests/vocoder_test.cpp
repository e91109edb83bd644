// Vocoder shapes and loading, output lengths, and the magnitude clamp on a
// crafted head.
#include <gtest/gtest.h>
#include <math.h>

#include <string>
#include <vector>

#include "acoustic_fixture.h"
#include "models.h"
#include "nn/vocoder.h"
#include "runtime/error.h"
#include "runtime/pool.h"
#include "TempDir.h"

using tovan::test::TempDir;

namespace {

Tensors vocoder_tensors(int dim, int inter, int layers) {
  Tensors t;
  t.lin("backbone.embed", dim, 700);
  for (const char *n : {"backbone.norm", "backbone.final_layer_norm"}) {
    t.add(std::string(n) + ".weight", {dim});
    t.add(std::string(n) + ".bias", {dim});
  }
  t.lin("head.out", 1026, dim);
  for (int b = 0; b < layers; b++) {
    std::string p = "backbone.convnext." + std::to_string(b) + ".";
    t.add(p + "dwconv.weight", {dim, 7});
    t.add(p + "dwconv.bias", {dim});
    t.add(p + "norm.weight", {dim});
    t.add(p + "norm.bias", {dim});
    t.add(p + "gamma", {dim});
    t.lin(p + "pwconv1", inter, dim);
    t.lin(p + "pwconv2", dim, inter);
  }
  return t;
}

struct Voc {
  tv_weights *w = NULL;
  tv_vocoder *v = NULL;
  std::string path;
  ~Voc() {
    tv_vocoder_free(v);
    tv_weights_close(w);
  }
  // Saves the tensors as dir/v.safetensors and opens them.
  void open(const TempDir &dir, const Tensors &t) {
    path = dir.file("v.safetensors");
    ASSERT_TRUE(t.save(path));
    w = tv_weights_open(path.c_str());
    ASSERT_NE(w, nullptr) << tv_geterr();
  }
};

TEST(VocoderLoad, RefusesBadShapesShowingAllFive) {
  TempDir dir;
  Voc V;
  V.open(dir, vocoder_tensors(4, 8, 1));
  struct Case {
    int dim, inter, layers, n_fft, hop;
  };
  const Case cases[] = {{4, 8, 1, 1000, 256}, {0, 8, 1, 1024, 256}, {4, 0, 1, 1024, 256}, {4, 8, 0, 1024, 256},
                        {4, 8, 1, 1024, 0},   {4, 8, 1, 1024, 1024}, {4, 8, 1, 1, 1},     {4, 8, 1, 0, 256},
                        // Sizes far beyond any model, refused before anything is allocated.
                        {4, 8, 2147483647, 1024, 256}, {65537, 8, 1, 1024, 256}, {4, 2147483647, 1, 1024, 256},
                        {4, 8, 1, 1073741824, 256}};
  for (const Case &c : cases) {
    EXPECT_EQ(tv_vocoder_load(V.w, c.dim, c.inter, c.layers, c.n_fft, c.hop), nullptr);
    char want[128];
    snprintf(want, sizeof want, "vocoder: bad shape (dim %d inter %d layers %d n_fft %d hop %d)", c.dim, c.inter,
             c.layers, c.n_fft, c.hop);
    EXPECT_STREQ(tv_geterr(), want);
  }
}

TEST(VocoderLoad, StopsAtTheFirstMissingOrMisshapenTensor) {
  struct Case {
    const char *drop;
    std::string msg;
  };
  const Case cases[] = {
      {"backbone.convnext.1.gamma", ": missing tensor backbone.convnext.1.gamma"},
      {"head.out.bias", ": missing tensor head.out.bias"},
      {"backbone.embed.weight", ": missing tensor backbone.embed.weight"},
  };
  for (const Case &c : cases) {
    TempDir dir;
    Voc V;
    V.path = dir.file("v.safetensors");
    Tensors t = vocoder_tensors(4, 8, 2);
    t.drop(c.drop);
    ASSERT_TRUE(t.save(V.path));
    V.w = tv_weights_open(V.path.c_str());
    ASSERT_NE(V.w, nullptr);
    EXPECT_EQ(tv_vocoder_load(V.w, 4, 8, 2, 1024, 256), nullptr);
    EXPECT_EQ(std::string(tv_geterr()), V.path + c.msg);
  }
  // A layer count the weights do not hold is refused before the layers are
  // allocated (26 million of them once took 2 GiB before any check).
  {
    TempDir dir;
    Voc V;
    V.open(dir, vocoder_tensors(4, 8, 2));
    for (int layers : {3, 1000}) {
      EXPECT_EQ(tv_vocoder_load(V.w, 4, 8, layers, 1024, 256), nullptr);
      EXPECT_EQ(std::string(tv_geterr()), V.path + ": vocoder layers = " + std::to_string(layers) +
                                              ", but there is no backbone.convnext." + std::to_string(layers - 1));
    }
  }
  // The inner width must match pwconv1.
  TempDir dir;
  Voc V;
  V.path = dir.file("v.safetensors");
  ASSERT_TRUE(vocoder_tensors(4, 8, 1).save(V.path));
  V.w = tv_weights_open(V.path.c_str());
  EXPECT_EQ(tv_vocoder_load(V.w, 4, 9, 1, 1024, 256), nullptr);
  EXPECT_EQ(std::string(tv_geterr()), V.path + ": backbone.convnext.0.pwconv1.weight is [8, 4], expected [9, 4]");
}

struct TinyVocoder : Voc {
  TinyVocoder() {
    path = model_dir() + "/vocoder.safetensors";
    w = tv_weights_open(path.c_str());
    if (w) v = tv_vocoder_load(w, 16, 32, 2, 1024, 256);
  }
};

TEST(VocoderDecode, YieldsTMinusOneHopsOfSamples) {
  TinyVocoder V;
  ASSERT_NE(V.v, nullptr) << tv_geterr();
  for (int32_t T : {1, 2, 3, 17}) {
    std::vector<float> mel((size_t)T * 100);
    for (size_t i = 0; i < mel.size(); i++) mel[i] = -3.0f + (float)(i % 7) * 0.5f;
    float *audio = NULL;
    size_t n = 99;
    ASSERT_EQ(tv_vocoder_decode(V.v, NULL, mel.data(), T, &audio, &n), 0) << tv_geterr();
    EXPECT_NE(audio, nullptr) << "even zero samples come in a buffer";
    EXPECT_EQ(n, (size_t)(T - 1) * 256);
    for (size_t i = 0; i < n; i++) ASSERT_TRUE(fabsf(audio[i]) < 1.0f) << i;
    tv_free(audio);
  }
  float *audio = (float *)1;
  size_t n = 9;
  float mel[100] = {0};
  EXPECT_EQ(tv_vocoder_decode(V.v, NULL, mel, 0, &audio, &n), -1);
  EXPECT_STREQ(tv_geterr(), "vocoder: empty mel");
  EXPECT_EQ(audio, nullptr);
  EXPECT_EQ(n, 0u);
}

TEST(VocoderDecode, ThreadCountDoesNotChangeTheSamples) {
  // The default-size development vocoder, so the products are big enough to
  // use the pool.
  Voc V;
  V.path = model_dir("dev") + "/vocoder.safetensors";
  V.w = tv_weights_open(V.path.c_str());
  ASSERT_NE(V.w, nullptr) << tv_geterr();
  V.v = tv_vocoder_load(V.w, 384, 896, 8, 1024, 256);
  ASSERT_NE(V.v, nullptr) << tv_geterr();
  const int32_t T = 90;
  std::vector<float> mel((size_t)T * 100);
  for (size_t i = 0; i < mel.size(); i++) mel[i] = -4.0f + (float)((i * 7919) % 1000) * 0.004f;
  std::vector<float> first;
  for (int threads : {1, 3, 4}) {
    tv_pool *pool = tv_pool_create(threads);
    float *audio = NULL;
    size_t n = 0;
    ASSERT_EQ(tv_vocoder_decode(V.v, threads == 1 ? NULL : pool, mel.data(), T, &audio, &n), 0) << tv_geterr();
    std::vector<float> got(audio, audio + n);
    tv_free(audio);
    tv_pool_destroy(pool);
    if (first.empty())
      first = got;
    else
      EXPECT_TRUE(got == first) << threads << " threads change the samples";
  }
}

TEST(VocoderDecode, ClampsMagnitudesAt100) {
  // Zero backbone: the head sees zeros and every frame's spectrum is its
  // bias: one log-magnitude for all bins and phases -pi k, which place a
  // single pulse of that magnitude at the centre of each frame. After
  // overlap-add with the window-square normalisation (1.5 for a quarter hop)
  // each pulse reads magnitude / 1.5.
  struct Case {
    float log_mag, want;
  };
  const Case cases[] = {{logf(50.0f), 50.0f / 1.5f}, {10.0f, 100.0f / 1.5f}, {INFINITY, 100.0f / 1.5f}};
  for (const Case &c : cases) {
    TempDir dir;
    Voc V;
    V.path = dir.file("v.safetensors");
    Tensors t = vocoder_tensors(4, 8, 1);
    for (int k = 0; k < 513; k++) {
      t["head.out.bias"][k] = c.log_mag;
      t["head.out.bias"][513 + k] = (float)(-M_PI * k);
    }
    ASSERT_TRUE(t.save(V.path));
    V.w = tv_weights_open(V.path.c_str());
    V.v = tv_vocoder_load(V.w, 4, 8, 1, 1024, 256);
    ASSERT_NE(V.v, nullptr) << tv_geterr();
    std::vector<float> mel(6 * 100, 1.0f);
    float *audio = NULL;
    size_t n = 0;
    ASSERT_EQ(tv_vocoder_decode(V.v, NULL, mel.data(), 6, &audio, &n), 0) << tv_geterr();
    ASSERT_EQ(n, 5u * 256);
    for (size_t i = 0; i < n; i++) {
      // The first sample lies under one window fewer: 1.25 instead of 1.5.
      const float want = i == 0 ? c.want * 1.5f / 1.25f : c.want;
      if (i % 256 == 0)
        ASSERT_NEAR(audio[i], want, 2e-3 * want) << i;
      else
        ASSERT_NEAR(audio[i], 0.0f, 2e-3) << i;
    }
    tv_free(audio);
  }
}

}  // namespace
