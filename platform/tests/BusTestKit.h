// What bus tests need besides their private bus: Qt's application object,
// a thread for service objects the test calls synchronously, and a wait on
// the event loop (bus messages arrive through it).
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

inline QCoreApplication& testApp() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                 : new QCoreApplication(argc, argv);
    return *app;
}

class ServiceThread {
public:
    ServiceThread() { thread_.start(); }
    ~ServiceThread() {
        thread_.quit();
        thread_.wait();
    }
    QThread* thread() { return &thread_; }

private:
    QThread thread_;
};

// Runs the event loop until `done` holds or the time is up; true when it holds.
inline bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
