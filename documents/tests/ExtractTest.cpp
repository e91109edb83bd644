#include <gtest/gtest.h>

#include "DocTestUtil.h"
#include "Extract.h"

namespace tovan {
namespace {

using test::utf8;

TEST(Extract, FromTextTitles) {
    // A number alone is text, not a page number, outside printed pages.
    EXPECT_EQ(Extract::fromText(u"  \n12\n").title, u"12");
    const ExtractedDoc none = Extract::fromText(u"  \n\uE000\uE001\n");
    EXPECT_EQ(none.title, u"Text");
    EXPECT_TRUE(none.paragraphs.empty());
    EXPECT_EQ(none.kind, u"text");
    EXPECT_FALSE(none.author);
    EXPECT_FALSE(none.source);

    const ExtractedDoc named = Extract::fromText(u"Hello there.\n\nMore.", u"");
    EXPECT_EQ(named.title, u"");
    EXPECT_EQ(named.paragraphs, (std::vector<std::u16string>{u"Hello there.", u"More."}));
    EXPECT_EQ(Extract::fromText(u"Hello there.").title, u"Hello there.");
}

TEST(Extract, FirstWords) {
    struct Case {
        std::u16string first, expected;
    };
    const std::u16string s48(48, u'a'), s49(49, u'a');
    const Case cases[] = {
        {s48, s48},
        {s49, std::u16string(48, u'a') + u"\u2026"},
        {u" " + std::u16string(48, u'a'), std::u16string(u" ") + std::u16string(47, u'a') + u"\u2026"},
        {u"The quick brown fox jumps over the lazy dog again and again", u"The quick brown fox jumps over the lazy dog\u2026"},
        // A blank at offset 48 is inside the window.
        {std::u16string(48, u'b') + u" tail", std::u16string(48, u'b') + u"\u2026"},
        // Cutting at 48 would split a surrogate pair.
        {std::u16string(47, u'c') + u"\U0001F600" + u"dd", std::u16string(47, u'c') + u"\u2026"},
    };
    for (const Case& c : cases) EXPECT_EQ(utf8(Extract::firstWords({c.first, u"second"})), utf8(c.expected)) << utf8(c.first);
    EXPECT_EQ(Extract::firstWords({}), u"Text");
}

TEST(Extract, DecodesEntities) {
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"a&nbsp;b", u"a b"},
        {u"&lt;b&gt; &quot;q&quot; &#39;s&apos;", u"<b> \"q\" 's'"},
        {u"&ldquo;x&rdquo; &lsquo;y&rsquo;", u"\u201Cx\u201D \u2018y\u2019"},
        {u"a&mdash;b&ndash;c&hellip;", u"a\u2014b\u2013c\u2026"},
        {u"Tom &amp; Jerry", u"Tom & Jerry"},
        {u"&amp;lt; &amp;amp;", u"&lt; &amp;"},  // an escaped name stays literal
        {u"&copy; &NBSP; &nbsp", u"&copy; &NBSP; &nbsp"},
        {u"&#65;&#x42;", u"AB"},
    };
    for (const Case& c : cases) EXPECT_EQ(utf8(Extract::decode(c.in)), utf8(c.out)) << utf8(c.in);
}

TEST(Extract, NumericEntities) {
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"&#x41;&#65;&#X41;", u"AA&#X41;"},
        {u"&#xD800;&#57343;", u"\uFFFD\uFFFD"},
        {u"&#99999999999999999999;", u" "},
        {u"&#x7FFFFFFFFFFFFFFF;", u" "},
        {u"&#x8000000000000000;", u" "},
        {u"&#1114112;", u" "},
        {u"&#x10FFFF;", u"\U0010FFFF"},
        {u"&#x1F600;", u"\U0001F600"},
        {u"&#12a;", u" "},
        {u"x&#;y&#x;", u"x&#;y&#x;"},
        {u"a&#0;b", std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(Extract::htmlNumericEntities(c.in), c.out) << utf8(c.in);
}

TEST(Extract, SharedHelpers) {
    EXPECT_EQ(Extract::clean(std::nullopt), std::nullopt);
    EXPECT_EQ(Extract::clean(u"  <b>Hi</b>\n&lt;  you "), u"Hi < you");
    EXPECT_EQ(Extract::clean(u"<p></p>"), u"");

    const std::u16string html = u"<title>Hello</title><meta name=\"x\">";
    EXPECT_EQ(Extract::first(html, u"<title>(.*?)</title>"), u"Hello");
    EXPECT_EQ(Extract::first(html, u"<h1>(.*?)</h1>"), std::nullopt);
    EXPECT_EQ(Extract::first(html, u"<title>(x)?"), std::nullopt);
    EXPECT_EQ(Extract::first(std::nullopt, u"(.)"), std::nullopt);

    EXPECT_EQ(Extract::str(std::nullopt), u"");
    EXPECT_EQ(Extract::str(std::string_view("caf\xC3\xA9")), u"caf\u00E9");
    // UTF-8 with a damaged sequence keeps its good characters.
    EXPECT_EQ(Extract::str(std::string_view("caf\xC3\xA9 na\xC3\xAFve a\xFF" "b\xC3")), u"caf\u00E9 na\u00EFve a\uFFFDb\uFFFD");
}

}  // namespace
}  // namespace tovan
