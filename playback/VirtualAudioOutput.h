#pragma once
// An output that plays nothing and keeps time on a Clock: each item lasts as
// long as its WAV file's audio. Tests drive it with a VirtualClock; on a
// machine without an audio device it runs on the real clock, so marks and
// the end of a reading still come when they would have been heard.

#include "AudioOutput.h"

#include <deque>

namespace tovan {

class VirtualAudioOutput final : public AudioOutput {
public:
    explicit VirtualAudioOutput(Clock& clock);
    ~VirtualAudioOutput() override;

    void setListener(Listener* listener) override { listener_ = listener; }
    // The file is read now; one that cannot be read plays as a failed item.
    ItemId append(const std::filesystem::path& wav) override;
    void removeAll() override;
    void play() override;
    void pause() override;
    bool isRunning() const override { return rate_; }
    float volume() const override { return volume_; }
    void setVolume(float volume) override { volume_ = volume; }
    std::string name() const override { return "virtual"; }

    // For tests: items still queued (the current one included) and how far
    // into the current one playback is, in seconds.
    size_t queued() const { return items_.size(); }
    double position() const;

private:
    struct Item {
        ItemId id;
        double seconds;
        bool failed;
    };

    void schedule();
    void settle();
    void ended();

    Clock& clock_;
    Listener* listener_ = nullptr;
    std::deque<Item> items_;
    ItemId nextId_ = 0;
    ItemId current_ = 0;       // the item reported as started
    bool rate_ = false;        // play() asked and not yet run dry
    double played_ = 0;        // seconds of the current item before since_
    double since_ = 0;         // clock time playing last (re)started
    Clock::TimerId endTimer_ = 0, settleTimer_ = 0;
    float volume_ = 1.0f;
};

}  // namespace tovan
