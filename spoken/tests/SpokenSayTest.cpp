#include "Spoken.h"

#include <gtest/gtest.h>

#include <unicode/utf16.h>

#include <latch>
#include <random>
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
        {u"#launch_day at 9:30", "hashtag launch day at nine thirty"},
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
    for (UChar32 c = 0x41; c < 0x30000; c += 97) {
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

namespace {

std::u16string repeated(std::u16string_view unit, size_t size) {
    std::u16string t;
    while (t.size() < size) t += unit;
    t.resize(size);
    return t;
}

bool holdsBrokenUnits(const std::u16string& s) {
    for (size_t i = 0; i < s.size(); i++) {
        char16_t c = s[i];
        if (c == 0) return true;
        if (U16_IS_LEAD(c) && !(i + 1 < s.size() && U16_IS_TRAIL(s[i + 1]))) return true;
        if (U16_IS_TRAIL(c) && !(i > 0 && U16_IS_LEAD(s[i - 1]))) return true;
        if (U16_IS_LEAD(c)) i++;
    }
    return false;
}

}  // namespace

TEST_F(SpokenSay, HugeTextsOfAnyKindGoThrough) {
    constexpr size_t kSize = 200 * 1024;
    std::mt19937 gen(11);
    std::u16string noise;
    while (noise.size() < kSize) {
        switch (gen() % 5) {
            case 0: noise += static_cast<char16_t>(gen() % 0x80); break;             // ASCII and controls
            case 1: noise += static_cast<char16_t>(0xD800 + gen() % 0x800); break;   // lone surrogates
            case 2: noise += static_cast<char16_t>(gen() % 0x20); break;             // controls, NUL among them
            default: noise += static_cast<char16_t>(0x80 + gen() % 0xFF00); break;  // any BMP script
        }
    }
    const std::u16string texts[] = {
        repeated(u"On 2024-03-05 we paid $1,250.50 for 3 km of cable; call 555-123-4567 or see "
                 u"https://www.example.com/x, Chapter IV, 12/25 and 5 \u00B1 2. ",
                 kSize),
        noise,
        repeated(u"\u4E2D\u6587\u0420\u0443\u0441\u0441\u043A\u0438\u0439\u0627\u0644\u0639\u0631\u0628\u064A\u0629"
                 u"\u0939\u093F\u0928\u094D\u0926\u0940 \U0001F600 ",
                 kSize),
        repeated(u"ab.", kSize),         // one dotted word with no ending
        repeated(u"1", kSize),           // one number
    };
    for (const std::u16string& t : texts) {
        std::u16string out = Spoken::say(t);
        EXPECT_FALSE(holdsBrokenUnits(out));
        EXPECT_EQ(out, jtrim(out));
    }
    EXPECT_EQ(u8(Spoken::unspoken(texts[2]).value_or(u"-")), "Russian");  // the most letters
}

TEST_F(SpokenSay, HugeMarkedUpTextKeepsEverySpan) {
    // A span every two kilobytes or so, in prose with numbers.
    std::u16string prose = repeated(u"On 3/4 he paid $20 at 9:30 pm, Chapter IV. ", 2000);
    const std::u16string t = repeated(u"<emph>Then</emph> " + prose + u" [pause] " + prose + u" [laughs] ", 200 * 1024);
    std::u16string out = Spoken::say(t, true);
    auto count = [](const std::u16string& s, std::u16string_view what) {
        size_t n = 0;
        for (size_t pos = s.find(what); pos != std::u16string::npos; pos = s.find(what, pos + 1)) n++;
        return n;
    };
    for (std::u16string_view span : {u"<emph>", u"</emph>", u"[pause]", u"[laughs]"}) {
        EXPECT_GT(count(t, span), 40u);
        // The text may end inside a span, which then is no span.
        EXPECT_GE(count(out, span) + 1, count(t, span)) << u8(span);
        EXPECT_LE(count(out, span), count(t, span)) << u8(span);
    }
    EXPECT_EQ(out.find(u"  "), std::u16string::npos);
}

TEST_F(SpokenSay, EveryConstantPatternCompilesAndTheCacheStopsGrowing) {
    // Forces every pattern of the passes through the cache (one that did not
    // compile would stop the process here, not in front of a user).
    for (const std::u16string& p : Spoken::patterns()) rx(p);
    // The passes of dates, times and phones compile all theirs on any call;
    // the helpers that compile on demand are called once.
    const std::u16string warm = u"On 12/25 at 9:30 pm, call 555-123-4567; Mon-Fri.";
    Spoken::say(warm);
    Spoken::say(warm, true);
    Spoken::followedByWord(u"I am", 1);
    Spoken::yearAt(u"1990 people", 4);
    Spoken::phone(u"+1 555 123 4567");
    rx(Spoken::CODE).replaceAll(u"ref no. 98765 and PIN 1-2-3", Spoken::readCode);
    const size_t compiled = rxCompiled();
    const char* corpus[] = {
        "Chapter I was long; Part I. King Charles I of England, Louis XIV's reign, XII.",
        "Email jane.doe@example.com or www.example.org, @jane and #tag_two.",
        "$5.25, \u20AC3, 100 USD, 50\u00A2, \u20B910 lakh, $2.5bn.",
        "v1.2.3, OTP: 123456, #7, No. 12345, the 1990s, '80s, 21st, 3x4, 5 km, 1/2, 2+2, 5-10, -5, 16:9.",
        "Maple St. \u2192 Mt. Fuji \u2022 w/o aka vs approx tsp \u2713 \u2605 5 \u00B1 2 me@home x + y % _ a/b # x",
        "\u4E2D\u6587 \u041F\u0440\u0438\u0432\u0435\u0442 \U0001F600 M\u00FCller \u00BD \u03C0 220\u03A9 \u00B5s",
        "2024-03-05, 3 March, March 3rd, 9am-5pm, 2h 30m, 10:00:05, 1 800 555 0199",
        "",
    };
    for (const char* text : corpus) {
        Spoken::say(u16(text));
        Spoken::say(u16(text), true);
        Spoken::unspoken(u16(text));
    }
    EXPECT_EQ(rxCompiled(), compiled);
}

TEST_F(SpokenSay, ManyThreadsGetWhatOneThreadGets) {
    const std::u16string texts[] = {
        u"On 2024-03-05 the board paid $1,250.50 at https://www.example.com, Chapter IV, 12/25 and 5 \u00B1 2.",
        u"<emph>Henry VIII</emph> had 6 wives [sighs]; call 555-123-4567 or jane@example.org by 9:30 pm.",
        u"\u4E2D\u6587\u5B57",
        u"The 1990s saw 3x4 rooms, 5 km runs, 1/2 cups and \u2022 bullets \u2192 done.",
    };
    std::vector<std::u16string> expected;
    for (const auto& t : texts) expected.push_back(Spoken::say(t, true) + u"|" + Spoken::unspoken(t).value_or(u"-"));
    constexpr int kThreads = 8;
    std::latch go(kThreads);
    std::vector<std::vector<std::u16string>> got(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; k++) {
        threads.emplace_back([&, k] {
            go.arrive_and_wait();
            for (int round = 0; round < 20; round++) {
                got[k].clear();
                for (const auto& t : texts) got[k].push_back(Spoken::say(t, true) + u"|" + Spoken::unspoken(t).value_or(u"-"));
            }
        });
    }
    for (auto& th : threads) th.join();
    for (const auto& g : got) {
        ASSERT_EQ(g.size(), expected.size());
        for (size_t i = 0; i < g.size(); i++) EXPECT_EQ(u8(g[i]), u8(expected[i]));
    }
}
