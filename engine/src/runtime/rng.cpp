#include "runtime/rng.h"

#include <math.h>
#include <string.h>

#include "runtime/kernels.h"

void tv_mt_seed(tv_mt *mt, uint64_t seed) {
  mt->state[0] = (uint32_t)seed;
  for (uint32_t i = 1; i < TV_MT_N; i++) {
    const uint32_t p = mt->state[i - 1];
    mt->state[i] = 1812433253u * (p ^ (p >> 30)) + i;
  }
  mt->pos = TV_MT_N;
}

static void regenerate(tv_mt *mt) {
  uint32_t *s = mt->state;
  for (int i = 0; i < TV_MT_N; i++) {
    const uint32_t y = (s[i] & 0x80000000u) | (s[(i + 1) % TV_MT_N] & 0x7FFFFFFFu);
    s[i] = s[(i + 397) % TV_MT_N] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
  }
  mt->pos = 0;
}

uint32_t tv_mt_next(tv_mt *mt) {
  // Any position outside the state (a record that was never seeded through
  // tv_mt_seed, say) regenerates rather than reading past the words.
  if (mt->pos < 0 || mt->pos >= TV_MT_N) regenerate(mt);
  uint32_t y = mt->state[mt->pos++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

static inline float uniform_float(tv_mt *mt) { return (float)(tv_mt_next(mt) & 0xFFFFFFu) * 0x1p-24f; }

static inline double uniform_double(tv_mt *mt) {
  const uint64_t a = tv_mt_next(mt), b = tv_mt_next(mt);
  return (double)(((a & 0x1FFFFFu) << 32) | b) * 0x1p-53;
}

// ---- the block transform, one lane at a time
//
// Every step is the lane operation of the 8-wide FMA code (rng_avx2.cpp), in
// the same order with the same roundings, so both give the same bits.

static inline float as_float(uint32_t u) {
  float f;
  memcpy(&f, &u, sizeof f);
  return f;
}

static inline uint32_t as_bits(float f) {
  uint32_t u;
  memcpy(&u, &f, sizeof u);
  return u;
}

static float cephes_log(float x) {
  if (!(x >= 1.17549435e-38f)) x = 1.17549435e-38f;
  const uint32_t bits = as_bits(x);
  float e = (float)((int32_t)(bits >> 23) - 0x7F) + 1.0f;
  float m = as_float((bits & ~0x7F800000u) | 0x3F000000u);  // in [0.5, 1)
  const float tmp = m < 0.707106781186547524f ? m : 0.0f;
  m = m - 1.0f;
  if (tmp != 0.0f) e = e - 1.0f;
  m = m + tmp;
  const float z = m * m;
  float p = 7.0376836292e-2f;
  p = fmaf(p, m, -1.1514610310e-1f);
  p = fmaf(p, m, 1.1676998740e-1f);
  p = fmaf(p, m, -1.2420140846e-1f);
  p = fmaf(p, m, 1.4249322787e-1f);
  p = fmaf(p, m, -1.6668057665e-1f);
  p = fmaf(p, m, 2.0000714765e-1f);
  p = fmaf(p, m, -2.4999993993e-1f);
  p = fmaf(p, m, 3.3333331174e-1f);
  float y = fmaf(p * m, z, e * -2.12194440e-4f);
  y = fmaf(z, -0.5f, y);
  const float r = y + m;
  return fmaf(e, 0.693359375f, r);
}

static void cephes_sincos(float theta, float *s, float *c) {
  // theta = 2 pi u is never negative, so no sign is taken off first.
  int32_t j = (int32_t)(theta * 1.27323954473516f);
  j = (j + 1) & ~1;
  const float y = (float)j;
  float x = fmaf(y, -0.78515625f, theta);
  x = fmaf(y, -2.4187564849853515625e-4f, x);
  x = fmaf(y, -3.77489497744594108e-8f, x);
  const float z = x * x;
  float cp = fmaf(fmaf(z, 2.443315711809948e-5f, -1.388731625493765e-3f), z, 4.166664568298827e-2f);
  cp = fmaf(cp * z, z, z * -0.5f) + 1.0f;
  float sp = fmaf(fmaf(z, -1.9515295891e-4f, 8.3321608736e-3f), z, -1.6666654611e-1f);
  sp = fmaf(sp * z, x, x);
  // The vector code selects with masks and adds the two masked halves, so the
  // chosen value gets a +0 added (which turns -0 into +0).
  float sv, cv;
  if ((j & 2) == 0) {
    sv = sp + 0.0f;
    cv = cp + 0.0f;
  } else {
    sv = cp + 0.0f;
    cv = sp + 0.0f;
  }
  if (j & 4) sv = -sv;
  if (((j - 2) & 4) == 0) cv = -cv;  // j mod 8 is 2 or 4
  *s = sv;
  *c = cv;
}

void tv_randn_block16_portable(float *d) {
  for (int j = 0; j < 8; j++) {
    const float u1 = 1.0f - d[j], u2 = d[j + 8];
    const float radius = sqrtf(-2.0f * cephes_log(u1));
    const float theta = 6.28318530717958647692f * u2;
    float s, c;
    cephes_sincos(theta, &s, &c);
    // The library scales by the deviation (1) and adds the mean (0) with a
    // fused multiply-add: the value is unchanged except that -0 becomes +0.
    d[j] = radius * c + 0.0f;
    d[j + 8] = radius * s + 0.0f;
  }
}

static void block16(float *d) {
  if (tv_cpu_avx2())
    tv_randn_block16_avx2(d);
  else
    tv_randn_block16_portable(d);
}

void tv_randn_torch(uint64_t seed, float *out, size_t n) {
  if (n == 0) return;
  tv_mt mt;
  tv_mt_seed(&mt, seed);
  if (n < 16) {
    for (size_t i = 0; i < n; i += 2) {
      const double u1 = uniform_double(&mt), u2 = uniform_double(&mt);
      const double r = sqrt(-2.0 * log1p(-u2));
      const double theta = 2.0 * 3.14159265358979323846 * u1;
      // Scaled by 1 and shifted by 0 in double as the library does.
      out[i] = (float)(r * cos(theta) * 1.0 + 0.0);
      if (i + 1 < n) out[i + 1] = (float)(r * sin(theta) * 1.0 + 0.0);
    }
    return;
  }
  for (size_t i = 0; i < n; i++) out[i] = uniform_float(&mt);
  for (size_t i = 0; i + 16 <= n; i += 16) block16(out + i);
  if (n % 16 != 0) {
    float *tail = out + n - 16;
    for (int i = 0; i < 16; i++) tail[i] = uniform_float(&mt);
    block16(tail);
  }
}
