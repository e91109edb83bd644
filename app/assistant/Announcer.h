#pragma once
// The assistant's one speaker. Phrases (Speech) wait in a queue and are
// spoken one after the other: each is styled part by part for its moment
// and mood, synthesized whole on the shared engine queue into one clip and
// played through the announcer's own SentencePlayer. While it speaks, a
// reading in progress is paused; it resumes once the queue has run dry,
// unless the user started reading again meanwhile.
//
// Main thread only, except the rendering, which runs on the engine queue and
// touches nothing but its own copies, the generation gate and the player's
// thread-safe enqueue. An interruption or stop() moves the generation on:
// a rendering of an older generation stops at its next part and never
// reaches the player.

#include "Engine.h"
#include "core/Gate.h"
#include "SentencePlayer.h"
#include "Speech.h"
#include "Style.h"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tovan {

class Announcer : public QObject {
    Q_OBJECT
public:
    // What the announcer uses of the application; shared() fills it from the
    // application model, tests with fakes.
    struct Host {
        // The reader: whether it is reading, pause it, resume it.
        std::function<bool()> readerPlaying;
        std::function<void()> pauseReader;
        std::function<void()> resumeReader;
        // The user's current reading style.
        std::function<Style()> style;
        // Runs the work on the serial engine queue (or drops it when the
        // engine cannot start; the owner then calls engineUnavailable()).
        std::function<void(std::function<void(Engine&)>)> onEngine;
        // The style with a mood's tag and offsets applied.
        std::function<Style(const Style&, const Expression::Mood&)> moodStyle;
        // Whether do-not-disturb is on (it quiets the voice); null: off.
        std::function<bool()> focusOn;
        // The local hour 0-23; null: the real one.
        std::function<int()> hour;
    };

    // The application's announcer over AppModel::shared(), made on first use
    // unless one was installed; main thread.
    static Announcer& shared();
    // True once an announcer has been installed (by shared() or setShared()).
    static bool hasShared();
    // Makes `a` the one shared() returns (the application's start-up, tests).
    static void setShared(Announcer* a);

    Announcer(Host host, std::unique_ptr<SentencePlayer> player, QObject* parent = nullptr);
    ~Announcer() override;

    // Queues the phrase under its topic (what it is about: an app's
    // identifier, an event kind, "catch-up", "sample"); with `interrupt`,
    // everything pending and playing is dropped first. An empty phrase does
    // nothing.
    void say(const Speech& speech, const std::optional<std::u16string>& about, bool interrupt);
    // Drops everything, goes idle and resumes a reading it had paused.
    void stop();
    // The engine could not start, so the phrase being prepared will never
    // play: it is given up and the queue moves on.
    void engineUnavailable();

    // The text of the phrase being spoken; absent when idle.
    const std::optional<std::u16string>& speaking() const { return speaking_; }
    bool busy() const { return busy_; }
    size_t waiting() const { return queue_.size(); }
    int64_t generation() const { return gen_; }
    SentencePlayer& player() { return *player_; }

    // 1/3 s of silence closes every clip, so even a phrase whose parts all
    // failed ends with the player draining.
    static constexpr int kTailSamples = 8000;

signals:
    void changed();

private:
    struct Entry {
        Speech speech;
        std::optional<std::u16string> about;
    };

    void next();
    void finish();
    void advance();

    static Announcer* installed;

    Host host_;
    std::shared_ptr<SentencePlayer> player_;
    std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
    std::deque<Entry> queue_;
    std::optional<std::u16string> speaking_;
    bool busy_ = false;
    bool resumeReading_ = false;
    int64_t gen_ = 0;
};

}  // namespace tovan
