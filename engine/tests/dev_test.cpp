// A real paragraph through the public interface on the default-size
// development model: finite samples of the length the durations give, the
// same bits on 1 and 4 threads, and the portable kernels close to the SIMD
// ones.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "api/deps.h"
#include "api/engine.h"
#include "models.h"
#include "nn/acoustic.h"
#include "runtime/kernels.h"
#include "runtime/kernels_simd.h"
#include "tovantts.h"

namespace {

const char *PARAGRAPH =
    "It is a truth universally acknowledged, that a single man in possession of a good fortune, must be in want "
    "of a wife. However little known the feelings or views of such a man may be on his first entering a "
    "neighbourhood, this truth is so well fixed in the minds of the surrounding families, that he is considered "
    "the rightful property of some one or other of their daughters.";

struct Engine {
  tovantts_engine *e = nullptr;
  char err[1024] = "";
  explicit Engine(int32_t threads) { e = tovantts_create(model_dir("dev").c_str(), threads, err, sizeof err); }
  ~Engine() { tovantts_destroy(e); }
};

std::vector<float> speak(tovantts_engine *e, int markup) {
  tovantts_options o;
  tovantts_default_options(&o);
  o.markup = markup;
  float *p = NULL;
  int64_t n = 0;
  char err[1024];
  EXPECT_EQ(tovantts_synthesize(e, PARAGRAPH, &o, &p, &n, err, sizeof err), 0) << err;
  std::vector<float> x(p, p + n);
  tovantts_free(p);
  return x;
}

// Frames the acoustic model gives the whole paragraph as one segment.
int64_t frames_of(tovantts_engine *e) {
  tv_phonemes ph;
  memset(&ph, 0, sizeof ph);
  EXPECT_EQ(tv_front_phonemes(e->front, PARAGRAPH, &ph), 0);
  float g[TV_ACOUSTIC_MAX_COND];
  const int32_t voice = name_index(e->voices, e->n_voices, e->default_voice);
  EXPECT_EQ(tv_acoustic_condition(e->acoustic, e->voice_table + (size_t)voice * e->row_width, NULL, 0, NULL, NULL, g),
            0);
  float *mel = NULL;
  int32_t T = 0;
  EXPECT_EQ(tv_acoustic_infer(e->acoustic, e->pool, ph.ids, ph.words, ph.count, g, NULL, NULL, 0, &mel, &T, NULL,
                              1.0f, 1.0f),
            0);
  tv_free(mel);
  tv_phonemes_free(&ph);
  return T;
}

TEST(DevModel, ParagraphHasFiniteSamplesOfTheExpectedLength) {
  Engine g(1);
  ASSERT_NE(g.e, nullptr) << g.err;
  const std::vector<float> x = speak(g.e, 0);
  const int64_t T = frames_of(g.e);
  ASSERT_GT(T, 1);
  EXPECT_EQ((int64_t)x.size(), (T - 1) * 256);
  double energy = 0.0;
  for (float v : x) {
    ASSERT_TRUE(std::isfinite(v));
    ASSERT_LT(fabsf(v), 1.5f);
    energy += (double)v * v;
  }
  EXPECT_GT(energy / (double)x.size(), 1e-8);
}

TEST(DevModel, SameBitsOnOneAndFourThreads) {
  Engine one(1), four(4);
  ASSERT_NE(one.e, nullptr) << one.err;
  ASSERT_NE(four.e, nullptr) << four.err;
  const std::vector<float> a = speak(one.e, 1), b = speak(four.e, 1);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(memcmp(a.data(), b.data(), sizeof(float) * a.size()), 0);
}

TEST(DevModel, PortableKernelsStayCloseToSimd) {
  if (!tv_cpu_avx2()) GTEST_SKIP() << "no AVX2 on this processor (or TOVANTTS_NO_SIMD set)";
  Engine g(4);
  ASSERT_NE(g.e, nullptr) << g.err;
  const std::vector<float> simd = speak(g.e, 1);
  tv_cpu_avx2_override(0);
  const std::vector<float> portable = speak(g.e, 1);
  tv_cpu_avx2_override(1);
  ASSERT_EQ(simd.size(), portable.size());
  double worst = 0.0, peak = 0.0;
  for (size_t i = 0; i < simd.size(); i++) {
    worst = fmax(worst, fabs((double)simd[i] - portable[i]));
    peak = fmax(peak, fabs((double)simd[i]));
  }
  EXPECT_LT(worst, 1e-3 * fmax(peak, 1e-3)) << "largest difference " << worst << " at peak " << peak;
}

}  // namespace
