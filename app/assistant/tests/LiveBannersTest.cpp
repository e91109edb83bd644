#include "LiveBanners.h"

#include "FakeIntake.h"
#include "InstalledApp.h"
#include "JavaRegex.h"
#include "PrivateBus.h"
#include "TempDir.h"
#include "TestApp.h"
#include "VirtualClock.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace tovan {
namespace {

using test::FakeIntake;
using test::PrivateBus;
using test::TempDir;
using test::coreApp;
using test::spinUntil;

std::string notifyLine(int cookie, const std::string& app, const std::string& summary, const std::string& body,
                       const std::string& hints = "{}") {
    return R"({"type":"method_call","endian":"l","flags":0,"version":1,"cookie":)" + std::to_string(cookie) +
           R"(,"sender":":1.7","destination":"org.freedesktop.Notifications","path":"/org/freedesktop/Notifications",)"
           R"("interface":"org.freedesktop.Notifications","member":"Notify","payload":{"type":"susssasa{sv}i","data":[")" +
           app + R"(",0,"",")" + summary + R"(",")" + body + R"(",[],)" + hints + ",5000]}}";
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
                              notifyLine(2, "Slack", "Ben", "done");
    Live t(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf '%s\\n' \"$0\""),
                                       QString::fromStdString(lines)});
    t.live.start();
    t.live.start();  // already running
    EXPECT_EQ(t.live.starts(), 1);
    ASSERT_TRUE(spinUntil([&] { return t.clock.nextTimer() >= 0; }));  // ended: restart pending
    ASSERT_EQ(t.fake.events.size(), 2u);
    EXPECT_EQ(t.fake.events[0].who, u"Ana");
    EXPECT_EQ(t.fake.events[1].who, u"Ben");
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

// The real road: a private session bus, busctl's monitor and a Notify call.
TEST(LiveBanners, SeesNotifyCallsOnAPrivateSessionBus) {
    coreApp();
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("busctl")).isEmpty())
        GTEST_SKIP() << "needs dbus-daemon and busctl";
    PrivateBus daemon;
    if (!daemon.ok()) GTEST_SKIP() << "no private bus";
    const QString address = daemon.address;
    const QByteArray old = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    {
        Live t(LiveBanners::standardProgram(), LiveBanners::standardArguments());
        t.live.start();
        QDBusConnection bus = daemon.connect();
        ASSERT_TRUE(bus.isConnected());
        int sent = 0;
        // The monitor needs a moment to attach: send until it has seen one.
        const bool seen = spinUntil([&] {
            if (t.fake.events.empty()) {
                auto m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                        QStringLiteral("/org/freedesktop/Notifications"),
                                                        QStringLiteral("org.freedesktop.Notifications"),
                                                        QStringLiteral("Notify"));
                QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("org.telegram.desktop")}};
                m << QStringLiteral("Telegram") << 0u << QString() << QStringLiteral("Anna")
                  << QStringLiteral("See you at 6") << QStringList() << hints << 5000;
                if (sent++ % 10 == 0)
                    bus.send(m);
            }
            return !t.fake.events.empty();
        });
        ASSERT_TRUE(seen);
        EXPECT_EQ(t.fake.events[0].who, u"Anna");
        EXPECT_EQ(t.fake.events[0].app, u"desktop");  // not installed here: the last part of the id
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", old);
}

}  // namespace
}  // namespace tovan
