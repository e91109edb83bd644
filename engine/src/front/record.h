// The front-end record: the code point table, the symbol table, grapheme-to-
// phoneme conversion and the compiled patterns. tv_front_load
// (front/frontend.h) builds it; the normaliser reads it from below, so it
// lives apart from the entry points.
#pragma once

#include <stdint.h>

#include "front/g2p.h"
#include "front/rx.h"
#include "front/symbols.h"
#include "front/ucd.h"

/* The 33 compiled patterns: the normalisation chain's 29, the sound tag, the
   emphasis and markup patterns, and the sentence splitter. */
enum {
  FR_QUOTES, FR_PHONE, FR_CLOCK, FR_COLON, FR_HOUR, FR_DEG_CF, FR_DEG, FR_AMP_LETTERS, FR_AMP,
  FR_TILDE, FR_MONEY_SCALE, FR_VERSION, FR_ROMAN, FR_WW, FR_FRACTION, FR_RANGE, FR_DIMENSION,
  FR_JOIN, FR_MONEY, FR_PERCENT, FR_ORDINAL, FR_GROUPED, FR_DECIMAL, FR_LONG, FR_ACRONYM_GLUED,
  FR_ACRONYM, FR_HYPHEN, FR_SCALE_COMMA, FR_WS,
  FR_SOUND_TAG, FR_EMPH, FR_MARKUP, FR_SENTENCE,
  FR_NRX
};
#define FR_NUNITS 15
#define FR_NTITLES 29

struct tv_front {
  ucd uc;
  char *sym[TV_NSYM];
  int32_t sym_sorted[TV_NSYM];
  tv_g2p g2p;
  tv_rx *rx[FR_NRX];
  tv_rx *unit_rx[FR_NUNITS]; /* longest abbreviation first */
  const char *unit_words[FR_NUNITS];
  tv_rx *title_rx[FR_NTITLES];
  const char *title_words[FR_NTITLES];
};
