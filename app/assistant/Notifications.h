#pragma once
// The intake of other apps' notifications. Two roads lead here: a
// notification database in the macOS layout (an SQLite file "db" with the
// tables `record` and `app`, each record's request a property list), polled
// once a second when its write-ahead log has changed, and the live
// notifications that LiveBanners sees on the session bus. Each record goes
// through arrived(), which admits it (chosen app, not our own, not a
// duplicate of one already said live) and turns it into at most one event.
//
// Main thread only. Database connections are opened read-only per query and
// never kept.

#include "IntakeLinks.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tovan {

class Notifications : public QObject {
    Q_OBJECT
public:
    struct Record {
        int64_t id = -1;  // -1 for records built from live notifications
        std::u16string app;
        std::u16string title;
        std::u16string subtitle;
        std::u16string body;
        std::u16string category;
        bool operator==(const Record&) const = default;
    };
    struct SeenApp {
        std::u16string id;
        std::u16string name;
        bool operator==(const SeenApp&) const = default;
    };
    // The database cannot be opened or queried.
    class NoPermission : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // dir: the folder of "db" and "db-wal". appFolders: where installed
    // applications are looked up (InstalledApp::folders() when empty).
    Notifications(IntakeLinks links, std::filesystem::path dir, std::vector<std::string> appFolders = {},
                  QObject* parent = nullptr);

    // Made on first use with IntakeLinks::standard() and defaultDir().
    static Notifications& shared();
    // ~/Library/Group Containers/group.com.apple.usernoted/db2, where macOS
    // keeps it; Linux desktops keep no such database, so there the live
    // notifications are the only road.
    static std::filesystem::path defaultDir();

    // Takes the newest id, lists the apps and polls every second; also
    // starts the live watcher when one is given. Idempotent.
    void start();
    // Starts with start(); its records arrive live.
    void setLiveStarter(std::function<void()> startLive) { startLive_ = std::move(startLive); }

    bool access() const { return access_; }
    const std::vector<SeenApp>& seenApps() const { return seenApps_; }
    int64_t lastID = -1;

    // Newest record id (0 for an empty table).
    int64_t maxID();
    // Recomputes seenApps and access.
    void refreshApps();
    // The records with a larger id, oldest first; undecodable rows skipped.
    std::vector<Record> records(int64_t after);
    // A readable name for an app identifier (cached for the process): the
    // Name of its installed desktop entry, else readableName().
    std::u16string name(const std::u16string& id);
    // A name made from the id alone: its last part that is not a generic
    // word ("desktop", "app", "application", "client"), a few known ones
    // mapped ("slackmacgap" is Slack), and a lower-case word read as words
    // with a capital ("signal-desktop" is Signal, "one.two.tool" Tool).
    static std::u16string readableName(const std::u16string& id);
    // The duplicate filter's key: app lower-cased, title and body, joined
    // with "|", white-space runs made one blank.
    static std::u16string signature(const Record& record);
    std::string debugState() const;

    // One poll tick (the timer calls it every second).
    void poll();
    // Decides what one record says and hands it on (main thread).
    void arrived(const Record& record, bool live);

    // Helpers of arrived().
    static std::u16string callerName(const std::u16string& title, const std::u16string& body,
                                     const std::u16string& app);
    static bool messaging(const std::u16string& app);
    static std::pair<std::u16string, std::optional<std::u16string>> split(const std::u16string& title,
                                                                         const std::u16string& subtitle,
                                                                         const std::u16string& body,
                                                                         const std::u16string& app);

    int polls() const { return polls_; }
    int queries() const { return queries_; }
    const std::string& lastError() const { return lastError_; }

signals:
    void accessChanged();
    void seenAppsChanged();

private:
    struct Sqlite;
    Sqlite open();
    void setAccess(bool access);
    // Drops stale signatures; records live ones; false for a database
    // record already said live.
    bool admit(const Record& record, bool live);

    IntakeLinks links_;
    std::filesystem::path dir_;
    std::vector<std::string> appFolders_;
    std::function<void()> startLive_;
    bool access_ = true;
    std::vector<SeenApp> seenApps_;
    std::optional<std::filesystem::file_time_type> lastStamp_;
    QTimer* timer_ = nullptr;
    std::map<std::u16string, std::u16string> names_;
    int polls_ = 0;
    int queries_ = 0;
    std::string lastError_ = "-";
    std::map<std::u16string, double> said_;
};

}  // namespace tovan
