// The phoneme symbol table: 118 names whose positions are the symbol ids the
// whole engine uses (the front end emits them, the acoustic model embeds
// them).
//
//   0 "<pad>"   1 "<sp>"   2-8 , . ? ! ; : -
//   9-77     the 39 phonemes; each of the 15 vowels takes three ids (stress
//            0, 1, 2: "AA0" 9, "AA1" 10, "AA2" 11, "AE0" 12 ...), each of the
//            24 consonants one ("B" 27 ... "ZH" 77)
//   78-104   the 27 sound symbols "[laugh]" ... "[clock]"
//   105-117  "[reserved0]" ... "[reserved12]"
#pragma once

#include <stdint.h>

#define TV_NSYM 118
#define TV_SYM_PAD 0
#define TV_SYM_SP 1
/* Ids below this are not speech. */
#define TV_SYM_SPEECH 9

/* 0 / -1. Fills names (owned copies, indexed by id) and sorted (the ids in
   byte-wise order of their names). The reserved symbols are counted by
   `reserved` (13 in the engine; tests pass other counts to see the size check
   refuse them): a table that does not come to 118 names fails with
   "tovantts front: symbol table has %d entries" and leaves nothing behind. */
int sym_build(char **names, int32_t *sorted, int32_t reserved);
/* Frees the names and NULLs them. */
void sym_free(char **names);
/* Id of name (exact byte-wise match), or -1. */
int32_t sym_lookup(char *const *names, const int32_t *sorted, const char *name);
