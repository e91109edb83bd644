#include "LiveBanners.h"

#include "FakeIntake.h"
#include "InstalledApp.h"
#include "PrivateBus.h"
#include "Regex.h"
#include "TempDir.h"
#include "TestApp.h"
#include "VirtualClock.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QDBusVirtualObject>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/types.h>

#include <gtest/gtest.h>

namespace tovan {
namespace {

using test::FakeIntake;
using namespace test;
using test::TempDir;

std::string notifyLine(int cookie, const std::string& app, const std::string& summary, const std::string& body,
                       const std::string& hints = "{}") {
    return R"({"type":"method_call","endian":"l","flags":0,"version":1,"cookie":)" + std::to_string(cookie) +
           R"(,"sender":":1.7","destination":"org.freedesktop.Notifications","path":"/org/freedesktop/Notifications",)"
           R"("interface":"org.freedesktop.Notifications","member":"Notify","payload":{"type":"susssasa{sv}i","data":[")" +
           app + R"(",0,"",")" + summary + R"(",")" + body + R"(",[],)" + hints + ",5000]}}";
}

// The server's answer to the call of notifyLine(cookie, …) from ":1.7".
std::string replyLine(int cookie, bool shown = true, const std::string& to = ":1.7") {
    const std::string type = shown ? "method_return" : "error";
    return R"({"type":")" + type + R"(","endian":"l","flags":1,"version":1,"cookie":90,"reply_cookie":)" +
           std::to_string(cookie) + R"(,"sender":":1.3","destination":")" + to + R"(",)" +
           (shown ? R"("payload":{"type":"u","data":[12]}})"
                  : R"("error_name":"org.freedesktop.DBus.Error.Failed","payload":{"type":"s","data":["no"]}})");
}

struct Live {
    TempDir d;
    FakeIntake fake;
    VirtualClock clock;
    Notifications notes;
    LiveBanners live;
    Live(QString program = QStringLiteral("/bin/true"), QStringList args = {})
        : notes(fake.links(), d.path / "db2", {"/nonexistent"}),
          live(notes, fake.links(), clock, std::move(program), std::move(args)) {
        coreApp();
        fake.chosen = {u"org.telegram.desktop", u"Slack", u"com.apple.FaceTime", u"Quiet"};
    }
};

TEST(LineBuffer, KeepsTheUnfinishedLineForTheNextChunk) {
    struct Case {
        std::vector<std::string> chunks;
        std::vector<std::string> lines;
        std::string rest;
    };
    const Case cases[] = {
        {{"ab"}, {}, "ab"},
        {{"ab\ncd"}, {"ab"}, "cd"},
        {{"a", "b\n", "\n", "c\r\n"}, {"ab", "", "c\r"}, ""},
        {{"{\"x\":", "1}\n{\"y\"", ":2}\n"}, {"{\"x\":1}", "{\"y\":2}"}, ""},
    };
    for (const auto& c : cases) {
        LineBuffer b;
        std::vector<std::string> got;
        for (const auto& chunk : c.chunks)
            for (auto& l : b.lines(chunk))
                got.push_back(l);
        EXPECT_EQ(got, c.lines);
        EXPECT_EQ(b.data(), c.rest);
    }
}

TEST(LineBuffer, DropsOverLongLinesWhole) {
    LineBuffer b;
    const std::string big(LineBuffer::MAX_LINE + 10, 'x');
    EXPECT_TRUE(b.lines(big).empty());
    EXPECT_TRUE(b.lines("still the same line").empty());
    EXPECT_EQ(b.lines(" end\nnext\n"), (std::vector<std::string>{"next"}));
    EXPECT_EQ(b.data(), "");
}

TEST(LiveBanners, ParsesNotifyCallsOnly) {
    const auto r = LiveBanners::parse(notifyLine(
        3, "Telegram", "Anna", "<b>See</b> you &amp; &lt;them&gt;",
        R"({"desktop-entry":{"type":"s","data":"org.telegram.desktop"},"category":{"type":"s","data":"im.received"}})"));
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (LiveBanners::Request{u":1.7/3", u"org.telegram.desktop", u"Anna", u"See you & <them>", u"im.received"}));

    const auto noHint = LiveBanners::parse(notifyLine(4, "Slack", "Ana", "ship it"));
    ASSERT_TRUE(noHint);
    EXPECT_EQ(noHint->bundle, u"Slack");  // the app name stands in for the desktop entry

    const std::string bad[] = {
        "", "not json", "[1,2]",
        R"({"type":"method_call","interface":"org.freedesktop.Notifications","member":"CloseNotification","cookie":1,"payload":{"data":[5]}})",
        R"({"type":"signal","interface":"org.freedesktop.Notifications","member":"Notify","cookie":1})",
        R"({"type":"method_call","interface":"org.freedesktop.Notifications","member":"Notify","cookie":1,"payload":{"data":["a",0,"","b"]}})",
        notifyLine(5, "", "nobody", "x"),
    };
    for (const auto& b : bad)
        EXPECT_FALSE(LiveBanners::parse(b)) << b;
}

TEST(LiveBanners, ParsesTheServersAnswers) {
    struct Case {
        std::string line;
        std::optional<LiveBanners::Reply> reply;
    };
    const Case cases[] = {
        {replyLine(3), LiveBanners::Reply{u":1.7/3", true}},
        {replyLine(4, false), LiveBanners::Reply{u":1.7/4", false}},
        {replyLine(5, true, ":1.12"), LiveBanners::Reply{u":1.12/5", true}},
        {notifyLine(3, "Slack", "Ana", "x"), std::nullopt},
        {R"({"type":"method_return","destination":":1.7"})", std::nullopt},
        {R"({"type":"method_return","reply_cookie":"3","destination":":1.7"})", std::nullopt},
        {R"({"type":"signal","reply_cookie":3,"destination":":1.7"})", std::nullopt},
        {R"({"type":"method_return","reply_cookie":3})", std::nullopt},
        {"not json", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LiveBanners::parseReply(c.line), c.reply) << c.line;
}

// Only a request the notification server took is read; one it refused or
// never answered is not, and unanswered ones do not pile up.
TEST(LiveBanners, ARequestIsReadOnceTheServerShowedIt) {
    const LiveBanners::Request anna{u":1.7/1", u"org.telegram.desktop", u"Anna", u"See you at 6", u""};
    struct Case {
        const char* name;
        std::vector<LiveBanners::Reply> replies;
        double later;  // seconds between the request and the replies
        size_t events;
    };
    const Case cases[] = {
        {"shown", {{u":1.7/1", true}}, 0, 1},
        {"refused", {{u":1.7/1", false}}, 0, 0},
        {"no answer", {}, 0, 0},
        {"an answer to another call", {{u":1.7/2", true}, {u":1.8/1", true}}, 0, 0},
        {"answered twice", {{u":1.7/1", true}, {u":1.7/1", true}}, 0, 1},
        {"refused, then a stray return", {{u":1.7/1", false}, {u":1.7/1", true}}, 0, 0},
        {"answered just in time", {{u":1.7/1", true}}, LiveBanners::kAnswerWait - 0.1, 1},
    };
    for (const auto& c : cases) {
        Live t;
        t.live.requested(anna);
        EXPECT_TRUE(t.fake.events.empty()) << c.name;
        t.clock.advance(c.later);
        for (const auto& r : c.replies)
            t.live.answered(r);
        EXPECT_EQ(t.fake.events.size(), c.events) << c.name;
    }

    Live t;
    t.live.requested(anna);
    t.clock.advance(LiveBanners::kAnswerWait);
    t.live.requested({u":1.7/2", u"org.telegram.desktop", u"Ben", u"hi", u""});
    EXPECT_EQ(t.live.waiting(), 1u);  // the first was given up
    t.live.answered({u":1.7/1", true});
    EXPECT_TRUE(t.fake.events.empty());
    for (int i = 3; i < 600; ++i)
        t.live.requested({u16(":1.7/" + std::to_string(i)), u"x", u"t", u"b", u""});
    EXPECT_LE(t.live.waiting(), 500u);
}

TEST(LiveBanners, EachRequestOfAChosenAppIsReadOnce) {
    Live t;
    LiveBanners::Request r{u":1.7/1", u"org.telegram.desktop", u"Anna", u"See you at 6", u""};
    t.live.created(r);
    t.live.created(r);
    ASSERT_EQ(t.fake.events.size(), 1u);
    EXPECT_EQ(t.fake.events[0].who, u"Anna");
    EXPECT_EQ(t.fake.events[0].bundleID, u"org.telegram.desktop");

    t.live.created({u":1.7/2", u"not.chosen", u"x", u"y", u""});
    t.live.created({u":1.7/3", InstalledApp::ownID(), u"x", u"y", u""});
    t.live.created({u":1.7/4", u"Quiet", u"", u"  ", u""});  // says nothing and is no call
    EXPECT_EQ(t.fake.events.size(), 1u);

    t.live.created({u":1.7/5", u"com.apple.FaceTime", u"", u"", u""});
    ASSERT_EQ(t.fake.events.size(), 2u);
    EXPECT_EQ(t.fake.events[1].kind, Assistant::Event::Kind::call);
}

TEST(LiveBanners, SeenIdsAreForgottenAfter500) {
    Live t;
    const LiveBanners::Request first{u"id-0", u"org.telegram.desktop", u"A", u"first", u""};
    t.live.created(first);
    for (int i = 1; i <= 500; ++i)  // the 501st id clears the memory
        t.live.created({u16("id-" + std::to_string(i)), u"not.chosen", u"x", u"y", u""});
    t.fake.now += 601;  // past the duplicate filter too
    t.live.created(first);
    EXPECT_EQ(t.fake.events.size(), 2u);
}

TEST(LiveBanners, ReadsTheMonitorAndRestartsIt5SecondsAfterItEnds) {
    const std::string lines = notifyLine(1, "Slack", "Ana", "ship it") + "\nnoise\n" +
                              notifyLine(2, "Slack", "Ben", "done") + "\n" + notifyLine(3, "Slack", "Cid", "no") +
                              "\n" + replyLine(2) + "\n" + replyLine(1) + "\n" + replyLine(3, false);
    Live t(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf '%s\\n' \"$0\""),
                                       QString::fromStdString(lines)});
    t.live.start();
    t.live.start();  // already running
    EXPECT_EQ(t.live.starts(), 1);
    ASSERT_TRUE(spinUntil([&] { return t.clock.nextTimer() >= 0; }));  // ended: restart pending
    ASSERT_EQ(t.fake.events.size(), 2u);
    EXPECT_EQ(t.fake.events[0].who, u"Ben");  // in the order the server showed them
    EXPECT_EQ(t.fake.events[1].who, u"Ana");
    EXPECT_TRUE(t.live.running());  // until the restart, a start does nothing
    t.live.start();
    EXPECT_EQ(t.live.starts(), 1);
    t.clock.advance(4.9);
    EXPECT_EQ(t.live.starts(), 1);
    t.clock.advance(0.1);
    EXPECT_EQ(t.live.starts(), 2);
    ASSERT_TRUE(spinUntil([&] { return t.clock.nextTimer() >= 0; }));
    EXPECT_EQ(t.fake.events.size(), 2u);  // the same requests again are not read twice
}

TEST(LiveBanners, AMonitorThatCannotStartIsNotRetried) {
    Live t(QStringLiteral("/nonexistent/monitor"));
    t.live.start();
    spinUntil([&] { return !t.live.running(); }, 3000);
    EXPECT_FALSE(t.live.running());
    EXPECT_LT(t.clock.nextTimer(), 0);
}

// A notification server of the test's own: it shows every notification
// (answers with an id) except those whose summary begins with "refused",
// which it answers with an error.
class FakeNotificationServer : public QDBusVirtualObject {
public:
    int shown = 0;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Notify") || message.arguments().size() < 4)
            return false;
        if (message.arguments()[3].toString().startsWith(QLatin1String("refused")))
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                                     QStringLiteral("not now")));
        else
            connection.send(message.createReply(QVariant::fromValue(uint(++shown))));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

QDBusMessage notifyCall(const QString& summary) {
    auto m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                            QStringLiteral("/org/freedesktop/Notifications"),
                                            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("org.telegram.desktop")}};
    m << QStringLiteral("Telegram") << 0u << QString() << summary << QStringLiteral("See you at 6") << QStringList()
      << hints << 5000;
    return m;
}

struct SessionBus : ::testing::Test {
    PrivateBus bus;
    QByteArray old = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    void SetUp() override {
        coreApp();
        if (QStandardPaths::findExecutable(QStringLiteral("busctl")).isEmpty())
            GTEST_SKIP() << "needs busctl";
        if (!bus.ok())
            GTEST_SKIP() << "no dbus-daemon";
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address.toUtf8());
    }
    void TearDown() override { qputenv("DBUS_SESSION_BUS_ADDRESS", old); }
};

// The real road: busctl's monitor on a private session bus sees the calls
// and the server's answers; only what the server showed is read.
TEST_F(SessionBus, ReadsWhatTheNotificationServerShowed) {
    Live t(LiveBanners::standardProgram(), LiveBanners::standardArguments());
    t.live.start();
    QDBusConnection client = bus.connect();
    ASSERT_TRUE(client.isConnected());

    // No server yet: the monitor sees the call (it needs a moment to
    // attach, so the call is repeated until it does), and nothing is read.
    int tick = 0;
    ASSERT_TRUE(spinUntil([&] {
        if (tick++ % 10 == 0)
            client.send(notifyCall(QStringLiteral("Nobody shows this")));
        return t.live.waiting() > 0;
    }));
    // Calls still queued in the client's connection would reach the server
    // registered below; a blocking call behind them returns only once the
    // bus has routed every one of them (to nobody).
    const QDBusMessage flushed = client.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    ASSERT_EQ(flushed.type(), QDBusMessage::ReplyMessage);

    QDBusConnection serverBus = bus.connect();
    FakeNotificationServer server;
    ASSERT_TRUE(serverBus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &server));
    ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    client.send(notifyCall(QStringLiteral("refused by the server")));
    client.send(notifyCall(QStringLiteral("Anna")));
    ASSERT_TRUE(spinUntil([&] { return !t.fake.events.empty(); }));
    EXPECT_EQ(server.shown, 1);
    ASSERT_EQ(t.fake.events.size(), 1u);
    EXPECT_EQ(t.fake.events[0].who, u"Anna");
    EXPECT_EQ(t.fake.events[0].app, u"Telegram");  // not installed here: a readable form of the id
    serverBus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

bool ended(qint64 pid) {
    // Gone, or a zombie waiting for whoever adopted it to reap it.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && (line[close + 2] == 'Z' || line[close + 2] == 'X');
}

// The monitor ends with the application, however it ends: by its Quit
// command and SIGTERM through a clean quit that destroys the watcher, by
// SIGKILL through the kernel's parent-death signal.
TEST_F(SessionBus, TheMonitorEndsWithTheApplication) {
    struct Case {
        const char* how;
        bool clean;  // the event loop ended and the watcher was destroyed
    };
    const Case cases[] = {{"quit", true}, {"SIGTERM", true}, {"SIGINT", true}, {"SIGKILL", false}};
    for (const auto& c : cases) {
        QProcess stand;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
        stand.setProcessEnvironment(env);
        stand.start(QStringLiteral(LIVE_BANNERS_APP), {});
        ASSERT_TRUE(stand.waitForStarted(5000)) << c.how;
        QByteArray said;
        ASSERT_TRUE(spinUntil([&] {
            said += stand.readAllStandardOutput();
            return said.contains('\n');
        })) << c.how;
        qint64 monitor = 0;
        ASSERT_EQ(std::sscanf(said.constData(), "monitor %lld", &monitor), 1) << said.toStdString();
        ASSERT_FALSE(ended(monitor)) << c.how;

        const std::string how = c.how;
        if (how == "quit")
            stand.write("quit\n");
        else
            ::kill(static_cast<pid_t>(stand.processId()),
                   how == "SIGTERM" ? SIGTERM : how == "SIGINT" ? SIGINT : SIGKILL);
        ASSERT_TRUE(stand.waitForFinished(10000)) << c.how;
        said += stand.readAllStandardOutput();
        if (c.clean) {
            EXPECT_EQ(stand.exitStatus(), QProcess::NormalExit) << c.how;
            EXPECT_EQ(stand.exitCode(), 0) << c.how;
            EXPECT_TRUE(said.contains("destroyed\nquit\n")) << c.how << ": " << said.toStdString();
            EXPECT_TRUE(ended(monitor)) << c.how;  // ended and reaped before the program ended
        } else {
            EXPECT_TRUE(spinUntil([&] { return ended(monitor); })) << c.how;
        }
    }
}

}  // namespace
}  // namespace tovan
