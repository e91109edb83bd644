#pragma once
// Where queued speech is heard: a queue of WAV files played one after the
// other. Two backends: QtAudioOutput (Qt Multimedia's QAudioSink, over
// PulseAudio or PipeWire) and VirtualAudioOutput (plays nothing and keeps
// time on a Clock: the tests' output, and the fallback of a machine with no
// audio device, so reading still advances there).
//
// Like a queue player, an output stops by itself when its last item ends
// (isRunning() becomes false) and needs play() again afterwards.

#include "Clock.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tovan {

class AudioOutput {
public:
    using ItemId = uint64_t;

    // Events arrive on the main thread, never from inside a call to the
    // output, and never for items removed by removeAll().
    class Listener {
    public:
        virtual ~Listener() = default;
        // The item became the current one (playing, or waiting paused at it).
        virtual void itemStarted(ItemId id) = 0;
        // The item finished, or could not be loaded or played (failed): it
        // counts as ended either way, so nobody waits for it forever.
        virtual void itemEnded(ItemId id, bool failed) = 0;
        // The device chosen with moveTo() went away (named for people); the
        // machine's default output plays on. Once per disappearance.
        virtual void deviceGone(const std::string& description) { (void)description; }
    };

    virtual ~AudioOutput() = default;
    virtual void setListener(Listener* listener) = 0;
    // Queues a 24 kHz mono WAV file at the end; the id is never 0.
    virtual ItemId append(const std::filesystem::path& wav) = 0;
    // Drops every queued item without events.
    virtual void removeAll() = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // Playing now: play() asked for and an item to play.
    virtual bool isRunning() const = 0;
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;
    // For people: "virtual" or the device's description.
    virtual std::string name() const = 0;
    // The device chosen with moveTo(): its id, or "" while the output follows
    // the machine's default.
    virtual std::string device() const { return {}; }
    // Moves the sound to the device with this id ("" = the machine's
    // default) at the next item boundary, or at once when nothing sounds.
    // Queued items and the place in the queue are kept. False when the output
    // cannot go there (no such device, or an output without devices).
    virtual bool moveTo(const std::string& id) {
        (void)id;
        return false;
    }

    // The machine's default output device through Qt Multimedia; without one
    // a VirtualAudioOutput on the clock, said once per process on stderr.
    // Needs a running QCoreApplication.
    // With a device id, that device when the machine has it.
    static std::unique_ptr<AudioOutput> system(Clock& clock, const std::string& device = {});
};

}  // namespace tovan
