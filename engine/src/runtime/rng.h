// Seeded standard-normal noise that reproduces, value for value, what the
// PyTorch tensor library's CPU generator gives for a manual seed followed by a
// float32 standard-normal draw: the Mersenne Twister MT19937 stream, its
// conversions of words to uniform numbers, and the two Box-Muller paths (a
// double-precision pair transform below 16 values, a 16-value block transform
// in float with Cephes polynomials otherwise). The flow refiner draws its
// starting point here, so a seed names the same audio on every machine.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define TV_MT_N 624

typedef struct tv_mt {
  uint32_t state[TV_MT_N];
  int32_t pos; /* next word to temper; TV_MT_N: regenerate first */
} tv_mt;

/* Seeds with the low 32 bits of seed; the next draw regenerates all words. */
void tv_mt_seed(tv_mt *mt, uint64_t seed);
/* The next tempered 32-bit word. */
uint32_t tv_mt_next(tv_mt *mt);

/* n standard-normal floats from a fresh generator seeded with the low 32
   bits of seed. No state survives the call. */
void tv_randn_torch(uint64_t seed, float *out, size_t n);

/* The in-place block transform of 16 uniform floats into 16 normal ones
   (d[j], d[j + 8] from the pair 1 - d[j], d[j + 8]). The two paths give the
   same bits; tv_randn_torch takes the AVX2 one when tv_cpu_avx2() allows.
   Declared for the tests. */
void tv_randn_block16_portable(float *d);
void tv_randn_block16_avx2(float *d);
