#include "MprisControls.h"

#include <QCoreApplication>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

#include <gtest/gtest.h>

#include "PrivateBus.h"
#include "TestApp.h"

using tovan::MediaControls;
using tovan::MprisControls;
using tovan::test::PrivateBus;
using tovan::test::coreApp;

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
    QVariant property(QDBusConnection& c, const QString& name) {
        QDBusMessage call = QDBusMessage::createMethodCall(MprisControls::service(), MprisControls::path(),
                                                           QStringLiteral("org.freedesktop.DBus.Properties"),
                                                           QStringLiteral("Get"));
        call << QStringLiteral("org.mpris.MediaPlayer2.Player") << name;
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
                          [&] { calls << "next"; }, [&] { calls << "previous"; }});
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

TEST(MprisOffline, WithoutABusItStillTakesInfo) {
    coreApp();
    MprisControls controls(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nompris")));
    EXPECT_FALSE(controls.isRegistered());
    controls.setInfo(MediaControls::Info{QStringLiteral("T"), QStringLiteral("A"), 1, 0, 0},
                     MediaControls::State::paused);
    EXPECT_EQ(controls.playbackStatus(), QStringLiteral("Paused"));
}
