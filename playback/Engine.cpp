#include "Engine.h"

#include "Regex.h"
#include "Spoken.h"

#include <cstring>

namespace tovan {

namespace {

// Error buffers of engine calls: a fresh zero-filled one per call.
constexpr size_t ERRLEN = 256;

constexpr std::u16string_view NO_MESSAGE = u"speech engine: the call failed without a message";

// An optional text as the engine takes it: UTF-8, or absent for a null
// pointer. The converted text lives as long as the returned value.
std::optional<std::string> withOptional(const std::optional<std::u16string>& s) {
    if (!s) return std::nullopt;
    return u8(*s);
}

const char* ptr(const std::optional<std::string>& s) { return s ? s->c_str() : nullptr; }

// How many bytes the UTF-8 sequence led by b takes; 0 for a byte that cannot
// lead one.
size_t seqLen(unsigned char b) {
    if (b < 0x80) return 1;
    if (b >= 0xc2 && b <= 0xdf) return 2;
    if (b >= 0xe0 && b <= 0xef) return 3;
    if (b >= 0xf0 && b <= 0xf4) return 4;
    return 0;
}

}  // namespace

Engine::Failure::Failure(std::u16string message) : message_(std::move(message)) {
    if (message_.empty()) message_ = NO_MESSAGE;
    utf8_ = u8(message_);
}

Engine::Failure Engine::Failure::fromBuffer(const char* buf, size_t size) {
    if (!buf || size == 0) return Failure(u"");
    size_t n = strnlen(buf, size - 1);
    // An engine that cut its message to the buffer may have cut a character
    // in two: drop the incomplete one at the end rather than show U+FFFD.
    size_t lead = n;
    for (size_t back = 0; back < 4 && lead > 0; back++) {
        unsigned char b = static_cast<unsigned char>(buf[lead - 1]);
        if ((b & 0xc0) != 0x80) {
            lead--;
            break;
        }
        lead--;
    }
    if (lead < n) {
        size_t need = seqLen(static_cast<unsigned char>(buf[lead]));
        if (need > n - lead) n = lead;
    }
    return Failure(u16(std::string_view(buf, n)));
}

const std::array<std::u16string_view, 12>& Engine::controls() {
    static const std::array<std::u16string_view, 12> names{u"rate",   u"loud",   u"f0_med", u"f0_iqr",
                                                           u"f0_end", u"pause",  u"tilt",   u"voiced",
                                                           u"flat",   u"centroid", u"cpps", u"h1h2"};
    return names;
}

Engine::Engine(const std::filesystem::path& modelDir, int32_t threads, const EngineApi& api) : api_(api) {
    char err[ERRLEN] = {0};
    h_ = api_.create(modelDir.c_str(), threads, err, ERRLEN);
    if (!h_) throw Failure::fromBuffer(err, ERRLEN);
}

Engine::~Engine() {
    if (h_) api_.destroy(h_);
}

std::vector<std::u16string> Engine::voices() {
    std::lock_guard g(lock_);
    std::vector<std::u16string> out;
    if (!h_) return out;
    const int32_t n = api_.numVoices(h_);
    for (int32_t i = 0; i < n; i++)
        if (const char* name = api_.voice(h_, i)) out.push_back(u16(name));
    return out;
}

std::vector<std::u16string> Engine::tags() {
    std::lock_guard g(lock_);
    std::vector<std::u16string> out;
    if (!h_) return out;
    const int32_t n = api_.numTags(h_);
    for (int32_t i = 0; i < n; i++)
        if (const char* name = api_.tag(h_, i)) out.push_back(u16(name));
    return out;
}

std::optional<std::u16string> Engine::gender(std::u16string_view voice) {
    std::lock_guard g(lock_);
    if (!h_) return std::nullopt;
    const std::string wanted = u8(voice);
    const int32_t n = api_.numVoices(h_);
    for (int32_t i = 0; i < n; i++) {
        const char* name = api_.voice(h_, i);
        if (name && wanted == name) {
            const char* gender = api_.voiceGender(h_, i);
            if (!gender) return std::nullopt;
            return u16(gender);
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> Engine::voice(std::u16string_view ofGender) {
    std::lock_guard g(lock_);
    if (!h_) return std::nullopt;
    const char* name = api_.genderVoice(h_, u8(ofGender).c_str());
    if (!name) return std::nullopt;
    return u16(name);
}

std::optional<std::u16string> Engine::defaultVoice() {
    std::lock_guard g(lock_);
    if (!h_) return std::nullopt;
    const char* name = api_.defaultVoice(h_);
    if (!name) return std::nullopt;
    return u16(name);
}

std::optional<std::u16string> Engine::resolve(const std::optional<std::u16string>& requested) {
    // Each lookup takes the lock on its own; it is never held across both.
    if (!requested || *requested == u"female") return voice(u"female");
    if (*requested == u"male") return voice(u"male");
    if (gender(*requested)) return requested;
    return voice(u"female");
}

bool Engine::isCancelled() {
    std::lock_guard g(cancelLock_);
    return cancelled_;
}

void Engine::cancel() {
    std::lock_guard g(cancelLock_);
    cancelled_ = true;
}

void Engine::resetCancel() {
    std::lock_guard g(cancelLock_);
    cancelled_ = false;
}

tovantts_options Engine::options(const char* voice, const char* tag, const char* ctrl, float pace,
                                 bool markup) const {
    tovantts_options opt;
    std::memset(&opt, 0, sizeof opt);
    api_.defaultOptions(&opt);
    opt.voice = voice;
    opt.tag = tag;
    opt.ctrl = ctrl;
    opt.pace = pace;
    opt.markup = markup ? 1 : 0;
    return opt;
}

std::optional<std::vector<float>> Engine::synthesize(const std::u16string& text,
                                                     const std::optional<std::u16string>& voice,
                                                     const std::optional<std::u16string>& tag,
                                                     const std::optional<std::u16string>& ctrl, float pace,
                                                     bool markup) {
    // Text preparation overlaps another caller's synthesis: outside the lock.
    const std::string spoken = u8(Spoken::say(text, markup));
    const auto v = withOptional(voice), t = withOptional(tag), c = withOptional(ctrl);

    std::lock_guard g(lock_);
    if (!h_) return std::nullopt;
    if (isCancelled()) return std::nullopt;
    const tovantts_options opt = options(ptr(v), ptr(t), ptr(c), pace, markup);
    char err[ERRLEN] = {0};
    float* audio = nullptr;
    int64_t n = 0;
    const int32_t rc = api_.synthesize(h_, spoken.c_str(), &opt, &audio, &n, err, ERRLEN);
    if (rc != 0 || !audio) {
        api_.free(audio);
        throw Failure::fromBuffer(err, ERRLEN);
    }
    std::vector<float> out;
    try {
        out.assign(audio, audio + (n > 0 ? n : 0));
    } catch (...) {
        api_.free(audio);
        throw;
    }
    api_.free(audio);
    return out;
}

struct Engine::Box {
    const Chunk& f;
    Engine& engine;
    std::exception_ptr error;
};

int32_t Engine::onChunk(const float* samples, int64_t n, const tovantts_chunk_info* info, void* user) {
    Box& box = *static_cast<Box*>(user);
    if (box.engine.isCancelled()) return 1;
    // Nothing may be thrown through the engine's C frames: an exception from
    // the closure stops the stream and is rethrown once the engine returns.
    try {
        std::vector<float> copy;
        if (samples && n > 0) copy.assign(samples, samples + n);
        const int32_t index = info ? info->index : 0;
        return box.f(std::move(copy), index) ? 0 : 1;
    } catch (...) {
        box.error = std::current_exception();
        return 1;
    }
}

void Engine::stream(const std::u16string& text, const std::optional<std::u16string>& voice,
                    const std::optional<std::u16string>& tag, const std::optional<std::u16string>& ctrl, float pace,
                    const Chunk& chunk) {
    const std::string spoken = u8(Spoken::say(text, true));
    const auto v = withOptional(voice), t = withOptional(tag), c = withOptional(ctrl);
    Box box{chunk, *this, nullptr};
    int32_t rc;
    char err[ERRLEN] = {0};
    {
        std::lock_guard g(lock_);
        if (!h_) return;
        const tovantts_options opt = options(ptr(v), ptr(t), ptr(c), pace, true);
        rc = api_.streamEx(h_, spoken.c_str(), &opt, &Engine::onChunk, &box, err, ERRLEN);
    }
    if (box.error) std::rethrow_exception(box.error);
    if (rc != 0) throw Failure::fromBuffer(err, ERRLEN);
}

}  // namespace tovan
