#pragma once
// Which programs are recording from an audio input (a microphone) now.

#include <memory>
#include <string>
#include <vector>

namespace tovan {

class AudioInputUsers {
public:
    virtual ~AudioInputUsers() = default;
    // The identifiers of programs whose recording stream is running, as the
    // sound server reports them, one per stream, in its order (duplicates
    // kept); empty when nobody records or the server cannot be asked.
    virtual std::vector<std::u16string> apps() = 0;

    // The sound server's streams: PulseAudioInputUsers.
    static std::shared_ptr<AudioInputUsers> system();
};

}  // namespace tovan
