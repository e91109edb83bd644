// Text normalisation: a fixed chain of pattern substitutions that rewrites
// written text into plain spoken words before grapheme-to-phoneme
// conversion (quotes, clock times, phone numbers, titles, degrees, money,
// percentages, units, ordinals, large and decimal numbers, Roman chapter
// numbers, fractions, versions, acronyms, then the number words). Each rule
// replaces every match, left to right without overlap, and hands its result
// to the next; the order matters (a rule may leave digits for a later one).
#pragma once

#include <stdint.h>

#include "front/u32s.h"
#include "front/ucd.h"

typedef struct tv_front tv_front;

/* The unit and title tables, in table order (abbreviation or pattern, then
   the words). */
extern const char *const kFrontUnits[15][2];
extern const char *const kFrontTitles[29][2];
/* The 33 patterns of the front-end record, indexed by FR_*; the sentence
   splitter is assembled by front_sentence_pattern. */
extern const char *const kFrontPatternText[];
/* The unit rows longest abbreviation first (table order among equal
   lengths), and the pattern of one row: "(\d)\s?", the abbreviation with
   every "/" as "[ /]", then "\b" (64 bytes). */
void front_units_by_length(int32_t order[15]);
void front_unit_pattern(const char *abbr, char out[64]);
/* Writes the sentence-splitting pattern into buf (1024 bytes); 0 / -1. */
int front_sentence_pattern(char *buf, int32_t size);

/* Appends the normalised text[0, n) to out. */
void front_normalize(uint32_t *flag, const tv_front *f, const uint32_t *text, int32_t n, u32s *out);
/* Every run of white space becomes one blank. */
void front_collapse_ws(uint32_t *flag, const tv_front *f, u32s *s);
/* Removes white space at both ends. */
void front_trim_ws(const ucd *u, u32s *s);
