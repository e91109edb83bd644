#pragma once
// The voice preview: a short sample spoken with the style being edited, on a
// player of its own so it never mixes with the document's queued audio. A
// preview pauses the reading (and leaves it paused); a new preview cuts off
// the one before it: the flush drops its queued audio and makes its token
// stale, so its stream stops at its next segment.

#include "Style.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tovan {

class Engine;
class SentencePlayer;

class Speaker {
public:
    // What the preview needs of the application.
    struct Host {
        std::function<bool()> readerPlaying;
        std::function<void()> pauseReader;
        // Runs work on the serial engine queue with the shared engine (or
        // drops it, reporting the problem itself, when there is none).
        std::function<void(std::function<void(Engine&)>)> onEngine;
    };

    Speaker(Host host, std::shared_ptr<SentencePlayer> player);

    // The application's one preview (main thread). The application puts it
    // in place with setShared() before any screen can ask for a preview.
    static Speaker& shared();
    static bool hasShared();
    // Puts the application's preview in place (start-up, or a test's own).
    static void setShared(std::unique_ptr<Speaker> speaker);

    // Main thread; returns at once, the audio follows as it is made.
    void say(const std::u16string& text, const Style& style);

    SentencePlayer& player() { return *player_; }

    // The engine-side part: the text streamed with the style's voice, tag,
    // control text and pace, each segment queued under the token; stops at
    // the first segment the player refuses. Engine failures are dropped.
    static void perform(Engine& engine, const std::u16string& text, const Style& style, SentencePlayer& player,
                        int64_t token);

private:
    Host host_;
    std::shared_ptr<SentencePlayer> player_;
};

}  // namespace tovan
