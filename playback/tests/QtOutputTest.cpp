// The real clock and the system output on a Qt event loop. These run in real
// time, so the audio is a few hundredths of a second long.
#include "AudioOutput.h"
#include "QtClock.h"
#include "SentencePlayer.h"

#include "TestDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

using tovan::AudioOutput;
using tovan::QtClock;
using tovan::SentencePlayer;

namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "playback_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);  // lives for the whole run
    return *QCoreApplication::instance();
}

// Runs the event loop until done() or the limit.
template <class F> bool runUntil(F done, int limitMs = 5000) {
    app();
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace

TEST(QtClock, PostedTasksAndTimersRunOnTheEventLoopInOrder) {
    app();
    QtClock clock;
    std::vector<int> ran;
    clock.callAt(clock.now() + 0.02, [&] { ran.push_back(3); });
    auto gone = clock.callAt(clock.now(), [&] { ran.push_back(99); });
    clock.cancel(gone);
    clock.post([&] { ran.push_back(1); });
    clock.post([&] { ran.push_back(2); });
    EXPECT_TRUE(ran.empty()) << "nothing runs inside post or callAt";
    const double start = clock.now();
    ASSERT_TRUE(runUntil([&] { return ran.size() == 3; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_GE(clock.now() - start, 0.015);
}

// Whatever this machine has: a device, or the silent fallback on the clock.
// Either way the reading advances to its end.
TEST(SystemOutput, PlaysAShortQueueToItsEnd) {
    app();
    QtClock clock;
    TestDir dir;
    auto output = AudioOutput::system(clock);
    ASSERT_TRUE(output);
    EXPECT_FALSE(output->name().empty());
    SentencePlayer player(std::move(output), clock, dir.path / "audio");
    std::vector<int64_t> marks;
    int drained = 0;
    player.onMark = [&](int64_t m) { marks.push_back(m); };
    player.onDrained = [&] { drained++; };
    const int64_t t = player.flush();
    player.setVolume(0.0f);
    player.play();
    for (int i = 0; i < 3; i++) ASSERT_TRUE(player.enqueue(std::vector<float>(1200, 0.0f), i, t));
    ASSERT_TRUE(runUntil([&] { return drained > 0; })) << player.output().name();
    EXPECT_EQ(marks, (std::vector<int64_t>{0, 1, 2}));
    EXPECT_EQ(player.pendingSeconds(), 0.0);
}
