#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DocTestUtil.h"
#include "PdfLayout.h"
#include "TextMarkers.h"

namespace tovan {
namespace {

using PdfLayout::Line;
using PdfLayout::Para;
using PdfLayout::Span;
using test::utf16;
using test::utf8;

constexpr float kW = 612, kH = 792;  // US Letter, in points

Line line(std::int64_t page, const std::string& text, float l, float t, float r, float b) {
    return Line{page, utf16(text), l, t, r, b, kW, kH};
}

// A body line of normal size (12 pt high) on the given row of the text
// block: rows are 14 pt apart, so neighbouring rows are 2 pt apart.
Line body(std::int64_t page, const std::string& text, int row, float l = 72, float r = 540) {
    const float t = 100 + 14.0f * static_cast<float>(row);
    return line(page, text, l, t, r, t + 12);
}

// Each paragraph's text, a heading shown as "# " in front.
std::vector<std::string> texts(const std::vector<Para>& paras) {
    std::vector<std::string> out;
    for (const Para& p : paras) out.push_back((p.heading ? "# " : "") + utf8(p.raw));
    return out;
}

std::vector<std::string> texts(const std::vector<Line>& lines) {
    std::vector<std::string> out;
    for (const Line& l : lines) out.push_back(utf8(l.text));
    return out;
}

std::string joined(const std::vector<Para>& paras) {
    std::string all;
    for (const std::string& t : texts(paras)) all += t + " | ";
    return all;
}

// What every result must satisfy: a non-empty raw whose spans tile it, one
// blank between lines or one unit back over a removed hyphen.
void expectSpansTile(const std::vector<Para>& paras) {
    for (const Para& p : paras) {
        SCOPED_TRACE(utf8(p.raw));
        ASSERT_FALSE(p.raw.empty());
        ASSERT_FALSE(p.spans.empty());
        EXPECT_EQ(p.spans.front().start, 0);
        EXPECT_EQ(p.spans.back().end, static_cast<std::int64_t>(p.raw.size()));
        for (size_t i = 1; i < p.spans.size(); ++i) {
            const std::int64_t gap = p.spans[i].start - p.spans[i - 1].end;
            EXPECT_TRUE(gap == 1 || gap == -1) << "span " << i << " starts " << gap << " after the previous end";
            if (gap == 1) {
                EXPECT_EQ(p.raw[p.spans[i].start - 1], u' ');
            }
        }
        for (const Span& s : p.spans) EXPECT_LT(s.start, s.end);
    }
}

TEST(PdfLayoutTest, NothingOrOnlyBlankLinesGiveNoParagraphs) {
    EXPECT_TRUE(PdfLayout::layout({}).empty());
    EXPECT_TRUE(PdfLayout::readingOrder({}).empty());
    EXPECT_TRUE(PdfLayout::layout({body(0, "   ", 0), body(0, "\t\r\n", 1), body(1, "", 0)}).empty());
}

TEST(PdfLayoutTest, OneLineIsOneParagraphWithItsRectangleAsPageFractions) {
    const auto paras = PdfLayout::layout({line(0, "  Hello \t  world\u00A0again  ", 61.2f, 79.2f, 306, 91.08f)});
    ASSERT_EQ(paras.size(), 1u);
    EXPECT_EQ(utf8(paras[0].raw), "Hello world again");
    EXPECT_FALSE(paras[0].heading);
    ASSERT_EQ(paras[0].spans.size(), 1u);
    const Span& s = paras[0].spans[0];
    EXPECT_EQ(s.page, 0);
    EXPECT_EQ(s.start, 0);
    EXPECT_EQ(s.end, 17);
    EXPECT_FLOAT_EQ(s.l, 0.1f);
    EXPECT_FLOAT_EQ(s.t, 0.1f);
    EXPECT_FLOAT_EQ(s.r, 0.5f);
    EXPECT_FLOAT_EQ(s.b, 0.115f);
}

// ---- margins, page numbers and running lines ----

TEST(PdfLayoutTest, PageNumbersInTheMarginsAreDroppedOnAnyDocument) {
    for (const char* number : {"12", "Page 3 of 10", "page 7", "3 / 12", "\u2013 4 \u2013", "- 5 -", "xiv", "XII"}) {
        SCOPED_TRACE(number);
        for (float top : {740.0f, 30.0f}) {  // footer band, header band
            const auto paras = PdfLayout::layout({body(0, "A sentence of body text.", 0),
                                                  line(0, number, 290, top, 320, top + 12)});
            EXPECT_EQ(texts(paras), std::vector<std::string>{"A sentence of body text."});
        }
    }
    // The same text outside the margin bands is body text.
    EXPECT_EQ(texts(PdfLayout::layout({body(0, "12", 20)})), std::vector<std::string>{"12"});
}

TEST(PdfLayoutTest, OnOnePageAMarginLineOfNormalSizeStays) {
    const auto paras = PdfLayout::layout({line(0, "Annual Report 2023", 72, 30, 300, 42),
                                          body(0, "The year went well.", 10)});
    EXPECT_NE(joined(paras).find("Annual Report 2023"), std::string::npos) << joined(paras);
}

TEST(PdfLayoutTest, SmallPrintInTheMarginsIsDropped) {
    std::vector<Line> lines;
    for (int i = 0; i < 5; ++i) lines.push_back(body(0, "Body line number " + std::to_string(i) + ".", 2 * i));
    lines.push_back(line(0, "Printed by Acme Press, licensed to the reader", 72, 760, 400, 769));  // 9 pt
    lines.push_back(line(0,
                         "one two three four five six seven eight nine ten eleven twelve thirteen words of "
                         "small print",
                         72, 745, 540, 754));
    const std::string all = joined(PdfLayout::layout(lines));
    EXPECT_EQ(all.find("Acme Press"), std::string::npos) << all;
    EXPECT_NE(all.find("thirteen words"), std::string::npos) << "more than 12 words is kept: " << all;
}

// A document of `pages` pages, each with one body paragraph, and the given
// margin line on the first `copies` pages.
std::vector<Line> withRunningLine(int pages, int copies, const std::string& text, float top) {
    std::vector<Line> lines;
    for (int p = 0; p < pages; ++p) {
        if (p < copies) {
            // Numbers in the running line differ from page to page.
            std::string t = text;
            if (auto at = t.find('#'); at != std::string::npos) t.replace(at, 1, std::to_string(p + 1));
            lines.push_back(line(p, t, 72, top, 400, top + 12));
        }
        lines.push_back(body(p, "Body text of page " + std::to_string(p + 1) + ".", 5));
    }
    return lines;
}

TEST(PdfLayoutTest, RunningHeadersAndFootersRepeatedOftenEnoughAreDropped) {
    struct Case {
        int pages, copies;
        const char* text;
        float top;
        bool dropped;
    } cases[] = {
        {3, 2, "Annual Report 2023", 30, true},  // P <= 3: two copies suffice
        {3, 1, "Annual Report 2023", 30, false},
        {2, 2, "Annual Report 2023", 30, true},
        {10, 5, "Annual Report 2023", 30, true},  // P > 3: P / 2 copies
        {10, 4, "Annual Report 2023", 30, false},
        {11, 5, "Annual Report 2023", 30, true},  // 11 / 2 = 5
        {5, 3, "Chapter # of the report", 750, true},  // numbers do not tell the copies apart
        {5, 2, "Chapter # of the report", 750, true},
        {6, 2, "Chapter # of the report", 750, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pages << " pages, " << c.copies << " copies of " << c.text);
        const std::string all = joined(PdfLayout::layout(withRunningLine(c.pages, c.copies, c.text, c.top)));
        const std::string probe = std::string(c.text).substr(0, 7);
        EXPECT_EQ(all.find(probe) == std::string::npos, c.dropped) << all;
        EXPECT_NE(all.find("Body text of page " + std::to_string(c.pages)), std::string::npos) << all;
    }
}

TEST(PdfLayoutTest, TheSameTextInTheHeaderAndTheFooterCountsSeparately) {
    // One copy at the top of page 1, one at the bottom of page 2: two keys of
    // one copy each, so neither is a running line.
    std::vector<Line> lines = {line(0, "Annual Report", 72, 30, 300, 42), body(0, "First page.", 5),
                               line(1, "Annual Report", 72, 750, 300, 762), body(1, "Second page.", 5),
                               body(2, "Third page.", 5)};
    const auto paras = PdfLayout::layout(lines);
    const std::string all = joined(paras);
    EXPECT_NE(all.find("Annual Report | First"), std::string::npos) << all;
    EXPECT_NE(all.find("Second page. | # Annual Report"), std::string::npos) << all;
}

// ---- reading order ----

// A page with a title across both columns, `leftRows` lines in the left
// column and `rightRows` in the right one, handed over row by row as a PDF
// often gives them, and a footnote across both columns at the bottom.
std::vector<Line> columnsPage(int leftRows, int rightRows, float colWidth = 240) {
    std::vector<Line> lines = {line(0, "Title across the page", 100, 80, 500, 98)};
    for (int row = 0; row < std::max(leftRows, rightRows); ++row) {
        const float t = 120 + 14.0f * static_cast<float>(row);
        if (row < leftRows) lines.push_back(line(0, "L" + std::to_string(row), 50, t, 50 + colWidth, t + 12));
        if (row < rightRows) lines.push_back(line(0, "R" + std::to_string(row), 320, t, 320 + colWidth, t + 12));
    }
    lines.push_back(line(0, "A footnote across the page", 50, 660, 560, 670));
    return lines;
}

TEST(PdfLayoutTest, TwoColumnPageIsReadColumnByColumn) {
    EXPECT_EQ(texts(PdfLayout::readingOrder(columnsPage(6, 6))),
              (std::vector<std::string>{"Title across the page", "L0", "L1", "L2", "L3", "L4", "L5", "R0", "R1", "R2",
                                        "R3", "R4", "R5", "A footnote across the page"}));
}

TEST(PdfLayoutTest, PagesThatAreNotTwoColumnsAreReadRowByRow) {
    struct Case {
        const char* what;
        std::vector<Line> lines;
    } cases[] = {
        {"five lines in the right column", columnsPage(6, 5)},
        {"five lines in the left column", columnsPage(5, 7)},
        {"columns mostly narrower than a quarter page", columnsPage(6, 6, 140)},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto order = texts(PdfLayout::readingOrder(c.lines));
        ASSERT_GE(order.size(), 3u);
        EXPECT_EQ(order.front(), "Title across the page");
        EXPECT_EQ(order[1], "L0, R0");  // the two cells of one row are one line
        EXPECT_EQ(order.back(), "A footnote across the page");
    }
    // Too many lines across the middle: more than a quarter of the page.
    std::vector<Line> crowded = columnsPage(6, 6);
    for (int i = 0; i < 3; ++i) crowded.push_back(line(0, "Across " + std::to_string(i), 50, 400.0f + 14 * i, 560, 412.0f + 14 * i));
    EXPECT_EQ(texts(PdfLayout::readingOrder(crowded))[1], "L0, R0");
}

TEST(PdfLayoutTest, CellsOfOneRowMergeIntoOneLine) {
    struct Case {
        const char* left;
        const char* expected;
    } cases[] = {{"Name", "Name, Value"}, {"Total:", "Total: Value"}, {"Done.", "Done. Value"}, {" Item ", "Item, Value"},
                 {"\u2022", "\u2022 Value"}, {"-", "-, Value"}, {"1", "1, Value"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.left);
        // The right cell comes first and sits 1 pt lower: the row order still
        // puts the left cell first.
        const auto order = PdfLayout::readingOrder({line(0, " Value ", 300, 101, 340, 113), line(0, c.left, 72, 100, 120, 112)});
        ASSERT_EQ(order.size(), 1u);
        EXPECT_EQ(utf8(order[0].text), c.expected);
        EXPECT_EQ(order[0].l, 72);
        EXPECT_EQ(order[0].t, 100);
        EXPECT_EQ(order[0].r, 340);
        EXPECT_EQ(order[0].b, 113);
    }
}

TEST(PdfLayoutTest, ABulletDrawnApartFromItsTextStartsAListItem) {
    // Typesetters often place the bullet as a glyph of its own, a little
    // lower than the item's text.
    const auto paras = PdfLayout::layout({body(0, "the text before the list has no end", 0),
                                          line(0, "\u2022", 72, 115.5f, 76, 121.5f), body(0, "first item", 1, 82)});
    EXPECT_EQ(texts(paras), (std::vector<std::string>{"the text before the list has no end", "\u2022 first item"}));
}

TEST(PdfLayoutTest, LinesThatAreNotOneRowStaySeparate) {
    // Overlapping by half a line only, and overlapping sideways.
    const auto apart = PdfLayout::readingOrder({line(0, "Lower", 300, 106, 340, 118), line(0, "Upper", 72, 100, 120, 112)});
    EXPECT_EQ(texts(apart), (std::vector<std::string>{"Upper", "Lower"}));
    const auto sideways = PdfLayout::readingOrder({line(0, "Second", 100, 100, 200, 112), line(0, "First", 72, 100, 150, 112)});
    EXPECT_EQ(texts(sideways), (std::vector<std::string>{"First", "Second"}));
}

TEST(PdfLayoutTest, TwoColumnTextFlowsFromTheLeftColumnIntoTheRight) {
    std::vector<Line> lines;
    const char* words[] = {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "eleven",
                           "twelve."};
    for (int row = 0; row < 6; ++row) {
        const float t = 100 + 14.0f * static_cast<float>(row);
        lines.push_back(line(0, words[row], 50, t, 290, t + 12));
        lines.push_back(line(0, words[row + 6], 320, t, 560, t + 12));
    }
    const auto paras = PdfLayout::layout(lines);
    EXPECT_EQ(texts(paras), std::vector<std::string>{"one two three four five six seven eight nine ten eleven twelve."});
    expectSpansTile(paras);
    // A column that ends a sentence starts a new paragraph in the next one.
    lines[10].text = u"six.";
    EXPECT_EQ(texts(PdfLayout::layout(lines)),
              (std::vector<std::string>{"one two three four five six.", "seven eight nine ten eleven twelve."}));
}

TEST(PdfLayoutTest, PagesAreReadInOrderWhateverTheInputOrder) {
    const auto paras = PdfLayout::layout({body(2, "Third.", 0), body(0, "First.", 1), body(1, "Second.", 0),
                                          body(0, "Zeroth.", 0), body(-1, "Nowhere.", 0)});
    EXPECT_EQ(texts(paras), (std::vector<std::string>{"Zeroth. First.", "Second.", "Third."}));
}

// ---- headings ----

TEST(PdfLayoutTest, LargeTypeIsAHeading) {
    std::vector<Line> lines = {line(0, "Introduction", 72, 80, 300, 98)};  // 18 pt against 12
    for (int i = 0; i < 4; ++i) lines.push_back(body(0, "Body text line " + std::to_string(i), i + 1));
    const auto paras = PdfLayout::layout(lines);
    ASSERT_EQ(paras.size(), 2u);
    EXPECT_TRUE(paras[0].heading);
    EXPECT_EQ(paras[0].text(), std::u16string(1, TextMarkers::head) + u"Introduction");
    EXPECT_EQ(paras[0].spans[0].end, 12);  // offsets index raw, not text()
    EXPECT_FALSE(paras[1].heading);
}

TEST(PdfLayoutTest, HeadingLinesJoinOnlyWhenOfOneSizeAndClose) {
    struct Case {
        const char* what;
        float secondTop, secondHeight;
        std::vector<std::string> expected;
    } cases[] = {
        {"equal size, close", 100, 18, {"# Big Title Part Two"}},
        {"equal size, far apart", 130, 18, {"# Big Title", "# Part Two"}},
        {"different sizes", 100, 24, {"# Big Title", "# Part Two"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Line> lines = {line(0, "Big Title", 72, 80, 300, 98),
                                   line(0, "Part Two", 72, c.secondTop, 300, c.secondTop + c.secondHeight)};
        for (int i = 0; i < 5; ++i) lines.push_back(body(0, "Body text line " + std::to_string(i), 6 + i));
        auto got = texts(PdfLayout::layout(lines));
        got.pop_back();  // the body paragraph
        EXPECT_EQ(got, c.expected);
    }
}

// The verdict on a candidate line between two body paragraphs; the body is
// 12 pt type, `gap` points below the line before it.
bool headingVerdict(const std::string& candidate, float height, float gap) {
    std::vector<Line> lines;
    for (int i = 0; i < 4; ++i) lines.push_back(body(0, "Body text of the first part.", i));
    const float t = lines.back().b + gap;
    lines.push_back(line(0, candidate, 72, t, 400, t + height));
    for (int i = 0; i < 4; ++i) {
        const float bt = t + height + 20 + 14.0f * static_cast<float>(i);
        lines.push_back(line(0, "Body text of the second part.", 72, bt, 540, bt + 12));
    }
    for (const Para& p : PdfLayout::layout(lines))
        if (utf8(p.raw).find(candidate) != std::string::npos) return p.heading && utf8(p.raw) == candidate;
    ADD_FAILURE() << candidate << " was lost";
    return false;
}

TEST(PdfLayoutTest, HeadingsAreRecognisedBySizeNumberingAndCapitals) {
    struct Case {
        const char* text;
        float height, gap;
        bool heading;
    } cases[] = {
        // large type
        {"A quiet beginning", 16, 2, true},
        {"Results:", 16, 20, false},  // ends a clause without a number
        {"one two three four five six seven eight nine ten eleven twelve thirteen", 16, 20, false},
        // numbered, normal size, even without space above
        {"2.1 Results", 12, 2, true},
        {"2.1 Results:", 12, 2, true},
        {"IV. The Return", 12, 2, true},
        {"Chapter Seven The Storm", 12, 2, true},
        {"2.1 results", 12, 2, false},  // the number must be followed by a capital
        {"2 Results of the survey in all of the eleven regions", 12, 20, false},  // more than eight words
        // short, capitalised, with space above
        {"Related Work", 12, 20, true},
        {"Related Work", 12, 2, false},  // no space above
        {"Notes on the Text", 12, 20, true},  // three capitals of four words
        {"notes on the text", 12, 20, false},
        {"One Two Three Four Five Six", 12, 20, false},  // six words
        {"Write to Me @ Home", 12, 20, false},
        {"\u00A9 2024 Acme Press", 12, 20, false},
        {"Related Work.", 12, 20, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << ", " << c.height << " pt, " << c.gap << " pt below");
        EXPECT_EQ(headingVerdict(c.text, c.height, c.gap), c.heading);
    }
}

TEST(PdfLayoutTest, AHeadingNeverContinuesOntoTheNextPage) {
    // Large type at the foot of page 1, more large type at the head of page 2.
    std::vector<Line> lines = {body(0, "Body text ends here.", 0), line(0, "Closing Words of", 72, 600, 300, 618),
                               line(1, "The First Part", 72, 80, 300, 98)};
    for (int i = 0; i < 4; ++i) lines.push_back(body(1, "More body text " + std::to_string(i), 2 + i));
    EXPECT_EQ(texts(PdfLayout::layout(lines)),
              (std::vector<std::string>{"Body text ends here.", "# Closing Words of", "# The First Part",
                                        "More body text 0 More body text 1 More body text 2 More body text 3"}));
}

// ---- paragraphs ----

TEST(PdfLayoutTest, BodyLinesBreakIntoParagraphsByGapIndentAndShortLine) {
    struct Case {
        const char* what;
        Line first, second;
        bool breaks;
    } cases[] = {
        {"no sentence end joins", body(0, "and so it", 0), body(0, "goes on", 1), false},
        {"sentence end, flush, full width joins", body(0, "It ends.", 0), body(0, "Then more", 1), false},
        {"a gap breaks, sentence end or not", body(0, "and so it", 0), line(0, "goes on", 72, 122, 540, 134), true},
        {"an indented first line breaks", body(0, "It ends.", 0), body(0, "Then more", 1, 90), true},
        {"a slight indent does not", body(0, "It ends.", 0), body(0, "Then more", 1, 80), false},
        {"indent without sentence end joins", body(0, "and so it", 0), body(0, "goes on", 1, 90), false},
        {"a short last line breaks", body(0, "It ends.", 0, 72, 300), body(0, "Then more", 1), true},
        {"a short line without sentence end joins", body(0, "and so it", 0, 72, 300), body(0, "goes on", 1), false},
        {"quotation end counts as sentence end", body(0, "\u201CYes.\u201D", 0, 72, 300), body(0, "Then", 1), true},
        {"a colon ends a sentence", body(0, "As follows:", 0, 72, 300), body(0, "Then", 1), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto paras = PdfLayout::layout({c.first, c.second});
        EXPECT_EQ(paras.size(), c.breaks ? 2u : 1u) << joined(paras);
        expectSpansTile(paras);
    }
}

TEST(PdfLayoutTest, ListItemsStartNewParagraphs) {
    struct Case {
        const char* item;
        bool breaks;
    } cases[] = {
        {"\u2022 item one", true}, {"3) item three", true},   {"b. item two", true},
        {"- dash item", true},     {"12. twelfth", true},     {"\u2013 en dash item", true},
        {"123. not a list", false}, {"B. capital", false},    {"\u2022item without blank", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        const auto paras = PdfLayout::layout({body(0, "the text before it has no end", 5), body(0, c.item, 6)});
        EXPECT_EQ(paras.size(), c.breaks ? 2u : 1u) << joined(paras);
    }
}

TEST(PdfLayoutTest, AListItemAtTheHeadOfTheNextColumnFollowsTheSentenceEnd) {
    // The item lies higher on the page than the line before it in reading
    // order, so only the end of that line decides.
    std::vector<Line> lines;
    for (int row = 0; row < 6; ++row) {
        const float t = 100 + 14.0f * static_cast<float>(row);
        lines.push_back(line(0, "left words " + std::to_string(row), 50, t, 290, t + 12));
        lines.push_back(line(0, row == 0 ? "\u2022 item one" : "right words " + std::to_string(row), 320, t, 560, t + 12));
    }
    EXPECT_EQ(PdfLayout::layout(lines).size(), 1u) << joined(PdfLayout::layout(lines));
    lines[10].text = u"left words 5.";
    EXPECT_EQ(PdfLayout::layout(lines).size(), 2u) << joined(PdfLayout::layout(lines));
}

TEST(PdfLayoutTest, AParagraphContinuesAcrossPagesUnlessItEnded) {
    const auto paras = PdfLayout::layout({body(0, "It starts on one page and", 30), body(1, "goes on to the next.", 0),
                                          body(1, "Then a new one.", 1), body(1, "Still the same one", 2),
                                          body(2, "Another page.", 0)});
    ASSERT_EQ(texts(paras), (std::vector<std::string>{"It starts on one page and goes on to the next. Then a new one. "
                                                      "Still the same one Another page."}));
    // Sentence ends within a page join when flush and full width; across a
    // page they break.
    const auto ended = PdfLayout::layout({body(0, "It ends on this page.", 30), body(1, "A new one.", 0)});
    EXPECT_EQ(texts(ended), (std::vector<std::string>{"It ends on this page.", "A new one."}));

    const std::vector<Span>& spans = paras[0].spans;
    ASSERT_EQ(spans.size(), 5u);
    EXPECT_EQ((std::vector<std::int64_t>{spans[0].page, spans[1].page, spans[2].page, spans[3].page, spans[4].page}),
              (std::vector<std::int64_t>{0, 1, 1, 1, 2}));
    EXPECT_EQ(spans[1].start, 26);
    EXPECT_EQ(spans[1].end, 46);
    EXPECT_FLOAT_EQ(spans[0].t, 520.0f / kH);
    EXPECT_FLOAT_EQ(spans[1].t, 100.0f / kH);
    expectSpansTile(paras);
}

TEST(PdfLayoutTest, EndOfLineHyphensAreUndoneOnlyBeforeALowerCaseLetter) {
    struct Case {
        const char* first;
        const char* second;
        const char* joined;
        std::int64_t secondStart;
    } cases[] = {
        {"exam-", "ple goes on", "example goes on", 4},
        {"an exam-", "\u00E9tude", "an exam\u00E9tude", 7},
        {"as told by Jean-", "Paul", "as told by Jean- Paul", 17},
        {"-", "abc", "- abc", 2},
        {"page 3-", "fold", "page 3- fold", 8},
        {"exam-", "2 more", "exam- 2 more", 6},
        {"exam\u2010", "ple", "exam\u2010 ple", 6},  // only the ASCII hyphen is undone
        {"exam-", "\U0001D41Aple", "exam- \U0001D41Aple", 6},  // a surrogate is no lower-case letter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.joined);
        const auto paras = PdfLayout::layout({body(0, c.first, 0), body(0, c.second, 1)});
        ASSERT_EQ(paras.size(), 1u);
        EXPECT_EQ(utf8(paras[0].raw), c.joined);
        ASSERT_EQ(paras[0].spans.size(), 2u);
        EXPECT_EQ(paras[0].spans[0].end, static_cast<std::int64_t>(utf16(c.first).size()));
        EXPECT_EQ(paras[0].spans[1].start, c.secondStart);
        expectSpansTile(paras);
    }
}

// ---- any input ----

TEST(PdfLayoutTest, AnyInputGivesTiledParagraphsAndNeverFails) {
    std::mt19937 rng(7);
    const char* pieces[] = {"word", "Title", "exam-", "ple.", "\u2022 item", "12", "Page 3", "-", " ", "", "A.", "x:",
                            "\u201Cquote\u201D", "\U0001F600", "\u00A0"};
    std::uniform_int_distribution<int> piece(0, std::size(pieces) - 1), page(-1, 6), count(0, 4);
    std::uniform_real_distribution<float> pos(-50, 850), size(-5, 40);
    const float odd[] = {0, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), -1};
    for (int round = 0; round < 200; ++round) {
        std::vector<Line> lines;
        const int n = 1 + static_cast<int>(rng() % 80);
        for (int i = 0; i < n; ++i) {
            std::string text;
            for (int k = count(rng); k >= 0; --k) text += std::string(pieces[piece(rng)]) + (rng() % 3 ? " " : "");
            const float l = pos(rng), t = pos(rng);
            Line ln = line(page(rng), text, l, t, l + std::fabs(size(rng)) * 10, t + size(rng));
            if (rng() % 40 == 0) ln.pw = odd[rng() % 4];
            if (rng() % 40 == 0) ln.t = odd[rng() % 4];
            if (rng() % 60 == 0) ln.page = std::numeric_limits<std::int64_t>::max() - static_cast<int>(rng() % 2);
            lines.push_back(ln);
        }
        SCOPED_TRACE(round);
        expectSpansTile(PdfLayout::layout(lines));
    }
}

}  // namespace
}  // namespace tovan
