// The ramps at both ends of every streamed segment: a segment of more than
// 480 samples has its first and last 240 samples scaled by k / 239 (k
// counted from its end), a shorter one is handed over as rendered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "models.h"
#include "runtime/dsp.h"
#include "tovantts.h"

namespace {

struct Chunks {
  std::vector<std::vector<float>> x;
  static int32_t cb(const float *s, int64_t n, const tovantts_chunk_info *, void *user) {
    ((Chunks *)user)->x.emplace_back(s, s + n);
    return 0;
  }
};

// What the segment renders to: whole synthesis without markup is the same
// rendering, never faded.
std::vector<float> rendered(tovantts_engine *e, const char *text, float pace) {
  tovantts_options o;
  tovantts_default_options(&o);
  o.pace = pace;
  float *p = NULL;
  int64_t n = 0;
  char err[512] = "";
  EXPECT_EQ(tovantts_synthesize(e, text, &o, &p, &n, err, sizeof err), 0) << err;
  std::vector<float> x(p, p + n);
  tovantts_free(p);
  return x;
}

std::vector<float> streamed(tovantts_engine *e, const char *text, float pace) {
  tovantts_options o;
  tovantts_default_options(&o);
  o.pace = pace;
  Chunks c;
  char err[512] = "";
  EXPECT_EQ(tovantts_stream_ex(e, text, &o, Chunks::cb, &c, err, sizeof err), 0) << err;
  EXPECT_EQ(c.x.size(), 1u) << text;
  return c.x.empty() ? std::vector<float>() : c.x[0];
}

TEST(Fade, StreamedSegmentsAreRampedBy240SamplesAtEachEnd) {
  char err[512] = "";
  tovantts_engine *e = tovantts_create(model_dir().c_str(), 1, err, sizeof err);
  ASSERT_NE(e, nullptr) << err;
  // The vocoder makes 256 samples a frame and a segment has at least three
  // frames, so the shortest segment is 512 samples: both ramps with 32
  // samples between them. Any other ramp length or limit shows there.
  const char *texts[] = {"a", "I", "oh", "no", "yes", "hello", "Hello there."};
  const float paces[] = {4.0f, 3.0f, 2.0f, 1.0f};
  int shortest = 0, longer = 0;
  for (const char *t : texts) {
    for (float pace : paces) {
      SCOPED_TRACE(std::string(t) + " at pace " + std::to_string(pace));
      const std::vector<float> raw = rendered(e, t, pace), got = streamed(e, t, pace);
      ASSERT_EQ(got.size(), raw.size());
      if (raw.empty()) continue;
      const size_t n = raw.size();
      ASSERT_GT(n, 480u);
      (n == 512 ? shortest : longer)++;
      for (size_t i = 0; i < n; i++) {
        const size_t k = i < 240 ? i : n - 1 - i < 240 ? n - 1 - i : 240;
        const float want = k < 240 ? (float)(raw[i] * ((double)k / 239.0)) : raw[i];
        ASSERT_EQ(got[i], want) << "sample " << i << " of " << n;
      }
    }
  }
  EXPECT_GT(shortest, 0) << "no segment of 512 samples among the short words";
  EXPECT_GT(longer, 0);
  tovantts_destroy(e);
}

TEST(Fade, LimitLiesBetween480And481Samples) {
  // The limit itself, on the ramp the segments use: 480 samples would
  // leave no sample unramped, so they stay as they are.
  for (size_t n : {480u, 481u}) {
    std::vector<float> x(n, 1.0f);
    tv_fade_ends(x.data(), n, 240);
    if (n == 480) {
      EXPECT_EQ(x, std::vector<float>(n, 1.0f));
    } else {
      EXPECT_EQ(x[0], 0.0f);
      EXPECT_EQ(x[239], 1.0f);
      EXPECT_EQ(x[240], 1.0f);
      EXPECT_EQ(x[241], 1.0f);
      EXPECT_EQ(x[1], (float)(1.0 / 239.0));
      EXPECT_EQ(x[480], 0.0f);
      EXPECT_EQ(x[479], (float)(1.0 / 239.0));
    }
  }
}

}  // namespace
