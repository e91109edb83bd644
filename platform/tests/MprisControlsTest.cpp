#include "MprisControls.h"

#include <QCoreApplication>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "PrivateBus.h"
#include "TestApp.h"

#include <cmath>

using tovan::MediaControls;
using tovan::MprisControls;
using namespace tovan::test;

namespace {

// The service lives on this thread, so calls must keep the event loop going.
QDBusMessage callAndWait(QDBusConnection& c, const QDBusMessage& call) {
    QDBusPendingCall pending = c.asyncCall(call, 3000);
    QElapsedTimer t;
    t.start();
    while (!pending.isFinished() && t.elapsed() < 4000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pending.reply();
}

QDBusMessage playerCall(QDBusConnection& c, const QString& method, const QVariantList& args = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(MprisControls::service(), MprisControls::path(),
                                                       QStringLiteral("org.mpris.MediaPlayer2.Player"), method);
    call.setArguments(args);
    return callAndWait(c, call);
}

struct Mpris : ::testing::Test {
    PrivateBus bus;
    void SetUp() override {
        coreApp();
        if (!bus.ok()) GTEST_SKIP() << "no dbus-daemon";
    }
    QVariant property(QDBusConnection& c, const QString& name,
                      const QString& interface = QStringLiteral("org.mpris.MediaPlayer2.Player")) {
        QDBusMessage call = QDBusMessage::createMethodCall(MprisControls::service(), MprisControls::path(),
                                                           QStringLiteral("org.freedesktop.DBus.Properties"),
                                                           QStringLiteral("Get"));
        call << interface << name;
        QDBusMessage reply = callAndWait(c, call);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        return reply.arguments()[0].value<QDBusVariant>().variant();
    }
};

}  // namespace

TEST_F(Mpris, MethodsReachTheCommands) {
    MprisControls controls(bus.connect());
    ASSERT_TRUE(controls.isRegistered());
    QStringList calls;
    controls.setCommands({[&] { calls << "toggle"; }, [&] { calls << "play"; }, [&] { calls << "pause"; },
                          [&] { calls << "next"; }, [&] { calls << "previous"; }, {}, {}});
    QDBusConnection client = bus.connect();
    for (const char* m : {"PlayPause", "Play", "Pause", "Next", "Previous", "Stop", "Seek"}) {
        QDBusMessage reply = QString::fromLatin1(m) == QLatin1String("Seek")
                                 ? playerCall(client, QStringLiteral("Seek"), {qlonglong(5000000)})
                                 : playerCall(client, QString::fromLatin1(m));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << m << " " << reply.errorMessage().toStdString();
    }
    EXPECT_EQ(calls, (QStringList{"toggle", "play", "pause", "next", "previous", "pause"}));
}

TEST_F(Mpris, PropertiesShowTheReadingAndOfferNoSeeking) {
    MprisControls controls(bus.connect());
    ASSERT_TRUE(controls.isRegistered());
    QDBusConnection client = bus.connect();
    EXPECT_EQ(property(client, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    EXPECT_FALSE(property(client, "CanSeek").toBool());

    controls.setInfo(MediaControls::Info{QStringLiteral("Moby Dick"), QStringLiteral("Lumora"), 40, 10, 1},
                     MediaControls::State::playing);
    EXPECT_EQ(property(client, "PlaybackStatus").toString(), QStringLiteral("Playing"));
    EXPECT_EQ(property(client, "Position").toLongLong(), 10000000);
    EXPECT_TRUE(property(client, "CanGoNext").toBool());
    const QVariantMap meta = controls.metadata();
    EXPECT_EQ(meta.value("xesam:title").toString(), QStringLiteral("Moby Dick"));
    EXPECT_EQ(meta.value("xesam:artist").toStringList(), QStringList{"Lumora"});
    EXPECT_EQ(meta.value("mpris:length").toLongLong(), 40000000);
    // The metadata crosses the bus as a{sv}.
    QVariant remote = property(client, "Metadata");
    EXPECT_TRUE(remote.isValid());

    controls.setInfo(std::nullopt, MediaControls::State::playing);
    EXPECT_EQ(property(client, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    EXPECT_TRUE(controls.metadata().isEmpty());
    EXPECT_EQ(controls.position(), 0);
}

// The player is named as the desktop shows the program: the Name of its
// installed desktop entry, whose file name DesktopEntry gives.
TEST_F(Mpris, NamedAsTheDesktopEntry) {
    MprisControls controls(bus.connect());
    ASSERT_TRUE(controls.isRegistered());
    QDBusConnection client = bus.connect();
    const QString root = QStringLiteral("org.mpris.MediaPlayer2");
    const QString entry = QString::fromStdString(tovan::DesktopEntry::text("/usr/bin/tovantts"));
    const QString identity = property(client, "Identity", root).toString();
    EXPECT_EQ(identity, QStringLiteral("Lumora"));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nName=") + identity + QStringLiteral("\n")));
    EXPECT_EQ(property(client, "DesktopEntry", root).toString() + QStringLiteral(".desktop"),
              QString::fromStdString(tovan::DesktopEntry::standardFile().filename().string()));
}

// Stop pauses the reading and reports Stopped, also through the pause's own
// update; only playing again leaves it.
TEST_F(Mpris, StopReportsStoppedUntilPlayingAgain) {
    MprisControls controls(bus.connect());
    ASSERT_TRUE(controls.isRegistered());
    int pauses = 0;
    MediaControls::Commands commands;
    commands.pause = [&] {
        ++pauses;
        controls.setInfo(MediaControls::Info{QStringLiteral("Moby Dick"), QStringLiteral("A"), 40, 10, 0},
                         MediaControls::State::paused);
    };
    controls.setCommands(commands);
    QDBusConnection client = bus.connect();
    const MediaControls::Info reading{QStringLiteral("Moby Dick"), QStringLiteral("A"), 40, 10, 1};
    controls.setInfo(reading, MediaControls::State::playing);
    EXPECT_EQ(property(client, "PlaybackStatus").toString(), QStringLiteral("Playing"));

    ASSERT_EQ(playerCall(client, QStringLiteral("Stop")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(property(client, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    controls.setInfo(reading, MediaControls::State::paused);  // a later update of the reading
    EXPECT_EQ(property(client, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    EXPECT_TRUE(property(client, "CanGoNext").toBool());  // the document is still there

    controls.setInfo(reading, MediaControls::State::playing);
    EXPECT_EQ(property(client, "PlaybackStatus").toString(), QStringLiteral("Playing"));
    controls.setInfo(reading, MediaControls::State::paused);
    EXPECT_EQ(property(client, "PlaybackStatus").toString(), QStringLiteral("Paused"));
}

// Volume set over the bus reaches the player, within 0-1, and reads back.
TEST_F(Mpris, VolumeIsThePlayersOwn) {
    MprisControls controls(bus.connect());
    ASSERT_TRUE(controls.isRegistered());
    double player = 1.0;
    QList<double> asked;
    MediaControls::Commands commands;
    commands.volume = [&] { return player; };
    commands.setVolume = [&](double v) {
        asked << v;
        player = v;
    };
    controls.setCommands(commands);
    QDBusConnection client = bus.connect();
    struct Case {
        double set, player;
    } cases[] = {{0.5, 0.5}, {0.0, 0.0}, {-1.0, 0.0}, {2.5, 1.0}, {std::nan(""), 1.0}};
    for (const auto& c : cases) {
        QDBusMessage call = QDBusMessage::createMethodCall(MprisControls::service(), MprisControls::path(),
                                                           QStringLiteral("org.freedesktop.DBus.Properties"),
                                                           QStringLiteral("Set"));
        call << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Volume")
             << QVariant::fromValue(QDBusVariant(c.set));
        EXPECT_EQ(callAndWait(client, call).type(), QDBusMessage::ReplyMessage) << c.set;
        EXPECT_DOUBLE_EQ(property(client, "Volume").toDouble(), c.player) << c.set;
    }
    EXPECT_EQ(asked, (QList<double>{0.5, 0.0, 0.0, 1.0}));  // not a number is no volume
    player = 0.25;  // changed elsewhere (the developer's mute, say)
    EXPECT_DOUBLE_EQ(property(client, "Volume").toDouble(), 0.25);
}

TEST(MprisOffline, WithoutABusItStillTakesInfo) {
    coreApp();
    MprisControls controls(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nompris")));
    EXPECT_FALSE(controls.isRegistered());
    controls.setInfo(MediaControls::Info{QStringLiteral("T"), QStringLiteral("A"), 1, 0, 0},
                     MediaControls::State::paused);
    EXPECT_EQ(controls.playbackStatus(), QStringLiteral("Paused"));
}
