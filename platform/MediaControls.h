#pragma once
// The desktop's media controls: the keys and buttons that play, pause and
// skip, and the display of what is playing. One interface, the MPRIS2 backend
// on the session bus (MprisControls) and a fake that records (FakeMediaControls).

#include <QString>

#include <functional>
#include <optional>

namespace tovan {

class MediaControls {
public:
    enum class State { stopped, playing, paused };
    // What is playing; times are estimates in seconds.
    struct Info {
        QString title;
        QString artist;
        double duration = 0;
        double elapsed = 0;
        double rate = 0;  // 1 while playing, else 0
        bool operator==(const Info&) const = default;
    };
    // What the controls do; each is called on the main thread.
    struct Commands {
        std::function<void()> toggle;
        std::function<void()> play;
        std::function<void()> pause;
        std::function<void()> next;
        std::function<void()> previous;
        // The player's loudness, 0 to 1; unset: fixed at 1.
        std::function<double()> volume;
        std::function<void(double)> setVolume;
    };

    virtual ~MediaControls() = default;
    virtual void setCommands(Commands commands) = 0;
    // None clears the display.
    virtual void setInfo(const std::optional<Info>& info, State state) = 0;
};

class FakeMediaControls final : public MediaControls {
public:
    Commands commands;
    std::optional<Info> info;
    State state = State::stopped;
    int updates = 0;

    void setCommands(Commands c) override { commands = std::move(c); }
    void setInfo(const std::optional<Info>& i, State s) override {
        info = i;
        state = s;
        ++updates;
    }
};

}  // namespace tovan
