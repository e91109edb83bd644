// A private PulseAudio server with two null sinks ("tests", the default,
// and "other"), started by the tests of the
// Qt audio backend when the pulseaudio program is installed, and stopped
// (by its process id) when they end. PULSE_SERVER points this process at it.
#pragma once

#include "TestDir.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

class PulseServer {
public:
    PulseServer() {
        const char* candidates[] = {"/usr/bin/pulseaudio", "/bin/pulseaudio"};
        std::string exe;
        for (const char* c : candidates)
            if (::access(c, X_OK) == 0) exe = c;
        if (exe.empty() || dir_.path.empty()) return;
        socket_ = (dir_.path / "native").string();
        const std::string runtime = dir_.path.string();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            ::setenv("HOME", runtime.c_str(), 1);
            ::unsetenv("PULSE_SERVER");
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            const std::string proto = "module-native-protocol-unix auth-anonymous=1 socket=" + socket_;
            ::execl(exe.c_str(), exe.c_str(), "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                    "--use-pid-file=no", "-L", "module-null-sink sink_name=tests", "-L",
                    "module-null-sink sink_name=other sink_properties=device.description=Other", "-L", proto.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid_ < 0) return;
        // The server is another process: wait (bounded) for its socket.
        for (int i = 0; i < 500 && !std::filesystem::exists(socket_); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (std::filesystem::exists(socket_)) {
            ::setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
            up_ = true;
        }
    }
    ~PulseServer() {
        if (up_) ::unsetenv("PULSE_SERVER");
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status;
            ::waitpid(pid_, &status, 0);
        }
    }
    bool up() const { return up_; }

private:
    TestDir dir_;
    std::string socket_;
    pid_t pid_ = -1;
    bool up_ = false;
};
