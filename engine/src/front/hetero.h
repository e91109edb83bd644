// Heteronyms: words spelled alike but said differently by meaning ("record"
// the noun and the verb). "hetero.tsv" gives each such word two
// pronunciations and a group; a linear classifier over the tokens around it,
// with integer weights from the same file, picks one.
//
// hetero.tsv: lines end at "\n" (a "\r" before it is dropped), fields are
// separated by tabs, empty lines are skipped, and the first field names the
// kind of record:
//   H  word  pronunciation-A  pronunciation-B  group    (symbol names, blank-separated)
//   T  word  tag                                         (word class of a context word)
//   W  feature-key  weight                               (decimal integer)
//   N                                                    (tag features off)
// When a word or key repeats, the last line wins. There are no comments.
#pragma once

#include <stdint.h>

#include "front/sb.h"

typedef struct het_word {
  char *word;
  uint8_t *a, *b; /* symbol ids */
  int32_t na, nb;
  char *group;
} het_word;

typedef struct het_weight {
  char *key;
  int32_t weight;
  int32_t seq;
} het_weight;

typedef struct het_tagrec {
  char *word;
  char *tag;
  int32_t seq;
} het_tagrec;

typedef struct tv_hetero {
  het_word *words; /* sorted by word */
  int32_t nwords;
  het_weight *weights; /* sorted by key */
  int32_t nweights;
  het_tagrec *tags; /* sorted by word */
  int32_t ntags;
  int32_t tag_features; /* 1 unless an "N" line is present */
} tv_hetero;

/* 0 / -1 ("tovantts front: cannot open %s", "tovantts front: bad hetero.tsv
   line", "tovantts front: out of memory"; nothing left behind). Symbol names
   are looked up in the symbol table (sym and sym_sorted as sym_build fills
   them). */
int het_load(tv_hetero *t, const char *path, char *const *sym, const int32_t *sym_sorted);
void het_free(tv_hetero *t);

/* The heteronym record of a word (NUL-terminated), or NULL. */
const het_word *het_find(const tv_hetero *t, const char *word, int32_t len);
/* Appends the tag of a context word. */
void het_tag(uint32_t *flag, const tv_hetero *t, const char *word, int32_t len, sb *out);
/* The pronunciation of token i of toks (n tokens, token k is toks[k] with
   lens[k] bytes), which is the heteronym h: writes at most 64 ids to ids and
   returns their count (0 with the flag set on failure). */
int32_t het_choose(uint32_t *flag, const tv_hetero *t, const het_word *h, const char *const *toks,
                   const int32_t *lens, int32_t n, int32_t i, uint8_t *ids);
/* The score itself (positive chooses A). */
int64_t het_score(uint32_t *flag, const tv_hetero *t, const het_word *h, const char *const *toks,
                  const int32_t *lens, int32_t n, int32_t i);
