#pragma once
// The assistant's hub. Every source turns what happened into one Event and
// hands it to handle(), which, with the quiet rules, speaks it now through
// the announcer, keeps it for when the user is back, or drops it with a
// reason. Each decision becomes a row of the recent log. The assistant also
// watches whether the user is away (screen lock, five minutes without
// input) and sums up what was kept when they return.
//
// Main thread only; timers run on the given clock, so tests step time.

#include "AssistantPrefs.h"
#include "Clock.h"
#include "Speech.h"
#include "Style.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovan {

class Announcer;

class Assistant : public QObject {
    Q_OBJECT
public:
    struct Event {
        enum class Kind { message, call, claude, command, download, meeting, battery, device, system, say };
        // The case's name ("message", …) and back, exact text only.
        static std::u16string kindName(Kind kind);
        static std::optional<Kind> kindNamed(const std::u16string& name);

        Kind kind = Kind::system;
        std::u16string app;                     // the source's display name, for the log
        std::optional<std::u16string> bundleID; // the app the event comes from, when there is one
        std::u16string who;                     // the person or thing concerned; may be empty
        Speech speech;
        // Spoken in quiet hours, while away and in an ignored Focus; still
        // yields to a call and to a respected Focus.
        bool urgent = false;
        // What the welcome-back summary says of it; none: nothing to say later.
        std::optional<std::u16string> away;
    };

    struct Heard {
        std::string id;  // a new UUID per row
        int64_t timeMs = 0;
        std::u16string app, who, outcome;
        bool spoken = false;
    };

    struct Host {
        AssistantPrefs* prefs = nullptr;
        Announcer* announcer = nullptr;
        Clock* clock = nullptr;
        // Wall-clock milliseconds since 1970; null: the system clock.
        std::function<int64_t()> nowMs;
        // The reading style (for the sample's own voice); null: the default.
        std::function<Style()> style;
    };

    static constexpr size_t kRecent = 30;
    static constexpr double kAwayTick = 5.0;

    // The application's assistant (prefs, announcer and model of the app),
    // listening to the screen lock and the command-line tool's events.
    static Assistant& shared();
    static bool hasShared();

    explicit Assistant(Host host, QObject* parent = nullptr);
    ~Assistant() override;

    void handle(const Event& event);
    // With `greeting` (a return from away) the summary waits for a quiet
    // moment; without it (the user asked) it is read anyway.
    void catchUp(bool greeting);
    // The demo pair of announcements, outside the quiet rules and the log.
    void sample();

    // The screen lock's news.
    void screenLocked();
    void screenUnlocked();
    // One event text posted by the command-line tool.
    void eventText(const QString& json);
    // The away watch's check (run every kAwayTick seconds on the clock).
    void awayTick();

    const std::vector<Heard>& recent() const { return recent_; }
    const std::vector<Event>& waiting() const { return waiting_; }
    bool wasAway() const { return wasAway_; }
    AssistantPrefs& prefs() { return *host_.prefs; }

signals:
    void changed();

private:
    void log(const Event& event, const std::u16string& outcome, bool spoken);
    void back(double delay);
    void schedule();
    int64_t now() const;

    Host host_;
    std::vector<Heard> recent_;
    std::vector<Event> waiting_;
    bool wasAway_ = false;
    Clock::TimerId awayTimer_ = 0;
    Clock::TimerId backTimer_ = 0;
};

}  // namespace tovan
