#pragma once
// The reading controller's work on the engine thread: synthesizes one
// sentence after another from a start index and queues each in the sentence
// player, keeping only a few seconds ahead of the listener, until the
// document ends or the gate says this generation is no longer wanted.
//
// A RenderLoop is a value made on the main thread (copies of everything it
// needs, shared pointers to the player and gate) and run once on the engine
// thread; the main thread never waits for it.

#include "Director.h"
#include "Doc.h"
#include "Engine.h"
#include "Gate.h"
#include "SentencePlayer.h"
#include "Style.h"
#include "Voices.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tovan {

struct Performer;

struct RenderLoop {
    // Audio queued ahead beyond which the loop waits.
    static constexpr double AHEAD_SECONDS = 6.0;
    // The mark of the short silence queued after the last sentence.
    static constexpr int64_t END_MARK = -2;
    // 0.25 s at 24 kHz.
    static constexpr size_t END_SAMPLES = 6000;

    std::shared_ptr<Doc> doc;
    std::shared_ptr<Director> director;  // null without natural narration
    Style style;
    float speed = 1.0f;
    bool dialogueVoice = false;
    Voices voices = Voices::fromData("{}", nullptr);  // the catalogue
    float strength = 0.8f;
    int64_t start = 0;
    std::shared_ptr<SentencePlayer> player;
    std::shared_ptr<Gate> gate;
    int64_t gen = 0;
    int64_t token = 0;
    // Called on the engine thread with the user-facing description when
    // synthesis fails; the owner decides on its own thread whether it still
    // matters.
    std::function<void(const std::u16string& description)> failed;
    // One flow-control step; 40 ms of sleep unless a test replaces it.
    std::function<void()> idle;

    // The performer this loop reads with: the style's copy without context
    // styling, speed times pace, the engine's voice, dialogue voices.
    Performer performer(Engine& engine) const;
    // Runs the loop to its end on the calling (engine) thread.
    void run(Engine& engine) const;
};

}  // namespace tovan
