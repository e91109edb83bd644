#pragma once
// Recording streams of the PulseAudio (or PipeWire-Pulse) server, listed by
// "pactl --format=json list source-outputs". A stream that is corked (paused)
// is not recording. A stream's program is named by the first of its
// properties that is set: the sandbox's application id
// ("pipewire.access.portal.app_id", e.g. "us.zoom.Zoom"), "application.id",
// "application.process.binary", "application.name".

#include "AudioInputUsers.h"

#include <functional>
#include <string>

namespace tovan {

class PulseAudioInputUsers final : public AudioInputUsers {
public:
    // Runs pactl with the arguments and gives its standard output, empty on
    // failure; null means the real pactl with a short time-out.
    using Runner = std::function<std::string(const std::vector<std::string>& args)>;

    explicit PulseAudioInputUsers(Runner pactl = nullptr);

    std::vector<std::u16string> apps() override;

    // The programs of pactl's JSON output; anything malformed gives nothing
    // (a malformed stream is skipped, the others still count).
    static std::vector<std::u16string> parse(const std::string& json);

private:
    Runner pactl_;
};

}  // namespace tovan
