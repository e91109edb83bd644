// Growable byte strings (UTF-8 text), always NUL-terminated once anything was
// appended. A zeroed record is the empty string; the record owns p.
#pragma once

#include <stdint.h>

#include "front/fx.h"

typedef struct sb {
  char *p;
  int32_t n;   /* bytes, without the NUL */
  int32_t cap; /* bytes, with room for the NUL */
} sb;

/* Appends k bytes (k < 0 appends nothing). Failure: FX_NOMEM, b unchanged. */
void sb_put(uint32_t *flag, sb *b, const char *bytes, int32_t k);
/* Appends a NUL-terminated string. */
void sb_cat(uint32_t *flag, sb *b, const char *cstr);
/* Appends one byte. */
void sb_ch(uint32_t *flag, sb *b, char byte);
/* printf into a 128-byte buffer, then appends at most its first 127 bytes; a
   formatting error appends nothing. */
void sb_fmt(uint32_t *flag, sb *b, const char *fmt, ...) TV_PRINTF(3, 4);
/* Appends k code points as UTF-8 (not validated: any value gets 1 to 4 bytes). */
void sb_utf8(uint32_t *flag, sb *b, const uint32_t *cps, int32_t k);
/* Appends the low 8 bits of each code point (for text known to be ASCII). */
void sb_from_u32(uint32_t *flag, sb *b, const uint32_t *cps, int32_t k);
/* The text; a static "" when nothing was ever appended. */
const char *sb_cstr(const sb *b);
/* Frees and zeroes. */
void sb_free(sb *b);
