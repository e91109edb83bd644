// Double-precision reference computations for checking the float kernels.
// Deliberately naive: one formula per output element, no blocking.
#pragma once

#include <math.h>
#include <stdint.h>

#include <limits>
#include <vector>

namespace ref {

// A reference value and the sum of the magnitudes that went into it, so a
// test can bound rounding error relative to what was summed.
struct Val {
  double v = 0;
  double mag = 0;
};

// Y[i][j] = sum_k A[i][k] * B(j, k) where b(j, k) reads op(B).
template <class Bf>
std::vector<Val> matmul(int M, int N, int K, const float *A, int64_t lda, Bf b) {
  std::vector<Val> Y((size_t)M * N);
  for (int i = 0; i < M; i++)
    for (int j = 0; j < N; j++) {
      Val &y = Y[(size_t)i * N + j];
      for (int k = 0; k < K; k++) {
        double p = (double)A[i * lda + k] * b(j, k);
        y.v += p;
        y.mag += fabs(p);
      }
    }
  return Y;
}

// Convolution of X (T x Cin, stride ldx) with W (Cout x Cin*k, column c*k + j).
inline std::vector<Val> conv1d(const float *X, int T, int Cin, int64_t ldx, const float *W, int Cout, int k,
                               int stride, int dilation, int padl, int padr, const float *bias, int *L) {
  long span = (long)T + padl + padr - (long)(k - 1) * dilation - 1;
  *L = span < 0 ? 0 : (int)(span / stride + 1);
  std::vector<Val> Y((size_t)*L * Cout);
  for (int t = 0; t < *L; t++)
    for (int o = 0; o < Cout; o++) {
      Val &y = Y[(size_t)t * Cout + o];
      y.v = bias ? bias[o] : 0;
      y.mag = fabs(y.v);
      for (int c = 0; c < Cin; c++)
        for (int j = 0; j < k; j++) {
          long src = (long)t * stride - padl + (long)j * dilation;
          if (src < 0 || src >= T) continue;
          double p = (double)X[src * ldx + c] * W[(size_t)o * Cin * k + (size_t)c * k + j];
          y.v += p;
          y.mag += fabs(p);
        }
    }
  return Y;
}

inline double gelu(double x) { return 0.5 * x * (1 + erf(x / sqrt(2.0))); }

// Multi-head attention; a query whose keys are all masked gives NaN.
inline std::vector<double> attention(const float *Q, int64_t ldq, const float *K, int64_t ldk, const float *V,
                                     int64_t ldv, int Tq, int Tk, int H, int D, const uint8_t *mask,
                                     const float *bias, double scale) {
  std::vector<double> O((size_t)Tq * H * D);
  std::vector<double> s(Tk);
  for (int h = 0; h < H; h++)
    for (int q = 0; q < Tq; q++) {
      double mx = -INFINITY;
      for (int k = 0; k < Tk; k++) {
        double d = 0;
        for (int i = 0; i < D; i++) d += (double)Q[q * ldq + h * D + i] * K[k * ldk + h * D + i];
        d = d * scale;
        if (bias) d += bias[((size_t)h * Tq + q) * Tk + k];
        if (mask && !mask[k]) d = -INFINITY;
        s[k] = d;
        if (d > mx) mx = d;
      }
      double sum = 0;
      for (int k = 0; k < Tk; k++) sum += (s[k] = mx == -INFINITY ? 0 : exp(s[k] - mx));
      for (int i = 0; i < D; i++) {
        double o = 0;
        for (int k = 0; k < Tk; k++) o += s[k] * V[k * ldv + h * D + i];
        O[((size_t)q * H + h) * D + i] = mx == -INFINITY ? NAN : o / sum;
      }
    }
  return O;
}

}  // namespace ref
