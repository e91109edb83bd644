#include "HtmlScan.h"

#include <random>

#include <gtest/gtest.h>

#include "Regex.h"
#include "ReaderTestUtil.h"

using tovan::rx;
using tovan::HtmlScan::ElementPattern;
using tovan::HtmlScan::TagPattern;
using tovan::HtmlScan::TagScope;
using tovan::test::randomText;
using tovan::test::shown;

namespace {

// Tag soup: openings with and without their closings, in both cases, names
// that only begin like others, unterminated '<', stray '>', combining marks
// and format characters after names, a long s that folds to 's'. No quoted
// value holds a '>' (there the scanners end the tag on purpose).
const std::vector<std::u16string> kTokens = {
    u"<p>", u"</p>", u"<P class=\"x\">", u"<p", u"<pre>", u"<p\u0301>", u"<p\u00E9>", u"<p\u200B>", u"<li>",
    u"</li>", u"</LI>", u"<dt>", u"</dd>", u"<dd>", u"<tr>", u"</tr>", u"<TR valign=\"top\">", u"<script>",
    u"</script>", u"<\u017Fcript>", u"<sup>", u"</sup>", u"<head>", u"<header>", u"</head>", u"</header>",
    u"<nav", u"</nav>", u"<a href=\"#x\">", u"<a href=\"y.html\">", u"<A HREF=\"#p5\" class=\"c\">", u"</a>",
    u"</A>", u"5", u"xii.", u"page 5", u"<span id=\"img_1\">", u"<span class=\"pageno\">", u"<span>",
    u"</span>", u"<img alt=\"T\">", u"<img src=\"x\">", u"<b>", u"</b>", u"<", u">", u"x", u"ab", u" ",
    u"\n", u"&nbsp;", u".", u"<article>", u"</article>", u"<title>", u"</title>", u"<titlex>",
    u"<item id=\"a\" href=\"b\"/>", u"<itemref idref=\"a\"/>", u"<itemref linear=\"no\">",
    u"<meta property=\"og:title\" content=\"T\">", u"<meta name=\"x\">", u"'", u"<dc:title>", u"</dc:title>",
};

struct Case {
    const char* name;
    ElementPattern pattern;
    std::u16string regex;
};

}  // namespace

TEST(HtmlScan, ElementsEqualTheirPatterns) {
    const Case cases[] = {
        {"dropped",
         {{u"script", u"style", u"noscript", u"svg", u"head", u"nav", u"header", u"footer", u"aside", u"form",
           u"figure", u"sup"},
          true,
          false},
         u"(?is)<(script|style|noscript|svg|head|nav|header|footer|aside|form|figure|sup)\\b.*?</\\1>"},
        {"rows", {{u"tr"}}, u"(?is)<tr\\b[^>]*>.*?</tr>"},
        {"entries", {{u"p", u"li", u"dt", u"dd"}}, u"(?is)<(p|li|dt|dd)\\b[^>]*>(.*?)</\\1>"},
        {"image spans",
         {{u"span"}, true, true, true, &rx(u"(?is)<span\\b[^>]*\\bid=\"img_[^\"]*\"[^>]*>")},
         u"(?is)<span\\b[^>]*\\bid=\"img_[^\"]*\"[^>]*>(.*?)</span>"},
        {"page numbers",
         {{u"span"}, true, true, true, &rx(u"(?is)<span\\b[^>]*class=\"[^\"]*pageno[^\"]*\"[^>]*>")},
         u"(?is)<span\\b[^>]*class=\"[^\"]*pageno[^\"]*\"[^>]*>.*?</span>"},
        {"in-document links",
         {{u"a"}, true, true, true, &rx(u"(?is)<a\\b[^>]*href=\"[^\"]*#[^\"]*\"[^>]*>")},
         u"(?is)<a\\b[^>]*href=\"[^\"]*#[^\"]*\"[^>]*>.*?</a>"},
        {"title", {{u"title"}, false}, u"(?is)<title[^>]*>(.*?)</title>"},
        {"dc:title", {{u"dc:title"}, false, true, false}, u"<dc:title[^>]*>([\\s\\S]*?)</dc:title>"},
        {"article", {{u"article"}}, u"(?is)<article\\b[^>]*>(.*?)</article>"},
    };
    for (const Case& c : cases) {
        std::mt19937 rng(5);
        int failures = 0;
        for (int round = 0; round < 20000 && failures < 5; ++round) {
            const std::u16string s = randomText(rng, kTokens, 16);
            std::vector<std::pair<int, int>> want, got;
            for (const auto& m : rx(c.regex).all(s)) want.emplace_back(m.start(0), m.end(0));
            for (const auto& e : tovan::HtmlScan::elements(s, c.pattern)) got.emplace_back(e.start, e.end);
            if (got != want) {
                ++failures;
                ADD_FAILURE() << c.name << " on \"" << shown(s) << "\": " << want.size() << " matches by regex, "
                              << got.size() << " by the scanner";
            }
        }
    }
}

TEST(HtmlScan, ReplaceTagsEqualsPlainReplace) {
    const std::u16string patterns[] = {
        u"(?s)<[^>]*>",
        u"(?i)<(em|i|strong|b)\\b[^>]*>",
        u"(?is)<img\\b[^>]*>",
        u"(?i)</?(p|div|h[1-6]|li|tr)\\b[^>]*>",
    };
    for (const auto& pattern : patterns) {
        std::mt19937 rng(9);
        for (int round = 0; round < 5000; ++round) {
            const std::u16string s = randomText(rng, kTokens, 16);
            ASSERT_EQ(tovan::HtmlScan::replaceTags(s, pattern, u"[$0]"), rx(pattern).replaceAll(s, u"[$0]"))
                << shown(s);
        }
    }
}

TEST(HtmlScan, TagMatchesEqualTheirPatterns) {
    struct TagCase {
        const char* name;
        TagPattern pattern;
    } cases[] = {
        {"item", {rx(u"<item\\b[^>]*>"), u"item", false, true}},
        {"itemref", {rx(u"<itemref\\b[^>]*idref=\"([^\"]+)\""), u"itemref", false, true, TagScope::quotedValue}},
        {"og:title",
         {rx(u"(?is)<meta[^>]+property=[\"']og:title[\"'][^>]+content=[\"']([^\"']+)"), u"meta", true, false,
          TagScope::quotedValue}},
    };
    for (const TagCase& c : cases) {
        std::mt19937 rng(11);
        int failures = 0;
        for (int round = 0; round < 20000 && failures < 5; ++round) {
            const std::u16string s = randomText(rng, kTokens, 16);
            std::vector<std::pair<int, std::u16string>> want, got;
            for (const auto& m : c.pattern.re.all(s)) want.emplace_back(m.start(0), m.group(m.rangeCount() - 1).value_or(u"-"));
            for (const auto& m : tovan::HtmlScan::tagMatches(s, c.pattern))
                got.emplace_back(m.start, m.groups.back().value_or(u"-"));
            if (got != want) {
                ++failures;
                ADD_FAILURE() << c.name << " on \"" << shown(s) << "\": " << want.size() << " matches by regex, "
                              << got.size() << " by the scanner";
            }
        }
    }
}

TEST(HtmlScan, WordBoundaryFollowsIcu) {
    struct Case {
        std::u16string after;
        bool boundary;
    } cases[] = {
        {u">", true}, {u"", true}, {u" ", true}, {u"\u00A0", true}, {u"-", true},
        {u"a", false}, {u"1", false}, {u"_", false}, {u"\u00E9", false},
        {u"\u0301", false},  // ICU looks through a combining mark
        {u"\u200B", false},  // and through a format character
        {u"\U0001D7CE", false},  // a mathematical digit, outside the BMP
    };
    for (const Case& c : cases) {
        const std::u16string s = u"<p" + c.after;
        EXPECT_EQ(tovan::HtmlScan::boundaryAfterWord(s, 2), c.boundary) << shown(s);
        EXPECT_EQ(rx(u"<p\\b").atStart(s).has_value(), c.boundary) << shown(s);
    }
}
