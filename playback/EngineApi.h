#pragma once
// The engine calls Engine makes, as a table of function pointers: the real
// engine's functions by default, a fake engine's in tests.

#include "tovantts.h"

namespace tovan {

struct EngineApi {
    tovantts_engine* (*create)(const char* modelDir, int32_t threads, char* err, size_t errlen);
    void (*destroy)(tovantts_engine* e);
    int32_t (*numVoices)(const tovantts_engine* e);
    const char* (*voice)(const tovantts_engine* e, int32_t index);
    int32_t (*numTags)(const tovantts_engine* e);
    const char* (*tag)(const tovantts_engine* e, int32_t index);
    const char* (*defaultVoice)(const tovantts_engine* e);
    const char* (*voiceGender)(const tovantts_engine* e, int32_t index);
    const char* (*genderVoice)(const tovantts_engine* e, const char* gender);
    void (*defaultOptions)(tovantts_options* opt);
    int32_t (*synthesize)(tovantts_engine* e, const char* text, const tovantts_options* opt, float** audio,
                          int64_t* n, char* err, size_t errlen);
    int32_t (*streamEx)(tovantts_engine* e, const char* text, const tovantts_options* opt,
                        tovantts_chunk_ex_fn cb, void* user, char* err, size_t errlen);
    void (*free)(void* p);

    // The engine library's own functions.
    static const EngineApi& real();
};

}  // namespace tovan
