#include "QuitSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace tovan {

namespace {

// The handler may only write a byte; the main thread reads it.
int wake[2] = {-1, -1};

void onSignal(int number) {
    // The next one of the same kind takes the default road.
    ::signal(number, SIG_DFL);
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] ssize_t n = ::write(wake[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool QuitSignals::install() {
    auto* app = QCoreApplication::instance();
    if (!app)
        return false;
    static bool done = false;
    if (done)
        return true;
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    done = true;
    auto* notifier = new QSocketNotifier(wake[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char bytes[16];
        while (::read(wake[0], bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

}  // namespace tovan
