#include "ReaderView.h"

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolBar>
#include <QWheelEvent>

#include "ViewModelFixture.h"

namespace tovan {
namespace {

TEST(ReaderViewText, SentenceLinksReadBack) {
    struct Case {
        const char* url;
        std::optional<int64_t> sentence;
    };
    const Case cases[] = {
        {"tovantts://sentence/42", 42},
        {"tovantts://sentence/0", 0},
        {"tovantts://other/host/7", 7},           // only the last component counts
        {"tovantts://sentence/+3", 3},
        {"tovantts://sentence/-2", -2},           // the reading clamps it
        {"tovantts://sentence/9223372036854775807", INT64_MAX},
        {"tovantts://sentence/9223372036854775808", std::nullopt},
        {"tovantts://sentence/4x", std::nullopt},
        {"tovantts://sentence/", std::nullopt},
        {"tovantts://sentence/+-5", std::nullopt},
        {"tovantts://sentence/ 5", std::nullopt},
        {"https://example.com/5", std::nullopt},
        {"TovanTTSx://sentence/5", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ReaderView::sentenceOf(QUrl(c.url)), c.sentence) << c.url;
}

TEST(ReaderViewText, MetaTextNamesKindAndTime) {
    struct Case {
        std::u16string kind;
        int64_t minutes;
        bool started;
        const char* shown;
    };
    const Case cases[] = {
        {u"epub", 125, true, "Book \u00B7 2 h 5 min left"},
        {u"text", 1, false, "Text \u00B7 1 min"},
        {u"pdf", 0, false, "PDF \u00B7 1 min"},
        {u"web", 59, false, "Web page \u00B7 59 min"},
        {u"docx", 60, true, "Word document \u00B7 1 h 0 min left"},
        {u"markdown", 3, false, "Markdown \u00B7 3 min"},
        {u"screen", 3, false, "Text \u00B7 3 min"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReaderView::metaText(c.kind, c.minutes, c.started), QString::fromUtf8(c.shown)) << c.shown;
}

class ReaderViewTest : public test::ViewModelFixture {
protected:
    std::shared_ptr<Doc> longDoc() {
        std::vector<std::u16string> paragraphs;
        for (int i = 0; i < 60; ++i)
            paragraphs.push_back(u"Paragraph number " + QString::number(i).toStdU16String() +
                                 u" begins here. It goes on for a while to fill some lines of text in the view. "
                                 u"Then it ends.");
        return Doc::create(u"Long", u"epub", std::nullopt, paragraphs);
    }
    std::unique_ptr<ReaderView> shown(std::shared_ptr<Doc> doc) {
        auto view = std::make_unique<ReaderView>(std::move(doc), *app, reading);
        view->resize(900, 600);
        view->show();
        QApplication::processEvents();
        return view;
    }
    QTextBrowser* text(ReaderView& v) { return v.findChild<QTextBrowser*>("readerText"); }
    QPushButton* play(ReaderView& v) { return v.findChild<QPushButton*>("readerPlay"); }
    QAction* action(ReaderView& v, const char* name) {
        for (QAction* a : v.findChild<QToolBar*>("readerToolbar")->actions())
            if (a->objectName() == name) return a;
        return nullptr;
    }
};

TEST_F(ReaderViewTest, GroupsSentencesByParagraphAndSkipsEmptyOnes) {
    auto doc = Doc::create(u"T", u"text", std::nullopt, {u"One. Two.", u"Three.", u"Four. Five. Six."});
    EXPECT_EQ(ReaderView::group(*doc), (std::vector<std::vector<int64_t>>{{0, 1}, {2}, {3, 4, 5}}));
    Doc::Fields f;
    f.id = u"x";
    f.title = u"T";
    f.kind = u"text";
    f.paragraphs = {u"A.", u"", u"B."};
    Doc gappy(std::move(f));
    const auto groups = ReaderView::group(gappy);
    EXPECT_EQ(groups.size(), 2u);
}

TEST_F(ReaderViewTest, EmptyDocumentShowsOnlyTheHeader) {
    auto doc = Doc::create(u"Nothing", u"text", std::nullopt, {});
    auto view = shown(doc);
    EXPECT_TRUE(view->rows().empty());
    EXPECT_TRUE(play(*view)->isVisible());
    EXPECT_TRUE(play(*view)->text().endsWith("Play"));
}

TEST_F(ReaderViewTest, TextSizeStepsWithinItsBoundsAndIsKept) {
    auto view = shown(Doc::create(u"T", u"text", std::nullopt, {u"A. B."}));
    EXPECT_EQ(view->size(), 19.0);
    for (int i = 0; i < 8; ++i) action(*view, "readerSmaller")->trigger();
    EXPECT_EQ(view->size(), 14.0);
    EXPECT_EQ(app->defaults->getDouble("readingSize"), 14.0);
    for (int i = 0; i < 20; ++i) action(*view, "readerLarger")->trigger();
    EXPECT_EQ(view->size(), 30.0);
    EXPECT_EQ(view->rows().front().size(), 30.0);
    ReaderView another(Doc::create(u"U", u"text", std::nullopt, {u"C."}), *app, reading);
    EXPECT_EQ(another.size(), 30.0);
}

// The settings window writes the size while a reader is open: the reader
// takes it at once, and its own buttons step from there (no stale size is
// written back).
TEST_F(ReaderViewTest, TextSizeWrittenElsewhereIsTakenAtOnce) {
    auto view = shown(Doc::create(u"T", u"text", std::nullopt, {u"A. B."}));
    ASSERT_EQ(view->size(), 19.0);
    app->defaults->setDouble("readingSize", 25.0);
    EXPECT_EQ(view->size(), 25.0);
    EXPECT_EQ(view->rows().front().size(), 25.0);
    action(*view, "readerSmaller")->trigger();
    EXPECT_EQ(app->defaults->getDouble("readingSize"), 24.0);
    EXPECT_EQ(view->size(), 24.0);
}

TEST_F(ReaderViewTest, SavedPositionIsLitAndNamedResume) {
    auto doc = longDoc();
    doc->pos = 100;
    auto view = shown(doc);
    EXPECT_EQ(view->position(), 100);
    const int64_t para = doc->paraOf[100];
    ASSERT_LT(static_cast<size_t>(para), view->rows().size());
    EXPECT_EQ(view->rows()[static_cast<size_t>(para)].current(), std::optional<int64_t>(100));
    int lit = 0;
    for (const auto& row : view->rows()) lit += row.current().has_value();
    EXPECT_EQ(lit, 1);
    EXPECT_TRUE(play(*view)->text().endsWith("Resume"));
    EXPECT_TRUE(view->findChild<QLabel*>("readerMeta")->text().endsWith(" left"));
    test::spin(20);  // the first scroll comes on the next turn of the loop
    EXPECT_GT(text(*view)->verticalScrollBar()->value(), 0);

    doc->done = true;
    auto finished = shown(doc);
    EXPECT_TRUE(play(*finished)->text().endsWith("Play"));
    EXPECT_FALSE(finished->findChild<QLabel*>("readerMeta")->text().endsWith(" left"));
}

// The position is stored after the reading says it stopped: the header must
// still end up offering "Resume" with the time left.
TEST_F(ReaderViewTest, PausedCurrentDocumentOffersResume) {
    auto doc = addDoc(u"Paused", {u"One. Two. Three.", u"Four. Five."});
    reading.doc_ = doc;
    reading.playing_ = true;
    reading.heard_ = 3;
    auto view = shown(doc);
    EXPECT_TRUE(play(*view)->text().endsWith("Pause"));
    reading.playing_ = false;
    emit reading.changed();  // the pause is published first…
    doc->pos = 3;
    app->library.save(*doc);  // …then the position is stored
    EXPECT_TRUE(play(*view)->text().endsWith("Resume")) << play(*view)->text().toStdString();
    EXPECT_TRUE(view->findChild<QLabel*>("readerMeta")->text().endsWith(" left"));
}

// Paragraphs are set apart by 0.85 of the text size (a heading keeps its own
// space above, too), and the gap follows the size.
TEST_F(ReaderViewTest, ParagraphsAreSpacedByTheTextSize) {
    const std::u16string head = std::u16string(1, char16_t(0xE002)) + u"Chapter.";
    auto view = shown(Doc::create(u"T", u"text", std::nullopt, {u"One. Two.", head, u"Three."}));
    auto margins = [&] {
        std::vector<double> out;
        for (QTextBlock b = text(*view)->document()->begin(); b.isValid(); b = b.next())
            out.push_back(b.blockFormat().topMargin());
        return out;
    };
    struct Case {
        double size;
    } cases[] = {{19.0}, {20.0}, {14.0}};
    for (const Case& c : cases) {
        while (view->size() < c.size) view->larger();
        while (view->size() > c.size) view->smaller();
        const std::vector<double> m = margins();
        ASSERT_EQ(m.size(), 3u) << c.size;
        EXPECT_DOUBLE_EQ(m[0], 0.0) << c.size;
        EXPECT_DOUBLE_EQ(m[1], c.size * 0.8 + c.size * 0.85) << c.size;
        EXPECT_DOUBLE_EQ(m[2], c.size * 0.85) << c.size;
    }
}

TEST_F(ReaderViewTest, PlayButtonStartsThisDocumentOrTogglesTheCurrentOne) {
    auto doc = longDoc();
    auto other = Doc::create(u"Other", u"text", std::nullopt, {u"Else."});
    reading.doc_ = other;
    reading.playing_ = true;
    auto view = shown(doc);
    EXPECT_TRUE(play(*view)->text().endsWith("Play"));
    play(*view)->click();
    EXPECT_EQ(reading.calls.back(), "play " + QString::fromStdU16String(doc->id).toStdString() + " saved");
    EXPECT_TRUE(play(*view)->text().endsWith("Pause"));
    play(*view)->click();
    EXPECT_EQ(reading.calls.back(), "toggle");
}

TEST_F(ReaderViewTest, SentenceLinksSeekWhilePlayingAndPlayOtherwise) {
    auto doc = longDoc();
    auto view = shown(doc);
    const std::string id = QString::fromStdU16String(doc->id).toStdString();
    view->openLink(QUrl("tovantts://sentence/5"));
    EXPECT_EQ(reading.calls.back(), "play " + id + " 5");
    view->openLink(QUrl("tovantts://sentence/8"));  // now current and playing
    EXPECT_EQ(reading.calls.back(), "seek 8");
    reading.playing_ = false;
    view->openLink(QUrl("tovantts://sentence/9"));  // current but paused
    EXPECT_EQ(reading.calls.back(), "play " + id + " 9");
    const size_t before = reading.calls.size();
    view->openLink(QUrl("https://example.com/3"));
    view->openLink(QUrl("tovantts://sentence/x"));
    EXPECT_EQ(reading.calls.size(), before);
}

TEST_F(ReaderViewTest, ClickingASentenceInTheTextFollowsItsLink) {
    auto doc = longDoc();
    auto view = shown(doc);
    QTextBrowser* t = text(*view);
    const QTextBlock block = t->document()->findBlockByNumber(0);
    // Somewhere inside the second sentence of the first paragraph.
    const int offset = static_cast<int>(doc->sentences[0].size()) + 5;
    QTextCursor c(block);
    c.setPosition(block.position() + offset);
    const QPoint at = t->cursorRect(c).center() + QPoint(2, 0);
    test::click(t->viewport(), at);
    ASSERT_FALSE(reading.calls.empty());
    EXPECT_EQ(reading.calls.back(), "play " + QString::fromStdU16String(doc->id).toStdString() + " 1");
}

TEST_F(ReaderViewTest, FollowsTheHeardSentenceRedrawingOnlyTwoRows) {
    auto doc = longDoc();
    reading.doc_ = doc;
    reading.playing_ = true;
    reading.heard_ = 0;
    auto view = shown(doc);
    const std::vector<ParagraphView> before = view->rows();
    reading.heard_ = 150;
    emit reading.changed();
    const auto& after = view->rows();
    size_t changed = 0;
    for (size_t k = 0; k < after.size(); ++k) changed += !(after[k] == before[k]);
    EXPECT_EQ(changed, 2u);
    EXPECT_EQ(after[static_cast<size_t>(doc->paraOf[150])].current(), std::optional<int64_t>(150));
    test::spin(450);  // the animated scroll takes 0.35 s
    EXPECT_GT(text(*view)->verticalScrollBar()->value(), 0);
}

TEST_F(ReaderViewTest, WheelStopsFollowingUntilBackToReading) {
    auto doc = longDoc();
    reading.doc_ = doc;
    reading.playing_ = true;
    auto view = shown(doc);
    auto* back = view->findChild<QPushButton*>("readerBackToReading");
    EXPECT_FALSE(back->isVisible());

    struct Case {
        Qt::ScrollPhase phase;
        bool stopsFollowing;
    };
    const Case cases[] = {{Qt::ScrollMomentum, false}, {Qt::ScrollEnd, false}, {Qt::ScrollBegin, true},
                          {Qt::ScrollUpdate, true},    {Qt::NoScrollPhase, true}};
    for (const Case& c : cases) {
        view->backToReading();
        QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          c.phase, false);
        QApplication::sendEvent(text(*view)->viewport(), &wheel);
        EXPECT_EQ(view->follow(), !c.stopsFollowing) << c.phase;
        EXPECT_EQ(back->isVisible(), c.stopsFollowing) << c.phase;
    }
    const int away = text(*view)->verticalScrollBar()->value();
    reading.heard_ = 170;  // not followed now
    emit reading.changed();
    test::spin(50);
    EXPECT_EQ(text(*view)->verticalScrollBar()->value(), away);
    back->click();
    EXPECT_TRUE(view->follow());
    EXPECT_FALSE(back->isVisible());
    test::spin(450);
    EXPECT_NE(text(*view)->verticalScrollBar()->value(), away);

    // A reader of a document that is not current never offers the way back.
    reading.doc_ = Doc::create(u"Other", u"text", std::nullopt, {u"Else."});
    emit reading.changed();
    view->userScrolled();
    EXPECT_FALSE(back->isVisible());
}

TEST_F(ReaderViewTest, SaveAsAudioHandsTheDocumentToTheExport) {
    auto doc = longDoc();
    auto view = shown(doc);
    action(*view, "readerSave")->trigger();
    ASSERT_EQ(reading.exported.size(), 1u);
    EXPECT_EQ(reading.exported[0], doc);
}

}  // namespace
}  // namespace tovan
