#include "front/sb.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "front/u32s.h"

// Room for `extra` more bytes and the NUL.
static int sb_room(uint32_t *flag, sb *b, int64_t extra) {
  int64_t need = (int64_t)b->n + extra;
  if (need < b->cap) return 0;
  int64_t cap = fx_grow_cap(b->cap, need + 1);
  void *p = cap < 0 ? NULL : realloc(b->p, (size_t)cap);
  if (!p) {
    fx_fail(flag, FX_NOMEM);
    return -1;
  }
  b->p = (char *)p;
  b->cap = (int32_t)cap;
  return 0;
}

void sb_put(uint32_t *flag, sb *b, const char *bytes, int32_t k) {
  if (k < 0 || sb_room(flag, b, k)) return;
  if (k) memcpy(b->p + b->n, bytes, (size_t)k);
  b->n += k;
  b->p[b->n] = 0;
}

void sb_cat(uint32_t *flag, sb *b, const char *cstr) {
  size_t k = strlen(cstr);
  if (k > INT32_MAX) {
    fx_fail(flag, FX_NOMEM);
    return;
  }
  sb_put(flag, b, cstr, (int32_t)k);
}

void sb_ch(uint32_t *flag, sb *b, char byte) { sb_put(flag, b, &byte, 1); }

void sb_fmt(uint32_t *flag, sb *b, const char *fmt, ...) {
  char buf[128];
  va_list ap;
  va_start(ap, fmt);
  int r = vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (r < 0) return;
  sb_put(flag, b, buf, r < 127 ? r : 127);
}

void sb_utf8(uint32_t *flag, sb *b, const uint32_t *cps, int32_t k) {
  if (k <= 0 || sb_room(flag, b, (int64_t)k * 4)) return;
  char *o = b->p + b->n;
  for (int32_t i = 0; i < k; i++) {
    uint32_t c = cps[i];
    if (c < 0x80) {
      *o++ = (char)c;
    } else if (c < 0x800) {
      *o++ = (char)(0xC0 | (c >> 6));
      *o++ = (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *o++ = (char)(0xE0 | (c >> 12));
      *o++ = (char)(0x80 | ((c >> 6) & 0x3F));
      *o++ = (char)(0x80 | (c & 0x3F));
    } else {
      *o++ = (char)(0xF0 | ((c >> 18) & 0x07));
      *o++ = (char)(0x80 | ((c >> 12) & 0x3F));
      *o++ = (char)(0x80 | ((c >> 6) & 0x3F));
      *o++ = (char)(0x80 | (c & 0x3F));
    }
  }
  b->n = (int32_t)(o - b->p);
  b->p[b->n] = 0;
}

void sb_from_u32(uint32_t *flag, sb *b, const uint32_t *cps, int32_t k) {
  if (k <= 0 || sb_room(flag, b, k)) return;
  for (int32_t i = 0; i < k; i++) b->p[b->n++] = (char)(cps[i] & 0xFF);
  b->p[b->n] = 0;
}

const char *sb_cstr(const sb *b) { return b->p ? b->p : ""; }

void sb_free(sb *b) {
  free(b->p);
  b->p = NULL;
  b->n = b->cap = 0;
}
