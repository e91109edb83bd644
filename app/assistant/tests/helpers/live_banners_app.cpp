// A stand-in for the application in the live monitor's lifetime tests: it
// starts the monitor the way the program does (busctl on the session bus of
// its environment), says "monitor <pid>" once it runs, and then waits to be
// ended: a "quit" line on standard input quits as the Quit command does;
// SIGTERM and SIGINT go through the program's own handlers. It says
// "destroyed" when the watcher is deleted and "quit" when the event loop has
// ended.
#include "LiveBanners.h"
#include "Notifications.h"
#include "QuitSignals.h"
#include "QtClock.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <string>
#include <unistd.h>

using namespace tovan;

namespace {
void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QuitSignals::install();
    QtClock clock;
    Notifications notes(IntakeLinks{}, "/nonexistent/db2", {"/nonexistent"});
    auto* live = new LiveBanners(notes, IntakeLinks{}, clock, LiveBanners::standardProgram(),
                                 LiveBanners::standardArguments());
    LiveBanners::deleteOnQuit(live);
    QObject::connect(live, &QObject::destroyed, [] { say("destroyed"); });
    live->start();

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (live->monitorPid() > 0) {
            poll.stop();
            say("monitor " + std::to_string(live->monitorPid()));
        }
    });
    poll.start(10);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char bytes[64];
        const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (n <= 0 || std::string(bytes, static_cast<size_t>(n)).find("quit") != std::string::npos)
            QCoreApplication::quit();
    });

    const int code = app.exec();
    say("quit");
    return code;
}
