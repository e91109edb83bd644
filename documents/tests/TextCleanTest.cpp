#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DocTestUtil.h"
#include "TextClean.h"

namespace tovan {
namespace {

using test::utf8;
using Paras = std::vector<std::u16string>;
constexpr auto printed = TextClean::Furniture::printedPages;

std::string show(const Paras& list) {
    std::string s;
    for (const auto& x : list) s += "[" + utf8(x) + "]";
    return s;
}

TEST(TextClean, NormalizesCharacters) {
    EXPECT_EQ(TextClean::normalizeChars(u"\uFB00\uFB01\uFB02\uFB03\uFB04\uFB05\uFB06"), u"fffiflffifflstst");
    EXPECT_EQ(TextClean::normalizeChars(u"soft\u00ADware a\u00A0b\u2009c\u202Fd\u2003e"), u"software a b c d\u2003e");
    EXPECT_EQ(TextClean::normalizeChars(u"a\r\nb\rc\fd\n\re"), u"a\nb\nc\nd\n\ne");
    EXPECT_EQ(TextClean::normalizeChars(u"a\r\u00AD\nb"), u"a\nb");  // the soft hyphen goes first
}

TEST(TextClean, JoinsLinesIntoParagraphs) {
    struct Case {
        std::u16string text;
        Paras expected;
    };
    const Case cases[] = {
        {u"", {}},
        {u"One line\nand the next.", {u"One line and the next."}},
        {u"A.\n\n\n\nB.", {u"A.", u"B."}},
        // Hyphenation: only a letter, a hyphen and a lower-case letter join.
        {u"inter-\nnational policy", {u"international policy"}},
        {u"Anglo-\nSaxon", {u"Anglo- Saxon"}},
        {u"pages 3-\n4 are", {u"pages 3- 4 are"}},
        {u"-\nfoo", {u"- foo"}},
        // Bullets start paragraphs and lose their mark.
        {u"• First\n• Second", {u"First", u"Second"}},
        {u"Intro:\n- item\n-item", {u"Intro:", u"item -item"}},
        {u"\u25E6nested\n* star item\n\u2013 dash item", {u"nested", u"star item", u"dash item"}},
        // A heading after a finished sentence starts a paragraph and is joined onward.
        {u"…the end.\nChapter Two\ncontinues here.", {u"…the end.", u"Chapter Two continues here."}},
        {u"…the end\nChapter Two", {u"…the end Chapter Two"}},
        {u"It ended.\nbut lower case goes on", {u"It ended. but lower case goes on"}},
        {u"Said “yes.”\nThe Next Part", {u"Said “yes.”", u"The Next Part"}},
        // Outside printed pages a number alone on a line is content (a table cell).
        {u"Cell\n42\nxiv\nPage 3\n12 of 300", {u"Cell 42 xiv Page 3 12 of 300"}},
        {u"42", {u"42"}},
        // Speakable.
        {u"as shown [12].", {u"as shown."}},
        {u"see [3, 4] and [1\u20133] or [citation needed], and [a].", {u"see and or, and."}},
        {u"keep [12a] and [A] and [1234]", {u"keep [12a] and [A] and [1234]"}},
        {u"Hello , world !", {u"Hello, world!"}},
        // Narration marks alone make no paragraph.
        {u"\uE000\uE001\n\n\uE002\n\n \uE000 \uE001 \n\nText.", {u"Text."}},
        {u"\uE002Heading", {u"\uE002Heading"}},
        {u"[3]", {}},
        {u"Go to https://www.example.com/path?x=1 now.", {u"Go to example.com now."}},
        {u"Or http://sub.example.co.uk/a/b) and www.test.org.", {u"Or sub.example.co.uk) and test.org."}},
        {u"Visit example.org today.", {u"Visit example.org today."}},
        {u"Wide   \t gaps", {u"Wide gaps"}},
        // Line ends of every kind split alike.
        {u"a\r\nb\rg\fh.", {u"a b g h."}},
        {u"\uFB01ne soft\u00ADware.", {u"fine software."}},
    };
    for (const Case& c : cases) EXPECT_EQ(show(TextClean::clean(c.text)), show(c.expected)) << utf8(c.text);
}

TEST(TextClean, PageNumbersGoOnlyFromPrintedPages) {
    const std::u16string text =
        u"Start\n12\nPage 12\n12 of 300\n12/300\n- 12 -\n\u2014 7 \u2014\nxiv\nXIV\nmix\ncivil\nmiddle\nPage twelve\n12a";
    // Page numbers go without breaking the paragraph.
    EXPECT_EQ(show(TextClean::clean(text, TextClean::Furniture::printedPages)), show({u"Start middle Page twelve 12a"}));
    EXPECT_EQ(show(TextClean::clean(text)), show({u"Start 12 Page 12 12 of 300 12/300", u"12 - \u2014 7 \u2014 xiv XIV mix civil middle Page twelve 12a"}));
}

// Citation marks go; indexes into code and words that begin with a mark stay.
TEST(TextClean, SpeakableKeepsCodeAndDottedWords) {
    struct Case {
        std::u16string text, expected;
    };
    const Case cases[] = {
        {u"as shown [12].", u"as shown."},
        {u"The city[3] is old.", u"The city is old."},
        {u"The city.[3] It is old.", u"The city. It is old."},
        {u"see [3, 4] and [b].", u"see and."},
        {u"print(argv[1])", u"print(argv[1])"},
        {u"Set a[0] first.", u"Set a[0] first."},
        {u"x[i] = 2", u"x[i] = 2"},
        {u"items[0].name", u"items[0].name"},
        {u"grid[1][2]", u"grid[1][2]"},
        {u"f(list[0])", u"f(list[0])"},
        {u"my_list[3] and obj.data[2] and theCount[1]", u"my_list[3] and obj.data[2] and theCount[1]"},
        {u"values[2] == 4", u"values[2] == 4"},
        {u"Hello , world !", u"Hello, world!"},
        {u"Edit the .po files.", u"Edit the .po files."},
        {u"costs .5 more", u"costs .5 more"},
        {u"port :8080 and done .", u"port :8080 and done."},
        {u"Wait ... what ?", u"Wait... what?"},
    };
    for (const Case& c : cases) EXPECT_EQ(utf8(TextClean::speakable(c.text)), utf8(c.expected)) << utf8(c.text);
}

// A text without blank lines is not made one paragraph of the whole text:
// past 2^20 units a paragraph ends at a line end (one that ends a sentence
// when there is one), so it is cleaned in bounded pieces; a text without line
// ends is cut at a blank after a sentence, else between words. Nothing of the
// text changes but where its paragraphs end, and shorter paragraphs never
// change.
TEST(TextClean, AnOverlongParagraphEndsAtALineEnd) {
    constexpr size_t bound = size_t(1) << 20;
    // Lines of about 60 units; every `every`-th ends a sentence (0: none).
    const auto lines = [](size_t units, size_t every, std::u16string_view open = u"",
                          std::u16string_view close = u"") {
        std::vector<std::u16string> out;
        size_t size = 0;
        for (size_t i = 1; size < units; ++i) {
            std::u16string line = u"Line " + test::utf16(std::to_string(i)) + u" of words that run on and on";
            line += every && i % every == 0 ? u"." : u" and";
            size += line.size() + 1;
            out.push_back(std::move(line));
        }
        out.front() = std::u16string(open) + out.front();
        out.back() += close;
        return out;
    };
    struct Case {
        const char* what;
        std::vector<std::u16string> lines;
        size_t paragraphs;  // 0: more than one
        bool sentenceEnds;  // every paragraph but the last ends a sentence
        bool oneLine = false;  // the lines joined by blanks, not line ends
    };
    const Case cases[] = {
        {"just under the bound", lines(bound - 200, 7), 1, false},
        {"sentences end now and then", lines(3 * bound, 7), 0, true},
        {"no sentence ends", lines(5 * bound, 0), 0, false},
        {"an emphasis open all through", lines(3 * bound, 7, u"\uE000", u"\uE001"), 1, false},
        {"one line of sentences", lines(5 * bound, 7), 0, true, true},
        {"one line without a sentence end", lines(5 * bound, 0), 0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::u16string text, joined;
        for (const auto& line : c.lines) {
            text += line + (c.oneLine ? u" " : u"\n");
            joined += (joined.empty() ? u"" : u" ") + line;
        }
        const Paras paras = TextClean::clean(text);
        if (c.paragraphs) {
            EXPECT_EQ(paras.size(), c.paragraphs);
        } else {
            EXPECT_GT(paras.size(), 1u);
        }
        std::u16string rejoined;
        for (size_t i = 0; i < paras.size(); ++i) {
            rejoined += (i ? u" " : u"") + paras[i];
            if (c.paragraphs == 1 || i + 1 == paras.size()) continue;
            EXPECT_GE(paras[i].size(), bound) << i;
            EXPECT_LT(paras[i].size(), 2 * bound + 100) << i;
            if (c.sentenceEnds) {
                EXPECT_EQ(paras[i].back(), u'.') << i;
            }
        }
        EXPECT_TRUE(rejoined == joined);  // (too long to print)
    }
    // A word hyphenated at a line end is joined even past the bound.
    std::u16string hyphenated;
    while (hyphenated.size() < 5 * bound) hyphenated += u"a long line of words ending in inter-\nnational ";
    const Paras one = TextClean::clean(hyphenated);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].find(u"-"), std::u16string::npos);
}

// Pages of a report: a running header (its page number varies), a footer
// with the page number, body text that runs across pages.
std::u16string page(int n, const std::u16string& body) {
    const std::u16string num = test::utf16(std::to_string(n));
    return u"Annual Report 2023 \u2014 page " + num + u"\n" + body + u"\nConfidential draft " + num;
}

TEST(TextClean, DropsRunningLinesOnThreePagesOrMore) {
    const Paras pages = {
        page(1, u"The year began well\nand went on"),  // runs on to the next page
        page(2, u"into the spring.\nSales grew."),
        page(3, u"A new paragraph.\nAnnual Report 2023 \u2014 page 3\nstill here."),
    };
    EXPECT_EQ(show(TextClean::clean(pages, printed)),
              show({u"The year began well and went on into the spring. Sales grew.", u"A new paragraph. still here."}));

    // Two pages: nothing is a running line (and the first page's last line
    // does not end a sentence, so its paragraph goes on).
    const Paras two = {page(1, u"First."), page(2, u"Second.")};
    EXPECT_EQ(show(TextClean::clean(two, printed)), show({u"Annual Report 2023 \u2014 page 1 First. Confidential draft 1 "
                                                u"Annual Report 2023 \u2014 page 2 Second. Confidential draft 2"}));

    // A page that ends a sentence ends its paragraph, even without a blank line.
    const Paras ends = {u"One.", u"Two", u"three."};
    EXPECT_EQ(show(TextClean::clean(ends, printed)), show({u"One.", u"Two three."}));
}

TEST(TextClean, RunningLinesNeedEnoughPages) {
    auto pagesWithHeader = [](int pages, int withHeader, const std::u16string& header) {
        Paras out;
        for (int i = 0; i < pages; ++i) {
            std::u16string p = i < withHeader ? header + u"\n" : u"";
            p += u"Body text of page " + test::utf16(std::to_string(i)) + u".";
            out.push_back(p);
        }
        return out;
    };
    auto headerKept = [](const Paras& result, const std::u16string& header) {
        for (const auto& p : result)
            if (p.find(header) != std::u16string::npos) return true;
        return false;
    };
    const std::u16string h = u"Annual Report";
    EXPECT_TRUE(headerKept(TextClean::clean(pagesWithHeader(5, 2, h), printed), h));
    EXPECT_FALSE(headerKept(TextClean::clean(pagesWithHeader(5, 3, h), printed), h));
    EXPECT_TRUE(headerKept(TextClean::clean(pagesWithHeader(10, 4, h), printed), h));
    EXPECT_FALSE(headerKept(TextClean::clean(pagesWithHeader(10, 5, h), printed), h));
    // A line of 90 units or more is never a running line.
    const std::u16string longLine(90, u'H');
    EXPECT_TRUE(headerKept(TextClean::clean(pagesWithHeader(4, 4, longLine), printed), longLine));
    const std::u16string shorter(89, u'H');
    EXPECT_FALSE(headerKept(TextClean::clean(pagesWithHeader(4, 4, shorter), printed), shorter));
}

TEST(TextClean, BookBodyBetweenTheMarkers) {
    const std::u16string longText(300, u'w');
    auto body = [](int n) {  // a body paragraph longer than 119 units
        return u"Body paragraph " + test::utf16(std::to_string(n)) + u" " + std::u16string(120, u'b') + u".";
    };
    Paras book = {
        u"The Project Gutenberg eBook of The Title",
        u"*** START OF THE PROJECT GUTENBERG EBOOK THE TITLE ***",
        u"THE TITLE",
        u"by",
        u"A. N. Author",
        u"London, 1900",
        u"Contents",
    };
    for (int i = 1; i <= 15; ++i) book.push_back(u"Chapter " + test::utf16(std::to_string(i)));
    book.push_back(longText);
    book.push_back(body(1));
    book.push_back(u"\uE000\uE001");  // nothing to read once the marks go
    book.push_back(u"\uE002Chapter 2");
    book.push_back(u"Short line");
    book.push_back(u"*** END OF THE PROJECT GUTENBERG EBOOK THE TITLE ***");
    book.push_back(u"Licence text");
    EXPECT_EQ(show(TextClean::bookBody(book)),
              show({u"THE TITLE by A. N. Author London, 1900", longText, body(1), u"\uE002Chapter 2", u"Short line"}));
}

TEST(TextClean, BookBodyEdges) {
    auto body = [](int n) { return u"Paragraph " + test::utf16(std::to_string(n)) + u" " + std::u16string(130, u'p'); };
    const std::u16string start = u"*** START OF THIS PROJECT GUTENBERG EBOOK ***";
    const std::u16string end = u"*** END OF THIS PROJECT GUTENBERG EBOOK ***";
    struct Case {
        const char* what;
        Paras in, expected;
    };
    std::vector<Case> cases = {
        {"no markers", {body(1), body(2)}, {body(1), body(2)}},
        {"empty", {}, {}},
        {"start only", {body(1), start, body(2)}, {body(2)}},
        {"end only", {body(1), end, body(2)}, {body(1)}},
        {"lower case", {body(1), u"*** start of the project gutenberg ebook", body(2), u"*** end of the project gutenberg", body(3)}, {body(2)}},
        {"start last", {body(1), start}, {}},
        {"both in one", {body(1), start + u" " + end, body(2), end, body(3)}, {body(2)}},
        {"an end marker first ends the body at once", {end, start, body(1)}, {}},
        {"contents into a heading", {u"Table of Contents.", u"One", u"Two", u"\uE002Part One", body(1)}, {u"\uE002Part One", body(1)}},
        {"contents list ends at a long line", {u"List of Illustrations", u"Plate 1", std::u16string(80, u'x'), body(1)},
         {std::u16string(80, u'x'), body(1)}},
    };
    // A contents list drops at most 199 paragraphs after its heading.
    Paras longList = {u"Contents"};
    Paras rest;
    for (int i = 0; i < 250; ++i) {
        const std::u16string item = u"Item " + test::utf16(std::to_string(i)) + u" " + std::u16string(50, u'i');
        longList.push_back(item);
        if (i >= 199) rest.push_back(item);
    }
    cases.push_back({"199 at most", longList, rest});
    for (const Case& c : cases) EXPECT_EQ(show(TextClean::bookBody(c.in)), show(c.expected)) << c.what;
}

TEST(TextClean, TitlePageJoinsShortRuns) {
    const std::u16string lng(120, u'L');
    struct Case {
        const char* what;
        Paras in, expected;
    };
    const Case cases[] = {
        {"front matter", {u"THE TITLE", u"by", u"A. N. Author", u"London, 1900", lng},
         {u"THE TITLE by A. N. Author London, 1900", lng}},
        {"two stay two", {u"A", u"B", lng}, {u"A", u"B", lng}},
        {"heading breaks a run", {u"A", u"B", u"Chapter I", u"G", u"H", u"J", lng},
         {u"A", u"B", u"Chapter I", u"G H J", lng}},
        {"roman headings", {u"A", u"II.", u"B", u"x", u"C", u"civil", u"D"},
         {u"A", u"II.", u"B", u"x", u"C", u"civil", u"D"}},
        {"after the first long one", {lng, u"a", u"b", u"c"}, {lng, u"a", u"b", u"c"}},
        {"119 is not long", {std::u16string(119, u'y'), u"a", u"b", u"e"}, {std::u16string(119, u'y'), u"a b e"}},
        {"45 breaks a run", {u"a", u"b", std::u16string(45, u'z'), u"c"}, {u"a", u"b", std::u16string(45, u'z'), u"c"}},
        {"marks go when joined", {u"\uE000THE\uE001 TITLE", u" by ", u"Someone", u"\uE000" + lng + u"\uE001"},
         {u"THE TITLE by Someone", u"\uE000" + lng + u"\uE001"}},
        {"marks stay when not joined", {u"\uE000a\uE001", u"b", lng}, {u"\uE000a\uE001", u"b", lng}},
        {"heading mark breaks", {u"a", u"b", u"\uE002c", u"d"}, {u"a", u"b", u"\uE002c", u"d"}},
    };
    for (const Case& c : cases) EXPECT_EQ(show(TextClean::titlePage(c.in)), show(c.expected)) << c.what;
}

}  // namespace
}  // namespace tovan
