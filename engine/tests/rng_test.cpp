// Seeded normal noise: the Mersenne Twister against the standard library's,
// and tv_randn_torch bit for bit against the golden vectors of
// data/rng/make-randn.py (an independent reference of the tensor library's
// generator), on both block-transform paths.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/kernels.h"
#include "runtime/kernels_simd.h"
#include "runtime/rng.h"
#include "TestPaths.h"

namespace {

uint32_t bits(float f) {
  uint32_t u;
  memcpy(&u, &f, sizeof u);
  return u;
}

float from_bits(uint32_t u) {
  float f;
  memcpy(&f, &u, sizeof f);
  return f;
}

std::vector<float> randn(uint64_t seed, size_t n) {
  std::vector<float> v(n + 1, 12345.0f);  // one guard value past the end
  tv_randn_torch(seed, v.data(), n);
  EXPECT_EQ(v[n], 12345.0f) << "wrote past the end";
  v.pop_back();
  return v;
}

struct GoldenLine {
  uint64_t seed;
  size_t n;
  std::vector<uint32_t> bits;
};

std::vector<GoldenLine> golden() {
  std::ifstream in(tovan::test::testData("rng/randn.txt"));
  std::vector<GoldenLine> out;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ss(line);
    GoldenLine g;
    ss >> g.seed >> g.n;
    std::string h;
    while (ss >> h) g.bits.push_back((uint32_t)strtoul(h.c_str(), NULL, 16));
    out.push_back(g);
  }
  return out;
}

// Restores the processor's choice of path when a test forced one.
struct PathGuard {
  ~PathGuard() { tv_cpu_avx2_override(1); }
};

TEST(Rng, TwisterMatchesTheStandardGenerator) {
  for (uint32_t seed : {0u, 1u, 5489u, 0xFFFFFFFFu}) {
    tv_mt mt;
    tv_mt_seed(&mt, seed);
    std::mt19937 ref(seed);
    // 2000 words cross three regenerations of the state.
    for (int i = 0; i < 2000; i++) ASSERT_EQ(tv_mt_next(&mt), ref()) << "seed " << seed << " word " << i;
  }
  // Only the low 32 bits of the seed count.
  tv_mt a, b;
  tv_mt_seed(&a, 7);
  tv_mt_seed(&b, 7 + (5ull << 32));
  for (int i = 0; i < 700; i++) ASSERT_EQ(tv_mt_next(&a), tv_mt_next(&b));
}

TEST(Rng, RandnMatchesTheGoldenVectorsOnBothPaths) {
  const std::vector<GoldenLine> lines = golden();
  ASSERT_GE(lines.size(), 50u) << "golden file missing";
  PathGuard guard;
  for (int path = 0; path < 2; path++) {
    tv_cpu_avx2_override(path);
    if (path == 1 && !tv_cpu_avx2()) continue;
    for (const GoldenLine &g : lines) {
      ASSERT_EQ(g.bits.size(), g.n);
      const std::vector<float> v = randn(g.seed, g.n);
      for (size_t i = 0; i < g.n; i++)
        ASSERT_EQ(bits(v[i]), g.bits[i]) << "path " << path << " seed " << g.seed << " n " << g.n << " value " << i
                                         << ": " << v[i] << " vs " << from_bits(g.bits[i]);
    }
  }
}

// Values the tensor library is widely documented to print for seed 0.
TEST(Rng, KnownValuesOfSeedZero) {
  const float three[] = {1.5410f, -0.2934f, -2.1788f};
  const float sixteen[] = {-1.1258f, -1.1524f, -0.2506f, -0.4339f, 0.8487f, 0.6920f, -0.3160f, -2.1152f,
                           0.3223f,  -1.2633f, 0.3500f,  0.3081f,  0.1198f, 1.2377f, 1.1168f,  -0.2473f};
  std::vector<float> v = randn(0, 3);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(v[i], three[i], 6e-5f) << i;
  v = randn(0, 16);
  for (int i = 0; i < 16; i++) EXPECT_NEAR(v[i], sixteen[i], 6e-5f) << i;
}

TEST(Rng, DrawStructure) {
  // The same seed gives the same values; bits above 31 do not count.
  EXPECT_EQ(randn(42, 100), randn(42, 100));
  EXPECT_EQ(randn(42, 100), randn(42 + (1ull << 32), 100));
  EXPECT_EQ(randn(3, 9), randn(3 + (1ull << 40), 9));
  EXPECT_NE(randn(42, 100), randn(43, 100));
  // n = 17: value 0 is the first block's; values 1..16 are one block made
  // from the 16 uniform floats drawn after the first 17.
  const std::vector<float> a16 = randn(5, 16), a17 = randn(5, 17);
  EXPECT_EQ(bits(a17[0]), bits(a16[0]));
  tv_mt mt;
  tv_mt_seed(&mt, 5);
  float u[33];
  for (float &x : u) x = (float)(tv_mt_next(&mt) & 0xFFFFFF) * 0x1p-24f;
  tv_randn_block16_portable(u + 17);
  for (int i = 1; i < 17; i++) EXPECT_EQ(bits(a17[i]), bits(u[16 + i])) << i;
  // Fewer than 16 values come from the double-precision pairs: not a prefix
  // of a longer draw; an odd count drops the last sine.
  const std::vector<float> a15 = randn(5, 15), a14 = randn(5, 14);
  EXPECT_NE(std::vector<float>(a16.begin(), a16.begin() + 15), a15);
  EXPECT_EQ(std::vector<float>(a15.begin(), a15.begin() + 14), a14);
  // Nothing is written for n = 0.
  float guard = 7.0f;
  tv_randn_torch(1, &guard, 0);
  EXPECT_EQ(guard, 7.0f);
}

TEST(Rng, BlockPathsAgreeOnEveryKindOfInput) {
  if (!tv_cpu_avx2()) GTEST_SKIP() << "no AVX2 on this processor";
  // Uniform inputs from the twister plus the edges: d = 0 (u1 = 1, a zero
  // radius), the largest uniform below 1, and u2 at the octant boundaries of
  // the sine and cosine reduction.
  std::vector<float> in;
  tv_mt mt;
  tv_mt_seed(&mt, 99);
  for (int i = 0; i < 16 * 4096; i++) in.push_back((float)(tv_mt_next(&mt) & 0xFFFFFF) * 0x1p-24f);
  const float edges[] = {0.0f, 0x1p-24f, 1.0f - 0x1p-24f, 0.125f, 0.25f, 0.375f, 0.5f, 0.625f, 0.75f, 0.875f};
  for (float a : edges)
    for (float b : edges) {
      float blk[16];
      for (int j = 0; j < 8; j++) blk[j] = a, blk[j + 8] = b;
      in.insert(in.end(), blk, blk + 16);
    }
  for (size_t i = 0; i < in.size(); i += 16) {
    float p[16], v[16];
    memcpy(p, &in[i], sizeof p);
    memcpy(v, &in[i], sizeof v);
    tv_randn_block16_portable(p);
    tv_randn_block16_avx2(v);
    for (int j = 0; j < 16; j++) {
      ASSERT_EQ(bits(p[j]), bits(v[j])) << "block " << i / 16 << " lane " << j;
      ASSERT_TRUE(isfinite(p[j]));
      ASSERT_NE(bits(p[j]), 0x80000000u) << "a negative zero";
    }
  }
}

}  // namespace
