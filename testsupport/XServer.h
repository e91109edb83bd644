// A private X server (Xvfb) for the tests of the X11 layers, started when the
// program is installed and stopped (by its process id) with this object.
// Xvfb picks a free display number itself and writes it to a pipe.
#pragma once

#include <sys/types.h>

#include <string>

#include "NonCopyable.h"

namespace tovan::test {

class XServer : NonCopyable {
public:
    XServer();
    ~XServer();

    bool up() const { return !display_.empty(); }
    // ":<number>", or "" when the server did not start.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace tovan::test
