// Growable UTF-32 strings: the front end's text in flight, indexed by code
// point. A zeroed record is the empty string; the record owns p (malloc
// family, not NUL-terminated).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "front/fx.h"

typedef struct u32s {
  uint32_t *p;
  int32_t n;
  int32_t cap;
} u32s;

/* 0 / -1: room for n + extra code points. Failure: FX_NOMEM through the flag,
   s unchanged. */
int u32s_reserve(uint32_t *flag, u32s *s, int32_t extra);
/* Appends one code point. */
void u32s_push(uint32_t *flag, u32s *s, uint32_t c);
/* Appends k code points (k <= 0 appends nothing). */
void u32s_put(uint32_t *flag, u32s *s, const uint32_t *cps, int32_t k);
/* Appends each byte of a NUL-terminated string as one code point. */
void u32s_ascii(uint32_t *flag, u32s *s, const char *cstr);
/* Decodes len bytes of UTF-8 and appends them; every malformed byte becomes
   U+FFFD and decoding goes on at the next byte. Never reads past len. */
void u32s_utf8(uint32_t *flag, u32s *s, const char *bytes, size_t len);
/* Frees the buffer and zeroes the record. */
void u32s_free(u32s *s);
/* Frees dst's buffer, takes over src's and zeroes src. */
void u32s_move(u32s *dst, u32s *src);
/* 1 when both hold the same code points (two empty strings are equal). */
int u32s_eq(const uint32_t *a, int32_t na, const uint32_t *b, int32_t nb);
/* Index of the first c among k code points, or -1. */
int32_t u32_find(const uint32_t *cps, int32_t k, uint32_t c);

/* Capacity growth shared with the byte strings: 16 from empty, doubling,
   exact once beyond 2^29. Returns the new capacity, or -1 when need cannot be
   held in an int32. */
int64_t fx_grow_cap(int64_t cap, int64_t need);
