#include "runtime/resample.h"

#include <math.h>
#include <stdint.h>
#include <string.h>

#include "runtime/error.h"

namespace {

const double PI = 3.14159265358979323846;
const double BETA = 13.36726;

// Modified Bessel function of the first kind, order 0, by its power series.
double bessel_i0(double x) {
  double q = (x / 2) * (x / 2), term = 1.0, sum = 1.0;
  for (int j = 1; j < 200; j++) {
    term *= q / ((double)j * j);
    sum += term;
    if (sum * 1e-17 > term) break;
  }
  return sum;
}

struct kaiser {
  double hw, fs, i0beta;
};

double tap(const kaiser &k, double t) {
  double r = t / k.hw;
  if (fabs(r) >= 1.0) return 0.0;
  double u = 2 * k.fs * t;
  double sinc = u == 0.0 ? 1.0 : sin(PI * u) / (PI * u);
  return 2 * k.fs * sinc * bessel_i0(BETA * sqrt(1.0 - r * r)) / k.i0beta;
}

int64_t gcd64(int64_t a, int64_t b) {
  while (b) {
    int64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

}  // namespace

size_t tv_resample_len(size_t n, int32_t in, int32_t out) {
  if (in <= 0 || out <= 0) return 0;
  const double v = floor((double)n / ((double)in / (double)out) + 0.5);
  // A length no size_t can hold saturates (the conversion would be undefined).
  return v >= 18446744073709551615.0 ? SIZE_MAX : (size_t)v;
}

int tv_resample(const float *x, size_t n, int32_t in, int32_t out, float **y, size_t *m) {
  *y = NULL;
  *m = 0;
  if (in <= 0 || out <= 0) {
    tv_seterr("resample: bad rates %d -> %d", in, out);
    return -1;
  }
  if (in == out) {
    float *c = (float *)tv_malloc(sizeof(float) * (n ? n : 1));
    if (!c) return -1;
    if (n) memcpy(c, x, sizeof(float) * n);
    *y = c;
    *m = n;
    return 0;
  }
  const size_t N = tv_resample_len(n, in, out);
  if (N > SIZE_MAX / (4 * sizeof(float))) {
    tv_seterr("resample: output too long (%zu samples at %d Hz)", n, in);
    return -1;
  }
  if (N == 0) {
    float *c = (float *)tv_malloc(sizeof(float));
    if (!c) return -1;
    *y = c;
    return 0;
  }
  const int64_t g = gcd64(in, out), L = out / g, M = in / g;
  double fc = 0.5;
  if (out < in) fc *= (double)out / (double)in;
  kaiser k;
  k.hw = 61.025 / ((1 - 0.913) * fc * 14.36);
  k.fs = fc * 0.5 * 1.913;
  k.i0beta = bessel_i0(BETA);
  const int64_t K = (int64_t)ceil(k.hw), taps = 2 * K;
  // The padded input: K zeros, the signal, then enough zeros that the last
  // output's window stays inside (K + M / L, plus one for the rounding of N).
  const size_t plen = (size_t)K + n + (size_t)K + (size_t)(M / L) + 2;
  int rc = -1;
  float *pad = (float *)tv_calloc(sizeof(float) * plen);
  float *res = (float *)tv_malloc(sizeof(float) * N);
  float *table = NULL;
  double *dense = NULL;
  float *row = NULL;
  size_t dense_len = 0;
  const bool phased = L * taps <= 2097152;
  if (!pad || !res) goto done;
  memcpy(pad + K, x, sizeof(float) * n);
  if (phased) {
    table = (float *)tv_malloc(sizeof(float) * (size_t)(L * taps));
    if (!table) goto done;
    for (int64_t ph = 0; ph < L; ph++)
      for (int64_t j = 0; j < taps; j++)
        table[ph * taps + j] = (float)tap(k, (double)ph / (double)L + (double)(K - 1 - j));
  } else {
    dense_len = (size_t)floor(4096 * k.hw) + 3;
    dense = (double *)tv_malloc(sizeof(double) * dense_len);
    row = (float *)tv_malloc(sizeof(float) * (size_t)taps);
    if (!dense || !row) goto done;
    for (size_t i = 0; i < dense_len; i++) dense[i] = tap(k, (double)i / 4096.0);
  }
  {
    for (size_t i = 0; i < N; i++) {
      const int64_t p = (int64_t)i * M, base = p / L, phase = p % L;
      const float *h;
      if (phased) {
        h = table + phase * taps;
      } else {
        for (int64_t j = 0; j < taps; j++) {
          double t = fabs((double)phase / (double)L + (double)(K - 1 - j)) * 4096.0;
          size_t at = (size_t)t;
          double fr = t - (double)at;
          row[j] = at + 1 < dense_len ? (float)(dense[at] + (dense[at + 1] - dense[at]) * fr) : 0.0f;
        }
        h = row;
      }
      const float *src = pad + base + 1;
      float acc = 0.0f;
      const int64_t avail = (int64_t)plen - (base + 1);
      const int64_t cnt = taps < avail ? taps : avail;
      for (int64_t j = 0; j < cnt; j++) acc += src[j] * h[j];
      res[i] = acc;
    }
  }
  *y = res;
  *m = N;
  res = NULL;
  rc = 0;
done:
  tv_free(pad);
  tv_free(res);
  tv_free(table);
  tv_free(dense);
  tv_free(row);
  return rc;
}
