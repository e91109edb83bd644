#include "Spoken.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

using namespace tovan;

namespace {

class SpokenSay : public ::testing::Test {
protected:
    void SetUp() override { Spoken::setDayFirst(true); }
    void TearDown() override { Spoken::setDayFirst(true); }
};

std::string say(const char* in) {
    return u8(Spoken::say(u16(in)));
}

}  // namespace

TEST_F(SpokenSay, PassesRunInTheirOrder) {
    struct Case {
        std::u16string in;
        const char* out;
    } cases[] = {
        // Full-width letters are folded before the links pass sees them.
        {u"Visit \uFF57\uFF57\uFF57\uFF0E\uFF45\uFF58\uFF41\uFF4D\uFF50\uFF4C\uFF45\uFF0E\uFF43\uFF4F\uFF4D today.",
         "Visit example dot com today."},
        // A phone number is read by the phone pass, not as one big number.
        {u"Call 555-123-4567 now.", "Call five five five, one two three, four five six seven now."},
        // The operator reading of the number pass comes before the symbols'.
        {u"5 \u00B1 2", "five plus or minus two"},
        {u"Email jane.doe@example.com by 5 pm today.", "Email jane dot doe at example dot com by five pee em today."},
        {u"On 2024-03-05 it cost $5.25.", "On March fifth, twenty twenty four it cost five dollars and twenty five cents."},
        {u"Chapter IV: 3/4 of 1,200 km \u2192 done \u2713", "Chapter four: three quarters of one thousand two hundred kilometers to done"},
        {u"Stra\u00DFe 12, 10\u00A0km", "Strasse twelve, ten kilometers"},
        {u"\u041F\u0440\u0438\u0432\u0435\u0442, world", "world"},
        {u"tea w/o sugar, \u2022 milk", "tea without sugar, milk"},
        // Underscores after a letter go in the letters pass, before links.
        {u"#launch_day at 9:30", "hashtag launchday at nine thirty"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::say(c.in)), c.out) << u8(c.in);
}

TEST_F(SpokenSay, TidyStepsFoldSpacesAndPunctuation) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"a , b", "a, b"},
        {"a,,; b", "a, b"},
        {", . start", "start"},
        {"two\t\ttabs", "two tabs"},
        {"  padded  ", "padded"},
        {"why ?", "why?"},
    };
    for (const Case& c : cases) EXPECT_EQ(say(c.in), c.out) << c.in;
}

TEST_F(SpokenSay, MarkupSpansAreKeptAsWritten) {
    struct Case {
        const char* in;
        bool markup;
        const char* out;
    } cases[] = {
        {"", true, ""},
        {"", false, ""},
        {"[laughs] it is 5 <emph>now</emph>.", true, "[laughs] it is five <emph> now </emph> ."},
        {"[laughs] it is 5", false, "[laughs] it is five"},
        {"<emph>", true, "<emph>"},
        {"a [x] b", true, "a [x] b"},
        {"[1/2 of it]", true, "[1/2 of it]"},
        // Not spans: more than 40 characters, a line feed, an upper-case tag.
        {"[this cue is far too long to be any markup at all]", true,
         "[this cue is far too long to be any markup at all]"},
        {"<EMPH>5</EMPH>", true, "<EMPH>five</EMPH>"},
        // Punctuation after a span is the sentence's, not a leading mark.
        {"<emph>Stop</emph>, now <emph>go</emph>.", true, "<emph> Stop </emph> , now <emph> go </emph> ."},
        {"[sighs] ... fine", true, "[sighs] ... fine"},
        // A number broken by a span is read as two pieces.
        {"12<br>34", true, "twelve <br> thirty four"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::say(u16(c.in), c.markup)), c.out) << c.in;
    EXPECT_EQ(Spoken::say(std::nullopt, true), u"");
    EXPECT_EQ(Spoken::say(std::nullopt), u"");
}

TEST_F(SpokenSay, UnspokenNamesTheLanguageTheEngineCannotRead) {
    struct Case {
        std::u16string in;
        std::optional<std::u16string> out;
    } cases[] = {
        {u"\u4E2D\u6587\u5B57", u"Chinese"},
        // Han letters outnumber kana, then kana outnumber Han.
        {u"\u65E5\u672C\u8A9E\u306E", u"Chinese"},
        {u"\u65E5\u306E\u3072\u3089", u"Japanese"},
        // Equal Hiragana and Katakana: the earlier row, both Japanese.
        {u"\u3072\u30AB", u"Japanese"},
        {u"\u041F\u0440\u0438\u0432\u0435\u0442", u"Russian"},
        {u"\u0540\u0561\u0575", u"another language"},
        {u"\U0001E900\U0001E901", u"another language"},  // Adlam has no row
        {u"\u4E2D\u6587 ok", std::nullopt},
        {u"\u4E2D\u6587 5", std::nullopt},
        {u"\U0001F600\U0001F44D", std::nullopt},
        {u"   ", std::nullopt},
        {u"", std::nullopt},
    };
    for (const Case& c : cases) {
        auto got = Spoken::unspoken(c.in);
        EXPECT_EQ(got.has_value(), c.out.has_value()) << u8(c.in);
        if (got && c.out) {
            EXPECT_EQ(u8(*got), u8(*c.out)) << u8(c.in);
        }
    }
    EXPECT_FALSE(Spoken::unspoken(std::nullopt));
}

TEST_F(SpokenSay, ScriptRowsAgreeWithTheirPatterns) {
    // unspoken() finds a letter's row by its script code; the row must be the
    // first whose pattern matches the letter.
    for (UChar32 c = 0x41; c < 0x30000; c += 31) {
        std::u16string one;
        if (c > 0xFFFF) {
            one += static_cast<char16_t>(0xD7C0 + (c >> 10));
            one += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        } else {
            one += static_cast<char16_t>(c);
        }
        if (!rx(uR"(\p{L})").whole(one)) continue;
        int first = -1;
        for (size_t i = 0; i < Spoken::SCRIPTS.size() && first < 0; i++) {
            if (rx(Spoken::scriptPattern(Spoken::SCRIPTS[i])).whole(one)) first = static_cast<int>(i);
        }
        // The language named for a text of this one letter (when the
        // pipeline leaves nothing) follows from that row.
        auto got = Spoken::unspoken(one);
        if (!got) continue;  // a Latin letter, or one the pipeline folds to Latin
        std::u16string want = first >= 0 && !Spoken::SCRIPTS[first].language.empty()
                                  ? std::u16string(Spoken::SCRIPTS[first].language)
                                  : u"another language";
        EXPECT_EQ(u8(*got), u8(want)) << std::hex << c;
    }
}
