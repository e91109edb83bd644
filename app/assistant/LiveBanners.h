#pragma once
// Live notifications of other apps, read while they are being shown: a
// monitor child process watches the session bus for calls of
// org.freedesktop.Notifications.Notify and for the notification server's
// answers to them, and prints one JSON line for each message (busctl's
// monitor in its short JSON form). A request counts once the server has
// answered it with a return, so a notification that no server showed (none
// running, or it refused) is never read aloud. Every shown request of a
// chosen app becomes a record handed to Notifications::arrived with live
// set, so the duplicate filter keeps it from being read again from another
// road.
//
// The child runs for the life of the application: when it ends it is started
// again 5 s later. It ends with the application: when the application quits
// (the monitor is stopped and no restart follows), and even when the
// application is killed, since the child asks the kernel for SIGKILL at its
// parent's death. Main thread only.

#include "Clock.h"
#include "IntakeLinks.h"
#include "LineBuffer.h"
#include "Notifications.h"

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <map>
#include <optional>
#include <set>
#include <string>

namespace tovan {

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
    // The notification server's answer to one Notify call.
    struct Reply {
        std::u16string id;  // the same as the request's: its caller and serial
        bool shown = false; // a return; an error means the server refused it
        bool operator==(const Reply&) const = default;
    };
    // How long a request waits for its answer before it is forgotten.
    static constexpr double kAnswerWait = 60.0;

    // program and arguments: the monitor; standard() gives busctl's.
    LiveBanners(Notifications& notes, IntakeLinks links, Clock& clock, QString program, QStringList arguments,
                QObject* parent = nullptr);

    ~LiveBanners() override;

    // The application's watcher over busctl, made on first use; it is
    // destroyed, and its monitor ended, when the application quits.
    static LiveBanners& shared();
    // Deletes `live` when the application quits (what shared() does).
    static void deleteOnQuit(LiveBanners* live);
    static QString standardProgram();         // "busctl"
    static QStringList standardArguments();  // --user monitor --json=short --match …

    // Starts the monitor unless one is running or the application has quit.
    void start();
    // Ends the monitor now (terminated, killed when it lingers) and drops a
    // pending restart; start() starts a new one.
    void stop();
    bool running() const { return process_ != nullptr; }
    // The monitor's process id; 0 when none runs.
    qint64 monitorPid() const;
    // How many times the monitor was started.
    int starts() const { return starts_; }

    // One line of the monitor's output; nothing when it is not a Notify call.
    static std::optional<Request> parse(const std::string& line);
    // One line of the monitor's output; nothing when it is not the
    // notification server's return or error for a call.
    static std::optional<Reply> parseReply(const std::string& line);
    // A Notify call seen on the bus: it waits for the server's answer.
    void requested(const Request& request);
    // The server's answer: a shown request goes on to created().
    void answered(const Reply& reply);
    // Requests still waiting for an answer.
    size_t waiting() const { return pending_.size(); }
    // One new request that the desktop showed (main thread).
    void created(const Request& request);
    static bool isCallApp(const std::u16string& bundle);

private:
    struct Pending {
        Request request;
        double at = 0;
    };

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
    std::map<std::u16string, Pending> pending_;
    Clock::TimerId restart_ = 0;
    int starts_ = 0;
};

}  // namespace tovan
