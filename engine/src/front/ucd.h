// Unicode character data of the front end, loaded from "unicode.bin".
//
// The ASCII range is built in and follows Python's string rules (word
// characters, isspace, lower); the file extends it above U+007F and carries the
// grapheme-to-phoneme cleaning map for every code point, ASCII included.
//
// unicode.bin, little-endian u32 unless said:
//   "TVUC", version 1, then six sections, each a count and its records:
//   1 word ranges (first, last)            4 cleaning (cp, u8 len, bytes)
//   2 white-space code points (cp)         5 fold pairs (cp, folded cp)
//   3 digit ranges (first, last, value)    6 lower case (cp, u8 len, UTF-8)
// Bytes after the last section are ignored.
#pragma once

#include <stdint.h>

#include "front/u32s.h"

typedef struct ucd_range {
  uint32_t first, last;
} ucd_range;

typedef struct ucd_digits {
  uint32_t first, last, value; /* value of first */
} ucd_digits;

typedef struct ucd_clean {
  uint32_t cp;
  char *s; /* NUL-terminated, owned */
  uint32_t len;
  uint32_t order; /* position in the file */
} ucd_clean;

typedef struct ucd_foldpair {
  uint32_t cp, folded;
} ucd_foldpair;

typedef struct ucd_lower {
  uint32_t cp;
  uint32_t *cps; /* owned */
  uint32_t len;
  uint32_t order;
} ucd_lower;

typedef struct ucd {
  ucd_range *word; /* above U+007F, sorted by first */
  int32_t nword;
  uint32_t *space; /* above U+007F */
  int32_t nspace;
  ucd_digits *digit; /* file order */
  int32_t ndigit;
  char *ascii_clean[128];
  uint32_t ascii_clean_len[128];
  ucd_clean *clean; /* above U+007F, sorted by cp, one per cp */
  int32_t nclean;
  ucd_foldpair *fold; /* sorted by cp, first of the file kept per cp */
  int32_t nfold;
  ucd_lower *lower; /* sorted by cp, one per cp */
  int32_t nlower;
} ucd;

/* 0 / -1. Loads path into a zeroed table. Failure leaves it zeroed with one of
   "tovantts front: cannot open %s", "tovantts front: bad unicode.bin",
   "tovantts front: truncated asset", "tovantts front: out of memory". */
int ucd_load(ucd *u, const char *path);
/* Frees every array and string and zeroes the table. */
void ucd_free(ucd *u);

int ucd_is_word(const ucd *u, uint32_t c);
int ucd_is_space(const ucd *u, uint32_t c);
/* Decimal value 0..9, or -1. */
int ucd_digit(const ucd *u, uint32_t c);
/* The case-folded code point (c itself when it has none). */
uint32_t ucd_fold(const ucd *u, uint32_t c);
/* Appends the lower-case form of k code points (one may give several). */
void ucd_lower_small(uint32_t *flag, const ucd *u, const uint32_t *cps, int32_t k, u32s *out);
/* Replacement bytes of c for grapheme-to-phoneme input; never NULL ("" with
   length 0 when c has no entry, so the character vanishes). */
const char *ucd_g2p_clean(const ucd *u, uint32_t c, uint32_t *len);
