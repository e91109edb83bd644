#include "Bus.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "PrivateBus.h"
#include "Spy.h"
#include "TestApp.h"

using tovan::Bus;
using namespace tovan::test;

namespace {

struct BusTest : ::testing::Test {
    PrivateBus bus;
    void SetUp() override {
        coreApp();
        if (!bus.ok()) GTEST_SKIP() << "no dbus-daemon";
    }
};

}  // namespace

TEST_F(BusTest, SignalsReachEveryListenerWithTheirText) {
    Bus receiver(bus.connect());
    Bus other(bus.connect());
    Bus sender(bus.connect());
    ASSERT_TRUE(receiver.listen());
    ASSERT_TRUE(other.listen());
    EXPECT_TRUE(receiver.listen());  // a second call is harmless
    Spy events(&receiver, &Bus::eventReceived);
    Spy devs(&receiver, &Bus::devReceived);
    Spy otherEvents(&other, &Bus::eventReceived);

    const QString json = QStringLiteral("{\"kind\":\"say\",\"text\":\"Grüße – ✓\"}");
    ASSERT_TRUE(sender.sendEvent(json));
    ASSERT_TRUE(sender.sendDev(QStringLiteral("open:/tmp/a:b.txt")));
    ASSERT_TRUE(events.wait(1));
    ASSERT_TRUE(devs.wait(1));
    ASSERT_TRUE(otherEvents.wait(1));
    EXPECT_EQ(events.got.at(0), json);
    EXPECT_EQ(devs.got.at(0), QStringLiteral("open:/tmp/a:b.txt"));
    EXPECT_EQ(otherEvents.got.at(0), json);
    // Each signal arrives once, on its own channel only.
    coreApp().processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(events.got.size(), 1);
    EXPECT_EQ(devs.got.size(), 1);
}

TEST_F(BusTest, TheNameKeepsOneOwnerUntilReleased) {
    Bus first(bus.connect());
    Bus second(bus.connect());
    EXPECT_FALSE(second.nameHasOwner());
    ASSERT_TRUE(first.claimName());
    EXPECT_TRUE(second.nameHasOwner());
    EXPECT_FALSE(second.claimName());
    first.releaseName();
    EXPECT_FALSE(second.nameHasOwner());
    EXPECT_TRUE(second.claimName());
}

TEST_F(BusTest, DestroyingTheOwnerFreesTheName) {
    Bus watcher(bus.connect());
    {
        Bus owner(bus.connect());
        ASSERT_TRUE(owner.claimName());
        EXPECT_TRUE(watcher.nameHasOwner());
    }
    EXPECT_FALSE(watcher.nameHasOwner());
}

TEST(BusOffline, WithoutABusNothingIsSentOrClaimed) {
    coreApp();
    Bus none(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nobus")));
    EXPECT_FALSE(none.isConnected());
    EXPECT_FALSE(none.listen());
    EXPECT_FALSE(none.claimName());
    EXPECT_FALSE(none.nameHasOwner());
    EXPECT_FALSE(none.sendEvent(QStringLiteral("{}")));
    QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
}
