// The golden outputs of data/fullnets/make-golden.py (an independent float64
// computation of the full model's networks from the tiny-full model's
// weights) and the model directory they were made from.
#pragma once

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "models.h"
#include "runtime/error.h"
#include "runtime/json.h"
#include "TestPaths.h"
#include "runtime/weights.h"

inline std::string fullnets_data(const char *name) {
  return (tovan::test::testData("fullnets") / name).string();
}

/* FNV-1a 64 over the weight files the script reads, in its order. */
inline std::string fullnets_fingerprint(const std::string &dir) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (const char *f : {"refiner.safetensors", "prompted_flow.safetensors", "prompt_adapter.safetensors",
                        "native/wavlm_sv.safetensors", "native/minilm.safetensors", "native/minilm_vocab.txt"}) {
    std::ifstream in(dir + "/" + f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    for (unsigned char c : ss.str()) h = (h ^ c) * 0x100000001B3ull;
  }
  char buf[17];
  snprintf(buf, sizeof buf, "%016llx", (unsigned long long)h);
  return buf;
}

struct FullGolden {
  tv_weights *w;
  FullGolden() : w(tv_weights_open(fullnets_data("golden.safetensors").c_str())) {}
  ~FullGolden() { tv_weights_close(w); }
  FullGolden(const FullGolden &) = delete;
  FullGolden &operator=(const FullGolden &) = delete;
  bool has(const char *name) const { return w && tv_weights_has(w, name); }
  std::vector<float> f(const std::string &name) {
    const float *p = tv_weights_f32(w, name.c_str(), 0);
    EXPECT_NE(p, nullptr) << tv_geterr();
    uint64_t dims[TV_MAX_DIMS];
    int nd = tv_weights_shape(w, name.c_str(), dims);
    size_t n = 1;
    for (int i = 0; i < nd; i++) n *= dims[i];
    return p ? std::vector<float>(p, p + n) : std::vector<float>();
  }
  std::vector<int32_t> i(const std::string &name) {
    std::vector<float> v = f(name);
    return std::vector<int32_t>(v.begin(), v.end());
  }
  std::string fingerprint() const {
    const char *fp = w ? tv_file_metadata(tv_weights_file(w), "fingerprint") : NULL;
    return fp ? fp : "";
  }
};

/* The tiny-full model's config.json, parsed. */
struct FullConfig {
  tv_json *root = NULL;
  FullConfig() {
    char *text = NULL;
    size_t len = 0;
    if (tv_read_file((model_dir("tiny-full") + "/config.json").c_str(), &text, &len) == 0)
      root = tv_json_parse(text, len);
    tv_free(text);
  }
  ~FullConfig() { tv_json_free(root); }
  FullConfig(const FullConfig &) = delete;
  FullConfig &operator=(const FullConfig &) = delete;
  const tv_json *get(const char *a, const char *b = NULL) const {
    const tv_json *n = tv_json_get(root, a);
    return b ? tv_json_get(n, b) : n;
  }
};

/* Largest |a - b| / (1 + |b|) over both vectors (sizes must agree). */
inline double max_rel_err(const std::vector<float> &a, const std::vector<float> &b) {
  EXPECT_EQ(a.size(), b.size());
  double m = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); i++) {
    const double e = fabs((double)a[i] - b[i]) / (1.0 + fabs((double)b[i]));
    if (!(e <= m)) m = e;  // NaN wins
  }
  return m;
}

/* Fails the calling test when the golden file was made from other weights. */
#define FULLNETS_CHECK_GOLDEN(g)                                                                  \
  do {                                                                                              \
    ASSERT_NE((g).w, nullptr) << tv_geterr();                                                       \
    const std::string fp_ = fullnets_fingerprint(model_dir("tiny-full"));                           \
    ASSERT_EQ((g).fingerprint(), fp_) << "the generator changed: rerun data/fullnets/make-golden.py"; \
  } while (0)
