// A slow question answered on its own thread: the caller never waits for it.
#include "BackgroundProbe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using tovan::BackgroundProbe;

namespace {

// A question that blocks until the test lets it answer.
struct HeldQuestion {
    std::mutex lock;
    std::condition_variable cv;
    int allowed = 0;  // answers the question may give
    std::atomic<int> asked{0};
    int answer = 0;

    int ask() {
        std::unique_lock<std::mutex> hold(lock);
        const int n = ++asked;
        cv.wait(hold, [&] { return allowed >= n; });
        return answer;
    }
    void allow(int n, int value) {
        std::lock_guard<std::mutex> hold(lock);
        allowed = n;
        answer = value;
        cv.notify_all();
    }
};

}  // namespace

TEST(BackgroundProbe, GetNeverWaitsForTheQuestion) {
    HeldQuestion q;
    BackgroundProbe<int> probe([&] { return q.ask(); }, std::chrono::hours(1), -1);
    // The question is held: get() still answers at once, with the initial value.
    EXPECT_EQ(probe.get(), -1);
    EXPECT_EQ(probe.get(), -1);
    q.allow(1, 7);
    probe.waitForAnswers(1);
    EXPECT_EQ(probe.get(), 7);
    EXPECT_EQ(q.asked.load(), 1) << "gets while asking start no second asking";
}

TEST(BackgroundProbe, AsksAgainOnlyOnceTheAnswerIsOlderThanThePeriod) {
    struct Case {
        const char* name;
        std::chrono::steady_clock::duration period;
        int askedAfterSecondGet;
    } cases[] = {{"fresh answer kept", std::chrono::hours(1), 1}, {"stale answer renewed", std::chrono::seconds(0), 2}};
    for (const Case& c : cases) {
        HeldQuestion q;
        q.allow(100, 3);
        BackgroundProbe<int> probe([&] { return q.ask(); }, c.period, 0);
        probe.waitForAnswers(1);
        EXPECT_EQ(probe.get(), 3) << c.name;
        if (c.askedAfterSecondGet > 1) probe.waitForAnswers(2);
        EXPECT_EQ(q.asked.load(), c.askedAfterSecondGet) << c.name;
    }
}

TEST(BackgroundProbe, GoingAwayWhileAskingDoesNotWait) {
    auto q = std::make_shared<HeldQuestion>();
    {
        BackgroundProbe<int> probe([q] { return q->ask(); }, std::chrono::hours(1));
        EXPECT_EQ(probe.get(), 0);
    }  // the question is still held here: the destructor must not join it
    q->allow(1, 1);  // lets the orphaned asking end
}
