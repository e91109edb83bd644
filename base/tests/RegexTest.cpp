#include "Regex.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>

using namespace tovan;

namespace {

std::string show(const std::vector<std::u16string>& v) {
    std::string out = "[";
    for (size_t i = 0; i < v.size(); i++) out += (i ? ", \"" : "\"") + u8(v[i]) + "\"";
    return out + "]";
}

}  // namespace

TEST(Regex, SplitKeepsInnerAndLeadingPiecesButDropsTrailingOnes) {
    struct Case {
        std::u16string text, pattern;
        std::vector<std::u16string> pieces;
    } cases[] = {
        {u"", u",", {u""}},
        {u",,,", u",", {}},
        {u"a,b,,", u",", {u"a", u"b"}},
        {u",a", u",", {u"", u"a"}},
        {u"a,,b", u",", {u"a", u"", u"b"}},
        {u"abc", u"", {u"a", u"b", u"c"}},           // zero-width at 0 gives no leading piece
        {u"a b\t c", u"\\s+", {u"a", u"b", u"c"}},
        {u"no match", u",", {u"no match"}},
        {u"\U0001F600,\U0001F601", u",", {u"\U0001F600", u"\U0001F601"}},
        {u"\U0001F600\U0001F601", u"", {u"\U0001F600", u"\U0001F601"}},  // never splits a pair
    };
    for (const Case& c : cases) {
        EXPECT_EQ(show(split(c.text, c.pattern)), show(c.pieces))
            << "split \"" << u8(c.text) << "\" by /" << u8(c.pattern) << "/";
    }
}

TEST(Regex, WholeTakesTheFirstAnchoredMatchWithoutRetrying) {
    struct Case {
        std::u16string pattern, text;
        bool whole;
    } cases[] = {
        {u"a|ab", u"ab", false},
        {u"ab|a", u"ab", true},
        {u"x*", u"", true},
        {u"\\d+", u"123", true},
        {u"\\d+", u"123a", false},
        {u"\\d+", u"a123", false},
        {u"(?i)abc", u"ABC", true},
        {u"abc", u"ABC", false},
        {u".", u"\U0001F600", true},  // one code point, two units
        {u"..", u"\U0001F600", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(matches(c.text, c.pattern), c.whole) << "/" << u8(c.pattern) << "/ on \"" << u8(c.text) << "\"";
    }
}

TEST(Regex, FindSeesNothingBeforeItsStart) {
    struct Case {
        std::u16string pattern, text;
        int from;
        int start, end;  // -1: no match
    } cases[] = {
        {u"b", u"abab", 0, 1, 2},
        {u"b", u"abab", 2, 3, 4},
        {u"^b", u"ab", 1, 1, 2},          // ^ matches at the search start
        {u"(?<=a)b", u"ab", 1, -1, -1},    // look-behind cannot see the "a"
        {u"(?<=a)b", u"ab", 0, 1, 2},
        {u"\\bb", u"ab", 1, 1, 2},         // a word boundary at the search start
        {u"x*", u"ab", 2, 2, 2},           // the empty range at the end
        {u"x", u"ab", 2, -1, -1},
        {u"x*", u"ab", 3, -1, -1},         // past the end
        {u"a", u"ab", -1, -1, -1},
        {u"a", u"\U0001F600a", 0, 2, 3},   // offsets are UTF-16 units
        {u"a", u"\U0001F600a\U0001F600a", 3, 5, 6},
    };
    for (const Case& c : cases) {
        auto m = rx(c.pattern).find(c.text, c.from);
        std::string what = "/" + u8(c.pattern) + "/ in \"" + u8(c.text) + "\" from " + std::to_string(c.from);
        if (c.start < 0) {
            EXPECT_FALSE(m) << what;
            continue;
        }
        ASSERT_TRUE(m) << what;
        EXPECT_EQ(m->start(0), c.start) << what;
        EXPECT_EQ(m->end(0), c.end) << what;
        EXPECT_EQ(m->group(0), c.text.substr(c.start, c.end - c.start)) << what;
    }
}

TEST(Regex, GroupsThatTookNoPartOrDoNotExistAreAbsent) {
    auto m = rx(u"(a)(x)?(?<tail>b)").find(u"zab");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->rangeCount(), 4);
    EXPECT_EQ(m->group(1), u"a");
    EXPECT_FALSE(m->group(2));
    EXPECT_EQ(m->start(2), -1);
    EXPECT_EQ(m->end(2), -1);
    EXPECT_FALSE(m->group(5));
    EXPECT_EQ(m->group(u"tail"), u"b");
    EXPECT_EQ(m->start(3), 2);
    EXPECT_FALSE(m->group(u"nosuch"));
    EXPECT_EQ(m->source(), u"zab");
}

TEST(Regex, AtStartMatchesOnlyAtOffsetZero) {
    EXPECT_TRUE(rx(u"\\d+").atStart(u"12ab"));
    EXPECT_EQ(rx(u"\\d+").atStart(u"12ab")->end(0), 2);
    EXPECT_FALSE(rx(u"\\d+").atStart(u"a12"));
}

TEST(Regex, TemplatesExpandGroupsAndEscapes) {
    struct Case {
        std::u16string pattern, text, tmpl, first, all;
    } cases[] = {
        {u"(\\d+)", u"a1b22", u"<$1>", u"a<1>b22", u"a<1>b<22>"},
        {u"\\d", u"a1b2", u"[$0]", u"a[1]b2", u"a[1]b[2]"},
        {u"(\\d)(x)?", u"1 2x", u"$1$2.", u"1. 2x", u"1. 2x."},         // absent group: empty
        {u"(\\d)", u"1", u"$12", u"12", u"12"},                             // digits only while they name a group
        {u"(\\d)", u"5", u"$ and \\$1 and \\\\", u"$ and $1 and \\", u"$ and $1 and \\"},
        {u"(\\d)", u"5", u"cost $", u"cost $", u"cost $"},                  // a lone $ is literal
        {u"(?<n>\\d)", u"a5", u"${n}!", u"a5!", u"a5!"},
        {u"(\\d+)-(\\d+)", u"1-2 and 3-4", u"$1 to $2", u"1 to 2 and 3-4", u"1 to 2 and 3 to 4"},
        {u"z", u"abc", u"$0$0", u"abc", u"abc"},                            // nothing matches
        {u"x*", u"axb", u"-", u"-axb", u"-a--b-"},                          // empty matches
        {u"a", u"\U0001F600a\U0001F600", u"b", u"\U0001F600b\U0001F600", u"\U0001F600b\U0001F600"},
    };
    for (const Case& c : cases) {
        std::string what = "/" + u8(c.pattern) + "/ on \"" + u8(c.text) + "\" with \"" + u8(c.tmpl) + "\"";
        EXPECT_EQ(u8(replaceFirst(c.text, c.pattern, c.tmpl)), u8(c.first)) << what;
        EXPECT_EQ(u8(replaceAll(c.text, c.pattern, c.tmpl)), u8(c.all)) << what;
    }
}

TEST(Regex, BuilderSeesEveryMatchOfTheUnchangedInputOnce) {
    std::u16string in = u"\U0001F600 ab ab";
    std::vector<int> starts;
    std::u16string out = replaceAll(in, u"ab", [&](const JMatch& m) {
        starts.push_back(m.start(0));
        EXPECT_EQ(m.source(), in);
        return std::u16string(u"ab ab");  // would match again if searched
    });
    EXPECT_EQ(out, u"\U0001F600 ab ab ab ab");
    EXPECT_EQ(starts, (std::vector<int>{3, 6}));
    bool called = false;
    EXPECT_EQ(replaceAll(u"xyz", u"q", [&](const JMatch&) { called = true; return std::u16string(); }), u"xyz");
    EXPECT_FALSE(called);
}

TEST(Regex, AllListsMatchesLeftToRightWithoutOverlap) {
    auto ms = rx(u"aa").all(u"aaaaa");
    ASSERT_EQ(ms.size(), 2u);
    EXPECT_EQ(ms[0].start(0), 0);
    EXPECT_EQ(ms[1].start(0), 2);
    EXPECT_TRUE(rx(u"b").all(u"aaa").empty());
}

TEST(Regex, TextHelpersCountUtf16Units) {
    std::u16string face = u"\U0001F600";
    EXPECT_EQ(jlength(face), 2);
    EXPECT_EQ(jchar(face, 0), 0xD83D);
    EXPECT_EQ(jsub(u"hello", 1, 3), u"el");
    EXPECT_EQ(jsub(u"hello", 2), u"llo");
    EXPECT_EQ(jsub(u"hello", 5), u"");
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"  a b \n", u"a b"},
        {u"\t\r\n\u0085\u2028\u2029\u3000x\u00A0", u"x"},  // U+00A0 is a space separator too
        {u"\u200Bx", u"\u200Bx"},                         // zero-width space is not white space
        {u" \U0001F600 ", face},
        {u" \n ", u""},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(trimmed(c.in)), u8(c.out)) << u8(c.in);
}

TEST(Regex, JtrimRemovesOnlyUnitsUpToSpace) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u" \t\r\n\x01" u"a b\x1F ", u"a b"},
        {u"\u00A0a\u3000", u"\u00A0a\u3000"},  // other white space stays
        {u"\u0085a", u"\u0085a"},
        {u" \n\t ", u""},
        {u"", u""},
        {u"abc", u"abc"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(jtrim(c.in)), u8(c.out)) << u8(c.in);
}

TEST(Regex, Utf8ConversionRoundTripsAndReplacesMalformedBytes) {
    EXPECT_EQ(u16("caf\xC3\xA9 \xF0\x9F\x98\x80"), u"café \U0001F600");
    EXPECT_EQ(u8(u"café \U0001F600"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(u16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(u8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Regex, CacheCompilesEachPatternOnceAcrossThreads) {
    const std::u16string pattern = u"(?i)only-compiled-once-\\d+";
    size_t before = rxCompiled();
    constexpr int kThreads = 16;
    std::latch go(kThreads);
    const Regex* got[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            go.arrive_and_wait();
            got[t] = &rx(pattern);
            EXPECT_TRUE(got[t]->whole(u"ONLY-compiled-once-42"));
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(rxCompiled() - before, 1u);
    for (int t = 1; t < kThreads; t++) EXPECT_EQ(got[t], got[0]);
    EXPECT_EQ(&rx(pattern), got[0]);
    EXPECT_EQ(rxCompiled() - before, 1u);
}

TEST(Regex, MatcherFailureOnHugeTextCountsAsNoMatch) {
    // Backtracking over millions of alternatives exhausts ICU's match stack,
    // although the pattern does match this text.
    std::u16string huge(4'000'000, u'a');
    huge += u'c';
    const Regex& r = rx(u"(?:a|b)*c");
    ASSERT_TRUE(r.whole(u"abac"));
    EXPECT_FALSE(r.find(huge));
    EXPECT_FALSE(r.whole(huge));
    EXPECT_TRUE(r.all(huge).empty());
    EXPECT_EQ(r.replaceAll(huge, u"x"), huge);
}

TEST(RegexDeathTest, BadPatternStopsTheProcessNamingIt) {
    EXPECT_DEATH(rx(u"(unclosed"), "JavaRegex: pattern \"\\(unclosed\" does not compile");
}
