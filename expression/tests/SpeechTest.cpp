#include "Speech.h"

#include <gtest/gtest.h>

using namespace tovan;
using Expression::Mood;

TEST(Speech, AddTrimsAndDropsBlankTexts) {
    Speech s;
    s.add(std::nullopt).add(u"").add(u" \t\r\n ").add(u"\u0001\u001f");
    EXPECT_TRUE(s.isEmpty());
    s.add(u"  Hello \n");
    ASSERT_EQ(s.parts.size(), 1u);
    EXPECT_EQ(s.parts[0].text, u"Hello");
    EXPECT_EQ(s.parts[0].mood, Expression::NEUTRAL());
    EXPECT_FALSE(s.parts[0].voice);
    EXPECT_EQ(s.parts[0].pauseAfterMs, 0);

    // Only units up to U+0020 count as blanks; a no-break space is kept.
    s.add(u"\u00a0x\u00a0", nullptr);
    EXPECT_EQ(s.parts[1].text, u"\u00a0x\u00a0");
    EXPECT_EQ(s.parts[1].mood, Expression::NEUTRAL());

    s.add(u" Call ", Expression::URGENT(), u"voice_0010", 250);
    EXPECT_EQ(s.parts[2].text, u"Call");
    EXPECT_EQ(s.parts[2].mood, Expression::URGENT());
    EXPECT_EQ(s.parts[2].voice, u"voice_0010");
    EXPECT_EQ(s.parts[2].pauseAfterMs, 250);

    EXPECT_TRUE(Speech::of(std::nullopt).isEmpty());
    EXPECT_TRUE(Speech::of(u"   ").isEmpty());
    EXPECT_EQ(Speech::of(u" Hi ").text(), u"Hi");
}

TEST(Speech, PauseLengthensOnlyTheLastPart) {
    Speech empty;
    empty.pause(300);
    EXPECT_TRUE(empty.isEmpty());

    Speech s;
    s.add(u"First", Expression::SAD(), std::nullopt, 100);
    s.add(u"Second", Expression::HAPPY(), u"voice_2500", 150);
    s.pause(300).pause(50);
    ASSERT_EQ(s.parts.size(), 2u);
    EXPECT_EQ(s.parts[0].pauseAfterMs, 100);
    EXPECT_EQ(s.parts[1].text, u"Second");
    EXPECT_EQ(s.parts[1].mood, Expression::HAPPY());
    EXPECT_EQ(s.parts[1].voice, u"voice_2500");
    EXPECT_EQ(s.parts[1].pauseAfterMs, 500);

    s.pause(std::numeric_limits<int>::max());
    EXPECT_EQ(s.parts[1].pauseAfterMs, std::numeric_limits<int>::max());
}

TEST(Speech, TextJoinsWithOneBlankOnceSomethingIsGathered) {
    Speech two;
    two.add(u"It is late.").add(u"Go to bed.");
    EXPECT_EQ(two.text(), u"It is late. Go to bed.");

    Speech s;
    s.parts.emplace_back(u"");
    s.parts.emplace_back(u"a");
    s.parts.emplace_back(u"");
    s.parts.emplace_back(u"b");
    EXPECT_EQ(s.text(), u"a  b");
    EXPECT_EQ(Speech().text(), u"");
}

TEST(Speech, MainMoodIsTheFirstThatIsNotNeutral) {
    auto offsetOnly = Mood::make(u"x", std::nullopt, u"", {{u"loud", 0.2f}});
    auto reasonOnly = Mood::make(u"y", std::nullopt, u"just words");
    struct Case {
        const char* label;
        std::vector<Expression::MoodRef> moods;
        Expression::MoodRef expected;
    };
    const Case cases[] = {
        {"no parts", {}, Expression::NEUTRAL()},
        {"all neutral", {nullptr, Expression::NEUTRAL(), reasonOnly}, Expression::NEUTRAL()},
        {"second has a tag", {Expression::NEUTRAL(), Expression::SECRET(), Expression::SAD()}, Expression::SECRET()},
        {"offset without tag counts", {reasonOnly, offsetOnly, Expression::URGENT()}, offsetOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Speech s;
        for (const auto& m : c.moods) s.add(u"words", m);
        EXPECT_EQ(s.mainMood(), c.expected);
    }
}
