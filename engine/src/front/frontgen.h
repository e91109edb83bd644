// Builds the front end's asset folder from real data:
// - unicode.bin from Debian's unicode-data (tv_ucd_build);
// - lexicon.bin from the CMU pronouncing dictionary in Debian's festlex-cmu
//   (its phones are the 39 of the symbol table; stress on the syllable's
//   vowel, "ax" is AH0; the first pronunciation of a word is kept);
// - oov.bin from the same package's additions to the dictionary
//   (contractions and a few others), a handful of words the normaliser writes
//   that the dictionary lacks, and letters with "'s" ("T V's");
// - hetero.tsv from the words the dictionary gives two readings for (noun and
//   verb, adjective and verb, adjective and noun), with hand-set weights that
//   pick the usual reading from the words around it;
// - gru.bin: a trained letter-to-sound predictor when one is given (checked
//   by loading it, then copied), else a small seeded predictor whose output
//   is a fixed short pronunciation for every word.
// Every file is written atomically (temporary file in the same folder, then
// rename).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

typedef struct tv_front_build_opts {
  const char *unicode_dir; /* NULL: /usr/share/unicode */
  const char *cmu_dir;     /* NULL: /usr/share/festival/dicts/cmu */
  int32_t tiny;            /* 1: a small lexicon (common words, what the normaliser writes, heteronyms) */
  uint64_t seed;           /* gru.bin's noise (any value) */
  const char *gru_file;    /* NULL: the seeded predictor; else a trained gru.bin to copy */
} tv_front_build_opts;

/* 0 / -1 (message in the error text). Writes the five assets into dir,
   creating it when needed. opts may be NULL (full lexicon, seed 1). */
int tv_front_build(const char *dir, const tv_front_build_opts *opts);

/* One lexicon entry: a key and its symbol ids. */
struct tv_lex_entry {
  std::string key;
  std::vector<uint8_t> ids;
};
/* The bytes of a lexicon file ("TVLX" version 1); entries are sorted here and
   the first of equal keys is kept. */
std::string tv_lexicon_bytes(std::vector<tv_lex_entry> entries);
/* The bytes of a seeded predictor that spells every word as `symbols` (at
   most 30 symbol ids) and then ends; hidden size H (a multiple of 32). */
std::string tv_gru_bytes(uint64_t seed, const std::vector<int32_t> &symbols, int32_t H = 32);
/* Symbol ids of blank-separated symbol names ("HH AH0 L OW1"); -1 entries
   for unknown names. */
std::vector<int32_t> tv_symbol_ids(const char *names);
/* 0 / -1: bytes to path through a temporary file in the same folder. */
int tv_write_atomic(const char *path, const std::string &bytes);
