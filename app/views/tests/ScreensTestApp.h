#pragma once
// One QApplication for the whole test program, whichever test asks first.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace tovan::screenstest {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "app_views_tests";
    static char* argv[] = {name, nullptr};
    // The tests draw offscreen even when CTest's environment did not say so.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QCoreApplication::instance()) new QApplication(argc, argv);  // lives for the whole run
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

// A first member for fixtures whose other members are Qt objects.
struct AppFirst {
    AppFirst() { app(); }
};

// Runs the event loop until done() or the limit passes; true when done.
inline bool spinUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace tovan::screenstest
