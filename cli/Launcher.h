#pragma once
// Makes sure the application runs before the tool posts to it. The running
// application owns the bus name org.tovantts.TovanTTS; when nobody owns it,
// the application is started in the tray without a window ("--hidden"),
// the tool waits until the name is owned (at most `wait` seconds) and then
// `settle` seconds more in every case, so the listeners are ready.
//
// The application is found beside the tool itself (symbolic links resolved:
// the tool is installed next to the program TovanTTS), else on $PATH.

#include <QDBusConnection>
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

    // The program to start: TovanTTS beside the resolved tool, else on
    // $PATH; empty when there is none.
    static QString application(const std::string& toolPath);

    // True when the application was running already or was started (even if
    // it did not take the name in time); false when there was none to start.
    bool ensureRunning();

private:
    bool running() const;

    QDBusConnection bus_;
    std::string tool_;
    Timing timing_;
};

}  // namespace tovan
