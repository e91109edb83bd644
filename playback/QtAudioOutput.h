#pragma once
// The real output: Qt Multimedia's QAudioSink (PulseAudio or PipeWire
// underneath) in push mode on the main thread. Queued items are fed to the
// sink back to back; the sink's own playback time says which one is heard.
// If the device fails while playing, the rest plays on in silence timed by
// the clock, so a reading never hangs on a lost device. The sound can move to
// another device between two items; a chosen device that goes away hands
// over to the machine's default.

#include "AudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QByteArray>
#include <QElapsedTimer>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAudioSink;
class QMediaDevices;
class QIODevice;
class QObject;
class QTimer;

namespace tovan {

class QtAudioOutput final : public AudioOutput {
public:
    // Main thread, with a QCoreApplication.
    explicit QtAudioOutput(const QAudioDevice& device);
    ~QtAudioOutput() override;

    void setListener(Listener* listener) override { listener_ = listener; }
    ItemId append(const std::filesystem::path& wav) override;
    void removeAll() override;
    void play() override;
    void pause() override;
    bool isRunning() const override { return rate_; }
    float volume() const override { return volume_; }
    void setVolume(float volume) override;
    std::string name() const override;
    std::string device() const override { return chosen_; }
    bool moveTo(const std::string& id) override;

    // The machine's output device with that id, or a null device.
    static QAudioDevice find(const std::string& id);

private:
    struct Item {
        ItemId id;
        std::vector<float> samples;  // as loaded, at `rate`
        int rate = 0;
        QByteArray pcm;     // in the sink's format
        bool failed;
        int64_t start = -1;  // byte offset in the stream fed to the sink
    };

    void restartSink();
    // Plays on `device` from now on: the queue is fed to a new sink from the
    // start of its first item.
    void switchTo(const QAudioDevice& device);
    void devicesChanged();
    void schedule();
    void tick();
    void feed();
    int64_t playedBytes();
    void deviceLost();

    QAudioDevice device_;
    std::string chosen_;                    // "" follows the default
    std::optional<QAudioDevice> pending_;  // to switch to at the next item's end
    QAudioFormat format_;
    std::unique_ptr<QObject> context_;
    QTimer* poll_ = nullptr;
    QTimer* watch_ = nullptr;  // looks for the chosen device while there is one
    QMediaDevices* devices_ = nullptr;
    QAudioSink* sink_ = nullptr;
    QIODevice* io_ = nullptr;
    Listener* listener_ = nullptr;
    std::deque<Item> items_;
    ItemId nextId_ = 0, current_ = 0;
    bool rate_ = false;
    bool scheduled_ = false;
    float volume_ = 1.0f;
    int64_t fed_ = 0;         // bytes handed to the sink since it started
    size_t feedItem_ = 0;     // index in items_ of the item being fed
    int64_t feedOffset_ = 0;  // bytes of it already fed
    // After a device failure: playback time kept by the clock instead.
    bool lost_ = false;
    int64_t lostBase_ = 0;
    QElapsedTimer lostSince_;
};

}  // namespace tovan
