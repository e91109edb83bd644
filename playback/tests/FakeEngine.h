// A fake engine library behind the EngineApi table: its handle is a
// FakeEngine, set up by each test, which records what reaches it.
#pragma once

#include "EngineApi.h"

#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct FakeEngine {
    struct Voice {
        const char* name;      // null: the engine reports a null name
        const char* gender;    // null: unknown
    };
    std::vector<Voice> voices = {{"voice_1688", "female"}, {"voice_2500", "male"}, {"voice_0007", nullptr}};
    std::vector<const char*> tags = {"none", "excited", nullptr, "whisper"};
    const char* female = "voice_1688";
    const char* male = "voice_2500";
    const char* defaultVoice = "voice_1688";

    // What synthesize answers: samples, or a failure with this message.
    std::vector<float> audio = {0.25f, -0.5f, 0.75f};
    std::optional<std::string> failWith;
    bool succeedWithoutAudio = false;
    // Segments a stream renders, one chunk each; a failure after them.
    std::vector<std::vector<float>> segments = {{0.1f}, {0.2f, 0.2f}, {0.3f, 0.3f, 0.3f}};
    std::optional<std::string> streamFailsWith;

    // What reached the engine.
    struct Call {
        std::string text;
        std::optional<std::string> voice, tag, ctrl;
        float pace = 0;
        int32_t markup = -1;
        float guidance = 0;
    };
    std::vector<Call> calls;
    int synthCalls = 0, streamCalls = 0, chunksRendered = 0;
    std::atomic<int> inside{0}, maxInside{0};
    std::atomic<long> live{0};  // buffers handed out and not freed

    static inline FakeEngine* next = nullptr;  // what create hands out
    static inline std::string createError;     // when next is null
    static inline int destroyed = 0;

    static const tovan::EngineApi& api();
};

namespace fake_detail {

inline FakeEngine& F(const tovantts_engine* e) { return *reinterpret_cast<FakeEngine*>(const_cast<tovantts_engine*>(e)); }

inline void copyErr(const std::string& m, char* err, size_t len) {
    if (!err || !len) return;
    size_t n = std::min(m.size(), len - 1);
    std::memcpy(err, m.data(), n);
    err[n] = 0;
}

// Marks a call as inside the engine for a while, so overlapping calls show.
struct Inside {
    FakeEngine& f;
    explicit Inside(FakeEngine& f) : f(f) {
        int now = ++f.inside;
        int m = f.maxInside.load();
        while (now > m && !f.maxInside.compare_exchange_weak(m, now)) {
        }
        for (int i = 0; i < 200; i++) std::this_thread::yield();
    }
    ~Inside() { --f.inside; }
};

inline FakeEngine::Call record(const char* text, const tovantts_options* o) {
    FakeEngine::Call c;
    c.text = text;
    auto opt = [](const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; };
    c.voice = opt(o->voice);
    c.tag = opt(o->tag);
    c.ctrl = opt(o->ctrl);
    c.pace = o->pace;
    c.markup = o->markup;
    c.guidance = o->guidance;
    return c;
}

}  // namespace fake_detail

inline const tovan::EngineApi& FakeEngine::api() {
    using namespace fake_detail;
    static const tovan::EngineApi table{
        [](const char*, int32_t, char* err, size_t len) -> tovantts_engine* {
            if (!next) {
                copyErr(createError, err, len);
                return nullptr;
            }
            return reinterpret_cast<tovantts_engine*>(next);
        },
        [](tovantts_engine*) { destroyed++; },
        [](const tovantts_engine* e) {
            Inside in(F(e));
            return int32_t(F(e).voices.size());
        },
        [](const tovantts_engine* e, int32_t i) -> const char* {
            Inside in(F(e));
            return i >= 0 && size_t(i) < F(e).voices.size() ? F(e).voices[size_t(i)].name : nullptr;
        },
        [](const tovantts_engine* e) { return int32_t(F(e).tags.size()); },
        [](const tovantts_engine* e, int32_t i) -> const char* {
            return i >= 0 && size_t(i) < F(e).tags.size() ? F(e).tags[size_t(i)] : nullptr;
        },
        [](const tovantts_engine* e) { return F(e).defaultVoice; },
        [](const tovantts_engine* e, int32_t i) -> const char* {
            return i >= 0 && size_t(i) < F(e).voices.size() ? F(e).voices[size_t(i)].gender : nullptr;
        },
        [](const tovantts_engine* e, const char* g) -> const char* {
            Inside in(F(e));
            if (!std::strcmp(g, "female")) return F(e).female;
            if (!std::strcmp(g, "male")) return F(e).male;
            return nullptr;
        },
        tovantts_default_options,
        [](tovantts_engine* e, const char* text, const tovantts_options* o, float** audio, int64_t* n, char* err,
           size_t len) -> int32_t {
            FakeEngine& f = F(e);
            Inside in(f);
            f.synthCalls++;
            f.calls.push_back(record(text, o));
            *audio = nullptr;
            *n = 0;
            if (!*text) {
                copyErr("text must be a non-empty string", err, len);
                return -1;
            }
            if (f.failWith) {
                copyErr(*f.failWith, err, len);
                return -1;
            }
            if (f.succeedWithoutAudio) return 0;
            *audio = static_cast<float*>(std::malloc(sizeof(float) * (f.audio.size() + 1)));
            std::memcpy(*audio, f.audio.data(), sizeof(float) * f.audio.size());
            *n = int64_t(f.audio.size());
            f.live++;
            return 0;
        },
        [](tovantts_engine* e, const char* text, const tovantts_options* o, tovantts_chunk_ex_fn cb, void* user,
           char* err, size_t len) -> int32_t {
            FakeEngine& f = F(e);
            Inside in(f);
            f.streamCalls++;
            f.calls.push_back(record(text, o));
            for (size_t i = 0; i < f.segments.size(); i++) {
                f.chunksRendered++;
                tovantts_chunk_info info{"", "none", "", 0, int32_t(i), 1.0};
                if (cb(f.segments[i].data(), int64_t(f.segments[i].size()), &info, user)) return 0;
            }
            if (f.streamFailsWith) {
                copyErr(*f.streamFailsWith, err, len);
                return -1;
            }
            return 0;
        },
        [](void* p) {
            if (p && next) next->live--;
            std::free(p);
        },
    };
    return table;
}
