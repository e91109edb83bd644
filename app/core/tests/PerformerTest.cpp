// One sentence of a document into engine calls and samples.
#include "Performer.h"

#include "CoreTestUtil.h"
#include "Narration.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tovan;
using coretest::FakeEngineBox;

namespace {

constexpr size_t SAY = 3;  // samples the fake engine gives per call
constexpr size_t MS = 24;  // samples a millisecond

// A plan raising the rate by 1 (times strength) with a pause of `pauseMs`
// at pace 1.
Director::Plan plan(float rate, double pauseMs) {
    return Director::Plan({rate, 0, 0, 0, 0, float(std::log(1.0 + pauseMs / 1000.0))}, nullptr);
}

struct PerformerTest : ::testing::Test {
    FakeEngineBox box;
    Voices catalogue = coretest::voices();

    Performer make(std::shared_ptr<Doc> d, bool castOn = false) {
        Performer p;
        p.doc = d;
        p.base.contextual = false;
        p.pace = 1.25f;
        p.voice = u"voice_1688";
        p.other = u"voice_2500";
        if (castOn) p.cast = d->cast();
        p.female = {u"voice_1688", u"voice_0010", u"voice_0185"};
        p.male = {u"voice_2500", u"voice_1469"};
        p.strength = 0.5f;
        return p;
    }
    const std::vector<FakeEngine::Call>& calls() const { return box.fake.calls; }
};

}  // namespace

TEST_F(PerformerTest, NarrationIsOneCallInTheNarratorsVoiceWithItsPause) {
    auto d = coretest::doc({u"The rain fell all night."});
    Performer p = make(d);
    p.base.z[0] = 0.4f;  // rate
    auto out = p.render(0, *box.engine);
    ASSERT_TRUE(out);
    ASSERT_EQ(calls().size(), 1u);
    const auto& c = calls()[0];
    EXPECT_EQ(c.text, "The rain fell all night.");
    EXPECT_EQ(c.voice, "voice_1688");
    EXPECT_FALSE(c.tag) << "a style tag of none is sent as no tag";
    EXPECT_EQ(c.ctrl, "rate=0.40");
    EXPECT_FLOAT_EQ(c.pace, 1.25f);
    EXPECT_EQ(c.markup, 1);
    ASSERT_EQ(out->size(), SAY + 120 * MS);
    EXPECT_EQ((*out)[0], 0.25f);
    for (size_t i = SAY; i < out->size(); i++) ASSERT_EQ((*out)[i], 0.0f);
}

TEST_F(PerformerTest, DialogueTakesTheCastVoiceOrTheOtherVoice) {
    // Mary is a female character: with the cast she gets a female voice that
    // is not the narrator's; without it dialogue takes `other`.
    auto d = coretest::doc({u"\u201CCome here at once, please,\u201D said Mary."});
    ASSERT_EQ(d->sentences.size(), 1u);

    Performer withCast = make(d, true);
    ASSERT_TRUE(withCast.render(0, *box.engine));
    ASSERT_EQ(calls().size(), 2u);
    EXPECT_EQ(calls()[0].text.find("Come here"), 0u);
    ASSERT_TRUE(calls()[0].voice);
    EXPECT_NE(*calls()[0].voice, "voice_1688");
    EXPECT_TRUE(*calls()[0].voice == "voice_0010" || *calls()[0].voice == "voice_0185") << *calls()[0].voice;
    EXPECT_EQ(calls()[1].voice, "voice_1688") << "the narration around the quote";
    const auto maryVoice = calls()[0].voice;

    box.fake.calls.clear();
    Performer again = make(d, true);
    ASSERT_TRUE(again.render(0, *box.engine));
    EXPECT_EQ(calls()[0].voice, maryVoice) << "a character keeps its voice";

    box.fake.calls.clear();
    Performer noCast = make(d, false);
    ASSERT_TRUE(noCast.render(0, *box.engine));
    ASSERT_EQ(calls().size(), 2u);
    EXPECT_EQ(calls()[0].voice, "voice_2500");
}

TEST_F(PerformerTest, ParagraphBeyondTheCastSpeaksDialogueWithOther) {
    auto d = coretest::doc({u"The rain fell.", u"\u201CCome here at once, please,\u201D said Mary."});
    Performer p = make(d);
    p.cast = coretest::doc({u"The rain fell."})->cast();  // one line only
    ASSERT_TRUE(p.render(1, *box.engine));
    ASSERT_FALSE(calls().empty());
    EXPECT_EQ(calls()[0].voice, "voice_2500");
}

TEST_F(PerformerTest, PlanAddsControlsAndSetsTheLastPause) {
    auto d = coretest::doc({u"\u201CCome here at once, please,\u201D said Mary."});
    Performer p = make(d);
    p.pace = 1.0f;
    p.base.z[0] = 0.2f;
    p.plans = std::make_shared<std::vector<Director::Plan>>(std::vector{plan(1.0f, 300)});
    auto out = p.render(0, *box.engine);
    ASSERT_TRUE(out);
    ASSERT_EQ(calls().size(), 2u);
    for (const auto& c : calls()) EXPECT_EQ(c.ctrl, "rate=0.70") << "0.2 + 1.0 x strength 0.5";
    // The dialogue keeps its own 120 ms; the sentence ends with the plan's.
    EXPECT_EQ(out->size(), SAY + 120 * MS + SAY + 300 * MS);
}

TEST_F(PerformerTest, PlanPauseReplacesALongerSegmentPause) {
    auto d = coretest::doc({Narration::HEAD.data() + std::u16string(u"Chapter One"), u"The rain fell."});
    ASSERT_EQ(d->sentences.size(), 2u);
    Performer p = make(d);
    p.pace = 1.0f;
    // Plans for both sentences; the heading must not use its plan.
    p.plans = std::make_shared<std::vector<Director::Plan>>(std::vector{plan(2.0f, 90), plan(2.0f, 90)});
    auto heading = p.render(0, *box.engine);
    ASSERT_TRUE(heading);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].text, "Chapter One");
    EXPECT_EQ(heading->size(), SAY + 650 * MS) << "a heading keeps its own pause";
    EXPECT_TRUE(!calls()[0].ctrl || calls()[0].ctrl->find("rate=1.00") == std::string::npos);

    auto body = p.render(1, *box.engine);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->size(), SAY + 90 * MS) << "the plan's 90 ms instead of the segment's 120";
    EXPECT_EQ(calls()[1].ctrl, "rate=1.00");
}

TEST_F(PerformerTest, SceneMoodsGiveWayToAPlan) {
    // A paragraph full of bright cues: its narration has the scene mood.
    auto d = coretest::doc({u"They laughed and smiled and danced in the sunshine all day."});
    const auto& line = d->cast()->lines().at(0);
    ASSERT_EQ(line.scene->name, u"bright");

    Performer free = make(d, true);
    ASSERT_TRUE(free.render(0, *box.engine));
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].tag, std::string(line.scene->tag.value().begin(), line.scene->tag.value().end()));
    EXPECT_TRUE(calls()[0].ctrl && calls()[0].ctrl->find("f0_iqr") != std::string::npos);

    Performer planned = make(d, true);
    planned.plans = std::make_shared<std::vector<Director::Plan>>(std::vector{plan(0, 200)});
    ASSERT_TRUE(planned.render(0, *box.engine));
    ASSERT_EQ(calls().size(), 2u);
    EXPECT_FALSE(calls()[1].tag);
    EXPECT_FALSE(calls()[1].ctrl) << "neutral: nothing from the scene";
}

TEST_F(PerformerTest, EmptySentenceGivesATenthOfASecond) {
    // Punctuation alone makes no segment; an emoji alone is blank once the
    // characters beyond the basic plane are gone. Neither reaches the engine.
    for (std::u16string text : {std::u16string(u"\u2014 \u2014 \u2014"), std::u16string(u"\U0001F600")}) {
        auto d = coretest::doc({text});
        ASSERT_EQ(d->sentences.size(), 1u);
        Performer p = make(d);
        auto out = p.render(0, *box.engine);
        ASSERT_TRUE(out);
        EXPECT_TRUE(calls().empty());
        size_t expected = Narration::segments(d->sentences[0]).empty() ? 2400 : 120 * MS;
        EXPECT_EQ(out->size(), expected);
        for (float s : *out) ASSERT_EQ(s, 0.0f);
    }
}

TEST_F(PerformerTest, AnEngineThatDeclinesOrFailsYieldsNoPartialSentence) {
    auto d = coretest::doc({u"\u201CCome here at once, please,\u201D said Mary."});
    Performer p = make(d);
    box.engine->cancel();
    EXPECT_FALSE(p.render(0, *box.engine));
    box.engine->resetCancel();

    box.fake.failWith = "synthesis: boom";
    try {
        (void)p.render(0, *box.engine);
        FAIL() << "no failure";
    } catch (const Engine::Failure& f) {
        EXPECT_EQ(f.message(), u"synthesis: boom");
    }
    EXPECT_EQ(calls().size(), 1u) << "the first failing segment ends the sentence";
}

TEST_F(PerformerTest, IndexOutsideTheDocumentRendersNothing) {
    auto d = coretest::doc({u"One."});
    Performer p = make(d);
    EXPECT_FALSE(p.render(1, *box.engine));
    EXPECT_FALSE(p.render(-1, *box.engine));
    EXPECT_TRUE(calls().empty());
}

TEST(PerformerMoodStyle, TagAndOffsetsWithTheWhisperException) {
    const auto loud = Expression::Mood::make(u"loud", u"excited", u"why", {{u"loud", 0.5f}, {u"rate", 2.8f}});
    const auto quiet = Expression::Mood::make(u"soft", std::nullopt, u"why", {{u"loud", -0.5f}});
    struct Case {
        const char* name;
        std::u16string baseTag;
        Expression::MoodRef mood;
        std::u16string tag;
        std::optional<std::u16string> ctrl;
    } cases[] = {
        {"tag replaced", u"none", loud, u"excited", u"rate=3.00,loud=0.50"},
        {"whisper kept", u"whisper", loud, u"whisper", u"rate=3.00,loud=0.50"},
        {"no tag, controls", u"calm", quiet, u"calm", u"rate=0.50,loud=-0.50"},
        {"neutral", u"calm", Expression::NEUTRAL(), u"calm", u"rate=0.50"},
    };
    for (const Case& c : cases) {
        Style s;
        s.tag = c.baseTag;
        s.z[0] = 0.5f;  // rate, so the clamp shows
        const Style before = s;
        const Style out = Performer::moodStyle(s, *c.mood);
        EXPECT_EQ(out.tag, c.tag) << c.name;
        EXPECT_EQ(out.ctrl(), c.ctrl) << c.name;
        EXPECT_EQ(s.jsonData(), before.jsonData()) << c.name << ": the input changed";
    }
}

TEST(PerformerDirectorSentences, ParagraphLengthsPlacesAndDialogue) {
    auto d = coretest::doc({u"It rained. It poured. It stopped.",
                            u"\u201CCome here at once, please,\u201D said Mary.",
                            u"He saw \uE000the sign\uE001 at last."});
    const auto s = Performer::directorSentences(*d);
    ASSERT_EQ(s.size(), 5u);
    struct Row {
        int64_t paraLen, paraIndex;
        bool dialogue, hasSpeaker;
    } want[] = {{3, 0, false, false}, {3, 1, false, false}, {3, 2, false, false}, {1, 0, true, true},
                {1, 0, false, false}};
    for (size_t i = 0; i < s.size(); i++) {
        EXPECT_EQ(s[i].paraLen, want[i].paraLen) << i;
        EXPECT_EQ(s[i].paraIndex, want[i].paraIndex) << i;
        EXPECT_EQ(s[i].dialogue, want[i].dialogue) << i;
        EXPECT_EQ(s[i].hasSpeaker, want[i].hasSpeaker) << i;
    }
    EXPECT_EQ(s[4].text, u"He saw the sign at last.") << "marks removed";
    EXPECT_TRUE(Performer::directorSentences(*coretest::doc({})).empty());
}

TEST(PerformerDialogueVoice, OtherGenderAmongFeaturedNeverTheNarrator) {
    const Voices all = coretest::voices();
    const Voices femaleOnly = coretest::voices(R"({"name":"voice_1688","gender":"female"})");
    const Voices maleOnly = coretest::voices(R"({"name":"voice_2500","gender":"male"})");
    struct Case {
        const Voices* voices;
        std::optional<std::u16string> narrator, want;
    } cases[] = {
        {&all, u"voice_1688", u"voice_2500"},   // female narrator: first male
        {&all, u"voice_0010", u"voice_2500"},
        {&all, u"voice_2500", u"voice_1688"},   // male narrator: first female
        {&all, u"nobody", u"voice_1688"},       // unknown: first female
        {&all, std::nullopt, u"voice_1688"},
        {&femaleOnly, u"voice_1688", u"voice_1688"},  // no male at all: the narrator
        {&maleOnly, u"voice_2500", u"voice_2500"},    // male narrator, no female
        {&femaleOnly, u"voice_2500", u"voice_1688"},  // narrator not in catalogue
        {&maleOnly, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Performer::dialogueVoice(c.narrator, *c.voices), c.want)
            << (c.narrator ? std::string(c.narrator->begin(), c.narrator->end()) : "none");
}
