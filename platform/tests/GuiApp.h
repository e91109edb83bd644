// One QGuiApplication for the whole test run, on the offscreen platform unless
// the environment names another, and a bounded wait that keeps its loop running.
#pragma once

#include <QElapsedTimer>
#include <QGuiApplication>

#include <functional>

inline QGuiApplication& guiApp() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QCoreApplication::instance()) new QGuiApplication(argc, argv);  // lives for the whole run
    return *static_cast<QGuiApplication*>(QCoreApplication::instance());
}

// Runs the event loop until `done` or `limitMs` passed; the result of `done`.
inline bool spinUntil(const std::function<bool()>& done, int limitMs = 3000) {
    guiApp();
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}
