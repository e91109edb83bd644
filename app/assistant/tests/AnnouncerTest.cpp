// The announcer's queue, interruptions, reader hand-over and clip assembly.
#include "AnnouncerRig.h"
#include "Regex.h"

#include <gtest/gtest.h>

using tovan::Expression::NEUTRAL;
using tovan::Speech;

namespace {

Speech phrase(const char16_t* a, const char16_t* b = nullptr) {
    Speech s = Speech::of(std::u16string(a));
    if (b) s.add(std::u16string(b));
    return s;
}

}  // namespace

TEST(Announcer, EmptyPhraseDoesNothing) {
    AnnouncerRig rig;
    rig.announcer->say(Speech(), u"x", false);
    rig.announcer->say(Speech::of(u"   "), u"x", true);
    EXPECT_EQ(rig.speaking(), "(idle)");
    EXPECT_TRUE(rig.jobs.empty());
    EXPECT_EQ(rig.announcer->generation(), 0) << "an empty phrase interrupts nothing";
}

TEST(Announcer, PhrasesAreSpokenOneAfterTheOther) {
    AnnouncerRig rig;
    rig.announcer->say(phrase(u"First."), u"message", false);
    rig.announcer->say(phrase(u"Second."), u"message", false);
    EXPECT_EQ(rig.speaking(), "First.");
    EXPECT_EQ(rig.jobs.size(), 1u) << "the second waits for the first to be heard";
    rig.runEngine();
    EXPECT_EQ(rig.spokenTexts(), std::vector<std::string>{"First."});
    rig.clock.advance(0.2);
    EXPECT_EQ(rig.speaking(), "First.") << "still playing the clip";
    rig.clock.advance(1.0);
    EXPECT_EQ(rig.speaking(), "Second.");
    rig.playOut();
    EXPECT_EQ(rig.spokenTexts(), (std::vector<std::string>{"First.", "Second."}));
    EXPECT_EQ(rig.speaking(), "(idle)");
    EXPECT_FALSE(rig.announcer->busy());
}

TEST(Announcer, InterruptionDropsWhatWasQueuedAndWhatIsBeingRendered) {
    AnnouncerRig rig;
    rig.announcer->say(phrase(u"Message one.", u"More of it."), u"message", false);
    rig.announcer->say(phrase(u"Message two."), u"message", false);
    // The call arrives while the first part of the message is being styled.
    rig.onMoodStyle = [&](const tovan::Expression::Mood&) {
        rig.onMoodStyle = nullptr;
        rig.announcer->say(phrase(u"Incoming call."), u"call", true);
    };
    rig.runEngine();
    EXPECT_EQ(rig.spokenTexts(), (std::vector<std::string>{"Message one.", "Incoming call."}))
        << "the message stops at its next part; the call is rendered at once";
    EXPECT_EQ(rig.speaking(), "Incoming call.");
    EXPECT_EQ(rig.announcer->player().pendingSeconds(), (3 + 8000) / 24000.0) << "only the call's clip is queued";
    rig.playOut();
    EXPECT_EQ(rig.spokenTexts().size(), 2u) << "the message queued before the call is gone";
    EXPECT_EQ(rig.speaking(), "(idle)");
}

TEST(Announcer, StaleClipNeverReachesThePlayer) {
    AnnouncerRig rig;
    rig.announcer->say(phrase(u"Old."), u"message", false);
    rig.announcer->say(phrase(u"New."), u"call", true);  // before the engine got to "Old."
    rig.runEngine();
    EXPECT_EQ(rig.spokenTexts(), std::vector<std::string>{"New."});
    rig.playOut();
    EXPECT_EQ(rig.speaking(), "(idle)");
}

TEST(Announcer, ReadingPausesOnceAndResumesOnceWhenTheQueueRunsDry) {
    AnnouncerRig rig;
    rig.readerPlaying = true;
    rig.announcer->say(phrase(u"One."), u"a", false);
    rig.announcer->say(phrase(u"Two."), u"a", false);
    EXPECT_EQ(rig.pauses, 1);
    rig.runEngine();
    rig.clock.advance(1.0);
    EXPECT_EQ(rig.speaking(), "Two.");
    EXPECT_EQ(rig.resumes, 0) << "not between phrases";
    rig.playOut();
    EXPECT_EQ(rig.pauses, 1);
    EXPECT_EQ(rig.resumes, 1);
    EXPECT_TRUE(rig.readerPlaying);
}

// Only what the announcer paused is resumed: a reading the user starts
// while it speaks keeps playing when the announcement ends.
TEST(Announcer, ResumesOnlyTheReadingItPaused) {
    struct Case {
        const char* name;
        bool readingBefore;
        bool userPlaysDuring;
        int resumes;
        bool readingAfter;
    } cases[] = {
        {"paused by the announcer", true, false, 1, true},
        {"paused, then started again by the user", true, true, 0, true},
        {"idle, then started by the user", false, true, 0, true},
        {"idle all along", false, false, 0, false},
    };
    for (const Case& c : cases) {
        AnnouncerRig rig;
        rig.readerPlaying = c.readingBefore;
        rig.announcer->say(phrase(u"One."), u"a", false);
        rig.runEngine();
        if (c.userPlaysDuring) rig.readerPlaying = true;
        rig.playOut();
        EXPECT_EQ(rig.speaking(), "(idle)") << c.name;
        EXPECT_EQ(rig.resumes, c.resumes) << c.name;
        EXPECT_EQ(rig.readerPlaying, c.readingAfter) << c.name;
    }
}

TEST(Announcer, ReadingPausedByTheUserStaysPaused) {
    AnnouncerRig rig;
    rig.announcer->say(phrase(u"One."), u"a", false);
    rig.playOut();
    EXPECT_EQ(rig.pauses, 0);
    EXPECT_EQ(rig.resumes, 0);
}

TEST(Announcer, StopDropsEverythingAndResumesTheReading) {
    AnnouncerRig rig;
    rig.readerPlaying = true;
    rig.announcer->say(phrase(u"One."), u"a", false);
    rig.announcer->say(phrase(u"Two."), u"a", false);
    rig.announcer->stop();
    EXPECT_EQ(rig.speaking(), "(idle)");
    EXPECT_EQ(rig.resumes, 1);
    rig.runEngine();
    EXPECT_TRUE(rig.fake.calls.empty()) << "the stopped rendering never reached the engine";
    rig.playOut();
    EXPECT_EQ(rig.resumes, 1);

    const int64_t g = rig.announcer->generation();
    rig.announcer->stop();  // while idle
    EXPECT_EQ(rig.announcer->generation(), g + 1);
    EXPECT_EQ(rig.speaking(), "(idle)");
    EXPECT_EQ(rig.resumes, 1);
}

TEST(Announcer, PausesAfterPartsBecomeSilence) {
    struct Case {
        int pauseMs;
        int64_t silence;
    };
    for (Case c : {Case{250, 6000}, Case{0, 0}, Case{-40, 0}, Case{1, 24}}) {
        AnnouncerRig rig;
        Speech s;
        s.add(std::u16string(u"Part one."), NEUTRAL(), std::nullopt, c.pauseMs);
        s.add(std::u16string(u"Part two."));
        rig.announcer->say(s, u"x", false);
        rig.runEngine();
        EXPECT_DOUBLE_EQ(rig.announcer->player().pendingSeconds(), (3 + c.silence + 3 + 8000) / 24000.0)
            << c.pauseMs << " ms";
    }
}

TEST(Announcer, PartVoiceOnlyWhenTheEngineKnowsIt) {
    AnnouncerRig rig;
    rig.style.voice = u"male";
    Speech s;
    s.add(std::u16string(u"Known."), NEUTRAL(), u"voice_1688", 0);
    s.add(std::u16string(u"Unknown."), NEUTRAL(), u"voice_9999", 0);
    s.add(std::u16string(u"None."));
    rig.announcer->say(s, u"x", false);
    rig.runEngine();
    ASSERT_EQ(rig.fake.calls.size(), 3u);
    EXPECT_EQ(rig.fake.calls[0].voice, "voice_1688");
    EXPECT_EQ(rig.fake.calls[1].voice, "voice_2500") << "the style's resolved voice";
    EXPECT_EQ(rig.fake.calls[2].voice, "voice_2500");
    for (const auto& c : rig.fake.calls) {
        EXPECT_EQ(c.markup, 0);
        EXPECT_EQ(c.tag, std::nullopt) << "the tag \"none\" is no tag";
    }
}

TEST(Announcer, TextAboveTheBasicPlaneIsBlanked) {
    AnnouncerRig rig;
    rig.announcer->say(Speech::of(u"Done \U0001F389 now"), u"x", false);
    rig.runEngine();
    ASSERT_EQ(rig.fake.calls.size(), 1u);
    EXPECT_EQ(rig.fake.calls[0].text.find("\xF0\x9F"), std::string::npos);
}

TEST(Announcer, FailingPartsStillEndThePhrase) {
    AnnouncerRig rig;
    rig.fake.failWith = "voice: out of order";
    rig.announcer->say(phrase(u"Lost.", u"Lost too."), u"x", false);
    rig.announcer->say(phrase(u"Next."), u"x", false);
    rig.runEngine();
    EXPECT_DOUBLE_EQ(rig.announcer->player().pendingSeconds(), 8000 / 24000.0) << "the closing silence alone";
    rig.clock.advance(1.0);
    EXPECT_EQ(rig.speaking(), "Next.") << "the queue moves on";
    rig.fake.failWith.reset();
    rig.fake.succeedWithoutAudio = true;
    rig.playOut();
    EXPECT_EQ(rig.speaking(), "(idle)");
}

TEST(Announcer, EngineThatCannotStartGivesThePhraseUp) {
    AnnouncerRig rig;
    rig.engineWorks = false;
    rig.readerPlaying = true;
    rig.announcer->say(phrase(u"One."), u"x", false);
    rig.announcer->say(phrase(u"Two."), u"x", false);
    EXPECT_EQ(rig.dropped, 1);
    rig.announcer->engineUnavailable();
    EXPECT_EQ(rig.speaking(), "Two.");
    rig.announcer->engineUnavailable();
    EXPECT_EQ(rig.speaking(), "(idle)");
    EXPECT_EQ(rig.resumes, 1);
    rig.announcer->engineUnavailable();  // idle: nothing to give up
    EXPECT_EQ(rig.resumes, 1);
}
