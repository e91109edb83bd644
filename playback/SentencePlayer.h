#pragma once
// Plays synthesized speech as a queue of audio items, one per sentence (or
// segment), each tagged with its owner's mark, and says which item is heard
// (onMark) and when the queue has run dry (onDrained).
//
// Buffers arrive from the engine side (any thread) through enqueue(), which
// writes each as a WAV file in the shared audio folder and hands it to the
// main thread; everything else belongs to the main thread. A generation
// token cuts off, at any moment, whatever is still on its way: flush()
// starts a new generation and buffers of older ones are refused.

#include "AudioOutput.h"
#include "Clock.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tovan {

class SentencePlayer {
public:
    // The shared folder: $XDG_CACHE_HOME/TovanTTS/audio (~/.cache when
    // unset; a private folder under the temporary directory without a home).
    static std::filesystem::path defaultDir();

    // The output and the main queue serve this player; the queue must outlive
    // it. The folder is emptied the first time any player of this process
    // uses it, never again: files a live player has queued stay.
    SentencePlayer(std::unique_ptr<AudioOutput> output, MainQueue& main,
                   std::filesystem::path dir = defaultDir());
    // Removes no files but those of work still on its way to it.
    ~SentencePlayer();
    SentencePlayer(const SentencePlayer&) = delete;
    SentencePlayer& operator=(const SentencePlayer&) = delete;

    // The mark of the item now heard; main thread.
    std::function<void(int64_t mark)> onMark;
    // The last queued item has ended; main thread. Not called by flush().
    std::function<void()> onDrained;
    // The output's chosen device went away and the default plays on (named
    // for people); main thread.
    std::function<void(const std::string& description)> onDeviceGone;

    // Any thread. True when the buffer was written to its file and passed on
    // to be queued; false for an empty buffer, a token of an older
    // generation, or a file that could not be written.
    bool enqueue(std::span<const float> samples, int64_t mark, int64_t token);
    // Main thread: ends the generation (dropping everything queued) and
    // returns the new token. A new player's first flush returns 1.
    int64_t flush();
    void play();
    void pause();
    // What the owner last asked for, not whether sound is coming out.
    bool isPlaying() const { return wantsPlay_; }
    float volume() const;
    void setVolume(float volume);
    // Any thread.
    int64_t currentToken() const;
    // Seconds accepted by enqueue and not yet ended; any thread.
    double pendingSeconds() const;

    AudioOutput& output() { return *output_; }
    const std::filesystem::path& dir() const;

private:
    struct Shared;
    struct Queued {
        AudioOutput::ItemId item;
        int64_t mark;
        std::filesystem::path url;
        int64_t samples;
    };
    class Events;

    void queue(int64_t token, const std::filesystem::path& url, int64_t mark, int64_t samples);
    void started(AudioOutput::ItemId id);
    void ended(AudioOutput::ItemId id);

    std::unique_ptr<AudioOutput> output_;
    MainQueue& main_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<Events> events_;
    std::vector<Queued> queued_;
    bool wantsPlay_ = false;
};

}  // namespace tovan
