#include "VoicePreview.h"

#include "../../../playback/tests/FakeEngine.h"
#include "Engine.h"
#include "SentencePlayer.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovan {
namespace {

class Preview : public ::testing::Test {
protected:
    Preview() {
        FakeEngine::next = &fake;
        engine = std::make_unique<Engine>("/nowhere", 1, FakeEngine::api());
        auto out = std::make_unique<VirtualAudioOutput>(clock);
        output = out.get();
        player = std::make_shared<SentencePlayer>(std::move(out), clock, dir.path().toStdString());
        Speaker::Host host;
        host.readerPlaying = [this] { return readerPlaying; };
        host.pauseReader = [this] {
            readerPlaying = false;
            ++pauses;
        };
        host.onEngine = [this](std::function<void(Engine&)> work) { jobs.push_back(std::move(work)); };
        speaker = std::make_unique<Speaker>(std::move(host), player);
    }
    ~Preview() override {
        speaker.reset();
        player.reset();
        engine.reset();
        FakeEngine::next = nullptr;
    }
    // The engine queue, run by hand, in order.
    void runJobs() {
        for (auto& j : jobs) j(*engine);
        jobs.clear();
        clock.run();
    }

    QTemporaryDir dir;
    VirtualClock clock;
    FakeEngine fake;
    std::unique_ptr<Engine> engine;
    VirtualAudioOutput* output = nullptr;
    std::shared_ptr<SentencePlayer> player;
    std::unique_ptr<Speaker> speaker;
    std::vector<std::function<void(Engine&)>> jobs;
    bool readerPlaying = false;
    int pauses = 0;
};

TEST_F(Preview, PausesAPlayingReaderAndLeavesItPaused) {
    readerPlaying = true;
    speaker->say(u"Hello there.", Style());
    EXPECT_EQ(pauses, 1);
    runJobs();
    EXPECT_FALSE(readerPlaying);
    EXPECT_EQ(pauses, 1);
}

TEST_F(Preview, LeavesAPausedReaderAlone) {
    speaker->say(u"Hello there.", Style());
    runJobs();
    EXPECT_EQ(pauses, 0);
}

TEST_F(Preview, StreamsTheStyleAndQueuesEverySegment) {
    struct Case {
        const char* name;
        std::optional<std::u16string> voice;
        std::u16string tag;
        float rate;
        float pace;
        std::optional<std::string> engineVoice, engineTag, engineCtrl;
    } cases[] = {
        {"no voice, no tag, no controls", std::nullopt, u"none", 0, 1.1f, "voice_1688", std::nullopt, std::nullopt},
        {"male word", u"male", u"whisper", 0.5f, 0.8f, "voice_2500", "whisper", "rate=0.50"},
        {"known voice", u"voice_2500", u"excited", 0, 1.6f, "voice_2500", "excited", std::nullopt},
        {"unknown voice: female default", u"voice_9999", u"none", -0.04f, 1.0f, "voice_1688", std::nullopt,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake.calls.clear();
        Style s;
        s.voice = c.voice;
        s.tag = c.tag;
        s.z[0] = c.rate;
        s.pace = c.pace;
        speaker->say(u"It's 10:30.", s);
        runJobs();
        ASSERT_EQ(fake.calls.size(), 1u);
        EXPECT_EQ(fake.calls[0].voice, c.engineVoice);
        EXPECT_EQ(fake.calls[0].tag.value_or("none"), c.engineTag.value_or("none"));
        EXPECT_EQ(fake.calls[0].ctrl.value_or(""), c.engineCtrl.value_or(""));
        EXPECT_FLOAT_EQ(fake.calls[0].pace, c.pace);
        EXPECT_EQ(output->queued(), fake.segments.size());
    }
}

TEST_F(Preview, ANewPreviewCutsOffTheOldOneAtItsNextSegment) {
    speaker->say(u"First.", Style());
    speaker->say(u"Second.", Style());
    ASSERT_EQ(jobs.size(), 2u);
    jobs[0](*engine);
    // The first stream's first segment is refused (stale token): it stops.
    EXPECT_EQ(fake.chunksRendered, 1);
    jobs[1](*engine);
    jobs.clear();
    clock.run();
    EXPECT_EQ(fake.chunksRendered, 1 + 3);
    EXPECT_EQ(output->queued(), 3u);
}

TEST_F(Preview, QueuedAudioOfAnEarlierPreviewIsDropped) {
    speaker->say(u"First.", Style());
    runJobs();
    EXPECT_EQ(output->queued(), 3u);
    speaker->say(u"Second.", Style());
    EXPECT_EQ(output->queued(), 0u);
}

TEST_F(Preview, AnEmptySegmentEndsThePreview) {
    fake.segments = {{0.1f}, {}, {0.3f}};
    speaker->say(u"Hello.", Style());
    runJobs();
    EXPECT_EQ(fake.chunksRendered, 2);
    EXPECT_EQ(output->queued(), 1u);
}

TEST_F(Preview, LaterEditsOfTheCallersStyleDoNotReachIt) {
    Style s;
    s.voice = u"male";
    speaker->say(u"Hello.", s);
    s.voice = u"female";
    s.tag = u"whisper";
    runJobs();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].voice, "voice_2500");
    EXPECT_FALSE(fake.calls[0].tag && *fake.calls[0].tag != "none");
}

TEST_F(Preview, EngineFailureIsDroppedAndQueuedAudioStays) {
    fake.streamFailsWith = "stream: out of luck";
    speaker->say(u"Hello.", Style());
    EXPECT_NO_THROW(runJobs());
    EXPECT_EQ(output->queued(), 3u);
}

TEST_F(Preview, WithoutAnEngineThePlayerIsStillFlushed) {
    speaker->say(u"First.", Style());
    runJobs();
    Speaker::Host none;
    none.readerPlaying = [] { return true; };
    int paused = 0;
    none.pauseReader = [&] { ++paused; };
    none.onEngine = [](std::function<void(Engine&)>) {};  // the engine could not start: work dropped
    Speaker silent(std::move(none), player);
    silent.say(u"Second.", Style());
    EXPECT_EQ(output->queued(), 0u);
    EXPECT_EQ(paused, 1);
}

}  // namespace
}  // namespace tovan
