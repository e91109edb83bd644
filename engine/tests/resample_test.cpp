// The resampler's lengths, its filter against its definition, its pass band
// and stop band, and its refusals.
#include <gtest/gtest.h>
#include <math.h>
#include <stdint.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "runtime/error.h"
#include "runtime/resample.h"

namespace {

std::vector<float> sine(size_t n, double freq, int32_t rate, double amp = 0.5) {
  std::vector<float> x(n);
  for (size_t i = 0; i < n; i++) x[i] = (float)(amp * sin(2 * M_PI * freq * (double)i / rate));
  return x;
}

std::vector<float> run(const std::vector<float> &x, int32_t in, int32_t out) {
  float *y = NULL;
  size_t m = 0;
  EXPECT_EQ(tv_resample(x.data(), x.size(), in, out, &y, &m), 0) << tv_geterr();
  EXPECT_NE(y, nullptr);
  std::vector<float> r(y, y + m);
  tv_free(y);
  return r;
}

// Amplitude of a sine of the given frequency in y, by correlation over the
// middle half (away from the filter's run-in at both ends).
double amplitude(const std::vector<float> &y, double freq, int32_t rate) {
  size_t a = y.size() / 4, b = 3 * y.size() / 4;
  double s = 0, c = 0;
  for (size_t i = a; i < b; i++) {
    double ph = 2 * M_PI * freq * (double)i / rate;
    s += y[i] * sin(ph);
    c += y[i] * cos(ph);
  }
  return 2 * sqrt(s * s + c * c) / (double)(b - a);
}

TEST(Resample, LengthsRoundToNearest) {
  struct Case {
    size_t n;
    int32_t in, out;
    size_t want;
  };
  const Case cases[] = {
      {1001, 48000, 24000, 501}, {1000, 48000, 24000, 500}, {3, 24000, 16000, 2},
      {1000, 16000, 24000, 1500}, {1, 48000, 8000, 0},      {441, 44100, 24000, 240},
      {0, 8000, 24000, 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(tv_resample_len(c.n, c.in, c.out), c.want) << c.n << " " << c.in << "->" << c.out;
    std::vector<float> x(c.n, 0.25f);
    EXPECT_EQ(run(x, c.in, c.out).size(), c.want);
  }
}

TEST(Resample, KeepsThePassBandAndRemovesTheStopBand) {
  struct Case {
    int32_t in, out;
    double freq;
    bool pass;
  };
  const Case cases[] = {
      {48000, 24000, 1000, true},  {48000, 24000, 10000, true}, {48000, 24000, 14000, false},
      {48000, 24000, 20000, false}, {24000, 16000, 7000, true},  {24000, 16000, 9000, false},
      {16000, 24000, 7000, true},  {44100, 24000, 10500, true}, {44100, 24000, 13000, false},
      {22050, 24000, 10000, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.in) + "->" + std::to_string(c.out) + " at " + std::to_string(c.freq));
    std::vector<float> y = run(sine(8000, c.freq, c.in), c.in, c.out);
    if (c.pass) {
      EXPECT_NEAR(amplitude(y, c.freq, c.out), 0.5, 0.005);
    } else {
      double peak = 0;
      for (size_t i = y.size() / 4; i < 3 * y.size() / 4; i++) peak = fmax(peak, fabs(y[i]));
      EXPECT_LT(peak, 0.5 * 1e-3);  // at least 60 dB down
    }
  }
}

TEST(Resample, ConstantStaysConstantAwayFromTheEnds) {
  for (int32_t out : {16000, 22050, 48000, 8000}) {
    std::vector<float> y = run(std::vector<float>(6000, 0.3f), 24000, out);
    for (size_t i = y.size() / 4; i < 3 * y.size() / 4; i++) ASSERT_NEAR(y[i], 0.3f, 1e-3) << out << " " << i;
  }
}

TEST(Resample, UsesTheDenseTableForManyPhases) {
  // 24000 -> 48000 uses the per-phase table; 24000 -> 23999 has 23999 phases,
  // too many to tabulate, and goes through the interpolated dense table.
  for (int32_t out : {48000, 23999}) {
    std::vector<float> y = run(sine(6000, 3000, 24000), 24000, out);
    EXPECT_NEAR(amplitude(y, 3000, out), 0.5, 0.005) << out;
  }
}

// The filter's definition in double precision: a Kaiser-windowed sinc whose
// pass band ends at 0.913 of the cut-off and whose stop band starts there,
// with the Bessel function from the standard library.
struct Reference {
  double fc, hw, fs;
  int64_t K;
  Reference(int32_t in, int32_t out) {
    fc = out < in ? 0.5 * out / in : 0.5;
    hw = 61.025 / ((1 - 0.913) * fc * 14.36);
    K = (int64_t)ceil(hw);
    fs = fc * 0.5 * 1.913;
  }
  double h(double t) const {
    if (fabs(t / hw) >= 1) return 0;
    const double u = 2 * fs * t, sinc = u == 0 ? 1 : sin(M_PI * u) / (M_PI * u);
    const double beta = 13.36726;
    return 2 * fs * sinc * std::cyl_bessel_i(0.0, beta * sqrt(1 - (t / hw) * (t / hw))) / std::cyl_bessel_i(0.0, beta);
  }
  // Output i: the input samples nearest its position i x in / out, weighted
  // by h at their distance from it (samples outside the input are zero).
  std::vector<double> apply(const std::vector<float> &x, int32_t in, int32_t out, size_t n_out) const {
    const int64_t g = std::gcd(in, out), L = out / g, M = in / g;
    std::vector<double> y(n_out);
    for (size_t i = 0; i < n_out; i++) {
      const int64_t p = (int64_t)i * M, base = p / L;
      const double pos = (double)p / (double)L;
      double sum = 0;
      for (int64_t k = base + 1 - K; k <= base + K; k++)
        if (k >= 0 && k < (int64_t)x.size()) sum += x[(size_t)k] * h(pos - (double)k);
      y[i] = sum;
    }
    return y;
  }
};

TEST(Resample, FollowsTheWindowedSincDefinition) {
  struct Case {
    int32_t in, out;
    int64_t taps;  // K on each side
  };
  const Case cases[] = {
      {48000, 24000, 196}, {24000, 16000, 147}, {16000, 24000, 98},
      {44100, 24000, 180}, {22050, 24000, 98},  {24000, 23999, 98},  // the last through the dense table
  };
  uint64_t s = 42;
  std::vector<float> x(700);
  for (float &v : x) {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    v = (float)((double)(s >> 40) / (double)(1 << 24) - 0.5);
  }
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.in) + "->" + std::to_string(c.out));
    const Reference ref(c.in, c.out);
    EXPECT_EQ(ref.K, c.taps);
    const std::vector<float> y = run(x, c.in, c.out);
    ASSERT_EQ(y.size(), tv_resample_len(x.size(), c.in, c.out));
    const std::vector<double> want = ref.apply(x, c.in, c.out, y.size());
    double worst = 0;
    size_t at = 0;
    for (size_t i = 0; i < y.size(); i++)
      if (fabs(y[i] - want[i]) > worst) worst = fabs(y[i] - want[i]), at = i;
    EXPECT_LT(worst, 2e-5) << "at output " << at << ": " << y[at] << " against " << want[at];
  }
}

TEST(Resample, RefusesAnOutputNoBufferCanHold) {
  // The input is never read: the length is refused first.
  float x = 0;
  float *y = (float *)1;
  size_t m = 3;
  EXPECT_EQ(tv_resample_len(SIZE_MAX / 2, 1, 2147483647), SIZE_MAX);
  EXPECT_EQ(tv_resample(&x, SIZE_MAX / 2, 1, 2147483647, &y, &m), -1);
  EXPECT_EQ(std::string(tv_geterr()), "resample: output too long (" + std::to_string(SIZE_MAX / 2) + " samples at 1 Hz)");
  EXPECT_EQ(y, nullptr);
  EXPECT_EQ(m, 0u);
}

TEST(Resample, EqualRatesCopyAndBadRatesFail) {
  std::vector<float> x = {1, 2, 3};
  EXPECT_EQ(run(x, 24000, 24000), x);
  for (auto rates : {std::pair<int, int>{0, 24000}, {24000, -1}, {-5, 0}}) {
    float *y = (float *)1;
    size_t m = 9;
    EXPECT_EQ(tv_resample(x.data(), x.size(), rates.first, rates.second, &y, &m), -1);
    EXPECT_EQ(std::string(tv_geterr()),
              "resample: bad rates " + std::to_string(rates.first) + " -> " + std::to_string(rates.second));
    EXPECT_EQ(y, nullptr);
    EXPECT_EQ(m, 0u);
  }
}

}  // namespace
