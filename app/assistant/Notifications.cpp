#include "Notifications.h"

#include "InstalledApp.h"
#include "Regex.h"
#include "LiveBanners.h"
#include "PropertyList.h"

#include <QCollator>
#include <QRegularExpression>
#include <QStringList>
#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace tovan {
namespace fs = std::filesystem;

namespace {

std::u16string lower(const std::u16string& s) { return QString::fromStdU16String(s).toLower().toStdU16String(); }

std::u16string text(const nlohmann::json& dict, const char* key) {
    auto it = dict.find(key);
    return it != dict.end() && it->is_string() ? u16(it->get<std::string>()) : std::u16string();
}

struct Statement {
    sqlite3_stmt* s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

}  // namespace

// One read-only connection, closed when it goes out of scope.
struct Notifications::Sqlite {
    sqlite3* db = nullptr;
    Sqlite() = default;
    Sqlite(Sqlite&& o) noexcept : db(o.db) { o.db = nullptr; }
    ~Sqlite() { sqlite3_close(db); }
};

Notifications::Notifications(IntakeLinks links, fs::path dir, std::vector<std::string> appFolders, QObject* parent)
    : QObject(parent),
      links_(std::move(links)),
      dir_(std::move(dir)),
      appFolders_(appFolders.empty() ? InstalledApp::folders() : std::move(appFolders)) {}

Notifications& Notifications::shared() {
    static Notifications* one = [] {
        auto* n = new Notifications(IntakeLinks::standard(), defaultDir());
        n->setLiveStarter([] { LiveBanners::shared().start(); });
        return n;
    }();
    return *one;
}

fs::path Notifications::defaultDir() {
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / "Library/Group Containers/group.com.apple.usernoted/db2";
}

void Notifications::setAccess(bool access) {
    if (access_ == access)
        return;
    access_ = access;
    emit accessChanged();
}

Notifications::Sqlite Notifications::open() {
    Sqlite c;
    const std::string path = (dir_ / "db").string();
    const int rc = sqlite3_open_v2(path.c_str(), &c.db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK || !c.db) {
        const std::string why = c.db ? sqlite3_errmsg(c.db) : sqlite3_errstr(rc);
        setAccess(false);
        throw NoPermission("The notification database could not be opened: " + why);
    }
    return c;
}

int64_t Notifications::maxID() {
    Sqlite c = open();
    Statement st;
    if (sqlite3_prepare_v2(c.db, "select coalesce(max(rec_id), 0) from record", -1, &st.s, nullptr) != SQLITE_OK ||
        !st.s) {
        const std::string why = sqlite3_errmsg(c.db);
        setAccess(false);
        throw NoPermission("The notification database could not be read: " + why);
    }
    setAccess(true);
    int64_t v = 0;
    while (sqlite3_step(st.s) == SQLITE_ROW)
        v = sqlite3_column_int64(st.s, 0);
    return v;
}

std::vector<Notifications::Record> Notifications::records(int64_t after) {
    const std::string sql =
        "select r.rec_id, a.identifier, r.data from record r join app a on a.app_id = r.app_id where r.rec_id > " +
        std::to_string(after) + " order by r.rec_id";
    Sqlite c = open();
    Statement st;
    if (sqlite3_prepare_v2(c.db, sql.c_str(), -1, &st.s, nullptr) != SQLITE_OK || !st.s) {
        const std::string why = sqlite3_errmsg(c.db);
        setAccess(false);
        throw NoPermission("The notification database could not be read: " + why);
    }
    setAccess(true);
    std::vector<Record> out;
    while (sqlite3_step(st.s) == SQLITE_ROW) {
        Record r;
        r.id = sqlite3_column_int64(st.s, 0);
        const auto* ident = reinterpret_cast<const char*>(sqlite3_column_text(st.s, 1));
        const std::u16string identifier = ident ? u16(ident) : std::u16string();
        const void* blob = sqlite3_column_blob(st.s, 2);
        if (!blob)
            continue;
        const int n = sqlite3_column_bytes(st.s, 2);
        auto plist = PropertyList::read(std::string_view(static_cast<const char*>(blob), static_cast<size_t>(n)));
        if (!plist || !plist->is_object() || plist->empty())
            continue;
        auto req = plist->find("req");
        if (req == plist->end() || !req->is_object())
            continue;
        auto app = plist->find("app");
        r.app = app != plist->end() && app->is_string() ? u16(app->get<std::string>()) : identifier;
        r.title = text(*req, "titl");
        r.subtitle = text(*req, "subt");
        r.body = text(*req, "body");
        r.category = text(*req, "cate");
        out.push_back(std::move(r));
    }
    return out;
}

void Notifications::refreshApps() {
    std::vector<std::u16string> ids;
    try {
        Sqlite c = open();
        Statement st;
        if (sqlite3_prepare_v2(c.db, "select distinct a.identifier from app a join record r on r.app_id = a.app_id",
                               -1, &st.s, nullptr) != SQLITE_OK ||
            !st.s) {
            setAccess(false);
        } else {
            setAccess(true);
            while (sqlite3_step(st.s) == SQLITE_ROW)
                if (const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st.s, 0)))
                    ids.push_back(u16(t));
        }
    } catch (const NoPermission&) {
        // The installed default apps are still listed below.
    }
    std::set<std::u16string> known;
    for (const auto& id : ids)
        known.insert(lower(id));
    if (links_.defaultApps) {
        for (const auto& id : links_.defaultApps())
            if (!known.count(lower(id)) && InstalledApp::find(id, appFolders_))
                ids.push_back(id);
    }
    std::erase_if(ids, [](const std::u16string& id) { return id == InstalledApp::ownID() || id.starts_with(u"_"); });
    std::vector<SeenApp> apps;
    for (const auto& id : ids)
        apps.push_back({id, name(id)});
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&](const SeenApp& a, const SeenApp& b) {
        return collator.compare(QString::fromStdU16String(a.name), QString::fromStdU16String(b.name)) < 0;
    });
    if (apps != seenApps_) {
        seenApps_ = std::move(apps);
        emit seenAppsChanged();
    }
}

std::u16string Notifications::readableName(const std::u16string& id) {
    auto generic = [](const std::u16string& word) {
        const QString w = QString::fromStdU16String(word).toLower();
        return w == QLatin1String("desktop") || w == QLatin1String("app") || w == QLatin1String("application") ||
               w == QLatin1String("client");
    };
    // The last part of the id that names something: "org.telegram.desktop"
    // is Telegram's, not a desktop's.
    std::vector<std::u16string> parts;
    for (const auto& part : tovan::split(id, u"\\."))
        if (!part.empty())
            parts.push_back(part);
    if (parts.empty())
        return id;
    std::u16string base = parts.back();
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        if (!generic(*it)) {
            base = *it;
            break;
        }
    static const std::map<std::u16string, std::u16string> known = {
        {u"claudefordesktop", u"Claude"},
        {u"slackmacgap", u"Slack"},
        {u"alertnotificationservice", u"Chrome"},
        {u"MobileSMS", u"Messages"},
    };
    if (auto k = known.find(base); k != known.end())
        return k->second;
    // A name already ("Slack", "Telegram Desktop", "Evolution") stays as it is.
    const QString word = QString::fromStdU16String(base);
    if (word.contains(QLatin1Char(' ')) || word != word.toLower())
        return base;
    // "signal-desktop" is Signal, "gnome-calendar" Gnome calendar.
    QStringList words = word.split(QRegularExpression(QStringLiteral("[-_]+")), Qt::SkipEmptyParts);
    if (words.size() > 1)
        words.removeIf([&](const QString& w) { return generic(w.toStdU16String()); });
    QString out = words.isEmpty() ? word : words.join(QLatin1Char(' '));
    if (!out.isEmpty())
        out[0] = out[0].toUpper();
    return out.toStdU16String();
}

std::u16string Notifications::name(const std::u16string& id) {
    if (auto it = names_.find(id); it != names_.end())
        return it->second;
    std::u16string base;
    if (auto app = InstalledApp::find(id, appFolders_); app && !app->name.empty())
        base = app->name;
    else
        base = readableName(id);
    names_[id] = base;
    return base;
}

std::u16string Notifications::signature(const Record& record) {
    return replaceAll(lower(record.app) + u"|" + record.title + u"|" + record.body, u"\\s+", u" ");
}

std::string Notifications::debugState() const {
    return "lastID=" + std::to_string(lastID) + " timer=" + (timer_ ? "true" : "false") +
           " apps=" + std::to_string(seenApps_.size()) + " polls=" + std::to_string(polls_) +
           " queries=" + std::to_string(queries_) + " error=" + lastError_;
}

void Notifications::start() {
    if (timer_)
        return;
    if (startLive_)
        startLive_();
    try {
        lastID = maxID();
    } catch (const NoPermission&) {
        lastID = -1;
    }
    refreshApps();
    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &Notifications::poll);
    timer_->start();
}

void Notifications::poll() {
    ++polls_;
    std::optional<fs::file_time_type> stamp;
    std::error_code ec;
    const auto t = fs::last_write_time(dir_ / "db-wal", ec);
    if (!ec)
        stamp = t;
    // While the database cannot be read every tick tries again, so intake
    // resumes soon after access is granted.
    if (stamp == lastStamp_ && access_)
        return;
    lastStamp_ = stamp;
    ++queries_;
    if (lastID < 0) {
        try {
            lastID = maxID();
        } catch (const NoPermission& e) {
            lastError_ = e.what();
        }
        return;
    }
    std::vector<Record> fresh;
    try {
        fresh = records(lastID);
    } catch (const NoPermission& e) {
        lastError_ = e.what();
        return;
    }
    for (const auto& r : fresh) {
        lastID = std::max(lastID, r.id);
        arrived(r, false);
    }
}

bool Notifications::admit(const Record& record, bool live) {
    const double now = links_.now ? links_.now() : 0;
    std::erase_if(said_, [&](const auto& kv) { return now - kv.second >= 600.0; });
    const std::u16string key = signature(record);
    if (live) {
        said_[key] = now;
        return true;
    }
    return !said_.count(key);
}

}  // namespace tovan
