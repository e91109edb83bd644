// The desktop probes that ask the session bus, against fake desktop services
// on a private bus.
#include "LinuxDoNotDisturb.h"
#include "LinuxInputIdle.h"
#include "LinuxScreenLock.h"
#include "BusTestKit.h"
#include "PrivateBus.h"
#include "TestApp.h"

#include <QDBusMessage>

#include <gtest/gtest.h>

using namespace tovan::test;

namespace {

// The notification server of a desktop with a do-not-disturb switch.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
    Q_PROPERTY(bool Inhibited READ inhibited)
public:
    explicit FakeNotifications(bool v) : value(v) {}
    bool inhibited() const { return value; }
    bool value;
};

// GNOME's idle monitor.
class FakeIdleMonitor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    explicit FakeIdleMonitor(qulonglong ms) : ms_(ms) {}
public slots:
    qulonglong GetIdletime() { return ms_; }

private:
    qulonglong ms_;
};

struct Bus : ::testing::Test {
    QCoreApplication& app = coreApp();
    PrivateBus bus;
    ServiceThread service;
    void SetUp() override {
        if (!bus.ok()) GTEST_SKIP() << "no dbus-daemon";
    }
    // Serves obj on its own connection under the name, from the service thread.
    QDBusConnection serve(QObject* obj, const QString& name, const QString& path) {
        QDBusConnection c = bus.connect();
        obj->moveToThread(service.thread());
        bool ok = false;
        // Registered from its own thread, where QtDBus will call it.
        QMetaObject::invokeMethod(obj, [&] {
            ok = c.registerService(name) && c.registerObject(path, obj, QDBusConnection::ExportAllContents);
        }, Qt::BlockingQueuedConnection);
        EXPECT_TRUE(ok);
        return c;
    }
};

QString noGsettings(const QStringList&) {
    ADD_FAILURE() << "gsettings asked outside GNOME";
    return {};
}

}  // namespace

TEST_F(Bus, DoNotDisturbFollowsTheNotificationServer) {
    for (bool inhibited : {true, false}) {
        auto* server = new FakeNotifications(inhibited);
        QDBusConnection c = serve(server, "org.freedesktop.Notifications", "/org/freedesktop/Notifications");
        tovan::LinuxDoNotDisturb dnd(bus.connect(), noGsettings, "KDE");
        EXPECT_EQ(dnd.on(), inhibited);
        QMetaObject::invokeMethod(server, [&] {
            c.unregisterObject("/org/freedesktop/Notifications");
            c.unregisterService("org.freedesktop.Notifications");
        }, Qt::BlockingQueuedConnection);
        server->deleteLater();
    }
}

TEST_F(Bus, DoNotDisturbIsOffWithoutAServer) {
    tovan::LinuxDoNotDisturb dnd(bus.connect(), noGsettings, "XFCE");
    EXPECT_FALSE(dnd.on());
}

TEST(DoNotDisturb, GnomeBannersOffMeansOn) {
    coreApp();
    struct Case {
        const char* desktop;
        QString output;
        bool expected;
    };
    const Case cases[] = {
        {"GNOME", "false\n", true},
        {"ubuntu:GNOME", "false\n", true},
        {"GNOME", "true\n", false},
        {"GNOME", "", false},  // gsettings failed
        {"KDE", "false\n", false},
    };
    for (const Case& c : cases) {
        QStringList asked;
        tovan::LinuxDoNotDisturb dnd(QDBusConnection(QString()), [&](const QStringList& a) {
            asked = a;
            return c.output;
        }, c.desktop);
        EXPECT_EQ(dnd.on(), c.expected) << c.desktop << " " << c.output.toStdString();
        if (QString(c.desktop).contains("GNOME")) {
            EXPECT_EQ(asked, (QStringList{"get", "org.gnome.desktop.notifications", "show-banners"}));
        }
    }
}

TEST_F(Bus, IdleTimeFromTheDesktopsMonitor) {
    auto* monitor = new FakeIdleMonitor(12345);
    QDBusConnection c = serve(monitor, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core");
    tovan::LinuxInputIdle idle(bus.connect());
    EXPECT_DOUBLE_EQ(idle.fromBus(), 12.345);
    QMetaObject::invokeMethod(monitor, [&] { c.unregisterObject("/org/gnome/Mutter/IdleMonitor/Core"); },
                              Qt::BlockingQueuedConnection);
    monitor->deleteLater();
}

TEST_F(Bus, IdleTimeUnknownCountsAsPresent) {
    qputenv("WAYLAND_DISPLAY", "wayland-test");  // the bus first, then X (absent or real)
    tovan::LinuxInputIdle idle(bus.connect());
    EXPECT_LT(idle.fromBus(), 0);
    EXPECT_GE(idle.seconds(), 0);
    qunsetenv("WAYLAND_DISPLAY");
}

TEST_F(Bus, ScreenLockFollowsScreenSaverSignals) {
    tovan::LinuxScreenLock lock(bus.connect(), QDBusConnection(QString()));
    int locked = 0, unlocked = 0;
    QObject::connect(&lock, &tovan::ScreenLock::locked, [&] { locked++; });
    QObject::connect(&lock, &tovan::ScreenLock::unlocked, [&] { unlocked++; });
    QDBusConnection sender = bus.connect();
    auto send = [&](const char* path, const char* iface, bool active) {
        QDBusMessage m = QDBusMessage::createSignal(path, iface, "ActiveChanged");
        m << active;
        ASSERT_TRUE(sender.send(m));
    };
    send("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", true);
    ASSERT_TRUE(spinUntil([&] { return locked == 1; }));
    // GNOME's twin of the same news, and a repeat, change nothing.
    send("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", true);
    send("/ScreenSaver", "org.freedesktop.ScreenSaver", false);
    ASSERT_TRUE(spinUntil([&] { return unlocked == 1; }));
    EXPECT_EQ(locked, 1);
    send("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", true);
    ASSERT_TRUE(spinUntil([&] { return locked == 2; }));
    EXPECT_EQ(unlocked, 1);
}

#include "MachineBusTest.moc"
