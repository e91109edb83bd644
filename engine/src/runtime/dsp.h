// Spectral tools: a radix-2 complex FFT in double precision with real-input
// and real-output wrappers, the periodic Hann window, the inverse STFT the
// vocoder ends with, the fixed log-mel analysis of reference clips, and a
// linear fade of both ends of a signal.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct tv_pool;

/* A plan for one power-of-two size; read-only after creation, so it may be
   shared between threads. */
typedef struct tv_fft {
  int32_t n;
  double *twiddle;  /* n / 2 complex pairs: (cos 2 pi k / n, -sin 2 pi k / n) */
  uint32_t *bitrev; /* n indices */
} tv_fft;

/* Plan or NULL ("FFT size %d is not a power of two", or out of memory). */
tv_fft *tv_fft_create(int32_t n);
void tv_fft_destroy(tv_fft *plan);
/* Unnormalised in-place transform of n interleaved complex doubles. */
void tv_fft_run(const tv_fft *plan, double *data, int inverse);
/* n real floats -> bins 0..n/2 as complex doubles; scratch holds n complex. */
void tv_rfft(const tv_fft *plan, const float *x, double *out, double *scratch);
/* Bins 0..n/2 -> n real floats divided by n; scratch holds n complex. */
void tv_irfft(const tv_fft *plan, const double *in, float *out, double *scratch);

/* w[i] = 0.5 - 0.5 cos(2 pi i / n), evaluated in double. */
void tv_hann_periodic(float *w, int32_t n);

/* Samples an inverse STFT of T frames gives: (T - 1) x hop, 0 when T < 2 or
   hop < 1. */
int64_t tv_istft_len(int64_t frames, int32_t hop);
/* 0 / -1. Frame t's n_fft / 2 + 1 bins start at t x stride in re and im;
   out receives tv_istft_len(T, hop) samples. The hop must be below n_fft:
   otherwise some output samples would be covered by no window. */
int tv_istft(struct tv_pool *pool, const float *re, const float *im, int64_t stride,
             int32_t frames, int32_t n_fft, int32_t hop, float *out);

/* The analysis the engine uses for reference audio: 24000 Hz, n_fft 1024,
   hop 256, 100 HTK mel bands over 0-12000 Hz, magnitude, natural log with a
   floor of 1e-7. n must exceed 512. On success *mel holds *frames rows of 100
   floats (freed with tv_free); 0 / -1. */
#define TV_MEL_BINS 100
#define TV_MEL_HOP 256
#define TV_MEL_NFFT 1024
int tv_mel_spectrogram(const float *x, size_t n, float **mel, int32_t *frames);

/* Linear fade-in over the first m samples and fade-out over the last m; the
   outermost samples become 0. Nothing happens when m < 2 or n <= 2 m. */
void tv_fade_ends(float *x, size_t n, size_t m);
