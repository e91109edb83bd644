#include "runtime/wav.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "runtime/error.h"

static uint16_t rd16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }
static uint32_t rd32(const uint8_t *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static void wr16(uint8_t *p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}
static void wr32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}

// One sample of the given layout as a float; the caller checked the layout.
static float sample_at(const uint8_t *p, int tag, int bytes) {
  if (tag == 3) {
    if (bytes == 4) {
      float f;
      memcpy(&f, p, 4);
      return f;
    }
    double d;
    memcpy(&d, p, 8);
    return (float)d;
  }
  switch (bytes) {
    case 1: return (float)((int)p[0] - 128) * 0x1p-7f;
    case 2: return (float)(int16_t)rd16(p) * 0x1p-15f;
    case 3: {
      int32_t v = (int32_t)((uint32_t)p[0] << 8 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 24) >> 8;
      return (float)v * 0x1p-23f;
    }
    default: return (float)(int32_t)rd32(p) * 0x1p-31f;
  }
}

int tv_wav_read_mem(const uint8_t *b, size_t len, float **samples, size_t *frames, int32_t *rate) {
  *samples = NULL;
  *frames = 0;
  *rate = 0;
  if (len < 12 || memcmp(b, "RIFF", 4) != 0 || memcmp(b + 8, "WAVE", 4) != 0) {
    if (len >= 4 && (memcmp(b, "RF64", 4) == 0 || memcmp(b, "RIFX", 4) == 0))
      tv_seterr("wav: RF64 / big-endian RIFX files are not supported");
    else
      tv_seterr("wav: not a RIFF WAVE file");
    return -1;
  }
  if (len < 20) {
    tv_seterr("wav: missing %s chunk", "fmt");
    return -1;
  }
  int have_fmt = 0, tag = 0, channels = 0, align = 0, bits = 0;
  uint32_t srate = 0;
  const uint8_t *data = NULL;
  size_t dsize = 0;
  // Offsets are size_t and every chunk size is checked against the bytes
  // left, so a hostile size can neither wrap nor read past the end.
  size_t off = 12;
  while (len - off >= 8) {
    const uint8_t *id = b + off;
    size_t size = rd32(b + off + 4), at = off + 8, left = len - at;
    if (memcmp(id, "fmt ", 4) == 0) {
      if (size < 16 || size > left) {
        tv_seterr("wav: bad fmt chunk");
        return -1;
      }
      const uint8_t *f = b + at;
      tag = rd16(f);
      channels = rd16(f + 2);
      srate = rd32(f + 4);
      align = rd16(f + 12);
      bits = rd16(f + 14);
      if (tag == 0xFFFE) {
        if (size < 40) {
          tv_seterr("wav: bad WAVE_FORMAT_EXTENSIBLE fmt chunk");
          return -1;
        }
        tag = rd16(f + 24);
      }
      have_fmt = 1;
    } else if (memcmp(id, "data", 4) == 0) {
      if (!have_fmt) {
        tv_seterr("wav: missing %s chunk", "fmt");
        return -1;
      }
      data = b + at;
      dsize = size < left ? size : left;  // a truncated file still reads
      break;
    } else if (size > left) {
      break;
    }
    if (size + (size & 1) >= left) break;
    off = at + size + (size & 1);
  }
  if (!data) {
    tv_seterr("wav: missing %s chunk", have_fmt ? "data" : "fmt");
    return -1;
  }
  if (channels == 0 || srate == 0 || srate > INT32_MAX || align < channels || align % channels != 0) {
    tv_seterr("wav: bad header (channels %d, rate %u, block align %d)", channels, srate, align);
    return -1;
  }
  const int bytes = align / channels;
  const bool ok = (tag == 1 && bytes >= 1 && bytes <= 4) || (tag == 3 && (bytes == 4 || bytes == 8));
  if (!ok) {
    tv_seterr("wav: unsupported sample format (tag %d, %d bits)", tag, bits);
    return -1;
  }
  const size_t n = dsize / (size_t)align;
  float *out = (float *)tv_malloc(sizeof(float) * (n ? n : 1));
  if (!out) return -1;
  for (size_t i = 0; i < n; i++) {
    const uint8_t *fr = data + i * (size_t)align;
    if (channels == 1) {
      out[i] = sample_at(fr, tag, bytes);
      continue;
    }
    float sum = 0.0f;
    for (int c = 0; c < channels; c++) sum += sample_at(fr + c * bytes, tag, bytes);
    out[i] = sum / (float)channels;
  }
  *samples = out;
  *frames = n;
  *rate = (int32_t)srate;
  return 0;
}

int tv_wav_read(const char *path, float **samples, size_t *frames, int32_t *rate) {
  *samples = NULL;
  *frames = 0;
  *rate = 0;
  char *buf = NULL;
  size_t len = 0;
  if (tv_read_file(path, &buf, &len) != 0) return -1;
  int rc = tv_wav_read_mem((const uint8_t *)buf, len, samples, frames, rate);
  if (rc != 0) tv_seterr("%s: %s", path, tv_geterr());
  tv_free(buf);
  return rc;
}

int tv_wav_encode(const float *x, size_t n, int32_t rate, uint8_t **bytes, size_t *len) {
  *bytes = NULL;
  *len = 0;
  if (n > TV_WAV_MAX_SAMPLES) {
    tv_seterr("wav: too many samples");
    return -1;
  }
  if (rate < 1) {
    tv_seterr("wav: bad sample rate %d", rate);
    return -1;
  }
  const size_t total = 44 + 2 * n;
  uint8_t *p = (uint8_t *)tv_malloc(total);
  if (!p) return -1;
  memcpy(p, "RIFF", 4);
  wr32(p + 4, (uint32_t)(2 * n + 36));
  memcpy(p + 8, "WAVEfmt ", 8);
  wr32(p + 16, 16);
  wr16(p + 20, 1);
  wr16(p + 22, 1);
  wr32(p + 24, (uint32_t)rate);
  wr32(p + 28, (uint32_t)rate * 2u);
  wr16(p + 32, 2);
  wr16(p + 34, 16);
  memcpy(p + 36, "data", 4);
  wr32(p + 40, (uint32_t)(2 * n));
  for (size_t i = 0; i < n; i++) {
    float v = x[i];
    int32_t q;
    if (v != v)
      q = 0;
    else if (v > 1.0f)
      q = 32767;
    else
      q = (int32_t)rintf((v < -1.0f ? -1.0f : v) * 32767.0f);
    wr16(p + 44 + 2 * i, (uint32_t)(uint16_t)(int16_t)q);
  }
  *bytes = p;
  *len = total;
  return 0;
}

int tv_wav_write(const char *path, const float *x, size_t n, int32_t rate) {
  uint8_t *bytes = NULL;
  size_t len = 0;
  if (tv_wav_encode(x, n, rate, &bytes, &len) != 0) return -1;
  const int rc = tv_write_file(path, bytes, len);
  tv_free(bytes);
  return rc;
}
