// The render loop, its gate and the plan cache, on the fake engine and a
// sentence player over the virtual output. The loop runs on the test thread;
// the player's main-thread side runs when the virtual clock is stepped.
#include "RenderLoop.h"

#include "CoreTestUtil.h"
#include "Performer.h"
#include "Plans.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tovan;

namespace {

using coretest::duringSynthesis;
using coretest::hookedApi;

struct Loop : ::testing::Test {
    FakeEngine fake;
    std::unique_ptr<Engine> engine;
    TestDir tmp;
    VirtualClock clock;
    std::shared_ptr<SentencePlayer> player;
    std::vector<int64_t> marks;
    std::vector<std::u16string> failures;
    int idles = 0;

    void SetUp() override {
        FakeEngine::next = &fake;
        engine = std::make_unique<Engine>("/no/model", 1, hookedApi());
        player = std::make_shared<SentencePlayer>(std::make_unique<VirtualAudioOutput>(clock), clock, tmp.path);
        player->onMark = [this](int64_t m) { marks.push_back(m); };
    }
    void TearDown() override {
        duringSynthesis = nullptr;
        player.reset();
        engine.reset();
        FakeEngine::next = nullptr;
    }

    RenderLoop make(std::shared_ptr<Doc> doc, int64_t start = 0) {
        RenderLoop l;
        l.doc = doc;
        l.voices = coretest::voices();
        l.start = start;
        l.player = player;
        l.gate = std::make_shared<Gate>();
        l.gate->set(7);
        l.gen = 7;
        l.token = player->flush();
        player->play();
        l.failed = [this](const std::u16string& m) { failures.push_back(m); };
        l.idle = [this] { idles++; };
        return l;
    }
    // Plays everything queued to its end.
    void hearAll() {
        clock.run();
        for (int i = 0; i < 1000 && clock.nextTimer() >= 0; i++) clock.advance(clock.nextTimer() - clock.now());
    }
};

std::shared_ptr<Doc> threeSentences() { return coretest::doc({u"One is here. Two is here.", u"Three is here."}); }

}  // namespace

TEST_F(Loop, QueuesFromTheStartThenTheEndMark) {
    auto d = threeSentences();
    ASSERT_EQ(d->sentences.size(), 3u);
    make(d, 1).run(*engine);
    EXPECT_EQ(fake.calls.size(), 2u);
    hearAll();
    EXPECT_EQ(marks, (std::vector<int64_t>{1, 2, RenderLoop::END_MARK}));
    EXPECT_TRUE(failures.empty());
}

TEST_F(Loop, EmptyDocumentQueuesOnlyTheEndOfAQuarterSecond) {
    make(coretest::doc({}), 0).run(*engine);
    EXPECT_EQ(fake.calls.size(), 0u);
    EXPECT_DOUBLE_EQ(player->pendingSeconds(), 0.25);
    hearAll();
    EXPECT_EQ(marks, (std::vector<int64_t>{RenderLoop::END_MARK}));
}

TEST_F(Loop, AStaleGenerationQueuesNothing) {
    RenderLoop l = make(threeSentences());
    l.gate->set(8);
    l.run(*engine);
    EXPECT_EQ(fake.calls.size(), 0u);
    EXPECT_EQ(player->pendingSeconds(), 0.0);
}

TEST_F(Loop, WaitsWhileSixSecondsAreQueuedAndLeavesWhenPaused) {
    fake.audio.assign(size_t(7 * 24000), 0.1f);  // every sentence is 7 s
    RenderLoop l = make(threeSentences());
    l.idle = [&] {
        if (++idles == 3) l.gate->set(8);  // the pause comes during the wait
    };
    l.run(*engine);
    EXPECT_EQ(fake.calls.size(), 1u) << "one sentence ahead, then waiting";
    EXPECT_EQ(idles, 3);
    hearAll();
    EXPECT_EQ(marks, (std::vector<int64_t>{0})) << "no end mark after a pause";
}

TEST_F(Loop, QueueMayPassSixSecondsByOneSentence) {
    fake.audio.assign(size_t(4 * 24000), 0.1f);
    RenderLoop l = make(threeSentences());
    l.idle = [&] {
        idles++;
        l.gate->set(8);
    };
    l.run(*engine);
    EXPECT_EQ(fake.calls.size(), 2u) << "4 s is not above 6 s, so a second sentence goes in";
    EXPECT_GT(player->pendingSeconds(), 6.0);
}

TEST_F(Loop, PauseDuringSynthesisDropsThatSentence) {
    RenderLoop l = make(threeSentences());
    int n = 0;
    duringSynthesis = [&] {
        if (++n == 2) l.gate->set(8);
    };
    l.run(*engine);
    EXPECT_EQ(fake.calls.size(), 2u);
    hearAll();
    EXPECT_EQ(marks, (std::vector<int64_t>{0}));
}

TEST_F(Loop, FailureIsReportedOnceAndEndsTheLoop) {
    fake.failWith = "synthesis: broken voice";
    make(threeSentences()).run(*engine);
    EXPECT_EQ(failures, (std::vector<std::u16string>{u"synthesis: broken voice"}));
    EXPECT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(player->pendingSeconds(), 0.0);
}

TEST_F(Loop, NoAudioFromTheEngineStopsQuietly) {
    engine->cancel();
    make(threeSentences()).run(*engine);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(player->pendingSeconds(), 0.0) << "no end mark either";
}

TEST_F(Loop, PerformerTakesTheLoopSettings) {
    auto d = coretest::doc({u"\u201CCome here at once, please,\u201D said Mary."});
    RenderLoop l = make(d);
    l.style.voice = u"male";
    l.style.pace = 1.2f;
    l.speed = 1.5f;
    l.strength = 0.3f;

    l.dialogueVoice = false;
    Performer off = l.performer(*engine);
    EXPECT_FALSE(off.base.contextual);
    EXPECT_TRUE(l.style.contextual) << "the loop's own style is untouched";
    EXPECT_FLOAT_EQ(off.pace, 1.5f * 1.2f);
    EXPECT_EQ(off.voice, u"voice_2500");
    EXPECT_EQ(off.other, off.voice);
    EXPECT_FALSE(off.cast);
    EXPECT_FALSE(off.plans);
    EXPECT_FLOAT_EQ(off.strength, 0.3f);
    EXPECT_EQ(off.female, (std::vector<std::u16string>{u"voice_1688", u"voice_0010", u"voice_0185"}));
    EXPECT_EQ(off.male, (std::vector<std::u16string>{u"voice_2500", u"voice_1469"}));

    l.dialogueVoice = true;
    Performer on = l.performer(*engine);
    EXPECT_EQ(on.other, u"voice_1688") << "a male narrator's dialogue goes to the first female";
    EXPECT_EQ(on.cast, d->cast());
}

namespace {

std::filesystem::path directorBin() { return programDir().parent_path() / "playback" / "director" / "dev.bin"; }

struct Env {
    const char* name;
    std::optional<std::string> old;
    Env(const char* n, const char* value) : name(n) {
        if (const char* v = std::getenv(n)) old = v;
        ::setenv(n, value, 1);
    }
    ~Env() {
        if (old)
            ::setenv(name, old->c_str(), 1);
        else
            ::unsetenv(name);
    }
};

}  // namespace

TEST(PlansCache, NoDirectorAndNoCacheGivesNone) {
    auto d = threeSentences();
    EXPECT_FALSE(Plans::of(*d, nullptr));
}

TEST(PlansCache, PlansOncePerDocumentAndKeepsThem) {
    if (!std::filesystem::exists(directorBin())) GTEST_SKIP() << "no director at " << directorBin();
    auto director = Director::load(directorBin());
    auto d = threeSentences();
    Env dev("TOVANTTS_DEV", "1");

    testing::internal::CaptureStdout();
    Plans::List first = Plans::of(*d, director.get());
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 3u);
    EXPECT_EQ(printed.rfind("director: 3 sentences planned in ", 0), 0u) << printed;
    EXPECT_EQ(printed.substr(printed.size() - 4), " ms\n") << printed;

    testing::internal::CaptureStdout();
    EXPECT_EQ(Plans::of(*d, director.get()), first);
    EXPECT_FALSE(Plans::of(*d, nullptr)) << "natural narration switched off: no plans, cached or not";
    EXPECT_EQ(Plans::of(*d, director.get()), first) << "and back on: the cached plans again";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "nothing printed on a cache hit";

    // The plans reach the performer through the loop, only with its director.
    FakeEngine fake;
    FakeEngine::next = &fake;
    Engine engine("/no/model", 1, FakeEngine::api());
    RenderLoop l;
    l.doc = d;
    EXPECT_FALSE(l.performer(engine).plans);
    l.director = director;
    EXPECT_EQ(l.performer(engine).plans, first);
    FakeEngine::next = nullptr;
}

TEST(PlansCache, QuietWithoutDeveloperMode) {
    if (!std::filesystem::exists(directorBin())) GTEST_SKIP() << "no director at " << directorBin();
    auto director = Director::load(directorBin());
    Env dev("TOVANTTS_DEV", "0");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Plans::of(*threeSentences(), director.get()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
