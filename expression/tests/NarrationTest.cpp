#include "Narration.h"

#include <gtest/gtest.h>

using namespace tovan;
using Expression::MoodRef;

namespace {

const std::u16string ON(Narration::EM_ON), OFF(Narration::EM_OFF), HEAD(Narration::HEAD);

std::string show(const std::u16string& s) { return u8(s); }

}  // namespace

TEST(NarrationMarks, StripRemovesMarksAndDisplayAlsoTrims) {
    struct Case {
        std::u16string text, stripped, displayed;
    };
    const Case cases[] = {
        {HEAD + u" Chapter One ", u" Chapter One ", u"Chapter One"},
        {u"  no marks\t", u"  no marks\t", u"no marks"},
        {u"a " + ON + u"big" + OFF + u" dog", u"a big dog", u"a big dog"},
        {ON + ON + HEAD + OFF, u"", u""},
        {u"\u00a0kept\u00a0", u"\u00a0kept\u00a0", u"\u00a0kept\u00a0"},  // only units up to U+0020 are blanks
        {u"", u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Narration::strip(c.text), c.stripped) << show(c.text);
        EXPECT_EQ(Narration::display(c.text), c.displayed) << show(c.text);
    }
}

TEST(NarrationMarks, DialogueIsThreeWordsOrAPunctuatedLine) {
    struct Case {
        std::u16string quoted;
        bool dialogue;
    };
    const Case cases[] = {
        {u"Shorty", false},              // a nickname
        {u"The Times", false},           // a title
        {u"Hello there,", true},         // two words ending in a comma
        {u"Run!", true},
        {u"Really?", true},
        {u"  Fine.  ", true},            // trimmed before the test
        {u"three plain words", true},    // whatever the ending
        {u"a\t \nb  c", true},           // any white space separates words
        {u"Fine.\n", true},              // trailing break trimmed
        {u"", false},
        {u"   ", false},
        {u"...", true},
        {u"oh dear", false},
    };
    for (const Case& c : cases) EXPECT_EQ(Narration::isDialogue(c.quoted), c.dialogue) << show(c.quoted);
}

TEST(NarrationMarkup, NeutralisesMarkupAndWritesBalancedEmphasis) {
    struct Case {
        std::u16string text, expected;
    };
    const Case cases[] = {
        {u"see [note] here", u"see (note) here"},
        {u"a <b> tag and 2*3", u"a b tag and 2 3"},
        {u"  runs   of\t\tblanks  ", u"runs of blanks"},
        {u"a " + ON + u"big" + OFF + u" dog", u"a *big* dog"},
        {u"x " + ON + u"  " + OFF + u" y", u"x y"},                        // empty emphasis disappears
        {u"x " + ON + ON + u"a" + OFF + u" y", u"x a y"},                  // unbalanced: all marks dropped
        {u"x " + OFF + u"a" + u" y", u"x a y"},
        {HEAD + u"Title", u"Title"},                                       // no emphasis: the heading mark goes
        {u"a " + ON + u"b" + OFF + HEAD, u"a *b*" + HEAD},                 // with emphasis it stays
        {u"*real* " + ON + u"mark" + OFF, u"real *mark*"},                 // the text's own asterisks never count
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(Narration::markup(c.text), c.expected) << show(c.text);
}

TEST(NarrationSegments, HeadingIsOneSegmentEvenWithQuotes) {
    EXPECT_TRUE(Narration::segments(u"").empty());
    auto segs = Narration::segments(HEAD + u"“Come here, all of you,” a [Chapter] ");
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_TRUE(segs[0].heading);
    EXPECT_FALSE(segs[0].dialogue);
    EXPECT_EQ(segs[0].mood, Narration::HEADING());
    EXPECT_EQ(segs[0].pauseAfterMs, 650);
    EXPECT_EQ(segs[0].text, u"“Come here, all of you,” a (Chapter)");

    const auto& h = *Narration::HEADING();
    EXPECT_EQ(h.name, u"heading");
    EXPECT_FALSE(h.tag);
    EXPECT_EQ(h.why, u"a heading: slower");
    ASSERT_EQ(h.pairs().size(), 3u);
    EXPECT_EQ(h.pairs()[0], (std::pair<std::u16string, float>(u"rate", -0.3f)));
    EXPECT_EQ(h.pairs()[1], (std::pair<std::u16string, float>(u"f0_iqr", 0.3f)));
    EXPECT_EQ(h.pairs()[2], (std::pair<std::u16string, float>(u"loud", 0.2f)));
}

TEST(NarrationSegments, CutsNarrationAndDialogue) {
    struct Want {
        std::u16string text;
        bool dialogue;
    };
    struct Case {
        const char* label;
        std::u16string text;
        std::vector<Want> want;
    };
    const Case cases[] = {
        {"plain narration", u"It was late.", {{u"It was late.", false}}},
        {"narration, speech, narration",
         u"She turned. “We must leave right now,” she said.",
         {{u"She turned.", false}, {u"We must leave right now,", true}, {u"she said.", false}}},
        {"a nickname stays in the narration",
         u"They called him \"Shorty\" at school.",
         {{u"They called him \"Shorty\" at school.", false}}},
        {"two words with a comma are speech", u"‘Good morning,’ he said.",
         {{u"Good morning,", true}, {u"he said.", false}}},
        {"only a quotation", u"  “Go away now, please.”  ", {{u"Go away now, please.", true}}},
        {"a comma between quotations says nothing",
         u"“Stop right there,” , “or I shoot.”",
         {{u"Stop right there,", true}, {u"or I shoot.", true}}},
        {"apostrophes inside single quotes",
         u"'It's Tom's hat,' said Ann.",
         {{u"It's Tom's hat,", true}, {u"said Ann.", false}}},
        {"a dash alone says nothing", u"“Wait for me here.” — ", {{u"Wait for me here.", true}}},
        {"brackets in speech are neutralised", u"“See [page two] now.”", {{u"See (page two) now.", true}}},
    };
    for (const Case& c : cases) {
        auto segs = Narration::segments(c.text);
        ASSERT_EQ(segs.size(), c.want.size()) << c.label;
        for (size_t i = 0; i < segs.size(); i++) {
            EXPECT_EQ(segs[i].text, c.want[i].text) << c.label << " #" << i;
            EXPECT_EQ(segs[i].dialogue, c.want[i].dialogue) << c.label << " #" << i;
            EXPECT_FALSE(segs[i].heading);
            EXPECT_EQ(segs[i].pauseAfterMs, 120);
            if (!segs[i].dialogue) {
                EXPECT_EQ(segs[i].mood, Expression::NEUTRAL()) << c.label;
            }
        }
    }
}

TEST(NarrationSegments, MoodsComeFromTheLineAndTheWords) {
    const std::u16string text = u"The room was dark. “I am so happy, thank you!” she said.";

    // The scene colours the narration.
    Cast::Line scene(std::nullopt, std::nullopt, nullptr, Cast::TENSE());
    auto segs = Narration::segments(text, scene);
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_EQ(segs[0].mood, Cast::TENSE());
    EXPECT_EQ(segs[2].mood, Cast::TENSE());
    // Without a delivery the words' own mood is used.
    const MoodRef own = Expression::of(u"I am so happy, thank you!");
    EXPECT_EQ(segs[1].mood->name, own->name);

    // A delivery with a tag wins.
    Cast::Line whisper(u"Ann", u"female", Cast::WHISPER(), Expression::NEUTRAL());
    segs = Narration::segments(text, whisper);
    EXPECT_EQ(segs[1].mood, Cast::WHISPER());
    EXPECT_EQ(segs[0].mood, Expression::NEUTRAL());

    // A delivery without a tag on neutral words is used as it is.
    Cast::Line ask(u"Ann", u"female", Cast::ASK(), Expression::NEUTRAL());
    ASSERT_TRUE(Expression::of(u"We walked to the mill together.")->neutral());
    segs = Narration::segments(u"“We walked to the mill together.” she asked.", ask);
    ASSERT_EQ(segs.size(), 2u);
    EXPECT_EQ(segs[0].mood, Cast::ASK());

    // A delivery without a tag on words with a mood of their own: both.
    segs = Narration::segments(text, ask);
    ASSERT_FALSE(own->neutral());
    const MoodRef& m = segs[1].mood;
    EXPECT_EQ(m->name, own->name);
    EXPECT_EQ(m->tag, own->tag);
    EXPECT_EQ(m->why, own->why + u"; a question");
    float ownEnd = own->ctrl.count(u"f0_end") ? own->ctrl.at(u"f0_end") : 0.f;
    EXPECT_FLOAT_EQ(m->ctrl.at(u"f0_end"), ownEnd + 1.2f);
}

TEST(NarrationSegments, DialogueMoodReadsTheWordsWithoutMarks) {
    // Emphasis marks inside speech do not hide cue words from mood detection,
    // and the segment text carries the emphasis for the engine.
    const std::u16string text = u"“This is " + ON + u"urgent" + OFF + u", call me now!”";
    auto segs = Narration::segments(text);
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_EQ(segs[0].text, u"This is *urgent*, call me now!");
    EXPECT_EQ(segs[0].mood->name, Expression::of(u"This is urgent, call me now!")->name);
}
