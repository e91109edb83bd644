#pragma once
// Makes sure the application runs before the tool posts to it. The running
// application owns the bus name org.tovantts.TovanTTS. When nobody owns it:
//
//  1. a copy installed with its D-Bus service file (<prefix>/share/dbus-1/
//     services beside the tool's bin/) is started by bus activation, which
//     starts it hidden, as the desktop would;
//  2. else the program beside the tool (symbolic links resolved; the build
//     tree keeps both in one bin/ folder), else the one on $PATH, is started
//     in the tray without a window ("--hidden");
//  3. else, or when that start fails, any copy the bus can activate.
//
// The tool then waits until the name is owned (at most `wait` seconds) and
// `settle` seconds more, so the listeners are ready.

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QString>

#include <string>

namespace tovan {

class Launcher {
public:
    struct Timing {
        double wait = 5.0;
        double settle = 1.5;
    };

    Launcher(QDBusConnection bus, std::string toolPath, Timing timing);
    Launcher(QDBusConnection bus, std::string toolPath) : Launcher(std::move(bus), std::move(toolPath), Timing{}) {}

    // The program to start: tovantts beside the resolved tool, else on
    // $PATH; empty when there is none.
    static QString application(const std::string& toolPath);
    // The bus service file of the tool's own installation; empty when it has none.
    static QString serviceFile(const std::string& toolPath);

    // Empty when the application runs (it did already, or was started and
    // took its name in time); otherwise what went wrong, in a sentence.
    QString ensureRunning();

private:
    bool running() const;
    // Empty when the bus started the application or is still at it when
    // the deadline passes; else the bus's reason.
    QString activate(const QDeadlineTimer& deadline);
    // Waits for the name until the deadline, then settles; true when the
    // application answers.
    bool waitUntilRunning(const QDeadlineTimer& deadline);

    QDBusConnection bus_;
    std::string tool_;
    Timing timing_;
};

}  // namespace tovan
