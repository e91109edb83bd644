#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <thread>

using tovan::VirtualClock;

TEST(VirtualClock, TimersRunAtTheirTimesInOrderAndCancelHolds) {
    VirtualClock c;
    std::vector<std::pair<double, int>> ran;
    auto at = [&](double t, int tag) { return c.callAt(t, [&, tag] { ran.push_back({c.now(), tag}); }); };
    at(2.0, 2);
    at(1.0, 1);
    auto gone = at(1.5, 99);
    at(1.0, 11);  // same time: in the order set
    c.cancel(gone);
    c.cancel(12345);
    EXPECT_EQ(c.nextTimer(), 1.0);
    c.advance(0.5);
    EXPECT_TRUE(ran.empty());
    c.advance(2.0);
    EXPECT_EQ(ran, (std::vector<std::pair<double, int>>{{1.0, 1}, {1.0, 11}, {2.0, 2}}));
    EXPECT_EQ(c.now(), 2.5);
    EXPECT_EQ(c.nextTimer(), -1);
}

TEST(VirtualClock, PostedTasksRunOnlyWhenRunAndFirstAtEachStep) {
    VirtualClock c;
    std::vector<std::string> ran;
    c.callAt(1.0, [&] {
        ran.push_back("timer");
        c.post([&] { ran.push_back("posted by timer"); });
        c.callAt(c.now(), [&] { ran.push_back("timer now"); });
    });
    std::thread([&] { c.post([&] { ran.push_back("from a thread"); }); }).join();
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(c.run(), 1);
    c.advance(1.0);
    EXPECT_EQ(ran, (std::vector<std::string>{"from a thread", "timer", "posted by timer", "timer now"}));
}
