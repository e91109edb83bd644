#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Regex.h"
#include "SentenceSplit.h"
#include "Utf16.h"

namespace tovan {
namespace {

std::string utf8(std::u16string_view s) { return u8(s); }


// The splitting rule written out literally (quadratic, with copies), to check
// the linear implementation against.
namespace reference {

using TextClean::Range;
bool ws(char16_t c) { return Utf16::isWhitespace(c); }
bool mark(char16_t c) { return c == u'.' || c == u'!' || c == u'?'; }
bool closer(char16_t c) { return std::u16string_view(u".!?\"'\u201D\u2019)]").find(c) != std::u16string_view::npos; }
bool opener(char16_t c) { return std::u16string_view(u"\"'\u201C\u2018(").find(c) != std::u16string_view::npos; }

bool insideQuote(const std::u16string& t, std::int64_t from, std::int64_t to) {
    std::int64_t count = 0, curly = 0, single = 0;
    const std::int64_t n = t.size();
    for (std::int64_t i = from; i < to; ++i) {
        const char16_t c = t[i];
        const bool prev = i >= 1 && Utf16::isLetter(t[i - 1]);
        const bool next = i + 1 < n && Utf16::isLetter(t[i + 1]);
        if (c == u'\u2018') { if (!prev) ++curly; }
        else if (c == u'\u201C') ++curly;
        else if (c == u'\u2019') { if (curly > 0 && !next) --curly; }
        else if (c == u'\u201D') --curly;
        else if (c == u'"') ++count;
        else if (c == u'\'') {
            if (prev) { if (single > 0 && !next) --single; }
            else if (next) ++single;
            else if (single > 0) --single;
        }
    }
    return count % 2 != 0 || curly > 0 || single > 0;
}

Range trimmed(const std::u16string& t, std::int64_t a, std::int64_t b) {
    while (a < b && ws(t[a])) ++a;
    while (b > a && ws(t[b - 1])) --b;
    return {a, b};
}

bool abbrev(std::u16string w) {
    static const std::vector<std::u16string> list = {
        u"mr", u"mrs", u"ms", u"dr", u"prof", u"sr", u"jr", u"st", u"mt", u"vs", u"etc", u"e.g",
        u"i.e", u"fig", u"figs", u"no", u"nos", u"vol", u"vols", u"pp", u"p", u"ch", u"sec", u"ed",
        u"eds", u"inc", u"ltd", u"co", u"corp", u"dept", u"est", u"approx", u"u.s", u"u.k", u"a.m", u"p.m",
        u"jan", u"feb", u"mar", u"apr", u"jun", u"jul", u"aug", u"sep", u"sept", u"oct", u"nov", u"dec",
        u"mon", u"tue", u"wed", u"thu", u"fri", u"sat", u"sun", u"gen", u"gov", u"sen", u"rep", u"rev",
        u"capt", u"col", u"lt", u"sgt", u"ave", u"blvd", u"rd", u"al", u"cf", u"ibid", u"op", u"ca"};
    for (auto& c : w) if (c >= u'A' && c <= u'Z') c = c - u'A' + u'a';
    size_t k = 0;
    while (k < w.size() && opener(w[k])) ++k;
    w = w.substr(k);
    if (w.size() == 1 && w[0] >= u'a' && w[0] <= u'z') return true;
    for (const auto& a : list) if (a == w) return true;
    return false;
}

// "1.1." or "3." that opens its sentence (after white space, openers and the
// emphasis and heading marks) is no sentence of its own: digit groups with
// single full stops between them, or one group of at most three digits.
bool numberOpensSentence(const std::u16string& t, std::int64_t start, std::int64_t word, std::int64_t i) {
    auto lead = [](char16_t c) { return c == u'\uE000' || c == u'\uE002' || opener(c); };
    for (std::int64_t p = start; p < word; ++p)
        if (!ws(t[p]) && !lead(t[p])) return false;
    std::int64_t a = word;
    while (a < i && lead(t[a])) ++a;
    const std::u16string num = t.substr(a, i - a);
    static const std::u16string_view digits = u"0123456789";
    if (num.empty() || digits.find(num.front()) == std::u16string_view::npos ||
        digits.find(num.back()) == std::u16string_view::npos)
        return false;
    int groups = 1, run = 0, longest = 0;
    for (size_t q = 0; q < num.size(); ++q) {
        if (digits.find(num[q]) != std::u16string_view::npos) longest = std::max(longest, ++run);
        else if (num[q] == u'.' && run > 0) { run = 0; ++groups; }
        else return false;
    }
    return groups > 1 || longest <= 3;
}

std::vector<Range> splitParagraph(const std::u16string& t) {
    std::vector<Range> out;
    const std::int64_t n = t.size();
    std::int64_t start = 0, i = 0;
    while (i < n) {
        const char16_t c = t[i];
        if (!mark(c)) { ++i; continue; }
        std::int64_t j = i + 1;
        while (j < n && (closer(t[j]) || t[j] == u'\uE001')) ++j;
        if (j < n && !ws(t[j])) { ++i; continue; }
        std::int64_t k = j;
        while (k < n && ws(t[k])) ++k;
        if (insideQuote(t, start, j)) { ++i; continue; }
        std::int64_t m = k;
        while (m < n && (t[m] == u'\uE000' || t[m] == u'\uE002')) ++m;
        if (m < n) {
            const char16_t d = t[m];
            if (!(Utf16::isUpper(d) || Utf16::isDigit(d) || opener(d))) { ++i; continue; }
        }
        if (c == u'.') {
            std::int64_t p = i - 1;
            while (p >= start && !ws(t[p])) --p;
            if (abbrev(t.substr(p + 1, i - p - 1))) { ++i; continue; }
            if (numberOpensSentence(t, start, p + 1, i)) { ++i; continue; }
        }
        const Range r = trimmed(t, start, j);
        if (r.lower < r.upper) out.push_back(r);
        start = k;
        i = k;
    }
    const Range r = trimmed(t, start, n);
    if (r.lower < r.upper) out.push_back(r);
    return out;
}

void splitLong(const std::u16string& t, std::int64_t s, std::int64_t e, std::vector<Range>& out) {
    const std::u16string seps[] = {u"; ", u": ", u" \u2014 ", u", "};
    while (e - s >= 241) {
        const std::u16string w = t.substr(s, e - s);
        std::int64_t cut = -1;
        for (const auto& sep : seps) {
            const std::u16string win = w.substr(0, std::min(240 + sep.size(), w.size()));
            const size_t p = win.rfind(sep);
            if (p != std::u16string::npos && p >= 81) { cut = p + sep.size(); break; }
        }
        if (cut < 0) {
            const size_t p = w.substr(0, std::min<size_t>(241, w.size())).rfind(u' ');
            if (p == std::u16string::npos || p < 1) break;
            cut = p + 1;
        }
        const Range a = trimmed(t, s, s + cut);
        if (a.lower < a.upper) out.push_back(a);
        const Range b = trimmed(t, s + cut, e);
        s = b.lower;
        e = b.upper;
    }
    if (s < e) out.push_back({s, e});
}

std::vector<Range> spans(const std::u16string& t) {
    std::vector<Range> out;
    for (const Range& r : splitParagraph(t)) splitLong(t, r.lower, r.upper, out);
    return out;
}

}  // namespace reference

std::vector<std::u16string> split(const std::u16string& text) { return TextClean::sentences({text}); }

std::string show(const std::vector<std::u16string>& list) {
    std::string s;
    for (const auto& x : list) s += "[" + utf8(x) + "]";
    return s;
}

TEST(SentenceSplit, SplitsAtBoundariesAndNowhereElse) {
    struct Case {
        std::u16string text;
        std::vector<std::u16string> expected;
    };
    const Case cases[] = {
        {u"", {}},
        {u" \t\n\u2028 ", {}},
        {u"Dr. Smith arrived. He sat down.", {u"Dr. Smith arrived.", u"He sat down."}},
        {u"(Mr. Jones) went home.", {u"(Mr. Jones) went home."}},
        {u"“MR. Jones” and MRS. Smith left.", {u"“MR. Jones” and MRS. Smith left."}},
        {u"It cost 3.5 dollars. Then more.", {u"It cost 3.5 dollars.", u"Then more."}},
        {u"J. R. Smith wrote it.", {u"J. R. Smith wrote it."}},
        {u"I got an A. Then I left.", {u"I got an A. Then I left."}},
        {u"Go home. then eat.", {u"Go home. then eat."}},
        {u"I said no. Then I left.", {u"I said no. Then I left."}},
        {u"We watched the sun. It set.", {u"We watched the sun. It set."}},
        {u"A cat sat. It ran.", {u"A cat sat. It ran."}},  // "sat" is Saturday
        {u"I said no! Then I left.", {u"I said no!", u"Then I left."}},
        {u"Use e.g. This one.", {u"Use e.g. This one."}},
        {u"Version 2. Done.", {u"Version 2.", u"Done."}},
        {u"In 1999. 2000 came.", {u"In 1999.", u"2000 came."}},
        {u"He left. “Why?” she asked.", {u"He left.", u"“Why?” she asked."}},
        {u"He left. (Quietly.) Then.", {u"He left.", u"(Quietly.)", u"Then."}},
        {u"Wait... What?", {u"Wait...", u"What?"}},
        {u"Really?! Yes.", {u"Really?!", u"Yes."}},
        {u"end.Next one.", {u"end.Next one."}},
        // A quotation keeps its inner marks; the closing quote goes with the mark.
        {u"He said “Stop. Now.” Then he left.", {u"He said “Stop. Now.”", u"Then he left."}},
        {u"He said \"Stop. Now.\" Then he left.", {u"He said \"Stop. Now.\"", u"Then he left."}},
        {u"'Stop. Now.' Then he left.", {u"'Stop. Now.'", u"Then he left."}},
        // Apostrophes inside words open nothing.
        {u"Don’t stop. Go on.", {u"Don’t stop.", u"Go on."}},
        {u"It's late. We're done.", {u"It's late.", u"We're done."}},
        {u"The dogs' bowls. Then.", {u"The dogs' bowls.", u"Then."}},
        // White space is Java's: the no-break space is not, the line separator is.
        {u"One.  \t Two.", {u"One.", u"Two."}},
        {u"One.\u00A0Two.", {u"One.\u00A0Two."}},
        {u"One.\u2028Two.", {u"One.", u"Two."}},
        // A surrogate half is no capital: an emoji after the mark is no start.
        {u"Look. \U0001F600 Wow.", {u"Look. \U0001F600 Wow."}},
        {u"Look \U0001F600. Wow.", {u"Look \U0001F600.", u"Wow."}},
        // Narration marks: off stays with the sentence, on/head begin the next.
        {u"Ends here.\uE001 Next one.", {u"Ends here.\uE001", u"Next one."}},
        {u"Ends here. \uE002Chapter Two", {u"Ends here.", u"\uE002Chapter Two"}},
        {u"Stop. \uE000Now\uE001 go.", {u"Stop.", u"\uE000Now\uE001 go."}},
        {u"Stop. \uE000now go.", {u"Stop. \uE000now go."}},
        {u"  Lead and trail.  ", {u"Lead and trail."}},
        // A section or list number that opens its sentence is read with it.
        {u"\uE0021.1. Introduction", {u"\uE0021.1. Introduction"}},
        {u"1.1. Introduction. Then more.", {u"1.1. Introduction.", u"Then more."}},
        {u"Done. 2. Next step.", {u"Done.", u"2. Next step."}},
        {u"(12.) Twelve.", {u"(12.) Twelve."}},
        {u"See 1.1. Then go.", {u"See 1.1.", u"Then go."}},
        {u"1999. A year.", {u"1999.", u"A year."}},
        {u"1..2. Odd.", {u"1..2.", u"Odd."}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(show(split(c.text)), show(c.expected)) << "text: " << utf8(c.text);
    }
}

TEST(SentenceSplit, CutsLongSentencesAtSeparatorsThenBlanks) {
    auto words = [](size_t n) {  // n units of "xxxx xxxx ..." with no separator
        std::u16string s;
        while (s.size() < n) s += (s.size() % 5 == 4) ? u' ' : u'x';
        if (s.back() == u' ') s.back() = u'x';
        return s;
    };
    {
        const std::u16string s = words(240);
        EXPECT_EQ(TextClean::spans(s), (std::vector<TextClean::Range>{{0, 240}}));
    }
    {
        std::u16string s = u"a " + std::u16string(239, u'b');
        ASSERT_EQ(s.size(), 241u);
        EXPECT_EQ(TextClean::spans(s), (std::vector<TextClean::Range>{{0, 1}, {2, 241}}));
    }
    {
        // Preference order beats position: "; " at 150 wins over ", " at 200.
        std::u16string s = words(500);
        s.replace(150, 2, u"; ");
        s.replace(200, 2, u", ");
        const auto r = TextClean::spans(s);
        ASSERT_GE(r.size(), 2u);
        EXPECT_EQ(r[0], (TextClean::Range{0, 151}));
        EXPECT_EQ(s[150], u';');
        EXPECT_EQ(r[1].lower, 152);
    }
    {
        // A separator before offset 81 does not count: the last blank does.
        std::u16string s = words(500);
        s.replace(50, 2, u", ");
        const auto r = TextClean::spans(s);
        ASSERT_GE(r.size(), 2u);
        const size_t lastBlank = s.substr(0, 241).rfind(u' ');
        EXPECT_EQ(r[0], (TextClean::Range{0, static_cast<std::int64_t>(lastBlank)}));
    }
    {
        std::u16string s = words(400);
        s.replace(120, 3, u" \u2014 ");
        const auto r = TextClean::spans(s);
        ASSERT_GE(r.size(), 2u);
        EXPECT_EQ(r[0], (TextClean::Range{0, 122}));
        EXPECT_EQ(s[121], u'\u2014');
    }
    {
        const std::u16string s(300, u'z');
        EXPECT_EQ(TextClean::spans(s), (std::vector<TextClean::Range>{{0, 300}}));
    }
    {
        // Every piece of a long run of words stays within the window.
        const std::u16string s = words(10000);
        const auto r = TextClean::spans(s);
        std::int64_t covered = 0;
        for (const auto& x : r) {
            EXPECT_LE(x.upper - x.lower, 242);
            covered += x.upper - x.lower;
        }
        EXPECT_GT(covered, 9000);
    }
}

// Random paragraphs over the units the rules look at: every range is
// non-empty, in order, not overlapping, and never starts or ends in white
// space; a paragraph of white space gives nothing.
TEST(SentenceSplit, RangesAreOrderedTrimmedAndNonEmpty) {
    const std::u16string alphabet = u"aZ7 .!?\"'“”‘’()[]\t\n\u00A0\uE000\uE001\uE002,;:—Drno. . ";
    std::mt19937 rng(14);
    for (int round = 0; round < 3000; ++round) {
        std::u16string s;
        const int len = static_cast<int>(rng() % (round % 2 ? 1500 : 600));
        for (int i = 0; i < len; ++i) {
            if (round % 2 && rng() % 10 < 8) {
                s += (rng() % 6 == 0) ? u' ' : u'x';  // long sentences for the cutting rule
            } else if (rng() % 40 == 0) {
                s += u"\U0001F600";
            } else {
                s += alphabet[rng() % alphabet.size()];
            }
        }
        const auto r = TextClean::spans(s);
        ASSERT_EQ(r, reference::spans(s)) << utf8(s);
        std::int64_t last = 0;
        for (const auto& x : r) {
            ASSERT_LT(x.lower, x.upper) << utf8(s);
            ASSERT_GE(x.lower, last) << utf8(s);
            ASSERT_LE(x.upper, static_cast<std::int64_t>(s.size()));
            ASSERT_FALSE(Utf16::isWhitespace(s[x.lower])) << utf8(s);
            ASSERT_FALSE(Utf16::isWhitespace(s[x.upper - 1])) << utf8(s);
            last = x.upper;
        }
        bool blank = true;
        for (char16_t c : s) blank = blank && Utf16::isWhitespace(c);
        EXPECT_EQ(r.empty(), blank) << utf8(s);
    }
}

TEST(SentenceSplit, SentencesConcatenatesParagraphsInOrder) {
    EXPECT_TRUE(TextClean::sentences({}).empty());
    EXPECT_EQ(show(TextClean::sentences({u"Ab cd. Ef gh.", u"", u"Ij kl."})), show({u"Ab cd.", u"Ef gh.", u"Ij kl."}));
}

}  // namespace
}  // namespace tovan
