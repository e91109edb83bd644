// Grapheme-to-phoneme conversion: normalised English text to symbol ids,
// token by token. Each token is looked up among the heteronyms, then in the
// main lexicon ("lexicon.bin"), then in the out-of-vocabulary lexicon
// ("oov.bin"), and is otherwise predicted letter by letter by a small
// recurrent encoder-decoder ("gru.bin") whose results are kept in a shared
// cache (the one part of the front end written after loading; it has its own
// mutex).
//
// Lexicon files (little-endian): "TVLX", version 1, n, K (key bytes),
// V (value bytes), n+1 key offsets, n+1 value offsets, the key blob (sorted
// byte-wise, no terminators), the value blob (one symbol id per byte).
//
// Recurrent model file (little-endian): "TVGR", version 1, H (hidden, a
// multiple of 32 in 32..512), V_in (3..4096), V_out (4..4096), then encoder
// and decoder input tables (f32, 3H per row: reset, update, new gates),
// encoder recurrent int8 weights (3H x H), their row scales and biases (f32),
// the same for the decoder, output int8 weights (V_out x H), their scales and
// biases, and the output-to-symbol map (i32; 118 or more, or negative: no
// symbol). Input symbols: 1 any non-letter, 2 end of word, 3..28 "a".."z".
// Output symbols: 2 starts decoding, 3 ends it.
#pragma once

#include <pthread.h>
#include <stdint.h>

#include "front/hetero.h"
#include "front/numwords.h"
#include "front/rx.h"
#include "front/ucd.h"

#define G2P_MAX_IDS 64     /* ids a lexicon value or a heteronym gives at most */
#define G2P_MAX_PREDICT 20 /* symbols the model predicts at most */
#define G2P_CACHE_SLOTS 32768
#define G2P_CACHE_MAX 16384 /* entries before the cache is emptied */

/* The token and run patterns. */
extern const char *const kG2pTokenPattern;
extern const char *const kG2pRunPattern;

typedef struct tv_lexicon {
  char *file; /* the file's bytes; the pointers below point into it */
  uint32_t n, K, V;
  const uint8_t *koff, *voff; /* n + 1 little-endian u32 each */
  const uint8_t *keys, *vals;
} tv_lexicon;

typedef struct tv_gru {
  int32_t H, vin, vout;
  float *enc_in, *dec_in;         /* vin x 3H, vout x 3H */
  int8_t *enc_w, *dec_w, *out_w;  /* 3H x H, 3H x H, vout x H */
  float *enc_s, *enc_b, *dec_s, *dec_b, *out_s, *out_b;
  int32_t *map; /* vout */
} tv_gru;

typedef struct g2p_slot {
  char *key; /* NULL: empty */
  int8_t ids[G2P_MAX_PREDICT];
  int32_t count;
} g2p_slot;

typedef struct g2p_cache {
  pthread_mutex_t mu;
  g2p_slot *slots; /* allocated on first insert */
  int32_t entries;
  uint64_t runs; /* times the model ran (statistics for tests) */
} g2p_cache;

typedef struct tv_g2p {
  const ucd *u; /* the front end's code point table */
  tv_numwords nw;
  tv_lexicon lex, oov;
  tv_gru gru;
  tv_hetero het;
  tv_rx *run_rx;   /* ([^a-z0-9])\1{3,} */
  tv_rx *token_rx; /* the token pattern */
  int32_t punct[128];
  g2p_cache *cache;
} tv_g2p;

/* 0 / -1: number words, dir/lexicon.bin, dir/oov.bin, dir/gru.bin,
   dir/hetero.tsv, the two patterns, the cache and the punctuation map, over
   the code point table u and the symbol table (sym, sym_sorted), which must
   outlive g. On failure everything is released and the error text says why. */
int g2p_init(tv_g2p *g, const char *dir, const ucd *u, char *const *sym, const int32_t *sym_sorted);
void g2p_free(tv_g2p *g);

/* Converts text[0, n): *ids gets a new malloc'd array of symbol ids with -1
   between tokens, *count its length. On failure (flag set) *ids is NULL. */
void g2p_call(uint32_t *flag, const tv_g2p *g, const uint32_t *text, int32_t n, int32_t **ids,
              int32_t *count);
/* 1 when the NUL-terminated ASCII word is a key of lexicon.bin. */
int g2p_in_cmu(const tv_g2p *g, const char *word);
/* The prediction for a token through the cache: writes at most 20 ids to out
   and returns their count. */
int32_t predict_cached(const tv_g2p *g, const char *word, int32_t len, int32_t *out);

/* Lexicon and model files on their own (tests, tools). */
int lex_load(tv_lexicon *lx, const char *path);
void lex_free(tv_lexicon *lx);
/* Value of key, or NULL (*vlen the value's length). */
const uint8_t *lex_find(const tv_lexicon *lx, const char *key, int32_t klen, int32_t *vlen);
int gru_load(tv_gru *m, const char *path);
void gru_free(tv_gru *m);
/* Greedy decoding of one word: output symbols (not yet mapped) into out[20];
   returns their count. */
int32_t gru_run(const tv_gru *m, const char *word, int32_t len, int32_t *out);
