// Reading director internals: the loaded model, the reading state, the text
// features it plans from, and a writer of director files for tools and tests.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "tovantts.h"

enum {
    TV_DIR_FEATURES = 18,
    TV_DIR_GENRES = 10,
    TV_DIR_PLAN = 6,
    TV_DIR_MAX_WIDTH = 64,  // largest token width B, hidden width H and context length K
    TV_DIR_TOKEN_IDS = 16384,  // token ids are 14-bit
    TV_DIR_MAX_TOKENS = 512,  // ids per text, words and bigrams together
    TV_DIR_MAX_TOKEN_BYTES = 63,
    TV_DIR_CAL_BYTES = 104,  // "CAL1" and 25 floats
};

// An int8 matrix regrouped in panels of 8 rows: panel p holds, input by
// input, the 8 weights of rows 8p..8p+7 as floats (rows past the end are
// zero). The product then sums each row over its inputs in order, exactly
// as a plain row dot product does, while 8 rows advance together.
struct tv_dir_mat {
    int32_t rows, cols, panels;
    const float *w;       // panels x cols x 8, 32-byte aligned
    const float *scale;   // rows
    const float *bias;    // rows
};

// The product y = scale * (W x) + bias on 8-wide registers (director_avx2.cpp).
void tv_director_matvec_avx2(const struct tv_dir_mat *m, const float *x, float *y);

struct tovantts_director {
    uint32_t version;
    uint32_t A;           // token rows (at least 16384)
    int32_t B, H, K;      // token width, hidden width, context length (at most 64)
    int32_t I;            // GRU input width: 2H + 6, or 3H + 6 with a context
    uint8_t *file;        // private copy of the whole file
    size_t size;
    const int8_t *tokens;      // A x B, row-major inside the copy
    const float *tok_scale;    // A
    struct tv_dir_mat enc;     // H x (B + 28)
    struct tv_dir_mat ig, hg;  // 3H x I, 3H x H: reset, update, new
    struct tv_dir_mat out;     // 6 x 2H
    int32_t has_cal;
    float cal[25];  // element (input j, output k) at 5j + k
    float *floats;   // decoded float arrays (owned)
    float *panels;   // the four matrices in panel form (owned)
};

struct tovantts_reading {
    const tovantts_director *d;
    float genre[TV_DIR_GENRES];
    float h[TV_DIR_MAX_WIDTH];
    float prev[TV_DIR_PLAN];
    // K rows of H values, each row 64 wide (zeros past H), 16-byte aligned.
    alignas(16) float ring[TV_DIR_MAX_WIDTH * TV_DIR_MAX_WIDTH];
    int32_t ring_pos, ring_fill;
    // One-entry cache of the look-ahead sentence's encoding, keyed by its
    // text and its features (the flags change the encoding too).
    char *cache_text;  // owned buffer of cache_cap bytes, reused
    size_t cache_cap;
    int32_t cache_valid;
    float cache_feat[TV_DIR_FEATURES];
    float cache_enc[TV_DIR_MAX_WIDTH];
};

// Token ids of a UTF-8 text (words, then bigrams); returns their count, at most
// TV_DIR_MAX_TOKENS, written to ids (room for TV_DIR_MAX_TOKENS).
int32_t tv_director_tokens(const char *text, uint16_t *ids);
// The id of one token's bytes, hashed from the given register start.
uint16_t tv_director_hash(const char *bytes, size_t n, uint32_t start);
enum { TV_DIR_WORD_SEED = 0x1854DB83u, TV_DIR_BIGRAM_SEED = 0x2FE13D97u };
// The 18 sentence features.
void tv_director_features(const tovantts_sentence *s, float *out);
// Encoding of a sentence (H floats) from its text, features and the genre.
void tv_director_encode(const tovantts_director *d, const char *text, const float *feat,
                        const float *genre, float *out);

// ---- writing director files (tools and tests) ----

// Every array of a director file, in file order, as plain host arrays.
struct tv_director_arrays {
    uint32_t version;
    int32_t A, B, H, K;
    float *tok_scale;  // A
    int8_t *tokens;    // A x B
    float *enc_scale;  // H
    int8_t *enc_w;     // H x (B + 28)
    float *enc_b;      // H
    float *ig_scale;   // 3H
    int8_t *ig_w;      // 3H x I
    float *hg_scale;   // 3H
    int8_t *hg_w;      // 3H x H
    float *ig_b;       // 3H
    float *hg_b;       // 3H
    float *out_scale;  // 6
    int8_t *out_w;     // 6 x 2H
    float *out_b;      // 6
    int32_t has_cal;
    float cal[25];
    void *block;  // one allocation behind all arrays
};

// Zeroed arrays for the given shape; NULL on a bad shape or no memory.
struct tv_director_arrays *tv_director_arrays_new(uint32_t version, int32_t A, int32_t B,
                                                  int32_t H, int32_t K);
void tv_director_arrays_free(struct tv_director_arrays *a);
// Fills every array from a seeded generator (same seed, same bytes everywhere);
// with_cal adds a calibration block near the identity.
void tv_director_arrays_seed(struct tv_director_arrays *a, uint64_t seed, int32_t with_cal);
// The development director: neutral prosody (plans 0 to 4 are zero) and
// ordinary pauses, longer at a paragraph's end, after headings and ellipses.
struct tv_director_arrays *tv_director_arrays_dev(void);
// The file image; 0, or -1 with the message set (out of memory).
int32_t tv_director_serialize(const struct tv_director_arrays *a, uint8_t **bytes, size_t *size);
// Writes the file atomically (temporary file beside it, then rename); 0 / -1.
int32_t tv_director_save(const struct tv_director_arrays *a, const char *path);
// Writes the development director file to path; 0 / -1 with the message set.
int32_t tv_director_write_dev(const char *path);
