#pragma once
// The application's one door to the speech engine: one engine handle, every
// call into it serialised by one lock, texts put into spoken form first, and
// engine failures turned into Engine::Failure.

#include "EngineApi.h"

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovan {

class Engine {
public:
    // The engine's words for what went wrong; never empty, always whole
    // characters.
    class Failure : public std::exception {
    public:
        explicit Failure(std::u16string message);
        const std::u16string& message() const { return message_; }
        const std::u16string& errorDescription() const { return message_; }
        const char* what() const noexcept override { return utf8_.c_str(); }

        // The message in an engine error buffer: the text up to its first NUL
        // (at most size - 1 bytes), an incomplete character at the cut
        // dropped, other invalid bytes replaced; a fixed text when empty.
        static Failure fromBuffer(const char* buf, size_t size);

    private:
        std::u16string message_;
        std::string utf8_;
    };

    // One rendered segment's samples and its index; false stops the stream.
    using Chunk = std::function<bool(std::vector<float> samples, int32_t index)>;

    static constexpr int sampleRate = 24000;
    // The twelve control names in the engine's order.
    static const std::array<std::u16string_view, 12>& controls();

    // Throws Failure with the engine's message when the handle cannot be made.
    // The table of engine calls must outlive the object.
    Engine(const std::filesystem::path& modelDir, int32_t threads, const EngineApi& api = EngineApi::real());
    // Only when no call is running: every caller holds a reference meanwhile.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    std::vector<std::u16string> voices();
    std::vector<std::u16string> tags();
    // "female", "male", or absent for an unknown voice or gender.
    std::optional<std::u16string> gender(std::u16string_view voice);
    std::optional<std::u16string> voice(std::u16string_view ofGender);
    std::optional<std::u16string> defaultVoice();
    // The voice to synthesize with: absent or "female" gives the default
    // female voice, "male" the default male voice (no fall-back), a voice
    // whose gender the engine knows itself, anything else the default female.
    std::optional<std::u16string> resolve(const std::optional<std::u16string>& voice);

    // The samples, or absent when cancelled (the engine is not called).
    // Throws Failure when the engine refuses or fails.
    std::optional<std::vector<float>> synthesize(const std::u16string& text,
                                                 const std::optional<std::u16string>& voice,
                                                 const std::optional<std::u16string>& tag,
                                                 const std::optional<std::u16string>& ctrl, float pace,
                                                 bool markup);
    // Renders segment by segment (markup always on), handing each to chunk on
    // this thread while the lock is held: chunk must not call this Engine
    // (cancel() excepted). Throws Failure when the engine fails; an exception
    // from chunk stops the stream and is rethrown.
    void stream(const std::u16string& text, const std::optional<std::u16string>& voice,
                const std::optional<std::u16string>& tag, const std::optional<std::u16string>& ctrl, float pace,
                const Chunk& chunk);

    // The sticky cancel flag: synthesize gives absent and streams stop before
    // their first chunk until resetCancel().
    void cancel();
    void resetCancel();

private:
    struct Box;
    static int32_t onChunk(const float* samples, int64_t n, const tovantts_chunk_info* info, void* user);
    bool isCancelled();
    tovantts_options options(const char* voice, const char* tag, const char* ctrl, float pace, bool markup) const;

    const EngineApi& api_;
    tovantts_engine* h_ = nullptr;
    std::mutex lock_;
    std::mutex cancelLock_;
    bool cancelled_ = false;
};

}  // namespace tovan
