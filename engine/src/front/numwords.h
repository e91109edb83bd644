// English number words of the front end.
//
// Two families side by side, used at different places of normalisation:
// - the chain's own word routines: British cardinal words of a digit string
//   ("and" after hundreds and before a final small group), ordinal words, and
//   the words of a double with its decimals read digit by digit;
// - the number normaliser: six substitutions over a whole text (grouped
//   numbers, pounds, dollars, decimals, ordinals, plain numbers with a year
//   reading), on a second word routine with a configurable "and" word, zero
//   word and digit grouping.
// Everything writes ASCII. Failures go through the caller's flag with
// messages worded like the errors of a scripting runtime, which callers
// match word for word.
#pragma once

#include <stdint.h>

#include "front/rx.h"
#include "front/sb.h"
#include "front/u32s.h"
#include "front/ucd.h"

enum {
  NW_ORD_RX,     /* ^(\d+)(st|nd|rd|th)$ */
  NW_PAIR_RX,    /* (\d)(\d) */
  NW_LAST_RX,    /* (\d)$ */
  NW_SPCOMMA_RX, /* (\S)\s+, */
  NW_WSCOMMA_RX, /* \s+, */
  NW_ENDCOMMA_RX,/* ,\s*$ */
  NW_WS_RX,      /* \s+ */
  NW_LASTAND_RX, /* , (\S+)\Z */
  NW_LASTWORD_RX,/* (\w+)$ */
  NW_GROUPED_RX, /* ([0-9][0-9\,]+[0-9]) */
  NW_POUNDS_RX,  /* £([0-9\,]*[0-9]+) */
  NW_DOLLARS_RX, /* \$([0-9\.\,]*[0-9]+) */
  NW_DECIMAL_RX, /* ([0-9]+\.[0-9]+) */
  NW_ORDINAL_RX, /* [0-9]+(st|nd|rd|th) */
  NW_NUMBER_RX,  /* [0-9]+ */
  NW_NRX
};

/* The patterns, in that order. */
extern const char *const kNumwordsPatterns[NW_NRX];

typedef struct tv_numwords {
  const ucd *u; /* digit values */
  tv_rx *rx[NW_NRX];
} tv_numwords;

/* 0 / -1 (the pattern compiler's message; nothing left compiled). */
int numwords_init(tv_numwords *rec, const ucd *u);
void numwords_free(tv_numwords *rec);

/* Canonical ASCII digits of the integer written in text[0, n), of any
   length: every character must be a decimal digit of any script; leading
   zeros go; "" and all zeros give "0". Failure: "ValueError: invalid literal
   for int() with base 10: '%s'" (the text cut to 200 bytes). */
void py_int_digits(uint32_t *flag, const ucd *u, const uint32_t *text, int32_t n, sb *out);

/* The longest numbers the two word routines name; longer runs of digits are
   read digit by digit in groups (nw_digit_groups), since no listener follows
   a forty-digit number in scale words, and the routines run out of them. */
enum { NW_BRITISH_MAX_DIGITS = 102, NW_INFLECT_MAX_DIGITS = 36 };

/* ASCII digits[0, n) as digit words in groups of three, the last group of two
   to four: "one two three, four five six, seven eight nine zero". */
void nw_digit_groups(uint32_t *flag, const char *digits, int32_t n, sb *out);

/* British cardinal / ordinal words of canonical digits; more than
   NW_BRITISH_MAX_DIGITS are read in digit groups (the ordinal makes the last
   digit's word ordinal). */
void nw_cardinal(uint32_t *flag, const char *digits, sb *out);
void nw_ordinal(uint32_t *flag, const char *digits, sb *out);
/* Words of a double: the integer part as cardinal words, then " point" and
   one word per decimal place of the shortest round-trip form. */
void nw_cardinal_float(uint32_t *flag, sb *out, double x);
/* Exact decimal digits of a non-negative integral double. */
void double_int_digits(uint32_t *flag, sb *out, double x);

/* The configurable word routine over a number written in text[0, n) (digits,
   optionally with an ordinal suffix, which makes the words ordinal). group 0
   reads the whole number (in digit groups beyond NW_INFLECT_MAX_DIGITS
   digits), group 2 reads digits in pairs. */
void inflect_words(uint32_t *flag, const tv_numwords *rec, const uint32_t *text, int32_t n,
                   const char *and_word, const char *zero_word, int group, sb *out);

/* The number normaliser over a whole text; appends to out. */
void nw_normalize_numbers(uint32_t *flag, const tv_numwords *rec, const uint32_t *text,
                          int32_t n, u32s *out);

/* Decimal text to double with '.' as the decimal point under any locale. */
double tv_front_strtod(const char *text);
