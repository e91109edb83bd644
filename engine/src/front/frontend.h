// The text front end: one piece of plain English text to the input of the
// acoustic model, a sequence of symbol ids with, beside each id, the index of
// the word it belongs to (-1 for pauses, punctuation and sound symbols).
//
// The road: normalisation (front/normalize.h, with the number words), an
// optional split at sound tags in square brackets ("[laugh]"), grapheme-to-
// phoneme conversion (front/g2p.h, with the heteronyms), then the assembly of
// ids and word indices here. The record (front/record.h) is built once per engine and is
// read-only afterwards, except for the prediction cache, which has its own
// lock; any number of threads may convert text with one record at once.
//
// Assets, all in one directory (the model's native/front folder):
// unicode.bin, lexicon.bin, oov.bin, gru.bin, hetero.tsv.
#pragma once

#include <stdint.h>

#include "front/record.h"
#include "front/u32s.h"

/* Phoneme output: ids and word indices side by side. Both arrays grow
   together (64 entries, then doubling); the caller frees them with
   tv_phonemes_free. A zeroed record is empty. */
typedef struct tv_phonemes {
  int32_t *ids;
  int32_t *words;
  int32_t count;
  int32_t capacity;
} tv_phonemes;

/* Front end from an asset directory, or NULL with the reason in the error
   text ("tovantts front: ..."). Freed with tv_front_free (NULL ignored). */
tv_front *tv_front_load(const char *dir);
void tv_front_free(tv_front *front);

/* Id of a symbol name, or -1. */
int32_t tv_front_symbol_id(const tv_front *front, const char *name);
/* Name of a symbol id, or NULL outside 0..117. */
const char *tv_front_symbol(const tv_front *front, int32_t id);

/* 0 / -1. UTF-8 text (malformed bytes read as U+FFFD) to ids and word
   indices. out is emptied first and stays empty on failure (message in the
   error text; "tovantts front: NULL argument" for a NULL front or text). */
int tv_front_phonemes(const tv_front *front, const char *text, tv_phonemes *out);
/* Frees both arrays and zeroes the record; NULL ignored. */
void tv_phonemes_free(tv_phonemes *out);
/* The text after normalisation, as a new UTF-8 string freed with tv_free; or
   NULL (message in the error text). */
char *tv_front_normalize(const tv_front *front, const char *text);
/* 1 when some id is a speech symbol (9 or more). */
int tv_front_has_speech(const tv_phonemes *out);

/* The same conversion on UTF-32 text with the caller's flag; 0 / -1. Used by
   the markup parser to count words. */
int front_phonemes_u32(uint32_t *flag, const tv_front *front, const uint32_t *text, int32_t n,
                       tv_phonemes *out);
/* For tests: the asset directory loaded with a symbol table of `reserved`
   reserved symbols (13 makes the real table). */
tv_front *front_load_with(const char *dir, int32_t reserved);
