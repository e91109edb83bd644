#include "Expression.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

using namespace tovan;
using namespace tovan::Expression;

namespace {

const Pairs& urgentPairs() {
    static const Pairs p{{u"rate", 0.8f}, {u"loud", 1.2f}, {u"f0_med", 0.5f}, {u"tilt", 0.8f}, {u"pause", -0.5f}};
    return p;
}

} // namespace

TEST(Mood, RepeatedKeyKeepsFirstPositionAndLastValue) {
    Mood m(u"x", std::nullopt, u"", {{u"rate", 0.5f}, {u"loud", 0.2f}, {u"rate", -0.1f}});
    EXPECT_EQ(m.ctrlKeys, (std::vector<std::u16string>{u"rate", u"loud"}));
    EXPECT_FLOAT_EQ(m.ctrl.at(u"rate"), -0.1f);
    EXPECT_EQ(m.pairs(), (Pairs{{u"rate", -0.1f}, {u"loud", 0.2f}}));
}

TEST(Mood, PlusAppendsNewKeysSumsSharedOnesAndJoinsReasons) {
    struct Case {
        const char* label;
        MoodRef base;
        std::u16string why;
        Pairs added;
        std::u16string name;
        std::optional<std::u16string> tag;
        std::u16string reason;
        Pairs pairs;
    };
    Pairs urgentPlusEnd = urgentPairs();
    urgentPlusEnd.push_back({u"f0_end", 1.4f});
    const Case cases[] = {
        {"urgent question", URGENT(), u"question: rising end", {{u"f0_end", 1.4f}}, u"urgent", u"determined",
         u"urgent: faster, louder; question: rising end", urgentPlusEnd},
        {"neutral gains no leading separator", NEUTRAL(), u"in capitals: louder", {{u"loud", 0.6f}}, u"neutral",
         std::nullopt, u"in capitals: louder", {{u"loud", 0.6f}}},
        {"shared key summed in place", ANNOYED(), u"in capitals: louder", {{u"loud", 0.6f}}, u"annoyed",
         u"irritation", u"annoyed: firm; in capitals: louder",
         {{u"loud", 0.6f + 0.6f}, {u"f0_iqr", 0.5f}, {u"rate", 0.3f}, {u"f0_end", -0.6f}}},
        {"empty addition still joins the reason", SAD(), u"", {}, u"sad", u"sadness",
         u"sad news: slower, lower; ", SAD()->pairs()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        MoodRef m = c.base->plus(c.why, c.added);
        ASSERT_NE(m, c.base);
        EXPECT_EQ(m->name, c.name);
        EXPECT_EQ(m->tag, c.tag);
        EXPECT_EQ(m->why, c.reason);
        EXPECT_EQ(m->pairs(), c.pairs);
    }
    // The receiver is untouched.
    EXPECT_EQ(URGENT()->pairs(), urgentPairs());
    EXPECT_EQ(NEUTRAL()->why, u"");
    EXPECT_TRUE(NEUTRAL()->neutral());
    EXPECT_FALSE(NEUTRAL()->plus(u"in capitals: louder", {{u"loud", 0.6f}})->neutral());
}

TEST(Mood, NeutralMeansNoTagAndNoOffsets) {
    EXPECT_TRUE(NEUTRAL()->neutral());
    EXPECT_FALSE(SECRET()->neutral());
    EXPECT_TRUE(Mood(u"quiet", std::nullopt, u"just a reason").neutral());
    EXPECT_FALSE(Mood(u"x", std::nullopt, u"", {{u"loud", 0.1f}}).neutral());
    const MoodRef all[] = {URGENT(), SAD(), SORRY(), WORRIED(), ANNOYED(), EXCITED(), AMUSED(),
                           HAPPY(), LOVING(), GRATEFUL(), SECRET(), CALM(), CONFIDENT()};
    for (const auto& m : all) EXPECT_FALSE(m->neutral()) << std::string(m->name.begin(), m->name.end());
}

TEST(Mood, ConstantsHoldTheirTable) {
    struct Case {
        MoodRef mood;
        std::u16string name;
        std::optional<std::u16string> tag;
        std::u16string why;
        Pairs pairs;
    };
    const Case cases[] = {
        {NEUTRAL(), u"neutral", std::nullopt, u"", {}},
        {URGENT(), u"urgent", u"determined", u"urgent: faster, louder", urgentPairs()},
        {SAD(), u"sad", u"sadness", u"sad news: slower, lower",
         {{u"rate", -0.6f}, {u"f0_med", -0.7f}, {u"f0_iqr", -0.7f}, {u"loud", -0.6f}}},
        {SORRY(), u"sorry", u"apologetic", u"an apology: gentle",
         {{u"rate", -0.3f}, {u"f0_med", -0.4f}, {u"f0_iqr", -0.3f}, {u"loud", -0.4f}}},
        {WORRIED(), u"worried", u"anxiety", u"worried: quicker, higher",
         {{u"rate", 0.4f}, {u"f0_med", 0.5f}, {u"f0_iqr", 0.6f}}},
        {ANNOYED(), u"annoyed", u"irritation", u"annoyed: firm",
         {{u"loud", 0.6f}, {u"f0_iqr", 0.5f}, {u"rate", 0.3f}, {u"f0_end", -0.6f}}},
        {EXCITED(), u"excited", u"excited", u"excited: livelier, faster",
         {{u"rate", 0.7f}, {u"loud", 0.9f}, {u"f0_iqr", 1.4f}, {u"f0_med", 0.9f}}},
        {AMUSED(), u"amused", u"amusement", u"amused: playful", {{u"f0_iqr", 1.0f}, {u"f0_med", 0.5f}, {u"rate", 0.3f}}},
        {HAPPY(), u"happy", u"happiness", u"happy: brighter",
         {{u"f0_iqr", 1.1f}, {u"f0_med", 0.6f}, {u"rate", 0.3f}, {u"tilt", 0.4f}}},
        {LOVING(), u"loving", u"contentment", u"affectionate: warm",
         {{u"f0_iqr", 0.6f}, {u"h1h2", 0.6f}, {u"rate", -0.2f}}},
        {GRATEFUL(), u"grateful", u"contentment", u"thankful: warm", {{u"f0_iqr", 0.8f}, {u"f0_med", 0.3f}}},
        {SECRET(), u"secret", u"whisper", u"a secret: whispered", {}},
        {CALM(), u"calm", u"serenity", u"calm", {{u"rate", -0.3f}, {u"f0_iqr", -0.5f}, {u"loud", -0.3f}}},
        {CONFIDENT(), u"confident", u"confidence", u"clear", {{u"f0_med", -0.3f}, {u"loud", 0.3f}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
        EXPECT_EQ(c.mood->name, c.name);
        EXPECT_EQ(c.mood->tag, c.tag);
        EXPECT_EQ(c.mood->why, c.why);
        EXPECT_EQ(c.mood->pairs(), c.pairs);
    }
}

TEST(Mood, ConstantsAreOneObjectAcrossThreads) {
    std::vector<const Mood*> seen(16);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = CONFIDENT().get(); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(std::set<const Mood*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0], CONFIDENT().get());
}
