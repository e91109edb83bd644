// The C11 side of the public header (c_header.c) calls through it.
#include <gtest/gtest.h>

#include "models.h"
#include "tovantts.h"

extern "C" int64_t tovantts_c_roundtrip(const char *model_dir, const char *text, char *err, size_t errlen);

TEST(CHeader, SynthesisesAndStreamsFromC) {
  char err[512] = "";
  const int64_t n = tovantts_c_roundtrip(model_dir().c_str(), "Spoken from C. Twice over.", err, sizeof err);
  EXPECT_GT(n, 0) << err;
  EXPECT_EQ(tovantts_c_roundtrip("/nonexistent", "x", err, sizeof err), -1);
  EXPECT_STREQ(err, "cannot open /nonexistent/config.json");
}
