// The real clock and the system output on a Qt event loop. These run in real
// time, so the audio is a few hundredths of a second long.
#include "AudioOutput.h"
#include "QtClock.h"
#include "SentencePlayer.h"

#include "PulseServer.h"
#include "QtAudioOutput.h"
#include "TestDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>

#include <gtest/gtest.h>

using tovan::AudioOutput;
using tovan::QtAudioOutput;
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

// Runs the event loop for a while.
void runFor(int ms) {
    runUntil([] { return false; }, ms);
}

}  // namespace

// QtAudioOutput against a real sound server (a private PulseAudio with a
// null sink); skipped where pulseaudio is not installed.
struct QtAudio : ::testing::Test {
    static inline std::unique_ptr<PulseServer> server;
    static void SetUpTestSuite() { server = std::make_unique<PulseServer>(); }
    static void TearDownTestSuite() { server.reset(); }

    TestDir dir;
    std::unique_ptr<QtClock> clock;
    std::unique_ptr<SentencePlayer> player;
    QtAudioOutput* out = nullptr;
    std::vector<int64_t> marks;
    int drained = 0;

    void SetUp() override {
        if (!server->up()) GTEST_SKIP() << "no pulseaudio to test against";
        app();
        // The server's devices reach Qt a moment after it connects.
        runUntil([] { return !QMediaDevices::defaultAudioOutput().isNull(); }, 3000);
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) GTEST_SKIP() << "the sound server shows no device";
        clock = std::make_unique<QtClock>();
        auto o = std::make_unique<QtAudioOutput>(device);
        out = o.get();
        player = std::make_unique<SentencePlayer>(std::move(o), *clock, dir.path / "audio");
        player->onMark = [this](int64_t m) { marks.push_back(m); };
        player->onDrained = [this] { drained++; };
        player->setVolume(0.0f);
    }
    void TearDown() override {
        player.reset();
        clock.reset();
    }
    static std::vector<float> secs(double s) { return std::vector<float>(size_t(s * 24000), 0.0f); }
};

TEST_F(QtAudio, MarksInOrderAsItemsAreHeardThenDrains) {
    const int64_t t = player->flush();
    player->play();
    QElapsedTimer heard;
    heard.start();
    for (int i = 0; i < 3; i++) ASSERT_TRUE(player->enqueue(secs(0.05), i, t));
    ASSERT_TRUE(runUntil([&] { return drained > 0; }));
    EXPECT_EQ(marks, (std::vector<int64_t>{0, 1, 2}));
    EXPECT_GE(heard.elapsed(), 100) << "0.15 s of audio cannot end sooner";
    EXPECT_FALSE(out->isRunning());
    EXPECT_EQ(player->pendingSeconds(), 0.0);
    // Run dry and wanted playing: the next item starts the output again.
    ASSERT_TRUE(player->enqueue(secs(0.05), 3, t));
    ASSERT_TRUE(runUntil([&] { return drained > 1; }));
    EXPECT_EQ(marks.back(), 3);
}

TEST_F(QtAudio, PauseHoldsTheItemUntilPlay) {
    const int64_t t = player->flush();
    player->play();
    ASSERT_TRUE(player->enqueue(secs(0.3), 1, t));
    ASSERT_TRUE(runUntil([&] { return !marks.empty(); }));
    player->pause();
    runFor(500);
    EXPECT_EQ(drained, 0);
    player->play();
    ASSERT_TRUE(runUntil([&] { return drained > 0; }));
}

TEST_F(QtAudio, FlushDropsQueuedAudioAndFailedItemsEnd) {
    int64_t t = player->flush();
    player->play();
    ASSERT_TRUE(player->enqueue(secs(0.5), 1, t));
    ASSERT_TRUE(player->enqueue(secs(0.5), 2, t));
    ASSERT_TRUE(runUntil([&] { return !marks.empty(); }));
    t = player->flush();
    runFor(200);
    EXPECT_EQ(marks, std::vector<int64_t>{1});
    EXPECT_EQ(drained, 0);
    // A file gone before it reaches the output counts as ended.
    ASSERT_TRUE(player->enqueue(secs(0.05), 3, t));
    for (auto& e : std::filesystem::directory_iterator(dir.path / "audio")) std::filesystem::remove(e.path());
    ASSERT_TRUE(runUntil([&] { return drained > 0; }));
    EXPECT_EQ(marks, std::vector<int64_t>{1});
    EXPECT_EQ(player->pendingSeconds(), 0.0);
}

// The other null sink of the private server.
QAudioDevice otherSink() {
    for (const QAudioDevice& d : QMediaDevices::audioOutputs())
        if (d.id() == "other") return d;
    return {};
}

// Moving to another device waits for the sentence being heard to end; the
// rest of the queue plays there, nothing lost and nothing twice.
TEST_F(QtAudio, MovesToAnotherDeviceBetweenSentences) {
    ASSERT_TRUE(runUntil([] { return !otherSink().isNull(); }));
    EXPECT_EQ(out->device(), "");
    EXPECT_FALSE(out->moveTo("no-such-device"));
    const int64_t t = player->flush();
    player->play();
    for (int i = 0; i < 3; i++) ASSERT_TRUE(player->enqueue(secs(0.15), i, t));
    ASSERT_TRUE(runUntil([&] { return !marks.empty(); }));
    ASSERT_TRUE(out->moveTo("other"));
    EXPECT_EQ(out->device(), "other");
    EXPECT_NE(out->name(), otherSink().description().toStdString()) << "not in the middle of a sentence";
    ASSERT_TRUE(runUntil([&] { return marks.size() >= 2; }));
    EXPECT_EQ(out->name(), otherSink().description().toStdString());
    ASSERT_TRUE(runUntil([&] { return drained > 0; }));
    EXPECT_EQ(marks, (std::vector<int64_t>{0, 1, 2}));
    EXPECT_EQ(drained, 1);
    // While nothing sounds the move is at once; "" goes back to the default.
    ASSERT_TRUE(out->moveTo(""));
    EXPECT_EQ(out->name(), QMediaDevices::defaultAudioOutput().description().toStdString());
}

// A chosen device that goes away: the default plays on, the queue intact,
// and the owner is told once.
TEST_F(QtAudio, ADeviceThatGoesAwayFallsBackToTheDefault) {
    ASSERT_TRUE(runUntil([] { return !otherSink().isNull(); }));
    std::vector<std::string> gone;
    player->onDeviceGone = [&](const std::string& name) { gone.push_back(name); };
    ASSERT_TRUE(out->moveTo("other"));
    const std::string otherName = out->name();
    // The sink's module, from the server's own list.
    QProcess list;
    list.start("pactl", {"list", "short", "modules"});
    if (!list.waitForFinished(5000)) GTEST_SKIP() << "pactl did not answer";
    QString index;
    for (const QString& line : QString::fromUtf8(list.readAllStandardOutput()).split('\n'))
        if (line.contains("sink_name=other")) index = line.section('\t', 0, 0);
    if (index.isEmpty()) GTEST_SKIP() << "no module to unload";

    const int64_t t = player->flush();
    player->play();
    for (int i = 0; i < 3; i++) ASSERT_TRUE(player->enqueue(secs(0.1), i, t));
    ASSERT_TRUE(runUntil([&] { return !marks.empty(); }));
    QProcess unload;
    unload.start("pactl", {"unload-module", index});
    ASSERT_TRUE(unload.waitForFinished(5000));
    ASSERT_TRUE(runUntil([&] { return !gone.empty(); }));
    ASSERT_TRUE(runUntil([&] { return drained > 0; }));
    EXPECT_EQ(gone, std::vector<std::string>{otherName});
    EXPECT_EQ(out->device(), "");
    EXPECT_EQ(marks, (std::vector<int64_t>{0, 1, 2}));
    // Put the sink back for the tests that follow.
    QProcess load;
    load.start("pactl", {"load-module", "module-null-sink", "sink_name=other",
                         "sink_properties=device.description=Other"});
    load.waitForFinished(5000);
}

TEST(QtClock, PostedTasksAndTimersRunOnTheEventLoopInOrder) {
    app();
    QtClock clock;
    std::vector<int> ran;
    // Taken before the timer is set: a loaded machine may take a while
    // between the two calls, and the timer counts from its own call.
    const double start = clock.now();
    clock.callAt(start + 0.02, [&] { ran.push_back(3); });
    auto gone = clock.callAt(clock.now(), [&] { ran.push_back(99); });
    clock.cancel(gone);
    clock.post([&] { ran.push_back(1); });
    clock.post([&] { ran.push_back(2); });
    EXPECT_TRUE(ran.empty()) << "nothing runs inside post or callAt";
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
