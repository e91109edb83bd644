// A private X server (Xvfb) for the tests of the X11 layers, started when the
// program is installed and stopped (by its process id) with this object.
// Xvfb picks a free display number itself and writes it to a pipe.
#pragma once

#include <sys/types.h>

#include <string>

namespace tovan::test {

class XServer {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool up() const { return !display_.empty(); }
    // ":<number>", or "" when the server did not start.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace tovan::test
