// The passes spare scans that cannot match: they run some expressions only
// on the words or windows that could hold a match, and a few in a faster
// form with the same matches. Each shortcut must give exactly what the plain
// scan over the whole text gives.
#include "SpokenPasses.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace tovan;

namespace {

std::u16string_view findPattern(const std::vector<std::u16string_view>& list, std::u16string_view start) {
    for (std::u16string_view p : list) {
        if (p.substr(0, start.size()) == start) return p;
    }
    ADD_FAILURE() << "no pattern starts with " << u8(start);
    return u"x";
}

// Texts made of words that the shortcuts look for, near misses, case and
// script variants and every kind of white space, joined at random.
std::vector<std::u16string> corpus(int count, const std::vector<std::u16string_view>& extra = {}) {
    static const std::u16string_view common[] = {
        u"code", u"Code", u"CODE", u"codes", u"otp", u"PIN", u"pin:", u"#", u"no.", u"No", u"number", u"is",
        u"was", u"ending in", u"ends in", u"id", u"said", u"ID", u"a/c", u"ref", u"reference", u"1234", u"12",
        u"5", u"1-2-3", u"2024-25", u"\u0663\u0664\u0665\u0666", u"9876543", u"chapter", u"Chapter", u"ch.",
        u"vol.", u"Vol", u"volume", u"part", u"parts", u"fact", u"iv", u"IV", u"i", u"I", u"xii", u"mix", u"dim",
        u"world war", u"II", u"'s", u"\u2019", u"jane.doe", u"@", u"@jane_doe", u"x@y.com", u"me@home",
        u"www.", u"example.com", u"my-site.io", u"a.b.c", u"#tag", u"&#39", u"_", u"Maple", u"St", u"St.",
        u"Ave", u"Rd", u"Blvd", u"NewPort", u"Ox", u",", u";", u"\n", u".", u"A4", u"F-16", u"Q3", u"x",
        u"\u00E9", u"\uFB01", u"\u0301", u"\u212A", u"\u017F", u"\U0001D7CE", u"\u2014", u"(", u")", u"-"};
    static const std::u16string_view gaps[] = {u" ", u" ", u" ", u"", u"  ", u"\t", u"\u00A0", u"\u2028", u"\n"};
    std::vector<std::u16string_view> words(std::begin(common), std::end(common));
    words.insert(words.end(), extra.begin(), extra.end());
    std::mt19937 gen(20240605);
    std::uniform_int_distribution<size_t> word(0, words.size() - 1), gap(0, std::size(gaps) - 1),
        length(1, 14);
    std::vector<std::u16string> out;
    for (int i = 0; i < count; i++) {
        std::u16string t;
        for (size_t n = length(gen); n > 0; n--) {
            t += words[word(gen)];
            t += gaps[gap(gen)];
        }
        out.push_back(t);
    }
    return out;
}

std::u16string mark(const JMatch& m) {
    return u'<' + *m.group(0) + u'>';
}

}  // namespace

TEST(SpokenShortcuts, PiecesBetweenWhiteSpaceFindWhatTheWholeTextHolds) {
    const auto links = Spoken::detail::linkPatterns();
    struct Rule {
        std::u16string_view pattern, needs;
    } rules[] = {
        {findPattern(links, uR"((?i)\b([a-z0-9._%+-]+)@)"), u"@"},
        {findPattern(links, uR"((?i)\b([a-z0-9-]{2,})"), u"."},
        {findPattern(links, uR"((?<![\w@])@)"), u"@"},
        {findPattern(links, uR"((?<![\w#&])#)"), u"#"},
    };
    int matched = 0;
    for (const std::u16string& t : corpus(3000)) {
        for (const Rule& r : rules) {
            std::u16string plain = rx(r.pattern).replaceAll(t, mark);
            EXPECT_EQ(u8(Spoken::detail::replaceInPieces(t, rx(r.pattern), r.needs, mark)), u8(plain))
                << u8(r.pattern) << " in " << u8(t);
            matched += plain != t;
        }
    }
    EXPECT_GT(matched, 100);  // the corpus does hold matches
}

TEST(SpokenShortcuts, KeywordWindowsFindWhatTheWholeTextHolds) {
    struct Rule {
        std::u16string_view pattern;
        std::optional<std::vector<Spoken::detail::Window>> (*windows)(const std::u16string&);
    } rules[] = {
        {Spoken::CODE, Spoken::detail::codeWindows},
        {findPattern(Spoken::detail::romanPatterns(), uR"((?i)\b(chapter)"), Spoken::detail::headingWindows},
    };
    int matched = 0, bailed = 0;
    for (const std::u16string& t : corpus(3000)) {
        for (const Rule& r : rules) {
            std::u16string plain = rx(r.pattern).replaceAll(t, mark);
            auto windows = r.windows(t);
            if (!windows) {
                bailed++;  // a letter outside ASCII: the plain scan runs
                continue;
            }
            std::u16string fast =
                Spoken::detail::replaceInWindows(t, rx(r.pattern), *windows, [](const JMatch& m, size_t) { return mark(m); });
            EXPECT_EQ(u8(fast), u8(plain)) << u8(r.pattern) << " in " << u8(t);
            matched += plain != t;
        }
    }
    EXPECT_GT(matched, 100);
    EXPECT_GT(bailed, 100);
}

TEST(SpokenShortcuts, FasterFormsMatchWhatThePlainFormsMatch) {
    struct Pair {
        std::u16string_view plain, plainTemplate, fast, fastTemplate;
    } pairs[] = {
        {uR"((?<=\b[A-Z][a-z]{2,20}) (St|Ave|Rd|Blvd|Ln)(\.?)(?=\s*(?:$|[,;\n])))", u" $1@@$2",
         findPattern(Spoken::detail::symbolPatterns(), u" (?=St"), u" $1@@$2"},
        {uR"((?<=[A-Za-z])(?=\d)|(?<=\d)(?=[A-Za-z]))", u" ",
         findPattern(Spoken::detail::numberPatterns(), u"[A-Za-z](?=\\d)"), u"$0 "},
    };
    for (const std::u16string& t : corpus(3000)) {
        for (const Pair& p : pairs) {
            EXPECT_EQ(u8(rx(p.fast).replaceAll(t, p.fastTemplate)), u8(rx(p.plain).replaceAll(t, p.plainTemplate)))
                << u8(p.fast) << " in " << u8(t);
        }
    }
}

// A screen may say "maybe" for a text without a match, never "no" for a text
// with one. (For equations: with one that holds an operator sign.)
TEST(SpokenShortcuts, ScreensPassEveryTextWithAMatch) {
    const std::vector<std::u16string_view> words = {
        u"$HOME", u"${X_Y}", u"$_a", u"$5", u"$", u"{", u"5", u"12", u"\u0663", u"\U0001D7CE", u"s", u"747s", u"3s",
        u"0s", u"A380s", u"million", u"Thousand", u"trillion", u"km", u"kg", u"GB", u"%", u"1-2", u"=", u"+", u"-",
        u"*", u"^", u"\u2264", u"/", u"dollars/mo", u"dollars", u"euro", u"mo", u"yr", u"day", u"example.com/a",
        u"x.io/", u"ex.co\u212A/", u"ex.u\u017F/", u"a.b/", u".com", u"com/", u"5 million km", u"2 Thousand GB",
        u"3 billion", u"million mi", u"1-2=5", u"3 = -4", u"7*2", u"2^8-1", u"6/3=2", u"1+1", u"4\u2264"};
    const auto links = Spoken::detail::linkPatterns();
    const auto numbers = Spoken::detail::numberPatterns();
    const auto amounts = Spoken::detail::amountPatterns();
    struct Screen {
        std::u16string_view pattern;
        std::function<bool(const std::u16string&)> maybe;
        bool operatorOnly;
    } screens[] = {
        {findPattern(links, uR"((?i)(?<![\w@./-]))"), Spoken::detail::maybeDomainPath, false},
        {findPattern(links, uR"((?<![\w$])\$)"), Spoken::detail::maybeVariable, false},
        {findPattern(numbers, u"[1-9](?<!"), Spoken::detail::maybeNumberPlural, false},
        {findPattern(numbers, uR"(\d(?<![\w.,/:-]\d))"), Spoken::detail::maybeEquation, true},
        {Spoken::SCALED_UNIT(), Spoken::detail::maybeScaledUnit, false},
        {findPattern(amounts, u"/(?<="), Spoken::detail::maybeRate, false},
    };
    std::vector<int> found(std::size(screens), 0);
    for (const std::u16string& t : corpus(4000, words)) {
        for (size_t k = 0; k < std::size(screens); k++) {
            const Screen& s = screens[k];
            bool match = false;
            int from = 0;
            while (auto m = rx(s.pattern).find(t, from)) {
                if (!s.operatorOnly || m->group(0)->find_first_of(u"+=\u00F7^\u00D7*<>\u2264\u2265\u2260\u2248") != std::u16string::npos) {
                    match = true;
                    break;
                }
                from = std::max(m->end(0), m->start(0) + 1);
            }
            if (match) {
                found[k]++;
                EXPECT_TRUE(s.maybe(t)) << u8(s.pattern) << " in " << u8(t);
            }
        }
    }
    for (size_t k = 0; k < std::size(screens); k++) EXPECT_GT(found[k], 20) << u8(screens[k].pattern);
}
