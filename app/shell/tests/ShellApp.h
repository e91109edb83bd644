// One QApplication for the whole test run on the offscreen platform (unless
// the environment names another), and a bounded wait that keeps its loop running.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <functional>

inline QApplication& shellApp() {
    static int argc = 1;
    static char name[] = "app_shell_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QCoreApplication::instance()) {
        auto* app = new QApplication(argc, argv);  // lives for the whole run
        app->setQuitOnLastWindowClosed(false);
    }
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

inline bool spinUntil(const std::function<bool()>& done, int limitMs = 2000) {
    shellApp();
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

inline void spinEvents() {
    for (int i = 0; i < 5; i++) QCoreApplication::processEvents();
}
