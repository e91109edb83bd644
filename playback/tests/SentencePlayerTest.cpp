// SentencePlayer on the virtual output: every timing is the virtual clock's.
#include "SentencePlayer.h"

#include "TestDir.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <random>
#include <regex>
#include <thread>

using tovan::SentencePlayer;
using tovan::VirtualAudioOutput;
using tovan::VirtualClock;

namespace {

std::vector<float> secs(double s) { return std::vector<float>(size_t(s * 24000), 0.1f); }

struct Player : ::testing::Test {
    TestDir tmp;
    VirtualClock clock;
    VirtualAudioOutput* out = nullptr;
    std::unique_ptr<SentencePlayer> player;
    std::vector<std::pair<double, int64_t>> marks;  // (time, mark)
    std::vector<double> drained;                    // times

    std::filesystem::path audio() const { return tmp.path / "audio"; }

    std::unique_ptr<SentencePlayer> make() {
        auto o = std::make_unique<VirtualAudioOutput>(clock);
        VirtualAudioOutput* raw = o.get();
        auto p = std::make_unique<SentencePlayer>(std::move(o), clock, audio());
        if (!out) out = raw;
        return p;
    }
    void SetUp() override {
        player = make();
        player->onMark = [this](int64_t m) { marks.push_back({clock.now(), m}); };
        player->onDrained = [this] { drained.push_back(clock.now()); };
    }
    size_t files() const {
        size_t n = 0;
        for (auto& e : std::filesystem::directory_iterator(audio())) n += e.is_regular_file();
        return n;
    }
    std::vector<int64_t> markValues() const {
        std::vector<int64_t> v;
        for (auto& m : marks) v.push_back(m.second);
        return v;
    }
};

using Marks = std::vector<std::pair<double, int64_t>>;

}  // namespace

TEST_F(Player, TokensCountFlushes) {
    EXPECT_EQ(player->currentToken(), 0);
    EXPECT_EQ(player->flush(), 1);
    EXPECT_EQ(player->flush(), 2);
    EXPECT_EQ(player->currentToken(), 2);
}

TEST_F(Player, EnqueueRefusesEmptyAndStaleBuffersWithoutFiles) {
    const int64_t old = player->flush();
    const int64_t now = player->flush();
    EXPECT_FALSE(player->enqueue({}, 1, now));
    EXPECT_FALSE(player->enqueue(secs(1), 1, old));
    EXPECT_FALSE(player->enqueue(secs(1), 1, now + 1));
    EXPECT_EQ(files(), 0u);
    EXPECT_EQ(player->pendingSeconds(), 0.0);
    EXPECT_TRUE(player->enqueue(secs(1), 1, now));
    EXPECT_EQ(player->pendingSeconds(), 1.0) << "counted before the item reaches the output";
    EXPECT_EQ(files(), 1u);
    const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.wav");
    for (auto& e : std::filesystem::directory_iterator(audio()))
        EXPECT_TRUE(std::regex_match(e.path().filename().string(), uuid)) << e.path();
}

TEST_F(Player, MarksComeInOrderAsItemsStartThenDrains) {
    const int64_t t = player->flush();
    player->play();
    ASSERT_TRUE(player->enqueue(secs(1.0), 10, t));
    ASSERT_TRUE(player->enqueue(secs(0.5), 11, t));
    ASSERT_TRUE(player->enqueue(secs(2.0), 12, t));
    EXPECT_TRUE(marks.empty()) << "nothing happens before the main thread runs";
    clock.run();
    EXPECT_EQ(marks, (Marks{{0.0, 10}}));
    clock.advance(0.75);
    EXPECT_EQ(marks.size(), 1u);
    EXPECT_DOUBLE_EQ(player->pendingSeconds(), 3.5);
    clock.advance(0.25);
    EXPECT_EQ(marks, (Marks{{0.0, 10}, {1.0, 11}}));
    EXPECT_DOUBLE_EQ(player->pendingSeconds(), 2.5);
    EXPECT_EQ(files(), 2u) << "an ended item's file is removed";
    clock.advance(10);
    EXPECT_EQ(marks, (Marks{{0.0, 10}, {1.0, 11}, {1.5, 12}}));
    EXPECT_EQ(drained, std::vector<double>{3.5});
    EXPECT_EQ(player->pendingSeconds(), 0.0);
    EXPECT_EQ(files(), 0u);
    EXPECT_FALSE(out->isRunning()) << "the output stops when its queue runs dry";
    EXPECT_TRUE(player->isPlaying()) << "the owner's wish stays";
}

TEST_F(Player, FlushCutsOffWorkOnItsWay) {
    int64_t t = player->flush();
    player->play();
    ASSERT_TRUE(player->enqueue(secs(1), 1, t));
    ASSERT_TRUE(player->enqueue(secs(1), 2, t));
    clock.run();
    ASSERT_TRUE(player->enqueue(secs(1), 3, t));  // written, not yet on the main thread
    t = player->flush();
    EXPECT_EQ(player->pendingSeconds(), 0.0);
    clock.advance(5);
    EXPECT_EQ(markValues(), std::vector<int64_t>{1});
    EXPECT_TRUE(drained.empty()) << "flush never reports a drain";
    EXPECT_EQ(files(), 0u);
    EXPECT_EQ(out->queued(), 0u);
    // The new generation plays on as usual.
    ASSERT_TRUE(player->enqueue(secs(0.25), 4, t));
    clock.advance(1);
    EXPECT_EQ(markValues(), (std::vector<int64_t>{1, 4}));
    EXPECT_EQ(drained.size(), 1u);
}

TEST_F(Player, DrainsOnceEachTimeTheQueueRunsDryAndRestarts) {
    const int64_t t = player->flush();
    player->play();
    player->enqueue(secs(0.5), 1, t);
    clock.advance(1);
    EXPECT_EQ(drained, std::vector<double>{0.5});
    EXPECT_FALSE(out->isRunning());
    // Still wanted playing: a new item starts the output again.
    player->enqueue(secs(0.5), 2, t);
    clock.run();
    EXPECT_TRUE(out->isRunning());
    clock.advance(0.5);
    EXPECT_EQ(drained, (std::vector<double>{0.5, 1.5}));
    EXPECT_EQ(marks, (Marks{{0.0, 1}, {1.0, 2}}));
}

TEST_F(Player, PausedItemsWaitAndPauseHoldsThePlace) {
    const int64_t t = player->flush();
    player->enqueue(secs(2), 1, t);
    clock.advance(5);
    EXPECT_EQ(marks, (Marks{{0.0, 1}})) << "the first item is current while paused";
    EXPECT_TRUE(drained.empty());
    EXPECT_FALSE(player->isPlaying());
    player->play();
    clock.advance(0.5);
    player->pause();
    EXPECT_FALSE(player->isPlaying());
    clock.advance(60);
    EXPECT_TRUE(drained.empty());
    player->play();
    clock.advance(1.25);
    EXPECT_TRUE(drained.empty());
    clock.advance(0.5);
    ASSERT_EQ(drained.size(), 1u);
    EXPECT_DOUBLE_EQ(drained[0], 67.0) << "2 s of audio heard from 5 to 5.5 and from 65.5 to 67";
}

TEST_F(Player, AnItemThatCannotLoadCountsAsEnded) {
    const int64_t t = player->flush();
    player->play();
    player->enqueue(secs(1), 1, t);
    clock.run();
    const auto first = *std::filesystem::directory_iterator(audio());
    player->enqueue(secs(1), 2, t);
    player->enqueue(secs(1), 3, t);
    // Both later files vanish before the main thread queues them.
    for (auto& e : std::filesystem::directory_iterator(audio()))
        if (e.path() != first.path()) std::filesystem::remove(e.path());
    clock.advance(10);
    EXPECT_EQ(markValues(), std::vector<int64_t>{1});
    EXPECT_EQ(drained, std::vector<double>{1.0}) << "the reading does not hang on them";
    EXPECT_EQ(player->pendingSeconds(), 0.0);
}

TEST_F(Player, AnotherPlayerLeavesThisOnesFilesAndItems) {
    const int64_t t = player->flush();
    player->play();
    player->enqueue(secs(1), 1, t);
    clock.run();
    ASSERT_EQ(files(), 1u);

    // A second player on the same folder: this player's file survives it.
    auto other = make();
    std::vector<int64_t> otherMarks;
    int otherDrained = 0;
    other->onMark = [&](int64_t m) { otherMarks.push_back(m); };
    other->onDrained = [&] { otherDrained++; };
    EXPECT_EQ(files(), 1u);
    const int64_t u = other->flush();
    other->play();
    other->enqueue(secs(0.25), 7, u);
    clock.advance(0.25);
    EXPECT_EQ(otherMarks, std::vector<int64_t>{7});
    EXPECT_EQ(otherDrained, 1);
    EXPECT_DOUBLE_EQ(player->pendingSeconds(), 1.0) << "the other's ending is not ours";
    EXPECT_TRUE(drained.empty());
    clock.advance(1);
    EXPECT_EQ(drained.size(), 1u);
    EXPECT_EQ(markValues(), std::vector<int64_t>{1});
}

TEST_F(Player, FolderIsEmptiedOncePerProcess) {
    TestDir fresh;
    const auto dir = fresh.path / "audio";
    std::filesystem::create_directories(dir);
    spit(dir / "stale.wav", "from a process long gone");
    {
        SentencePlayer first(std::make_unique<VirtualAudioOutput>(clock), clock, dir);
        EXPECT_FALSE(std::filesystem::exists(dir / "stale.wav"));
    }
    spit(dir / "queued.wav", "a live player's item");
    SentencePlayer second(std::make_unique<VirtualAudioOutput>(clock), clock, dir);
    EXPECT_TRUE(std::filesystem::exists(dir / "queued.wav"));
}

TEST_F(Player, UnwritableFolderRefusesTheBuffer) {
    TestDir t;
    spit(t.path / "file", "a file where a folder should be");
    SentencePlayer p(std::make_unique<VirtualAudioOutput>(clock), clock, t.path / "file" / "audio");
    const int64_t token = p.flush();
    EXPECT_FALSE(p.enqueue(secs(1), 1, token));
    EXPECT_EQ(p.pendingSeconds(), 0.0);
}

TEST_F(Player, OwnerMayFlushFromItsCallbacks) {
    int64_t t = player->flush();
    player->play();
    player->onMark = [&](int64_t m) {
        marks.push_back({clock.now(), m});
        if (m == 2) t = player->flush();
    };
    for (int i = 1; i <= 4; i++) player->enqueue(secs(0.5), i, t);
    clock.advance(10);
    EXPECT_EQ(markValues(), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(files(), 0u);
    EXPECT_EQ(player->pendingSeconds(), 0.0);
}

TEST_F(Player, DestroyedPlayerLeavesNoFileOfWorkOnItsWay) {
    const int64_t t = player->flush();
    ASSERT_TRUE(player->enqueue(secs(1), 1, t));
    player.reset();
    clock.run();
    EXPECT_EQ(files(), 0u);
}

TEST_F(Player, VolumeGoesToTheOutput) {
    player->setVolume(0.25f);
    EXPECT_EQ(out->volume(), 0.25f);
    EXPECT_EQ(player->volume(), 0.25f);
}

TEST_F(Player, BuffersFromTheEngineThreadArriveInOrder) {
    const int64_t t = player->flush();
    player->play();
    std::thread engine([&] {
        for (int i = 0; i < 40; i++) ASSERT_TRUE(player->enqueue(secs(0.1), i, t));
    });
    // The main thread keeps running while the engine thread enqueues.
    for (int spins = 0; marks.size() < 40 && spins < 1000000; spins++) {
        clock.run();
        clock.advance(0.05);
    }
    engine.join();
    clock.advance(10);
    std::vector<int64_t> expected(40);
    for (int i = 0; i < 40; i++) expected[size_t(i)] = i;
    EXPECT_EQ(markValues(), expected);
    EXPECT_EQ(player->pendingSeconds(), 0.0);
}

// Generations under stress: an engine thread enqueues while the main thread
// flushes, runs its queue and moves time, on schedules drawn from fixed
// seeds. Whatever the interleaving, a flushed generation never reaches the
// ear, accepted work of the live one is never lost, no file outlives its
// item and pendingSeconds never goes below 0 and returns to exactly 0.
namespace {

struct Stress : Player {
    // The engine thread's work: `count` buffers for `token`, mark = token *
    // 1000 + i. It stops at the first refusal, as the reading loop does.
    std::mutex m;
    std::condition_variable cv;
    int64_t jobToken = 0;
    int jobCount = 0;
    bool jobReady = false, jobDone = true, quit = false;
    std::vector<int64_t> accepted;  // marks enqueue said yes to
    std::vector<size_t> lengths;    // sample counts by buffer index

    void engine() {
        for (;;) {
            int64_t token;
            int count;
            {
                std::unique_lock l(m);
                cv.wait(l, [&] { return jobReady || quit; });
                if (quit) return;
                jobReady = false;
                token = jobToken;
                count = jobCount;
            }
            for (int i = 0; i < count; i++) {
                const std::vector<float> samples(lengths[size_t(i)], 0.1f);
                const int64_t mark = token * 1000 + i;
                const bool ok = player->enqueue(samples, mark, token);
                std::lock_guard g(m);
                if (!ok) break;
                accepted.push_back(mark);
            }
            std::lock_guard g(m);
            jobDone = true;
        }
    }
    bool done() {
        std::lock_guard g(m);
        return jobDone;
    }
    size_t acceptedCount() {
        std::lock_guard g(m);
        return accepted.size();
    }
};

}  // namespace

TEST_F(Stress, FlushesRacingEnginePlayNothingStaleAndLeaveNothingBehind) {
    std::vector<int64_t> staleHeard;
    bool negative = false;
    player->onMark = [&](int64_t mark) {
        marks.push_back({clock.now(), mark});
        if (mark / 1000 != player->currentToken()) staleHeard.push_back(mark);
    };
    std::thread worker([&] { engine(); });
    const int rounds = 1500;
    int cutShort = 0;
    for (int round = 0; round < rounds; round++) {
        std::mt19937 rng(uint32_t(round) * 2654435761u + 17u);
        SCOPED_TRACE("seed round " + std::to_string(round));
        const int64_t token = player->flush();
        if (rng() % 4) player->play(); else player->pause();
        marks.clear();
        drained.clear();
        {
            std::lock_guard g(m);
            accepted.clear();
            lengths.clear();
            jobCount = 1 + int(rng() % 8);
            for (int i = 0; i < jobCount; i++) lengths.push_back(1 + rng() % 24000);
            jobToken = token;
            jobReady = true;
            jobDone = false;
        }
        cv.notify_one();
        // The main thread goes on with its own work meanwhile; on most
        // rounds it flushes once the engine has had some buffers accepted,
        // which lands the flush while the next one is being written.
        const bool cut = rng() % 3 != 0;
        const size_t cutAt = rng() % size_t(jobCount);
        bool flushed = false;
        for (;;) {
            switch (rng() % 8) {
                case 0: clock.run(); break;
                case 1: clock.advance(double(rng() % 100) / 1000.0); break;
                case 2: if (rng() % 8 == 0) { rng() % 2 ? player->play() : player->pause(); } break;
                default: break;
            }
            negative |= player->pendingSeconds() < 0;
            if (!flushed && cut && acceptedCount() >= cutAt) {
                player->flush();
                flushed = true;
            }
            if (done() && (flushed || !cut)) break;
        }
        clock.run();
        if (cut) {
            cutShort++;
            // Everything of the cut generation is gone: nothing queued,
            // nothing counted, no file.
            EXPECT_EQ(player->pendingSeconds(), 0.0);
            EXPECT_EQ(out->queued(), 0u);
            EXPECT_EQ(files(), 0u);
        } else {
            // Nothing was cut: every accepted buffer is heard, in order.
            player->play();
            clock.advance(10);
            std::vector<int64_t> expected;
            {
                std::lock_guard g(m);
                expected = accepted;
            }
            EXPECT_EQ(markValues(), expected);
            EXPECT_EQ(drained.empty(), expected.empty());
            EXPECT_EQ(player->pendingSeconds(), 0.0);
            EXPECT_EQ(files(), 0u);
        }
        if (HasFailure()) break;
    }
    {
        std::lock_guard g(m);
        quit = true;
    }
    cv.notify_one();
    worker.join();
    EXPECT_TRUE(staleHeard.empty()) << "a flushed generation was heard, first mark " << staleHeard.front();
    EXPECT_FALSE(negative) << "pendingSeconds went below 0";
    if (!HasFailure()) {
        EXPECT_GT(cutShort, rounds / 2);
    }
}
