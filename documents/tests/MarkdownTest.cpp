#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "ExtractMarkdown.h"
#include "Regex.h"
#include "MarkdownScan.h"
#include "ReaderTestUtil.h"

using tovan::rx;
using tovan::test::randomText;
using tovan::test::shown;

namespace {

// Each scanner against the plain regex it replaces, on random texts made of
// the characters that matter to it: markers, brackets, blanks of every kind,
// line ends (CR, LF, CRLF, VT, NEL, LS), combining marks, letters outside
// ASCII and a surrogate pair.
struct Scanner {
    const char* name;
    std::function<std::u16string(const std::u16string&)> scan;
    std::u16string pattern;
    std::u16string tmpl;
};

const std::vector<std::u16string> kTokens = {
    u"*",  u"**", u"_",  u"__", u"a",  u"b", u"w_x", u" ",      u" ",      u"\t", u"\n", u"\n", u"\r",
    u"\r\n", u"\u000B", u"\u0085", u"\u2028", u"\u00A0", u"#",  u"##", u"###", u"[",  u"]",  u"(",  u")",
    u"!",  u">",  u"-",  u"+",  u"1",  u"12", u".",     u"\u0301", u"\u00E9", u"\U0001F600", u"\u200D",
    u"`",  u"\u0663",  // an Arabic-Indic digit: "\d" is every decimal digit
};

const Scanner kScanners[] = {
    {"images", tovan::MarkdownScan::images, u"!\\[[^]]*]\\([^)]*\\)", u""},
    {"links", tovan::MarkdownScan::links, u"\\[([^]]+)]\\([^)]*\\)", u"$1"},
    {"headings", tovan::MarkdownScan::headings, u"(?m)^\\s{0,3}#{1,6}\\s*(.*?)\\s*#*$", u"\n\uE002$1.\n"},
    {"strong", tovan::MarkdownScan::strong, u"(\\*\\*|__)(\\S(?:.*?\\S)?)\\1", u"\uE000$2\uE001"},
    {"emphasis", tovan::MarkdownScan::emphasis, u"(?<![\\w*])([*_])(\\S(?:.*?\\S)?)\\1(?![\\w*])",
     u"\uE000$2\uE001"},
    {"quoteMarkers", tovan::MarkdownScan::quoteMarkers, u"(?m)^\\s*>\\s?", u""},
    {"listMarkers", tovan::MarkdownScan::listMarkers, u"(?m)^\\s*([-*+]|\\d+\\.)\\s+", u"\u2022 "},
};

}  // namespace

TEST(MarkdownScan, EachScannerEqualsItsPattern) {
    for (const Scanner& sc : kScanners) {
        std::mt19937 rng(77);
        int failures = 0;
        for (int round = 0; round < 20000 && failures < 5; ++round) {
            const std::u16string s = randomText(rng, kTokens, 24);
            const std::u16string want = rx(sc.pattern).replaceAll(s, sc.tmpl);
            const std::u16string got = sc.scan(s);
            if (got != want) {
                ++failures;
                ADD_FAILURE() << sc.name << " on \"" << shown(s) << "\"\n  regex: \"" << shown(want)
                              << "\"\n   scan: \"" << shown(got) << "\"";
            }
        }
    }
}

TEST(MarkdownToText, Examples) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"", u""},
        {u"# Title #\nText", u"\n\uE002Title.\n\nText"},
        {u"## Why?", u"\n\uE002Why?.\n"},
        {u"# See [the docs](x.html)", u"\n\uE002See the docs.\n"},
        {u"#tag line", u"\n\uE002tag line.\n"},
        {u"1. one\n2. two", u"\u2022 one\n\u2022 two"},
        {u"- a\n* b", u"\u2022 a\n\u2022 b"},
        {u"para\n\n- item", u"para\n\u2022 item"},
        {u"> quoted\n> more", u"quoted\nmore"},
        {u"para\n\n> quoted", u"para\nquoted"},
        {u"Use **bold** and *it* and _u_", u"Use \uE000bold\uE001 and \uE000it\uE001 and \uE000u\uE001"},
        {u"**not\nclosed**", u"not\nclosed"},
        {u"snake_case `code` x", u"snakecase code x"},
        {u"```\ncode\n```\nafter", u" \nafter"},
        {u"![pic](a.png) [link](b.html)", u" link"},
        {u"[]() [x]y", u"[]() [x]y"},
    };
    for (const Case& c : cases) EXPECT_EQ(tovan::Extract::markdownToText(c.in), c.out) << shown(c.in);
}
