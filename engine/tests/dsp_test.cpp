// FFT against a direct DFT, STFT -> ISTFT reconstruction, the mel recipe's
// frame counts and floor, and the end fades.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <complex>
#include <random>
#include <string>
#include <vector>

#include "runtime/dsp.h"
#include "runtime/error.h"
#include "runtime/pool.h"

namespace {

using cplx = std::complex<long double>;

std::vector<cplx> direct_dft(const std::vector<double> &x, int n, bool inverse) {
  const long double pi = 3.141592653589793238462643383279502884L;
  std::vector<cplx> out(n), w(n);
  for (int j = 0; j < n; j++) {
    long double a = (inverse ? 2 : -2) * pi * j / n;
    w[j] = cplx(cosl(a), sinl(a));
  }
  for (int k = 0; k < n; k++) {
    cplx acc = 0;
    for (int j = 0; j < n; j++) acc += cplx(x[2 * j], x[2 * j + 1]) * w[(int64_t)k * j % n];
    out[k] = acc;
  }
  return out;
}

TEST(Fft, MatchesADirectDftBothWays) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int n : {2, 4, 8, 16, 128, 1024}) {
    tv_fft *p = tv_fft_create(n);
    ASSERT_NE(p, nullptr);
    for (int inverse = 0; inverse < 2; inverse++) {
      std::vector<double> x(2 * n);
      for (double &v : x) v = u(rng);
      std::vector<cplx> want = direct_dft(x, n, inverse);
      tv_fft_run(p, x.data(), inverse);
      double worst = 0;
      for (int k = 0; k < n; k++)
        worst = fmax(worst, (double)std::abs(cplx(x[2 * k], x[2 * k + 1]) - want[k]));
      EXPECT_LT(worst, 1e-12 * n) << "n " << n << " inverse " << inverse;
    }
    tv_fft_destroy(p);
  }
}

TEST(Fft, RefusesSizesThatAreNotPowersOfTwo) {
  for (int n : {0, 1, 12, -8, 1000, 3}) {
    EXPECT_EQ(tv_fft_create(n), nullptr) << n;
    EXPECT_EQ(std::string(tv_geterr()), "FFT size " + std::to_string(n) + " is not a power of two");
  }
  tv_fft *p = tv_fft_create(2);
  EXPECT_NE(p, nullptr);
  tv_fft_destroy(p);
  tv_fft_destroy(NULL);
}

TEST(Fft, RealTransformsRoundTripAndIgnoreEdgeImaginaryParts) {
  const int n = 64;
  tv_fft *p = tv_fft_create(n);
  std::vector<double> spec(2 * (n / 2 + 1)), scratch(2 * n);
  std::vector<float> x(n), y(n);
  // A unit DC bin gives n samples of 1 / n, whatever the imaginary parts of
  // bins 0 and n / 2 hold.
  spec[0] = 1;
  spec[1] = 5;
  spec[n + 1] = -3;
  tv_irfft(p, spec.data(), y.data(), scratch.data());
  for (float v : y) EXPECT_FLOAT_EQ(v, 1.0f / n);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1, 1);
  for (float &v : x) v = u(rng);
  tv_rfft(p, x.data(), spec.data(), scratch.data());
  EXPECT_NEAR(spec[1], 0.0, 1e-12);  // a real signal has real DC and Nyquist bins
  EXPECT_NEAR(spec[n + 1], 0.0, 1e-12);
  tv_irfft(p, spec.data(), y.data(), scratch.data());
  for (int i = 0; i < n; i++) EXPECT_NEAR(y[i], x[i], 1e-6) << i;
  tv_fft_destroy(p);
}

TEST(Hann, IsPeriodic) {
  float w[8];
  tv_hann_periodic(w, 8);
  const float want[8] = {0.0f, 0.14644661f, 0.5f, 0.85355339f, 1.0f, 0.85355339f, 0.5f, 0.14644661f};
  for (int i = 0; i < 8; i++) EXPECT_FLOAT_EQ(w[i], want[i]) << i;
}

// Analysis frames of z with the periodic Hann window: frame t covers
// z[t hop, t hop + n_fft), which is what a centred analysis of z shifted by
// n_fft / 2 gives; the inverse therefore returns z[n_fft / 2 ...].
struct Stft {
  std::vector<float> re, im;
  int32_t frames, nb;
};

Stft analyse(const std::vector<float> &z, int32_t frames, int32_t n_fft, int32_t hop) {
  tv_fft *p = tv_fft_create(n_fft);
  Stft s;
  s.frames = frames;
  s.nb = n_fft / 2 + 1;
  s.re.resize((size_t)frames * s.nb);
  s.im.resize((size_t)frames * s.nb);
  std::vector<float> w(n_fft), f(n_fft);
  std::vector<double> spec(2 * s.nb), scratch(2 * n_fft);
  tv_hann_periodic(w.data(), n_fft);
  for (int32_t t = 0; t < frames; t++) {
    for (int i = 0; i < n_fft; i++) f[i] = z[(size_t)t * hop + i] * w[i];
    tv_rfft(p, f.data(), spec.data(), scratch.data());
    for (int k = 0; k < s.nb; k++) {
      s.re[(size_t)t * s.nb + k] = (float)spec[2 * k];
      s.im[(size_t)t * s.nb + k] = (float)spec[2 * k + 1];
    }
  }
  tv_fft_destroy(p);
  return s;
}

TEST(Istft, ReconstructsARandomSignalOnAnyPool) {
  struct Case {
    int32_t n_fft, hop, frames;
  };
  const Case cases[] = {{1024, 256, 40}, {16, 4, 9}, {64, 48, 7}, {8, 7, 3}, {32, 16, 2}};
  tv_pool *pool = tv_pool_create(4);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.n_fft);
    std::mt19937 rng(c.n_fft);
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<float> z((size_t)(c.frames - 1) * c.hop + c.n_fft);
    for (float &v : z) v = u(rng);
    Stft s = analyse(z, c.frames, c.n_fft, c.hop);
    int64_t L = tv_istft_len(c.frames, c.hop);
    ASSERT_EQ(L, (int64_t)(c.frames - 1) * c.hop);
    std::vector<float> a(L), b(L);
    ASSERT_EQ(tv_istft(NULL, s.re.data(), s.im.data(), s.nb, c.frames, c.n_fft, c.hop, a.data()), 0);
    ASSERT_EQ(tv_istft(pool, s.re.data(), s.im.data(), s.nb, c.frames, c.n_fft, c.hop, b.data()), 0);
    EXPECT_EQ(memcmp(a.data(), b.data(), sizeof(float) * L), 0) << "pool changes the result";
    for (int64_t i = 0; i < L; i++) ASSERT_NEAR(a[i], z[i + c.n_fft / 2], 2e-5) << i;
  }
  tv_pool_destroy(pool);
}

TEST(Istft, RefusesAHopAtOrAboveTheFftSize) {
  std::vector<float> re(5 * 9, 1.0f), im(5 * 9, 0.0f), out(64, 42.0f);
  for (int32_t hop : {16, 17, 100, 0, -4}) {
    EXPECT_EQ(tv_istft(NULL, re.data(), im.data(), 9, 5, 16, hop, out.data()), -1) << hop;
    EXPECT_EQ(std::string(tv_geterr()),
              "istft: hop " + std::to_string(hop) + " must be between 1 and the FFT size 16 (exclusive)");
  }
  for (float v : out) EXPECT_EQ(v, 42.0f);
  EXPECT_EQ(tv_istft(NULL, re.data(), im.data(), 9, 5, 12, 4, out.data()), -1);
  EXPECT_STREQ(tv_geterr(), "FFT size 12 is not a power of two");
}

TEST(Istft, OneFrameWritesNothing) {
  std::vector<float> re(9, 1.0f), im(9, 0.0f);
  float out = 42.0f;
  EXPECT_EQ(tv_istft_len(1, 4), 0);
  EXPECT_EQ(tv_istft_len(0, 4), 0);
  EXPECT_EQ(tv_istft(NULL, re.data(), im.data(), 9, 1, 16, 4, &out), 0);
  EXPECT_EQ(out, 42.0f);
  // Frame counts are multiplied in 64 bits.
  EXPECT_EQ(tv_istft_len(INT64_C(3000000000), 256), INT64_C(2999999999) * 256);
}

TEST(Mel, FrameCountsFollowTheHop) {
  struct Case {
    size_t n;
    int32_t frames;
  };
  const Case cases[] = {{513, 3}, {767, 3}, {768, 4}, {24000, 94}, {24064, 95}};
  for (const Case &c : cases) {
    std::vector<float> x(c.n, 0.1f);
    float *mel = NULL;
    int32_t T = 0;
    ASSERT_EQ(tv_mel_spectrogram(x.data(), c.n, &mel, &T), 0) << c.n;
    EXPECT_EQ(T, c.frames) << c.n;
    tv_free(mel);
  }
}

TEST(Mel, RefusesClipsOfHalfAWindowOrLess) {
  std::vector<float> x(512);
  for (size_t n : {(size_t)0, (size_t)1, (size_t)512}) {
    float *mel = (float *)1;
    int32_t T = 7;
    EXPECT_EQ(tv_mel_spectrogram(x.data(), n, &mel, &T), -1);
    EXPECT_EQ(std::string(tv_geterr()), "mel: " + std::to_string(n) + " samples is too short (need > 512)");
    EXPECT_EQ(mel, nullptr);
    EXPECT_EQ(T, 0);
  }
}

TEST(Mel, SilenceSitsOnTheFloorAndASineLightsItsBand) {
  std::vector<float> x(4800, 0.0f);
  float *mel = NULL;
  int32_t T = 0;
  ASSERT_EQ(tv_mel_spectrogram(x.data(), x.size(), &mel, &T), 0);
  for (int32_t i = 0; i < T * TV_MEL_BINS; i++) ASSERT_EQ(mel[i], logf(1e-7f)) << i;
  tv_free(mel);
  // 1000 Hz is 1000 mel, 30.9 mel steps: band 30 is centred on step 31
  // (about 1003 Hz) and must be the loudest band of a middle frame.
  for (size_t i = 0; i < x.size(); i++) x[i] = 0.5f * (float)sin(2 * M_PI * 1000.0 * i / 24000.0);
  ASSERT_EQ(tv_mel_spectrogram(x.data(), x.size(), &mel, &T), 0);
  const float *row = mel + (T / 2) * TV_MEL_BINS;
  int best = 0;
  for (int b = 1; b < TV_MEL_BINS; b++)
    if (row[b] > row[best]) best = b;
  EXPECT_EQ(best, 30);
  EXPECT_GT(row[best], 3.0f);  // about 128 x 0.5 x filter weight
  tv_free(mel);
}

TEST(Fade, RampsBothEndsOnlyWhenThereIsRoom) {
  struct Case {
    size_t n, m;
    std::vector<float> want;
  };
  const Case cases[] = {
      {8, 3, {0, 0.5f, 1, 1, 1, 1, 0.5f, 0}},
      {7, 3, {0, 0.5f, 1, 1, 1, 0.5f, 0}},
      {6, 3, {1, 1, 1, 1, 1, 1}},  // n <= 2 m: untouched
      {6, 1, {1, 1, 1, 1, 1, 1}},  // m < 2: untouched
      {5, 2, {0, 1, 1, 1, 0}},
  };
  for (const Case &c : cases) {
    std::vector<float> x(c.n, 1.0f);
    tv_fade_ends(x.data(), c.n, c.m);
    EXPECT_EQ(x, c.want) << c.n << " " << c.m;
  }
}

}  // namespace
