// Director files for tests: seeded ones through the writer, as bytes.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "api/director.h"
#include "runtime/error.h"

struct DirectorShape {
    uint32_t version = 2;
    int32_t A = TV_DIR_TOKEN_IDS, B = 8, H = 8, K = 2;
    uint64_t seed = 1;
    bool cal = false;
};

// The file image of a seeded director of the given shape.
inline std::vector<uint8_t> director_bytes(const DirectorShape &s) {
    std::vector<uint8_t> out;
    tv_director_arrays *a = tv_director_arrays_new(s.version, s.A, s.B, s.H, s.K);
    if (!a) return out;
    tv_director_arrays_seed(a, s.seed, s.cal);
    uint8_t *bytes;
    size_t size;
    if (tv_director_serialize(a, &bytes, &size) == 0) {
        out.assign(bytes, bytes + size);
        tv_free(bytes);
    }
    tv_director_arrays_free(a);
    return out;
}

inline std::vector<uint8_t> arrays_bytes(const tv_director_arrays *a) {
    std::vector<uint8_t> out;
    uint8_t *bytes;
    size_t size;
    if (tv_director_serialize(a, &bytes, &size) == 0) {
        out.assign(bytes, bytes + size);
        tv_free(bytes);
    }
    return out;
}

// Loads a file image; the message goes to *msg.
inline tovantts_director *load_bytes(const std::vector<uint8_t> &b, std::string *msg = nullptr) {
    char err[256] = "";
    tovantts_director *d = tovantts_director_from_memory(b.data(), b.size(), err, sizeof err);
    if (msg) *msg = err;
    return d;
}

inline void put_u32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)(v >> (8 * i));
}

inline tovantts_sentence sentence(const char *text, int32_t dialogue = 0, int32_t speaker = 0,
                                  int32_t len = 1, int32_t index = 0) {
    return tovantts_sentence{text, dialogue, speaker, len, index};
}
