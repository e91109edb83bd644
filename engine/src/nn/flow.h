// The flow-matching refiner: starting from scaled seeded noise it integrates
// a learned velocity field from t = 0 to t = 1 with a fixed-step midpoint
// solver, conditioned per frame on the acoustic mel, globally on the
// conditioning vector g and on the time. The network is an input convolution,
// a stack of modulated depthwise-convolution blocks (and, in the prompted
// variant, modulated attention blocks over the reference-clip frames
// prepended to the sequence), and a linear velocity head.
#pragma once

#include <stdint.h>

#include "nn/lin.h"
#include "runtime/json.h"
#include "runtime/kernels.h"
#include "runtime/pool.h"
#include "runtime/weights.h"

#define TV_FLOW_MEL 100
#define TV_FLOW_TAPS 7
#define TV_FLOW_MAX_LAYERS 64
#define TV_FLOW_MAX_DIL 4096
#define TV_FLOW_HEADS 6

typedef struct tv_flow_block {
  float *taps;      /* 7 rows of d floats: tap j of every channel; owned */
  const float *dw_b;
  int32_t dil;
  tv_lin mod, pw1, pw2; /* 3d x d, 3d x d, d x 3d */
  /* int8 pw1 and pw2 relaid for the 8-bit product, which then runs the whole
     block row by row (q8 set); owned */
  tv_q8mat pw1q, pw2q;
  int32_t q8;
} tv_flow_block;

typedef struct tv_flow_attn {
  tv_lin mod;       /* 3d x d */
  const tv_mat *in_w; /* 3d x d: q, k, v */
  const float *in_b;
  tv_lin out;       /* d x d */
  /* int8 projections relaid for the 8-bit product (q8 set); owned */
  tv_q8mat inq, outq;
  int32_t q8;
} tv_flow_attn;

/* A matrix copied out of a container matrix (a band of its columns); owns
   its values (and, for int8, its scales). */
typedef struct tv_flow_mat {
  tv_mat m;
  void *data;
  float *scales;
} tv_flow_mat;

typedef struct tv_flow {
  int32_t d, n_layers, g_dim, prompt, mu_cmn, n_in;
  float mean, std;
  tv_flow_mat inp_state; /* d x 300: the state channels of the input convolution */
  tv_flow_mat inp_const; /* d x 3 (n_in - 100): mu, and ctx and mask when prompted */
  const float *inp_b;
  tv_lin temb0, temb2, gemb0, gemb2, out;
  tv_lin ctx0, ctx2, ctx_out; /* prompted only */
  float *freq;              /* d / 2 sinusoid frequencies; owned */
  tv_flow_block block[TV_FLOW_MAX_LAYERS];
  tv_flow_attn attn[TV_FLOW_MAX_LAYERS];
  uint8_t has_attn[TV_FLOW_MAX_LAYERS];
} tv_flow;

/* The refiner or NULL. cfg holds the sizes (NULL: all defaults). The
   weights must outlive the refiner. */
tv_flow *tv_flow_load(tv_weights *w, const tv_json *cfg);
void tv_flow_free(tv_flow *f);
/* 1 for a refiner that takes a prompt, else 0 (also for NULL). */
int tv_flow_is_prompted(const tv_flow *f);

/* 0 / -1. Refines T frames of 100 bins (mel) into out (T x 100) with
   conditioning g (g_dim floats), in `steps` midpoint steps from the noise of
   `seed` scaled by noise_scale. A prompted refiner takes P frames of
   reference log-mel (prompt, or NULL / P = 0 for none); a guidance weight
   other than 0 amplifies the prompt against a prompt-free evaluation. */
int tv_flow_sample(const tv_flow *f, tv_pool *pool, const float *mel, int32_t T, const float *g, int32_t steps,
                   uint64_t seed, const float *prompt, int32_t P, float *out, float noise_scale,
                   float prompt_guidance);

/* The solver's time points t_0 .. t_steps into t (steps + 1 floats). */
void tv_flow_time_grid(int32_t steps, float *t);
