#include "Notifications.h"

#include "AtomicFile.h"
#include "FakeIntake.h"
#include "InstalledApp.h"
#include "Regex.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace tovan {
namespace {

namespace fs = std::filesystem;
using test::FakeIntake;
using test::TempDir;

std::string esc(const std::string& s) {
    std::string o;
    for (char c : s) {
        if (c == '<') o += "&lt;";
        else if (c == '&') o += "&amp;";
        else o += c;
    }
    return o;
}

// The request blob of one notification, as an XML property list.
std::string blob(const std::string& title, const std::string& body, const std::string& subtitle = "",
                 const std::string& category = "", const std::string& app = "") {
    std::string x = "<plist><dict>";
    if (!app.empty())
        x += "<key>app</key><string>" + esc(app) + "</string>";
    x += "<key>req</key><dict><key>titl</key><string>" + esc(title) + "</string><key>body</key><string>" + esc(body) +
         "</string>";
    if (!subtitle.empty())
        x += "<key>subt</key><string>" + esc(subtitle) + "</string>";
    if (!category.empty())
        x += "<key>cate</key><string>" + esc(category) + "</string>";
    return x + "</dict></dict></plist>";
}

// A notification database in the layout the reader expects, written by the test.
class Database {
public:
    explicit Database(fs::path dir) : dir_(std::move(dir)) {
        fs::create_directories(dir_);
        exec("create table app (app_id integer primary key, identifier text);"
             "create table record (rec_id integer primary key, app_id integer, data blob);");
    }
    ~Database() { sqlite3_close(db_); }

    void exec(const std::string& sql) {
        if (!db_)
            sqlite3_open((dir_ / "db").string().c_str(), &db_);
        char* err = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    }
    // Adds a record (and its app row when new); a null blob when `data` is absent.
    void add(int64_t id, const std::string& identifier, const std::optional<std::string>& data) {
        int appID = 0;
        if (auto it = apps_.find(identifier); it != apps_.end()) {
            appID = it->second;
        } else {
            appID = static_cast<int>(apps_.size()) + 1;
            apps_[identifier] = appID;
            sqlite3_stmt* s = nullptr;
            sqlite3_prepare_v2(db_, "insert into app values (?, ?)", -1, &s, nullptr);
            sqlite3_bind_int(s, 1, appID);
            sqlite3_bind_text(s, 2, identifier.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(s);
            sqlite3_finalize(s);
        }
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db_, "insert into record values (?, ?, ?)", -1, &s, nullptr);
        sqlite3_bind_int64(s, 1, id);
        sqlite3_bind_int(s, 2, appID);
        if (data)
            sqlite3_bind_blob(s, 3, data->data(), static_cast<int>(data->size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(s, 3);
        ASSERT_EQ(sqlite3_step(s), SQLITE_DONE);
        sqlite3_finalize(s);
    }
    // The change stamp the reader watches: the write-ahead log's modification time.
    void touch() {
        const auto wal = dir_ / "db-wal";
        if (!fs::exists(wal))
            std::ofstream(wal) << "";
        fs::last_write_time(wal, fs::file_time_type::clock::now() + std::chrono::seconds(++stamp_));
    }

private:
    fs::path dir_;
    sqlite3* db_ = nullptr;
    std::map<std::string, int> apps_;
    int stamp_ = 0;
};

struct Intake {
    TempDir d;
    FakeIntake fake;
    Notifications notes;
    explicit Intake(std::vector<std::string> folders = {})
        : notes(fake.links(), d.path / "db2", folders.empty() ? std::vector<std::string>{"/nonexistent"} : folders) {
        fake.chosen = {u"x.y.Chat", u"net.whatsapp.WhatsApp", u"com.tinyspeck.slackmacgap", u"com.apple.MobileSMS",
                       u"com.apple.FaceTime", u"com.anthropic.claudefordesktop", u"com.apple.Notes", u"x.online",
                       u"com.apple.mail", u"com.apple.reminders", u"org.signal.Signal"};
    }
    Notifications::Record record(const std::u16string& app, const std::u16string& title, const std::u16string& body,
                                 const std::u16string& subtitle = u"", const std::u16string& category = u"") {
        return {-1, app, title, subtitle, body, category};
    }
};

TEST(Notifications, StartSkipsHistoryAndAnnouncesOnlyNewRecordsInOrder) {
    Intake t;
    Database db(t.d.path / "db2");
    for (int i = 1; i <= 500; ++i)
        db.add(i, "x.y.Chat", blob("Old", "old " + std::to_string(i)));
    db.touch();
    EXPECT_EQ(t.notes.maxID(), 500);
    t.notes.lastID = t.notes.maxID();
    t.notes.poll();  // the first stamp is new: a query, but only after 500
    EXPECT_TRUE(t.fake.events.empty());
    const int queries = t.notes.queries();
    t.notes.poll();  // unchanged stamp: nothing at all
    EXPECT_EQ(t.notes.queries(), queries);

    db.add(502, "x.y.Chat", blob("Bob", "second"));
    db.add(501, "x.y.Chat", blob("Ann", "first"));
    db.touch();
    t.notes.poll();
    ASSERT_EQ(t.fake.events.size(), 2u);
    EXPECT_EQ(t.fake.events[0].who, u"Ann");
    EXPECT_EQ(t.fake.events[1].who, u"Bob");
    EXPECT_EQ(t.notes.lastID, 502);
    t.notes.poll();
    EXPECT_EQ(t.fake.events.size(), 2u);
}

TEST(Notifications, MissingLogFileMeansNoChangeWhileReadable) {
    Intake t;
    Database db(t.d.path / "db2");
    db.add(1, "x.y.Chat", blob("A", "a"));
    t.notes.lastID = 0;
    t.notes.poll();  // no stamp yet equals no stamp before
    t.notes.poll();
    EXPECT_EQ(t.notes.queries(), 0);
    EXPECT_EQ(t.notes.polls(), 2);
    EXPECT_TRUE(t.fake.events.empty());
}

TEST(Notifications, DecodesRequestsAndSkipsRowsThatAreNotRecords) {
    Intake t;
    Database db(t.d.path / "db2");
    std::string binary;
    ASSERT_TRUE(AtomicFile::read(test::testData("plist/record.bplist").string(), binary));
    db.add(1, "joined.id", blob("T", "B", "S", "C"));
    db.add(2, "joined.id", blob("T", "B", "", "", "x.y.Chat"));  // the blob's own app wins
    db.add(3, "joined.id", std::string("<plist><dict><key>app</key><string>x</string></dict></plist>"));
    db.add(4, "joined.id", std::string("<plist><dict><key>req</key><string>no</string></dict></plist>"));
    db.add(5, "joined.id", std::nullopt);
    db.add(6, "joined.id", std::string("\x01\x02 garbage"));
    db.add(7, "joined.id", std::string("<plist><dict/></plist>"));
    db.add(8, "joined.id", binary);
    db.add(9, "joined.id", std::string("<plist><dict><key>req</key><dict><key>titl</key><integer>4</integer>"
                                       "</dict></dict></plist>"));
    const auto got = t.notes.records(0);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], (Notifications::Record{1, u"joined.id", u"T", u"S", u"B", u"C"}));
    EXPECT_EQ(got[1], (Notifications::Record{2, u"x.y.Chat", u"T", u"", u"B", u""}));
    EXPECT_EQ(got[2], (Notifications::Record{8, u"x.y.Chat", u"Hi  there\n", u"Team", u"ok \u2713 \U0001F600", u"msg"}));
    EXPECT_EQ(got[3], (Notifications::Record{9, u"joined.id", u"", u"", u"", u""}));  // a title that is no text is ""
    EXPECT_EQ(t.notes.records(8).size(), 1u);
}

TEST(Notifications, UnreadableDatabaseQueriesEveryTickAndRecoversWithTheNewestId) {
    Intake t;
    EXPECT_THROW(t.notes.maxID(), Notifications::NoPermission);
    EXPECT_FALSE(t.notes.access());
    t.notes.start();
    EXPECT_EQ(t.notes.lastID, -1);
    t.notes.poll();
    t.notes.poll();
    EXPECT_EQ(t.notes.queries(), 2);  // no stamp either time, but access is missing
    EXPECT_NE(t.notes.lastError(), "-");
    EXPECT_NE(t.notes.debugState().find("lastID=-1 timer=true apps=0 polls=2 queries=2 error=The notification"),
              std::string::npos);

    Database db(t.d.path / "db2");
    db.add(7, "x.y.Chat", blob("Old", "history"));
    t.notes.poll();
    EXPECT_TRUE(t.notes.access());
    EXPECT_EQ(t.notes.lastID, 7);  // history is skipped, never read
    EXPECT_TRUE(t.fake.events.empty());
}

TEST(Notifications, NamesOfApps) {
    TempDir apps;
    apps.write("org.telegram.desktop.desktop", "[Desktop Entry]\nType=Application\nName=Telegram\n");
    apps.write("org.gnome.Evolution.desktop", "[Desktop Entry]\nType=Application\nName=Evolution Mail\n");
    Intake t({apps.path.string()});
    struct Case {
        std::u16string id, name;
    };
    const Case cases[] = {
        {u"com.tinyspeck.slackmacgap", u"Slack"},
        {u"one.two.tool", u"Tool"},
        {u"a..b.", u"B"},
        {u"com.apple.MobileSMS", u"Messages"},
        {u"org.telegram.desktop", u"Telegram"},
        {u"org.example.Chat.desktop", u"Chat"},  // not installed: the part that names it
        {u"org.signal.signal-desktop", u"Signal"},
        {u"gnome-calendar", u"Gnome calendar"},
        {u"app", u"App"},
        {u"Telegram Desktop", u"Telegram Desktop"},  // an app name, not an id
        {u"org.gnome.Evolution", u"Evolution Mail"},  // installed: its entry's Name
        {u"org.gnome.Calendar", u"Calendar"},
        {u"Slack", u"Slack"},
        {u"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(t.notes.name(c.id), c.name) << u8(c.id);
}

TEST(Notifications, SignatureIgnoresAppCaseAndWhiteSpaceRuns) {
    EXPECT_EQ(Notifications::signature({1, u"Com.X", u"Hi  there\n", u"sub", u"ok", u"cat"}), u"com.x|Hi there |ok");
}

TEST(Notifications, RecordSaidLiveIsNotReadAgainFromTheDatabaseFor600Seconds) {
    Intake t;
    const auto live = t.record(u"x.y.Chat", u"Ann", u"hello");
    t.notes.arrived(live, true);
    ASSERT_EQ(t.fake.events.size(), 1u);
    auto fromDb = live;
    fromDb.id = 10;
    fromDb.subtitle = u"other";  // subtitle and category take no part
    t.fake.now += 599;
    t.notes.arrived(fromDb, false);
    EXPECT_EQ(t.fake.events.size(), 1u);
    t.notes.arrived(fromDb, false);  // a database record never refreshes the filter
    t.fake.now += 1;
    t.notes.arrived(fromDb, false);
    EXPECT_EQ(t.fake.events.size(), 2u);
    t.notes.arrived(live, true);  // live records are always said
    t.notes.arrived(live, true);
    EXPECT_EQ(t.fake.events.size(), 4u);
}

TEST(Notifications, RefreshAppsListsKnownAndInstalledDefaultsByName) {
    TempDir apps;
    apps.write("org.gnome.Zeta.desktop", "[Desktop Entry]\nType=Application\nName=zeta\n");
    apps.write("org.gnome.Calls.desktop", "[Desktop Entry]\nType=Application\nName=Calls\n");
    Intake t({apps.path.string()});
    t.fake.defaults = {u"org.gnome.Zeta", u"org.gnome.Calls", u"not.installed"};
    t.notes.refreshApps();  // no database: installed defaults only
    EXPECT_FALSE(t.notes.access());
    EXPECT_EQ(t.notes.seenApps(), (std::vector<Notifications::SeenApp>{{u"org.gnome.Calls", u"Calls"},
                                                                        {u"org.gnome.Zeta", u"zeta"}}));

    Database db(t.d.path / "db2");
    db.add(1, "ORG.GNOME.CALLS", blob("a", "b"));
    db.add(2, "com.tinyspeck.slackmacgap", blob("a", "b"));
    db.add(3, "_system.thing", blob("a", "b"));
    db.add(4, u8(InstalledApp::ownID()), blob("a", "b"));
    db.exec("insert into app values (99, 'no.records')");
    t.notes.refreshApps();
    EXPECT_TRUE(t.notes.access());
    EXPECT_EQ(t.notes.seenApps(), (std::vector<Notifications::SeenApp>{{u"ORG.GNOME.CALLS", u"CALLS"},
                                                                        {u"com.tinyspeck.slackmacgap", u"Slack"},
                                                                        {u"org.gnome.Zeta", u"zeta"}}));
}

TEST(Notifications, WhichRecordsAreAdmitted) {
    Intake t;
    t.notes.arrived(t.record(InstalledApp::ownID(), u"Us", u"our own"), true);
    t.notes.arrived(t.record(u"not.chosen", u"Who", u"what"), true);
    EXPECT_TRUE(t.fake.events.empty());
    t.notes.arrived(t.record(u"X.Y.CHAT", u"Who", u"what"), true);  // chosen ignoring case
    EXPECT_EQ(t.fake.events.size(), 1u);
}

struct Said {
    std::u16string kind, app, who, text;
    bool urgent;
    std::optional<std::u16string> away;
};

TEST(Notifications, WhatEachKindOfNotificationSays) {
    struct Case {
        const char* what;
        bool readText;
        Notifications::Record record;
        Said said;
    };
    const Case cases[] = {
        {"whatsapp group title", true, {-1, u"net.whatsapp.WhatsApp", u"Family: Mom", u"", u"Mom: see you", u""},
         {u"message", u"WhatsApp", u"Mom", u"", false, std::nullopt}},
        {"slack channel, words off", false, {-1, u"com.tinyspeck.slackmacgap", u"#general", u"", u"Ana: ship it", u""},
         {u"message", u"Slack", u"Ana", u"Ana in #general, on Slack.", false, std::nullopt}},
        {"messages subtitle", false, {-1, u"com.apple.MobileSMS", u"Team", u"Bob", u"hi", u""},
         {u"message", u"Messages", u"Bob", u"Bob in Team, on Messages.", false, std::nullopt}},
        {"messages subtitle without a group", false, {-1, u"com.apple.MobileSMS", u"", u"Bob", u"hi", u""},
         {u"message", u"Messages", u"Bob", u"Bob on Messages.", false, std::nullopt}},
        {"nameless sender", false, {-1, u"org.signal.Signal", u"", u"", u"hi", u""},
         {u"message", u"Signal", u"Someone", u"Someone on Signal.", false, std::nullopt}},
        {"line fragment", false, {-1, u"x.online", u"Kim", u"", u"yo", u""},
         {u"message", u"Online", u"Kim", u"Kim on Online.", false, std::nullopt}},
        {"facetime call", true, {-1, u"com.apple.FaceTime", u"Alice is calling you", u"", u"", u""},
         {u"call", u"FaceTime", u"Alice", u"Incoming call from Alice.", true, u"Alice called on FaceTime."}},
        {"call by category", true, {-1, u"x.y.Chat", u"Incoming call: Dan", u"", u"", u"call"},
         {u"call", u"Chat", u"Dan", u"Incoming Chat call from Dan.", true, u"Dan called on Chat."}},
        {"ringing as a word", true, {-1, u"x.y.Chat", u"Eve", u"", u"phone ringing", u""},
         {u"call", u"Chat", u"Eve", u"Incoming Chat call from Eve.", true, u"Eve called on Chat."}},
        {"ringingly is no call", false, {-1, u"x.y.Chat", u"Eve", u"", u"sang ringingly", u""},
         {u"system", u"Chat", u"Eve", u"Chat: Eve", false, u"Chat: Eve."}},
        {"claude, empty title, words off", false, {-1, u"com.anthropic.claudefordesktop", u"", u"", u"body", u""},
         {u"claude", u"Claude", u"", u"Claude needs you.", false, u"Claude asked for you."}},
        {"notice, words off", false, {-1, u"com.apple.Notes", u"Shopping", u"", u"milk", u""},
         {u"system", u"Notes", u"Shopping", u"Notes: Shopping", false, u"Notes: Shopping."}},
        {"notice with words", true, {-1, u"com.apple.Notes", u"Shopping", u"", u"milk", u""},
         {u"system", u"Notes", u"Shopping", u"Shopping, on Notes. milk.", false, u"Notes: Shopping."}},
        {"email", false, {-1, u"com.apple.mail", u"Ann Lee <ann@x.org>", u"Lunch", u"Hi", u""},
         {u"message", u"Mail", u"Ann Lee", u"Email from Ann Lee.", false, u"an email from Ann Lee."}},
        {"reminder", true, {-1, u"com.apple.reminders", u"Call mum", u"", u"", u""},
         {u"system", u"Reminders", u"", u"Reminder: Call mum.", false, u"a reminder: Call mum."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Intake t;
        t.fake.readText = c.readText;
        t.notes.arrived(c.record, true);
        ASSERT_EQ(t.fake.events.size(), 1u);
        const auto& e = t.fake.events[0];
        EXPECT_EQ(u8(Assistant::Event::kindName(e.kind)), u8(c.said.kind));
        EXPECT_EQ(u8(e.app), u8(c.said.app));
        EXPECT_EQ(u8(e.who), u8(c.said.who));
        EXPECT_EQ(e.bundleID, c.record.app);
        if (!c.said.text.empty()) {
            EXPECT_EQ(u8(e.speech.text()), u8(c.said.text));
        }
        EXPECT_EQ(e.urgent, c.said.urgent);
        EXPECT_EQ(e.away, c.said.away);
    }
}

TEST(Notifications, GroupSenderPrefixLeavesTheMessage) {
    Intake t;
    t.notes.arrived({-1, u"net.whatsapp.WhatsApp", u"Family: Mom", u"", u"Mom: see you", u""}, true);
    ASSERT_EQ(t.fake.events.size(), 1u);
    const auto text = t.fake.events[0].speech.text();
    EXPECT_NE(text.find(u"see you"), std::u16string::npos);
    EXPECT_EQ(text.find(u"Mom: see"), std::u16string::npos);
    EXPECT_NE(text.find(u"Family"), std::u16string::npos);
}

TEST(Notifications, RingsOfOneCallerCount) {
    Intake t;
    const std::u16string caller = u"Ringo " + u16(std::to_string(::getpid()));
    for (int i = 0; i < 3; ++i) {
        t.notes.arrived({-1, u"com.apple.FaceTime", caller + u" is calling you", u"", u"", u""}, true);
        t.fake.now += 60;
    }
    ASSERT_EQ(t.fake.events.size(), 3u);
    EXPECT_EQ(t.fake.events[1].speech.text(), caller + u" is calling again.");
    EXPECT_EQ(t.fake.events[2].speech.text(), caller + u" is calling for the third time. It may be urgent.");
}

TEST(Notifications, SplitRules) {
    struct Case {
        std::u16string title, subtitle, body, app, who;
        std::optional<std::u16string> group;
    };
    const Case cases[] = {
        {u"Team", u"Bob", u"x", u"com.apple.mobilesms", u"Bob", u"Team"},
        {u"Family: Mom", u"", u"x", u"net.whatsapp.whatsapp", u"Mom", u"Family"},
        {u"Mom @ Family", u"", u"x", u"net.whatsapp.whatsapp", u"Family", u"Mom"},
        {u"Family: Mom", u"", u"x", u"org.telegram", u"Family: Mom", std::nullopt},  // only WhatsApp titles split
        {u"#general", u"", u"Ana: ship it", u"x.chat", u"Ana", u"#general"},
        {u"Design", u"", u"Ana: ship it", u"com.tinyspeck.slackmacgap", u"Ana", u"Design"},
        {u"Design", u"", u"Ana: ship it", u"x.chat", u"Design", std::nullopt},
        {u"", u"", u"", u"x.chat", u"Someone", std::nullopt},
    };
    for (const auto& c : cases) {
        auto [who, group] = Notifications::split(c.title, c.subtitle, c.body, c.app);
        EXPECT_EQ(who, c.who) << u8(c.title);
        EXPECT_EQ(group, c.group) << u8(c.title);
    }
}

TEST(Notifications, CallerNames) {
    struct Case {
        std::u16string title, body, who;
    };
    const Case cases[] = {
        {u"Alice is calling you", u"", u"Alice"},
        {u"FaceTime", u"Bob Stone wants to FaceTime", u"Bob Stone"},
        {u"Incoming video call from: Carl", u"", u"Carl"},
        {u"Call", u"", u"Someone"},
        {u"Dora", u"", u"Dora"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Notifications::callerName(c.title, c.body, u""), c.who) << u8(c.title);
}

}  // namespace
}  // namespace tovan
