#pragma once
// Live notifications of other apps, read while they are being shown: a
// monitor child process watches the session bus for calls of
// org.freedesktop.Notifications.Notify and prints one JSON line for each
// (busctl's monitor in its short JSON form). Every new request of a chosen
// app becomes a record handed to Notifications::arrived with live set, so the
// duplicate filter keeps it from being read again from another road.
//
// The child runs for the life of the application: when it ends it is started
// again 5 s later. Main thread only.

#include "IntakeLinks.h"
#include "LineBuffer.h"
#include "Notifications.h"

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <optional>
#include <set>
#include <string>

namespace tovan {

class Clock;

class LiveBanners : public QObject {
    Q_OBJECT
public:
    // One Notify call as the monitor printed it.
    struct Request {
        std::u16string id;        // the caller's bus name and the call's serial
        std::u16string bundle;    // the "desktop-entry" hint, else the app name
        std::u16string title;     // summary
        std::u16string body;
        std::u16string category;  // the "category" hint
        bool operator==(const Request&) const = default;
    };

    // program and arguments: the monitor; standard() gives busctl's.
    LiveBanners(Notifications& notes, IntakeLinks links, Clock& clock, QString program, QStringList arguments,
                QObject* parent = nullptr);

    static LiveBanners& shared();
    static QString standardProgram();         // "busctl"
    static QStringList standardArguments();  // --user monitor --json=short --match …

    // Starts the monitor unless one is running.
    void start();
    bool running() const { return process_ != nullptr; }
    // How many times the monitor was started.
    int starts() const { return starts_; }

    // One line of the monitor's output; nothing when it is not a Notify call.
    static std::optional<Request> parse(const std::string& line);
    // One new request (main thread).
    void created(const Request& request);
    static bool isCallApp(const std::u16string& bundle);

private:
    void readOutput();
    void ended();

    Notifications& notes_;
    IntakeLinks links_;
    Clock& clock_;
    QString program_;
    QStringList arguments_;
    QProcess* process_ = nullptr;
    LineBuffer buffer_;
    std::set<std::u16string> seen_;
    int starts_ = 0;
};

}  // namespace tovan
