#include "runtime/dsp.h"

#include <math.h>
#include <string.h>

#include "runtime/error.h"
#include "runtime/pool.h"

static const double PI = 3.14159265358979323846;

tv_fft *tv_fft_create(int32_t n) {
  if (n < 2 || (n & (n - 1)) != 0) {
    tv_seterr("FFT size %d is not a power of two", n);
    return NULL;
  }
  tv_fft *p = (tv_fft *)tv_calloc(sizeof(tv_fft));
  if (!p) return NULL;
  p->n = n;
  p->twiddle = (double *)tv_malloc(sizeof(double) * (size_t)n);
  p->bitrev = (uint32_t *)tv_malloc(sizeof(uint32_t) * (size_t)n);
  if (!p->twiddle || !p->bitrev) {
    tv_fft_destroy(p);
    return NULL;
  }
  for (int32_t k = 0; k < n / 2; k++) {
    double a = 2.0 * PI * k / n;
    p->twiddle[2 * k] = cos(a);
    p->twiddle[2 * k + 1] = -sin(a);
  }
  int bits = 0;
  while ((1 << bits) < n) bits++;
  for (int32_t i = 0; i < n; i++) {
    uint32_t r = 0;
    for (int b = 0; b < bits; b++)
      if (i & (1 << b)) r |= 1u << (bits - 1 - b);
    p->bitrev[i] = r;
  }
  return p;
}

void tv_fft_destroy(tv_fft *p) {
  if (!p) return;
  tv_free(p->twiddle);
  tv_free(p->bitrev);
  tv_free(p);
}

void tv_fft_run(const tv_fft *p, double *x, int inverse) {
  const int32_t n = p->n;
  for (int32_t i = 0; i < n; i++) {
    uint32_t j = p->bitrev[i];
    if ((uint32_t)i < j) {
      double re = x[2 * i], im = x[2 * i + 1];
      x[2 * i] = x[2 * j];
      x[2 * i + 1] = x[2 * j + 1];
      x[2 * j] = re;
      x[2 * j + 1] = im;
    }
  }
  const double sign = inverse ? -1.0 : 1.0;
  for (int32_t span = 2; span <= n; span *= 2) {
    const int32_t half = span / 2, step = n / span;
    for (int32_t b = 0; b < n; b += span) {
      for (int32_t k = 0; k < half; k++) {
        double wr = p->twiddle[2 * k * step], wi = sign * p->twiddle[2 * k * step + 1];
        double *a = x + 2 * (b + k), *c = x + 2 * (b + k + half);
        double tr = wr * c[0] - wi * c[1];
        double ti = wr * c[1] + wi * c[0];
        c[0] = a[0] - tr;
        c[1] = a[1] - ti;
        a[0] += tr;
        a[1] += ti;
      }
    }
  }
}

void tv_rfft(const tv_fft *p, const float *x, double *out, double *scratch) {
  const int32_t n = p->n;
  for (int32_t i = 0; i < n; i++) {
    scratch[2 * i] = x[i];
    scratch[2 * i + 1] = 0.0;
  }
  tv_fft_run(p, scratch, 0);
  memcpy(out, scratch, sizeof(double) * 2 * (size_t)(n / 2 + 1));
}

void tv_irfft(const tv_fft *p, const double *in, float *out, double *s) {
  const int32_t n = p->n, h = n / 2;
  s[0] = in[0];
  s[1] = 0.0;
  s[2 * h] = in[2 * h];
  s[2 * h + 1] = 0.0;
  for (int32_t k = 1; k < h; k++) {
    s[2 * k] = in[2 * k];
    s[2 * k + 1] = in[2 * k + 1];
    s[2 * (n - k)] = in[2 * k];
    s[2 * (n - k) + 1] = -in[2 * k + 1];
  }
  tv_fft_run(p, s, 1);
  for (int32_t i = 0; i < n; i++) out[i] = (float)(s[2 * i] / n);
}

void tv_hann_periodic(float *w, int32_t n) {
  for (int32_t i = 0; i < n; i++) w[i] = (float)(0.5 - 0.5 * cos(2.0 * PI * i / n));
}

int64_t tv_istft_len(int64_t frames, int32_t hop) {
  if (frames < 2 || hop < 1) return 0;
  return (frames - 1) * (int64_t)hop;
}

namespace {

struct istft_job {
  const tv_fft *plan;
  const float *re, *im, *win;
  int64_t stride;
  int32_t frames, n_fft;
  float *frame_buf;  // frames x n_fft windowed frames
  double *scratch;   // per item: (n_fft / 2 + 1) + n_fft complex doubles
  size_t scratch_per_item;
};

void istft_item(void *arg, int32_t item, int32_t items) {
  istft_job *j = (istft_job *)arg;
  const int32_t nb = j->n_fft / 2 + 1;
  int64_t t0 = (int64_t)item * j->frames / items, t1 = (int64_t)(item + 1) * j->frames / items;
  double *bins = j->scratch + (size_t)item * j->scratch_per_item;
  double *work = bins + 2 * (size_t)nb;
  for (int64_t t = t0; t < t1; t++) {
    const float *re = j->re + t * j->stride, *im = j->im + t * j->stride;
    for (int32_t k = 0; k < nb; k++) {
      bins[2 * k] = re[k];
      bins[2 * k + 1] = im[k];
    }
    float *f = j->frame_buf + (size_t)t * j->n_fft;
    tv_irfft(j->plan, bins, f, work);
    for (int32_t i = 0; i < j->n_fft; i++) f[i] *= j->win[i];
  }
}

}  // namespace

int tv_istft(tv_pool *pool, const float *re, const float *im, int64_t stride, int32_t frames,
             int32_t n_fft, int32_t hop, float *out) {
  const int64_t L = tv_istft_len(frames, hop);
  if (hop < 1 || hop >= n_fft) {
    // With a hop at or past the window length some samples get no window at
    // all and the normalisation would divide by zero.
    tv_seterr("istft: hop %d must be between 1 and the FFT size %d (exclusive)", hop, n_fft);
    return -1;
  }
  if (L == 0) return 0;
  tv_fft *plan = tv_fft_create(n_fft);
  if (!plan) return -1;
  int rc = -1;
  const int32_t nb = n_fft / 2 + 1;
  int32_t items = 4 * tv_pool_size(pool);
  if (items > frames) items = frames;
  const size_t per_item = 2 * (size_t)nb + 2 * (size_t)n_fft;
  const size_t acc_len = (size_t)L + (size_t)n_fft;
  float *win = (float *)tv_malloc(sizeof(float) * (size_t)n_fft);
  float *frame_buf = (float *)tv_malloc(sizeof(float) * (size_t)frames * (size_t)n_fft);
  double *sig = (double *)tv_calloc(sizeof(double) * acc_len);
  double *wsq = (double *)tv_calloc(sizeof(double) * acc_len);
  double *scratch = (double *)tv_malloc(sizeof(double) * per_item * (size_t)items);
  if (!win || !frame_buf || !sig || !wsq || !scratch) goto done;
  tv_hann_periodic(win, n_fft);
  {
    istft_job job = {plan, re, im, win, stride, frames, n_fft, frame_buf, scratch, per_item};
    tv_parallel_for(pool, items, istft_item, &job);
  }
  for (int32_t t = 0; t < frames; t++) {
    const float *f = frame_buf + (size_t)t * n_fft;
    double *s = sig + (size_t)t * hop, *w = wsq + (size_t)t * hop;
    for (int32_t i = 0; i < n_fft; i++) {
      s[i] += f[i];
      w[i] += (double)win[i] * win[i];
    }
  }
  for (int64_t i = 0; i < L; i++) out[i] = (float)(sig[i + n_fft / 2] / wsq[i + n_fft / 2]);
  rc = 0;
done:
  tv_free(win);
  tv_free(frame_buf);
  tv_free(sig);
  tv_free(wsq);
  tv_free(scratch);
  tv_fft_destroy(plan);
  return rc;
}

int tv_mel_spectrogram(const float *x, size_t n, float **mel, int32_t *frames) {
  enum { NFFT = TV_MEL_NFFT, HOP = TV_MEL_HOP, NB = NFFT / 2 + 1, BANDS = TV_MEL_BINS };
  *mel = NULL;
  *frames = 0;
  if (n <= NFFT / 2) {
    tv_seterr("mel: %zu samples is too short (need > %d)", n, NFFT / 2);
    return -1;
  }
  // 65536 frames is the longest mel the models take; far longer clips would
  // only overflow the frame counter.
  const size_t T = n / HOP + 1;
  if (T > (size_t)INT32_MAX) {
    tv_seterr("mel: %zu samples is too long", n);
    return -1;
  }
  int rc = -1;
  tv_fft *plan = tv_fft_create(NFFT);
  float *win = (float *)tv_malloc(sizeof(float) * NFFT);
  float *fw = (float *)tv_malloc(sizeof(float) * (size_t)BANDS * NB);
  float *frame = (float *)tv_malloc(sizeof(float) * NFFT);
  double *spec = (double *)tv_malloc(sizeof(double) * 2 * NB);
  double *scratch = (double *)tv_malloc(sizeof(double) * 2 * NFFT);
  float *mag = (float *)tv_malloc(sizeof(float) * NB);
  float *res = (float *)tv_malloc(sizeof(float) * T * BANDS);
  int lo[BANDS], hi[BANDS];
  float f[NB], p[BANDS + 2], d[BANDS + 1];
  if (!plan || !win || !fw || !frame || !spec || !scratch || !mag || !res) goto done;
  tv_hann_periodic(win, NFFT);
  // Bin frequencies and mel points are spaced evenly from both ends, so the
  // last entries land exactly on 12000 Hz and its mel value.
  for (int k = 0; k < NB; k++)
    f[k] = (float)(k < NB / 2 ? k * 23.4375 : 12000.0 - (NB - 1 - k) * 23.4375);
  for (int i = 0; i < BANDS + 2; i++) {
    float m = (float)(i < 51 ? i * 32.34001159667969 : 3266.34130859375 - (BANDS + 1 - i) * 32.34001159667969);
    float q = m / 2595.0f;
    float pw = (float)exp10((double)q);
    p[i] = (pw - 1.0f) * 700.0f;
  }
  for (int i = 0; i < BANDS + 1; i++) d[i] = p[i + 1] - p[i];
  for (int b = 0; b < BANDS; b++) {
    lo[b] = NB;
    hi[b] = -1;
    for (int k = 0; k < NB; k++) {
      float up = (f[k] - p[b]) / d[b], down = (p[b + 2] - f[k]) / d[b + 1];
      float w = up < down ? up : down;
      if (!(w > 0.0f)) w = 0.0f;
      fw[b * NB + k] = w;
      if (w > 0.0f) {
        if (k < lo[b]) lo[b] = k;
        hi[b] = k;
      }
    }
  }
  for (size_t t = 0; t < T; t++) {
    const int64_t start = (int64_t)t * HOP - NFFT / 2;
    for (int i = 0; i < NFFT; i++) {
      int64_t q = start + i;
      if (q < 0) q = -q;
      if (q >= (int64_t)n) q = 2 * ((int64_t)n - 1) - q;
      frame[i] = x[q] * win[i];
    }
    tv_rfft(plan, frame, spec, scratch);
    for (int k = 0; k < NB; k++)
      mag[k] = (float)sqrt(spec[2 * k] * spec[2 * k] + spec[2 * k + 1] * spec[2 * k + 1]);
    float *row = res + t * BANDS;
    for (int b = 0; b < BANDS; b++) {
      double e = 0.0;
      for (int k = lo[b]; k <= hi[b]; k++) e += (double)mag[k] * (double)fw[b * NB + k];
      float ef = (float)e;
      row[b] = logf(ef > 1e-7f ? ef : 1e-7f);
    }
  }
  *mel = res;
  *frames = (int32_t)T;
  res = NULL;
  rc = 0;
done:
  tv_fft_destroy(plan);
  tv_free(win);
  tv_free(fw);
  tv_free(frame);
  tv_free(spec);
  tv_free(scratch);
  tv_free(mag);
  tv_free(res);
  return rc;
}

void tv_fade_ends(float *x, size_t n, size_t m) {
  if (m < 2 || n <= 2 * m) return;
  for (size_t i = 0; i < m; i++) {
    double g = (double)i / (double)(m - 1);
    x[i] = (float)(x[i] * g);
    x[n - 1 - i] = (float)(x[n - 1 - i] * g);
  }
}
