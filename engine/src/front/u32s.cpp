#include "front/u32s.h"

#include <stdlib.h>
#include <string.h>

int64_t fx_grow_cap(int64_t cap, int64_t need) {
  if (need > INT32_MAX) return -1;
  int64_t c = cap > 0 ? cap : 16;
  while (c < need) c = c > 536870912 ? need : c * 2;
  return c > INT32_MAX ? INT32_MAX : c;
}

int u32s_reserve(uint32_t *flag, u32s *s, int32_t extra) {
  int64_t need = (int64_t)s->n + (extra > 0 ? extra : 0);
  if (need <= s->cap) return 0;
  int64_t cap = fx_grow_cap(s->cap, need);
  void *p = cap < 0 ? NULL : realloc(s->p, (size_t)cap * sizeof(uint32_t));
  if (!p) {
    fx_fail(flag, FX_NOMEM);
    return -1;
  }
  s->p = (uint32_t *)p;
  s->cap = (int32_t)cap;
  return 0;
}

void u32s_push(uint32_t *flag, u32s *s, uint32_t c) {
  if (s->n >= s->cap && u32s_reserve(flag, s, 1)) return;
  s->p[s->n++] = c;
}

void u32s_put(uint32_t *flag, u32s *s, const uint32_t *cps, int32_t k) {
  if (k <= 0 || u32s_reserve(flag, s, k)) return;
  memcpy(s->p + s->n, cps, (size_t)k * sizeof(uint32_t));
  s->n += k;
}

void u32s_ascii(uint32_t *flag, u32s *s, const char *cstr) {
  size_t k = strlen(cstr);
  if (k > INT32_MAX) {
    fx_fail(flag, FX_NOMEM);
    return;
  }
  if (u32s_reserve(flag, s, (int32_t)k)) return;
  for (size_t i = 0; i < k; i++) s->p[s->n++] = (unsigned char)cstr[i];
}

static inline int cont(unsigned char b) { return (b & 0xC0) == 0x80; }

void u32s_utf8(uint32_t *flag, u32s *s, const char *bytes, size_t len) {
  if (len > (size_t)INT32_MAX) {
    fx_fail(flag, FX_NOMEM);
    return;
  }
  if (u32s_reserve(flag, s, (int32_t)len)) return;
  const unsigned char *b = (const unsigned char *)bytes;
  size_t i = 0;
  uint32_t *out = s->p + s->n;
  while (i < len) {
    unsigned char c = b[i];
    uint32_t v = 0xFFFD;
    size_t used = 1;
    if (c < 0x80) {
      v = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < len && cont(b[i + 1])) {
      used = 2;
      v = c < 0xC2 ? 0xFFFD : ((uint32_t)(c & 0x1F) << 6) | (b[i + 1] & 0x3F);
    } else if ((c & 0xF0) == 0xE0 && i + 2 < len && cont(b[i + 1]) && cont(b[i + 2])) {
      used = 3;
      v = ((uint32_t)(c & 0x0F) << 12) | ((uint32_t)(b[i + 1] & 0x3F) << 6) | (b[i + 2] & 0x3F);
      if (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF)) v = 0xFFFD;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < len && cont(b[i + 1]) && cont(b[i + 2]) &&
               cont(b[i + 3])) {
      used = 4;
      v = ((uint32_t)(c & 0x07) << 18) | ((uint32_t)(b[i + 1] & 0x3F) << 12) |
          ((uint32_t)(b[i + 2] & 0x3F) << 6) | (b[i + 3] & 0x3F);
      if (v < 0x10000 || v > 0x10FFFF) v = 0xFFFD;
    }
    *out++ = v;
    i += used;
  }
  s->n = (int32_t)(out - s->p);
}

void u32s_free(u32s *s) {
  free(s->p);
  s->p = NULL;
  s->n = s->cap = 0;
}

void u32s_move(u32s *dst, u32s *src) {
  if (dst == src) return;
  free(dst->p);
  *dst = *src;
  src->p = NULL;
  src->n = src->cap = 0;
}

int u32s_eq(const uint32_t *a, int32_t na, const uint32_t *b, int32_t nb) {
  if (na != nb) return 0;
  if (na <= 0) return 1;
  return memcmp(a, b, (size_t)na * sizeof(uint32_t)) == 0;
}

int32_t u32_find(const uint32_t *cps, int32_t k, uint32_t c) {
  for (int32_t i = 0; i < k; i++)
    if (cps[i] == c) return i;
  return -1;
}
