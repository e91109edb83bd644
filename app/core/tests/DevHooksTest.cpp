#include "DevHooks.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "PrivateBus.h"
#include "Bus.h"
#include "ModelTestUtil.h"

using tovan::AppModel;
using tovan::DevHooks;
using modeltest::Model;
using namespace tovan::test;

namespace {

// Hooks that write down every call, with state the test sets.
struct Recorder {
    QStringList calls;
    QStringList out;
    bool playing = false;
    bool hasDoc = true;
    QList<DevHooks::Heard> recent;
    std::optional<QString> saying;
    DevHooks::Hooks hooks;
    Recorder() {
        hooks.playing = [this] { return playing; };
        hooks.toggle = [this] { calls << "toggle"; };
        hooks.pause = [this] { calls << "pause"; };
        hooks.seek = [this](std::int64_t n) { calls << QStringLiteral("seek %1").arg(n); };
        hooks.setNatural = [this](bool on) { calls << QStringLiteral("natural %1").arg(on); };
        hooks.reading = [this] {
            DevHooks::Reading r;
            if (hasDoc) r.title = QStringLiteral("Moby Dick");
            r.heard = 12;
            r.playing = playing;
            r.problem = std::nullopt;
            return r;
        };
        hooks.setVolume = [this](float v) { calls << QStringLiteral("volume %1").arg(v); };
        hooks.sample = [this] { calls << "sample"; };
        hooks.notificationAccess = [] { return true; };
        hooks.notificationState = [] { return QStringLiteral("lastID=3 apps=1 polls=2 queries=2 error=-"); };
        hooks.allowApp = [this](const QString& id) { calls << "allow " + id; };
        hooks.setWhileLooking = [this](bool on) { calls << QStringLiteral("looking %1").arg(on); };
        hooks.recent = [this] { return recent; };
        hooks.saying = [this] { return saying; };
        hooks.exportTo = [this](const QString& p) { calls << "export " + p; };
        hooks.exportTitle = [] { return std::optional<QString>(QStringLiteral("Moby Dick")); };
        hooks.exportFraction = [] { return 0.429; };
        hooks.snapshot = [this](const QString& p) {
            calls << "snapshot " + p;
            return p.endsWith(QLatin1String(".png"));
        };
    }
    void run(AppModel& app, const QString& command) {
        DevHooks::run(command, app, hooks, [this](const QString& line) { out << line; });
    }
};

}  // namespace

TEST(DevHooksParse, WordAndArgumentSplitAtTheFirstColon) {
    struct Case {
        const char* text;
        const char* word;
        const char* argument;
    } cases[] = {
        {"section:voices", "section", "voices"}, {"open:/tmp/a:b.txt", "open", "/tmp/a:b.txt"},
        {"::play", "play", ""},                  {"text:", "text", ""},
        {"log", "log", ""},                      {"", "", ""},
        {":::", "", ""},                         {"a::b", "a", ":b"},
        {"seek:-3", "seek", "-3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DevHooks::parse(QString::fromUtf8(c.text)),
                  (DevHooks::Command{QString::fromUtf8(c.word), QString::fromUtf8(c.argument)}))
            << c.text;
}

TEST(DevHooksRun, CommandsReachTheirHooksWithTheirArgumentsRead) {
    Model m;
    struct Case {
        const char* command;
        QStringList calls;
        QStringList out;
    } cases[] = {
        {"play", {"toggle"}, {}},
        {"pause", {"pause"}, {}},
        {"seek:-3", {"seek -3"}, {}},
        {"seek:+7", {"seek 7"}, {}},
        {"seek:abc", {"seek 0"}, {}},
        {"seek: 5", {"seek 0"}, {}},
        {"seek:99999999999999999999", {"seek 0"}, {}},
        {"natural", {"natural 1"}, {}},
        {"natural:0", {"natural 0"}, {}},
        {"natural:no", {"natural 1"}, {}},
        {"looking:1", {"looking 1"}, {}},
        {"looking", {"looking 0"}, {}},
        {"looking:true", {"looking 0"}, {}},
        {"mute", {"volume 0"}, {}},
        {"unmute", {"volume 1"}, {}},
        {"allowapp:org.gnome.Evolution", {"allow org.gnome.Evolution"}, {}},
        {"sample", {"sample"}, {}},
        {"export:/tmp/book.m4a", {"export /tmp/book.m4a"}, {}},
        {"snapshot:/tmp/w.png", {"snapshot /tmp/w.png"}, {"snapshot /tmp/w.png"}},
        {"snapshot:/tmp/none", {"snapshot /tmp/none"}, {"no window"}},
        {"notes", {}, {"notes: access=true lastID=3 apps=1 polls=2 queries=2 error=-"}},
        {"said", {}, {"saying: -"}},
        {"progress", {}, {"export: Moby Dick 42%"}},
        {"log", {}, {"narrator: doc=Moby Dick heard=12 playing=false preparing=false problem=- app.problem=-"}},
        {"recent", {}, {}},
        {"Play", {}, {"unknown dev command Play"}},
        {"", {}, {"unknown dev command "}},
        {":::", {}, {"unknown dev command :::"}},
    };
    for (const auto& c : cases) {
        Recorder r;
        r.run(*m, QString::fromUtf8(c.command));
        EXPECT_EQ(r.calls, c.calls) << c.command;
        EXPECT_EQ(r.out, c.out) << c.command;
    }
}

TEST(DevHooksRun, StateDependentCommands) {
    Model m;
    Recorder r;
    r.playing = true;
    r.run(*m, "play");  // already playing: nothing
    r.hasDoc = false;
    r.run(*m, "export:/tmp/x.wav");  // no document: nothing
    EXPECT_TRUE(r.calls.isEmpty());

    r.saying = QStringLiteral("Mail from Ann");
    for (int i = 0; i < 10; ++i) r.recent.append({QStringLiteral("app%1").arg(i), QStringLiteral("who"), QStringLiteral("spoken")});
    m->setProblem(QStringLiteral("It broke."));
    r.run(*m, "said");
    r.run(*m, "recent");
    r.run(*m, "log");
    ASSERT_EQ(r.out.size(), 10);
    EXPECT_EQ(r.out[0], QStringLiteral("saying: Mail from Ann"));
    EXPECT_EQ(r.out[1], QStringLiteral("recent: app0 | who | spoken"));
    EXPECT_EQ(r.out[8], QStringLiteral("recent: app7 | who | spoken"));
    EXPECT_EQ(r.out[9],
              QStringLiteral("narrator: doc=- heard=12 playing=true preparing=false problem=- app.problem=It broke."));
}

TEST(DevHooksRun, EmptyHooksDoNothingAndStillPrint) {
    Model m;
    QStringList out;
    DevHooks::Hooks none;
    for (const char* c : {"play", "pause", "seek:3", "mute", "sample", "export:/x", "natural", "said", "progress", "log"})
        DevHooks::run(QString::fromUtf8(c), *m, none, [&](const QString& l) { out << l; });
    EXPECT_EQ(out, (QStringList{"saying: -", "export: - 0%",
                                "narrator: doc=- heard=0 playing=false preparing=false problem=- app.problem=-"}));
}

TEST(DevHooksRun, ModelCommandsActOnTheModel) {
    Model m;
    Recorder r;
    struct Case {
        const char* command;
        std::optional<AppModel::Section> section;
    } sections[] = {
        {"section:voices", AppModel::Section::voices},   {"section:freeBooks", AppModel::Section::freeBooks},
        {"section:Voices", AppModel::Section::library},  {"section:anywhere", AppModel::Section::anywhere},
        {"section", AppModel::Section::library},
    };
    for (const auto& c : sections) {
        r.run(*m, QString::fromUtf8(c.command));
        EXPECT_EQ(m->section(), c.section) << c.command;
    }

    r.run(*m, "text:");
    r.run(*m, "link:not a link");
    r.run(*m, "link:");
    EXPECT_TRUE(m->library.docs().empty());
    EXPECT_FALSE(m->opening());

    r.run(*m, "text:Read this aloud. Then this.");
    ASSERT_EQ(m->library.docs().size(), 1u);

    spit(m.dir / "a:b.txt", "A file with a colon in its name. It is read whole.");
    r.run(*m, QStringLiteral("open:") + QString::fromStdString((m.dir / "a:b.txt").string()));
    EXPECT_EQ(m->opening(), QStringLiteral("Opening a:b.txt") + QChar(0x2026));
    ASSERT_TRUE(m.settle());
    EXPECT_FALSE(m->problem()) << m->problem()->toStdString();
    EXPECT_EQ(m->library.docs().size(), 2u);
    EXPECT_TRUE(r.out.isEmpty());
}

namespace {
struct DevEnv {
    std::optional<std::string> saved;
    DevEnv() {
        if (const char* v = std::getenv("TOVANTTS_DEV")) saved = v;
    }
    ~DevEnv() {
        if (saved)
            ::setenv("TOVANTTS_DEV", saved->c_str(), 1);
        else
            ::unsetenv("TOVANTTS_DEV");
    }
};
}  // namespace

TEST(DevHooksInstall, OnlyExactlyOneTurnsItOn) {
    DevEnv env;
    struct Case {
        const char* value;  // null: unset
        bool on;
    } cases[] = {{"1", true}, {nullptr, false}, {"true", false}, {"01", false}, {"", false}, {"1 ", false}};
    for (const auto& c : cases) {
        if (c.value)
            ::setenv("TOVANTTS_DEV", c.value, 1);
        else
            ::unsetenv("TOVANTTS_DEV");
        EXPECT_EQ(DevHooks::enabled(), c.on) << (c.value ? c.value : "(unset)");
    }
}

TEST(DevHooksInstall, CommandsArriveOverTheBusWhenEnabled) {
    coreApp();
    PrivateBus bus;
    if (!bus.ok()) GTEST_SKIP() << "no dbus-daemon";
    DevEnv env;
    Model m;
    QStringList out;
    auto print = [&](const QString& l) { out << l; };

    ::unsetenv("TOVANTTS_DEV");
    tovan::Bus off(bus.connect());
    EXPECT_FALSE(DevHooks::install(off, m.model.get(), print));
    EXPECT_TRUE(out.isEmpty());

    ::setenv("TOVANTTS_DEV", "1", 1);
    tovan::Bus on(bus.connect());
    ASSERT_TRUE(DevHooks::install(on, m.model.get(), print));
    EXPECT_EQ(out, QStringList{"dev hooks on"});
    tovan::Bus sender(bus.connect());
    sender.sendDev(QStringLiteral("section:voices"));
    sender.sendDev(QStringLiteral("bogus:1"));
    ASSERT_TRUE(spinUntil([&] { return out.size() >= 2; }));
    EXPECT_EQ(m->section(), AppModel::Section::voices);
    EXPECT_EQ(out[1], QStringLiteral("unknown dev command bogus:1"));
}
