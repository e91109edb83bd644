#include "XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace tovan::test {

XServer::XServer() {
    const char* exe = "/usr/bin/Xvfb";
    if (::access(exe, X_OK) != 0) return;
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(fds[0]);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        const std::string fd = std::to_string(fds[1]);
        ::execl(exe, exe, "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    if (pid_ < 0) {
        ::close(fds[0]);
        return;
    }
    // Bounded wait for the display number ("12\n").
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0) {
        char buf[16];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, size_t(n));
        if (number.find('\n') != std::string::npos) break;
    }
    ::close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
    if (!number.empty()) display_ = ":" + number;
}

XServer::~XServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status;
        ::waitpid(pid_, &status, 0);
    }
}

}  // namespace tovan::test
