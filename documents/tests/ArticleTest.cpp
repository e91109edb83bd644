#include "Article.h"

#include <gtest/gtest.h>

#include "ReaderTestUtil.h"

using tovan::Article;
using tovan::test::shown;

namespace {

std::u16string words(size_t units, char16_t fill = u'w') {
    std::u16string s;
    while (s.size() < units) s += (s.size() % 10 == 4) ? u' ' : fill;
    if (!s.empty()) s.back() = fill;  // no blank at the end, which cleaning would trim
    return s;
}

std::u16string para(const std::u16string& text) { return u"<p>" + text + u"</p>"; }

}  // namespace

TEST(Article, IsLink) {
    struct Case {
        std::u16string text;
        bool link;
    } cases[] = {
        {u"https://example.org/a", true},
        {u"  http://example.org/a \n", true},
        {u"HTTPS://EXAMPLE.ORG", false},
        {u"see " + std::u16string(94, u'x') + u" https://e.org", true},   // 99 other units
        {u"see " + std::u16string(95, u'x') + u" https://e.org", false},  // 100
        {u"no link here", false},
        {u"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(Article::isLink(c.text), c.link) << shown(c.text);
}

TEST(Article, Link) {
    struct Case {
        std::u16string text;
        std::optional<std::u16string> link;
    } cases[] = {
        {u"http://example.org/a", u"https://example.org/a"},
        {u"Read https://example.org/a.", u"https://example.org/a."},
        {u"(https://example.org/x)", u"https://example.org/x)"},
        {u"https://user@example.org:8080/p?q#f", u"https://user@example.org:8080/p?q#f"},
        {u"https://[::1]/x", u"https://[::1]/x"},
        {u"https://", std::nullopt},
        {u"https:///path", std::nullopt},
        {u"https://host:port/", std::nullopt},
        {u"https://a<b/", std::nullopt},
        {u"plain words", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(Article::link(c.text), c.link) << shown(c.text);
}

TEST(Article, TextHonoursTheDeclaredCharset) {
    const std::string latin1 = "caf\xE9";
    const std::string utf8 = "caf\xC3\xA9";
    struct Case {
        std::string bytes;
        std::optional<std::u16string> type;
        std::u16string text;
    } cases[] = {
        {latin1, u"text/html; charset=ISO-8859-1", u"café"},
        {latin1, u"text/html; charset=iso-8859-1", u"café"},
        {utf8, u"text/html; charset=utf-8", u"café"},
        {utf8, std::nullopt, u"café"},
        {latin1, std::nullopt, u"café"},                                // detected
        {latin1, u"text/html; charset=\"ISO-8859-1\"", u"café"},         // quoted
        {latin1, u"text/html; Charset=ISO-8859-1", u"café"},             // the key in any case
        {latin1, u"text/html; charset=no-such-set", u"café"},            // unknown: detected
        {latin1, u"text/html; charset=us-ascii", u"café"},               // read as windows-1252
        {utf8.substr(0, 4), u"text/html; charset=utf-8", u"caf\uFFFD"},   // cut inside a character
        {"\x82\xA0", u"text/plain; charset=Shift_JIS", u"\u3042"},
        {std::string("A\0B\0", 4), u"text/plain; charset=UTF-16LE", u"AB"},
    };
    for (const Case& c : cases) EXPECT_EQ(Article::textOf(c.bytes, c.type), c.text) << shown(c.type.value_or(u"-"));
}

TEST(Article, Clean) {
    EXPECT_EQ(Article::clean(u"a &lt;b&gt; c"), u"a <b> c");
    EXPECT_EQ(Article::clean(u"x &mdash; y"), u"x , y");
    EXPECT_EQ(Article::clean(u"  <b>Hi</b>\n\t there&hellip;&#33; "), u"Hi there...!");
    EXPECT_EQ(Article::clean(u"&ldquo;Q&rdquo; &amp;lt;"), u"\"Q\" &lt;");
}

TEST(Article, TitleComesFromOgTitleThenTheTitleElement) {
    const std::u16string body = para(words(60));
    struct Case {
        std::u16string head;
        std::optional<std::u16string> title;
    } cases[] = {
        {u"<meta property=\"og:title\" content=\"From OG\"><title>From title</title>", u"From OG"},
        {u"<meta content=\"Late\" property=\"og:title\"><title>From title</title>", u"From title"},
        {u"<title> A &amp; <b>B</b>\n C </title>", u"A & B C"},
        {u"<title></title>", u""},
        {u"", std::nullopt},
    };
    for (const Case& c : cases) {
        const Article a = Article::extract(u"<html>" + c.head + body + u"</html>", u"https://e.org/p");
        EXPECT_EQ(a.title, c.title) << shown(c.head);
        EXPECT_EQ(a.url, std::optional<std::u16string>(u"https://e.org/p"));
        if (c.title) EXPECT_EQ(a.text, *c.title + u".\n" + words(60)) << shown(c.head);
        else EXPECT_EQ(a.text, words(60));
    }
}

TEST(Article, BodyFromTheArticleOrTheWholePage) {
    const std::u16string p40 = words(40), p39 = words(39);
    // Paragraphs of 39 units are dropped; boilerplate blocks never reach the text.
    {
        const std::u16string html = para(p39) + para(p40) + u"<nav>" + para(words(50, u'n')) + u"</nav><header>" +
                                    para(words(50, u'h')) + u"</header><script>" + para(words(50, u's')) +
                                    u"</script><footer>" + para(words(50, u'f')) + u"</footer>";
        EXPECT_EQ(Article::extract(html, std::nullopt).text, p40);
    }
    // An article of 500 units or more is read alone; below, the whole page.
    std::u16string inside, outside = para(words(45, u'o'));
    for (int i = 0; i < 10; ++i) inside += para(words(49, u'a'));  // 10 x 49 + 9 line ends = 499
    {
        const Article a = Article::extract(outside + u"<article>" + inside + u"</article>", std::nullopt);
        EXPECT_EQ(a.text.find(u"oooo"), 0u);
    }
    inside += para(words(49, u'a'));
    {
        const Article a = Article::extract(outside + u"<article>" + inside + u"</article>", std::nullopt);
        EXPECT_EQ(a.text.find(u"oooo"), std::u16string::npos);
        EXPECT_EQ(a.text.size(), 11u * 49 + 10);
    }
}

TEST(Article, LongBodiesAreCutAtASentence) {
    // One paragraph of 30000 units whose last ". " before 20002 is at 19990.
    std::u16string text = words(19990) + u". " + words(30000 - 19992);
    text[100] = u'.';  // an earlier stop, not the last one
    text[101] = u' ';
    const Article cut = Article::extract(para(text), std::nullopt);
    EXPECT_EQ(cut.text.size(), 19991u);
    EXPECT_EQ(cut.text.back(), u'.');

    const Article hard = Article::extract(para(std::u16string(30000, u'x')), std::nullopt);
    EXPECT_EQ(hard.text.size(), 20000u);
}

TEST(Article, PagesWithoutAnArticle) {
    EXPECT_EQ(Article::extract(u"<title>Empty</title><p>short</p>", std::nullopt).text,
              u"Empty. I couldn't find an article on that page.");
    EXPECT_EQ(Article::extract(u"<div>nothing</div>", std::nullopt).text, u"I couldn't find an article on that page.");
    EXPECT_EQ(Article::extract(u"<title></title>" + para(words(45)), std::nullopt).text, u".\n" + words(45));
}

// Unclosed paragraphs run to the next closing tag, as the pattern reads
// them; the text after the last one is still found.
TEST(Article, UnclosedParagraphsRunToTheNextClosingTag) {
    std::u16string html;
    for (int i = 0; i < 300; ++i) html += u"<p>" + words(50) + u". ";
    html += u"The end of it.</p><p>" + words(5000) + u" and more";
    const Article a = Article::extract(html, std::nullopt);
    EXPECT_EQ(a.text.size(), 300u * 52 + 14);
    EXPECT_EQ(a.text.substr(a.text.size() - 14), u"The end of it.");
}
