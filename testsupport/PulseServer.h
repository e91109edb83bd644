// A private PulseAudio server with two null sinks ("tests", the default,
// and "other", described as "Other"), started when the pulseaudio program is
// installed and stopped (by its process id) with this object. While it is
// up, PULSE_SERVER points this process at it.
#pragma once

#include <sys/types.h>

#include <string>

#include "TempDir.h"

namespace tovan::test {

class PulseServer : NonCopyable {
public:
    PulseServer();
    ~PulseServer();

    bool up() const { return up_; }

private:
    TempDir dir_;
    std::string socket_;
    pid_t pid_ = -1;
    bool up_ = false;
};

}  // namespace tovan::test
