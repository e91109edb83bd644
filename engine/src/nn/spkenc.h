// The speaker encoder for voice cloning: the WavLM speaker-verification
// design over 16 kHz audio. Seven strided feature convolutions (group norm
// after the first), a feature projection, a grouped positional convolution,
// transformer layers with gated relative position bias, a learned softmax
// mix of all layer outputs, a projector, a five-layer x-vector TDNN with
// statistics pooling and a final linear layer whose 512 outputs are scaled to
// unit length.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "nn/lin.h"
#include "runtime/pool.h"
#include "runtime/weights.h"

#define TV_WAVLM_CONVS 7
#define TV_WAVLM_TDNN 5
#define TV_WAVLM_MAX_LAYERS 24
#define TV_WAVLM_OUT 512

/* A weight matrix relaid tap-major and owned (float, or int8 with its row
   scales). */
typedef struct tv_wavlm_mat {
  tv_mat m;
  void *data;
  float *scales;
} tv_wavlm_mat;

typedef struct tv_wavlm_layer {
  tv_lin q, k, v, o;
  const float *gate_w; /* 8 x head size */
  const float *gate_b; /* 8 */
  const float *gate_c; /* H */
  const float *ln_w, *ln_b;
  tv_lin ffi, ffo;     /* F x D, D x F */
  const float *fln_w, *fln_b;
} tv_wavlm_layer;

typedef struct tv_wavlm {
  int32_t conv_c[TV_WAVLM_CONVS], conv_k[TV_WAVLM_CONVS], conv_s[TV_WAVLM_CONVS];
  const tv_mat *conv0;                     /* C0 x k0 */
  tv_wavlm_mat conv[TV_WAVLM_CONVS];       /* layers 1..6: C_i x (k_i C_(i-1)), tap-major */
  const float *gn_w, *gn_b;
  const float *fp_ln_w, *fp_ln_b;
  tv_lin proj;                             /* D x C6 */
  int32_t D, G, K;
  tv_wavlm_mat pos;                        /* D x (K D/G), tap-major per output channel */
  const float *pos_b, *enc_ln_w, *enc_ln_b;
  int32_t B, H;
  const float *rel;                        /* B x H */
  int32_t L;
  tv_wavlm_layer layer[TV_WAVLM_MAX_LAYERS];
  float lw[TV_WAVLM_MAX_LAYERS + 1];       /* softmax of layer_weights */
  tv_lin projector;                        /* P x D */
  int32_t n_tdnn;
  tv_lin tdnn[TV_WAVLM_TDNN];
  int32_t tdnn_out[TV_WAVLM_TDNN], tdnn_k[TV_WAVLM_TDNN], tdnn_dil[TV_WAVLM_TDNN];
  tv_lin fe;                               /* 512 x 2 last */
} tv_wavlm;

/* The model or NULL. The weights must outlive it. */
tv_wavlm *tv_wavlm_load(tv_weights *w);
void tv_wavlm_free(tv_wavlm *m);
/* 0 / -1. The unit-length speaker vector (512 floats) of n samples at
   24000 Hz (at most the first 8 s are used). */
int tv_wavlm_xvector(const tv_wavlm *m, tv_pool *pool, const float *samples, size_t n, float *out);
/* 0 / -1. The same for samples at 16000 Hz. */
int tv_wavlm_xvector16(const tv_wavlm *m, tv_pool *pool, const float *samples, size_t n, float *out);
