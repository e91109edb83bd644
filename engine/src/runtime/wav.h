// WAV files: reading the common PCM and float layouts (mixed to mono float
// samples) and writing 16-bit mono PCM.
#pragma once

#include <stddef.h>
#include <stdint.h>

/* 0 / -1. Decodes a RIFF WAVE image; *samples (at least one float, freed with
   tv_free) receives *frames mono samples at *rate Hz. On failure the outputs
   are NULL / 0. */
int tv_wav_read_mem(const uint8_t *bytes, size_t len, float **samples, size_t *frames,
                    int32_t *rate);
/* 0 / -1. tv_wav_read_mem of a file; decoding errors are prefixed by the path. */
int tv_wav_read(const char *path, float **samples, size_t *frames, int32_t *rate);

/* Largest sample count a 16-bit mono file may hold (its RIFF size stays
   below 2^31). */
#define TV_WAV_MAX_SAMPLES ((size_t)1073741772)

/* 0 / -1. 44-byte header plus 2 n bytes of 16-bit PCM in one tv_malloc block.
   Samples above 1 become 32767, below -1 become -32767, NaN becomes 0. */
int tv_wav_encode(const float *x, size_t n, int32_t rate, uint8_t **bytes, size_t *len);
/* 0 / -1. Writes the encoded file with tv_write_file: replaced atomically
   where that is safe, written in place otherwise. */
int tv_wav_write(const char *path, const float *x, size_t n, int32_t rate);
