#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "Extract.h"
#include "ExtractHtml.h"
#include "Regex.h"
#include "ReaderTestUtil.h"
#include "Utf16.h"

using tovan::replaceAll;
using tovan::rx;
using tovan::Extract::contentsRemoved;
using tovan::Extract::htmlToText;
using tovan::test::randomText;
using tovan::test::shown;

namespace {

// The conversion written as the plain chain of regex rewrites: slow on
// unclosed tags, but the reference the fast one has to agree with.
std::u16string naiveContentsRemoved(const std::u16string& html) {
    const std::u16string pageLink =
        u"(?is)<a\\b[^>]*href=\"[^\"]*#[^\"]*\"[^>]*>\\s*(?:page\\s*)?[0-9ivxlcdmIVXLCDM]{1,8}\\.?\\s*</a>";
    const std::u16string link = u"(?is)<a\\b[^>]*href=\"[^\"]*#[^\"]*\"[^>]*>.*?</a>";
    std::u16string s = rx(u"(?is)<tr\\b[^>]*>.*?</tr>").replaceAll(html, [&](const tovan::JMatch& m) {
        const std::u16string row = *m.group(0);
        return rx(pageLink).find(row) ? std::u16string() : row;
    });
    return rx(u"(?is)<(p|li|dt|dd)\\b[^>]*>(.*?)</\\1>").replaceAll(s, [&](const tovan::JMatch& m) {
        const std::u16string inner = m.group(2).value_or(u"");
        if (!rx(link).find(inner)) return *m.group(0);
        std::u16string rest = replaceAll(inner, link, u"");
        rest = replaceAll(rest, u"<[^>]*>", u"");
        rest = replaceAll(rest, u"&[a-z]+;|[\\s.,:;\u2014\u2013-]", u"");
        return rest.size() < 3 ? std::u16string() : *m.group(0);
    });
}

std::u16string naiveHtmlToText(const std::u16string& html) {
    std::u16string s = replaceAll(
        html, u"(?is)<(script|style|noscript|svg|head|nav|header|footer|aside|form|figure|sup)\\b.*?</\\1>", u" ");
    s = naiveContentsRemoved(s);
    s = replaceAll(s, u"(?is)<img\\b[^>]*\\balt=\"([A-Za-z])\"[^>]*>", u"$1");
    s = replaceAll(s, u"(?is)<img\\b[^>]*>", u"");
    s = rx(u"(?is)<span\\b[^>]*\\bid=\"img_[^\"]*\"[^>]*>(.*?)</span>").replaceAll(s, [](const tovan::JMatch& m) {
        std::u16string t = tovan::Utf16::trim(m.group(1).value_or(u""));
        return t.size() == 1 ? t : std::u16string();
    });
    s = replaceAll(s, u"(?is)<span\\b[^>]*class=\"[^\"]*pageno[^\"]*\"[^>]*>.*?</span>", u"");
    s = replaceAll(s, u"(?i)<br\\s*/?>", u"\n");
    s = replaceAll(s, u"(?i)<(em|i|strong|b)\\b[^>]*>", u"\uE000");
    s = replaceAll(s, u"(?i)</(em|i|strong|b)\\s*>", u"\uE001");
    s = replaceAll(s, u"(?i)<h[1-6]\\b[^>]*>", u"\n\n\uE002");
    s = replaceAll(s,
                   u"(?i)</?(p|div|h[1-6]|li|blockquote|section|article|tr|dt|dd|pre|title|table|ul|ol|dl|hr|"
                   u"caption|figcaption|center|body)\\b[^>]*>",
                   u"\n\n");
    s = replaceAll(s, u"(?i)</?(td|th)\\b[^>]*>", u" ");
    s = replaceAll(s, u"(?s)<[^>]*>", u"");
    s = tovan::Extract::decode(s);
    s = replaceAll(s, u"[ \\t]+", u" ");
    s = replaceAll(s, u"\\n[ \\t]+", u"\n");
    s = replaceAll(s, u"\\n{3,}", u"\n\n");
    s = replaceAll(s, u"\uE002[ \\t]*\\n?[ \\t]*(?=\\S)", u"\uE002");
    return replaceAll(s, u"(?m)^([\u201C\"\u2018']?[A-Z])[ \\t]*\\n+[ \\t]*(?=[a-z])", u"$1");
}

const std::vector<std::u16string> kSoup = {
    u"<p>", u"</p>", u"<P class=\"toc\">", u"<p", u"<li>", u"</li>", u"<dt>", u"</dd>", u"<tr>", u"</tr>",
    u"<td>", u"</th>", u"<script>", u"</script>", u"<sup>", u"</sup>", u"<nav>", u"</nav>", u"<head>",
    u"<header>", u"</head>", u"<a href=\"#c1\">", u"<a href=\"b.html\">", u"<A HREF=\"#p5\">", u"</a>", u"5",
    u"xii.", u"page 5", u"Chapter", u"<span id=\"img_1\">", u"<span class=\"pageno\">", u"<span>", u"</span>",
    u"<img alt=\"T\"/>", u"<img src=\"x.png\">", u"<b>", u"</b>", u"<em class=\"x\">", u"</EM >", u"<br/>",
    u"<BR>", u"<h2>", u"</h2>", u"<div>", u"<", u">", u"T", u"he night", u"x", u" ", u"  ", u"\t", u"\n",
    u"\n\n\n", u"\r", u"&nbsp;", u"&lt;b&gt;", u"&#160;", u"&mdash;", u"&#x41;", u".", u",", u"\u201C",
    u"\u00E9", u"\U0001F600", u"<title>", u"</title>", u"<article>",
};

}  // namespace

TEST(HtmlToText, Examples) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"", u""},
        {u"<p>One<br/>two</p>", u"\n\nOne\ntwo\n\n"},
        {u"<h2 class=\"x\">Title</h2><p>Body</p>", u"\n\n\uE002Title\n\nBody\n\n"},
        // A heading is not indented by the blanks and line break after its tag.
        {u"<h2>\n   Chapter One\n</h2><p>Body</p>", u"\n\n\uE002Chapter One\n\nBody\n\n"},
        {u"<h1> <span>1.</span> About</h1>", u"\n\n\uE0021. About\n\n"},
        {u"<h3></h3>\n\n<p>Body</p>", u"\n\n\uE002\n\nBody\n\n"},
        {u"<p>Some <em>very</em> <B>bold</B> text</p>", u"\n\nSome \uE000very\uE001 \uE000bold\uE001 text\n\n"},
        {u"a<script>x</script>b", u"a b"},
        {u"word<sup>12</sup> more", u"word more"},
        {u"Page<span class=\"pageno\">17</span> on", u"Page on"},
        {u"<table><tr><td>1</td><td><a href=\"#p5\">5</a></td></tr><tr><td>Cell</td><td>two</td></tr></table>",
         u"\n\nCell two \n\n"},
        {u"<tr><td><a href=\"#x\">page 5</a></td></tr><tr><td><a href=\"#y\">xii.</a></td></tr>ok", u"ok"},
        {u"<p class=\"toc\"><a href=\"#ch1\">Chapter One</a></p>", u""},
        {u"<p>See <a href=\"#note1\">note 1</a> below.</p>", u"\n\nSee note 1 below.\n\n"},
        {u"<p><a href=\"#n\">n</a>&#160;</p>", u"\n\nn\u00A0\n\n"},  // the reference counts with its characters
        {u"<p><a href=\"other.html\">Other</a></p>", u"\n\nOther\n\n"},
        {u"<p><a href='#c'>Single quotes</a></p>", u"\n\nSingle quotes\n\n"},
        {u"<p><img src=\"t.png\" alt=\"T\"/>he night</p>", u"\n\nThe night\n\n"},
        {u"<p><img alt='T'/>he night</p>", u"\n\nhe night\n\n"},
        {u"<div class=\"dropcap\">T</div><p>he night</p>", u"\n\nThe night\n\n"},
        {u"<span id=\"img_3\"><img alt=\"W\"/></span>hen", u"When"},
        {u"<span id=\"img_3\">Wh</span>en", u"en"},
        {u"&lt;b&gt;", u"<b>"},
        {u"<p>line one\n   line two\n\n\n\nnext</p>", u"\n\nline one\nline two\n\nnext\n\n"},
        {u"a\r\n\r\n\r\nb", u"a\r\n\r\n\r\nb"},
        // Unclosed: an element of the dropped kinds without its closing tag
        // is read; one whose closing tag comes later takes all up to it.
        {u"<script>kept", u"kept"},
        {u"<nav>a<p>b</p></nav>c", u" c"},
    };
    for (const Case& c : cases) EXPECT_EQ(htmlToText(c.in), c.out) << shown(c.in);
}

TEST(HtmlToText, AgreesWithThePlainPatternsOnTagSoup) {
    std::mt19937 rng(21);
    int failures = 0;
    for (int round = 0; round < 6000 && failures < 5; ++round) {
        const std::u16string s = randomText(rng, kSoup, 20);
        const std::u16string want = naiveHtmlToText(s), got = htmlToText(s);
        if (got != want) {
            ++failures;
            ADD_FAILURE() << "on \"" << shown(s) << "\"\n  plain: \"" << shown(want) << "\"\n   fast: \"" << shown(got)
                          << "\"";
        }
    }
    EXPECT_EQ(contentsRemoved(u"<li><a href=\"#a\">A</a>, <a href=\"#b\">B</a></li><p>x</p>"), u"<p>x</p>");
}

// Documentation pages shipped by the machine's packages: the fast
// conversion gives what the plain patterns give, and no markup is left.
TEST(HtmlToText, DocumentationPagesOfThisMachine) {
    std::vector<std::filesystem::path> pages;
    for (const char* dir : {"/usr/share/doc/base-passwd", "/usr/share/doc/libffi8/html", "/usr/share/doc/live-manual"}) {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().extension() == ".html" && pages.size() < 12) pages.push_back(it->path());
        }
    }
    if (pages.empty()) GTEST_SKIP() << "no HTML documentation installed";
    for (const auto& page : pages) {
        const std::u16string html = tovan::u16(tovan::test::readFile(page.string()));
        const std::u16string text = htmlToText(html);
        EXPECT_EQ(text, naiveHtmlToText(html)) << page;
        // Literal "<stdio.h>" written as "&lt;stdio.h&gt;" stays; markup does not.
        EXPECT_FALSE(rx(u"(?i)</?(html|body|p|div|a|span|pre|code|li|ul|ol|table|tr|td|h[1-6]|dl|dt|dd)\\b[^>]*>")
                         .find(text))
            << page;
        EXPECT_GT(tovan::Utf16::trim(text).size(), 20u) << page;
    }
}

// Soundness, not speed (the bench times it): a megabyte of unclosed
// paragraphs and rows converts, and none of their text is lost.
TEST(HtmlToText, UnclosedTagsKeepTheirText) {
    std::u16string html = u"<html><body>";
    for (int i = 0; i < 10000; ++i) html += i % 2 ? u"<p>paragraph text that never closes " : u"<tr><td>cell ";
    html += u"<script>never closed";
    const std::u16string text = htmlToText(html);
    EXPECT_NE(text.find(u"paragraph text that never closes"), std::u16string::npos);
    EXPECT_NE(text.find(u"never closed"), std::u16string::npos);
    EXPECT_EQ(text.find(u'<'), std::u16string::npos);
}
