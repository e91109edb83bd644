#include "ParagraphView.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include "Doc.h"
#include "TestApp.h"

namespace tovan {
namespace {

using Span = ParagraphView::Span;
using TRun = ParagraphView::Run;

std::shared_ptr<Doc> docOf(std::vector<std::u16string> paragraphs) {
    return Doc::create(u"T", u"text", std::nullopt, std::move(paragraphs));
}

TEST(ParagraphView, StyledSplitsRunsAtTheMarks) {
    struct Case {
        std::u16string in;
        std::vector<TRun> out;
    };
    const Case cases[] = {
        {u"a\uE000b\uE001c", {{"a", false}, {"b", true}, {"c", false}}},
        {u"a\uE000bc", {{"a", false}, {"bc", true}}},      // unclosed: the rest stays emphasised
        {u"a\uE001b", {{"a", false}, {"b", false}}},      // a closing mark alone shows nothing
        {u"\uE000\uE000x\uE001", {{"x", true}}},           // two openings are one
        {u"\uE002Title", {{"Title", false}}},              // the heading mark is hidden
        {u"\uE000\uE001\uE002", {}},                       // only marks: nothing
        {u"plain", {{"plain", false}}},
    };
    for (const Case& c : cases) EXPECT_EQ(ParagraphView::styled(c.in), c.out) << QString::fromStdU16String(c.in).toStdString();
}

TEST(ParagraphView, EverySentenceLinksToItsDocumentIndex) {
    auto doc = docOf({u"Zero here.", u"One here. Two \uE000bold\uE001 here. Three."});
    ASSERT_EQ(doc->sentences.size(), 4u);
    ParagraphView p(doc, {1, 2, 3}, 2, 19);
    const std::vector<Span> expected = {
        {"One here.", "tovantts://sentence/1", false, false},
        {" ", "", false, false},
        {"Two ", "tovantts://sentence/2", false, true},
        {"bold", "tovantts://sentence/2", true, true},
        {" here.", "tovantts://sentence/2", false, true},
        {" ", "", false, false},
        {"Three.", "tovantts://sentence/3", false, false},
    };
    EXPECT_EQ(p.attributed(), expected);
    EXPECT_EQ(ParagraphView::link(42), "tovantts://sentence/42");
}

TEST(ParagraphView, EmphasisStopsAtTheEndOfItsSentence) {
    auto doc = docOf({u"One \uE000open. Two plain."});
    ASSERT_EQ(doc->sentences.size(), 2u);
    ParagraphView p(doc, {0, 1}, std::nullopt, 19);
    auto spans = p.attributed();
    ASSERT_FALSE(spans.empty());
    EXPECT_FALSE(spans.back().emphasized);
    EXPECT_EQ(spans.back().text, "Two plain.");
}

TEST(ParagraphView, OnlyTheFirstSentenceMakesAHeading) {
    auto doc = docOf({u"\uE002Chapter One", u"Body text. With \uE002 a mark later."});
    ParagraphView head(doc, {0}, std::nullopt, 20);
    ParagraphView body(doc, {1, 2}, std::nullopt, 20);
    EXPECT_TRUE(head.heading());
    EXPECT_FALSE(body.heading());
    EXPECT_EQ(head.font().pixelSize(), 25);
    EXPECT_EQ(head.font().weight(), QFont::DemiBold);
    EXPECT_DOUBLE_EQ(head.topPadding(), 16.0);
    EXPECT_EQ(body.font().pixelSize(), 20);
    EXPECT_DOUBLE_EQ(body.topPadding(), 0.0);
    for (const Span& s : body.attributed()) EXPECT_FALSE(s.text.contains(QChar(0xE002)));
    EXPECT_FALSE(ParagraphView(doc, {}, std::nullopt, 20).heading());
}

TEST(ParagraphView, EqualityLooksAtIdSentencesCurrentAndSize) {
    auto doc = docOf({u"A. B. C."});
    const ParagraphView base(doc, {0, 1, 2}, std::nullopt, 19);
    EXPECT_EQ(base, ParagraphView(doc, {0, 1, 2}, std::nullopt, 19));
    EXPECT_FALSE(base == ParagraphView(doc, {0, 1, 2}, 1, 19));
    EXPECT_FALSE(ParagraphView(doc, {0, 1, 2}, 5, 19) == ParagraphView(doc, {0, 1, 2}, 1, 19));
    EXPECT_FALSE(base == ParagraphView(doc, {0, 1}, std::nullopt, 19));
    EXPECT_FALSE(base == ParagraphView(doc, {0, 1, 2}, std::nullopt, 20));
    EXPECT_FALSE(base == ParagraphView(docOf({u"A. B. C."}), {0, 1, 2}, std::nullopt, 19));
}

TEST(ParagraphView, RenderLightsOnlyTheHeardSentence) {
    test::widgetApp();
    auto doc = docOf({u"One. Two \uE000now\uE001. Three."});
    ASSERT_EQ(doc->sentences.size(), 3u);
    QTextDocument text;
    QTextCursor cursor(&text);
    const QColor ink(Qt::black), accent(0x1A6A55), soft(0xE1F1EB);
    ParagraphView(doc, {0, 1, 2}, 1, 19).render(cursor, ink, accent, soft);
    EXPECT_EQ(text.toPlainText(), "One. Two now. Three.");
    int lit = 0, italic = 0;
    for (auto it = text.begin().begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        const QTextCharFormat fmt = f.charFormat();
        const bool isLit = fmt.background().color() == soft;
        if (isLit) {
            ++lit;
            EXPECT_EQ(fmt.anchorHref(), "tovantts://sentence/1");
            EXPECT_EQ(fmt.foreground().color(), accent);
        } else {
            EXPECT_EQ(fmt.foreground().color(), ink);
        }
        if (f.text() == " ") {
            EXPECT_FALSE(fmt.isAnchor());
        }
        if (fmt.fontItalic()) {
            ++italic;
            EXPECT_EQ(f.text(), "now");
        }
    }
    EXPECT_GE(lit, 1);
    EXPECT_EQ(italic, 1);
}

}  // namespace
}  // namespace tovan
