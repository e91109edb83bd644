#include "DocRow.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

#include "TestApp.h"

namespace tovan {
namespace {

// A row whose full listening time at rate 1 is `minutes`.
Doc::Meta metaOf(int64_t minutes, int64_t pos = 0, bool done = false, int64_t count = 100) {
    Doc::Meta m(u"id", u"Title", u"text", 0, count, minutes * 60 * 15);
    m.pos = pos;
    m.done = done;
    return m;
}

TEST(DocRow, DetailTellsTimeLeftAndWhetherStarted) {
    struct Case {
        Doc::Meta meta;
        float pace;
        const char* shown;
    };
    const Case cases[] = {
        {metaOf(59), 1, "59 min"},
        {metaOf(60), 1, "1 h 0 min"},
        {metaOf(61), 1, "1 h 1 min"},
        {metaOf(125), 1, "2 h 5 min"},
        {metaOf(0), 1, "1 min"},                  // never 0 min
        {metaOf(24, 50), 1, "12 min left"},       // half read
        {metaOf(130, 50), 1, "1 h 5 min left"},
        {metaOf(40, 0), 2, "20 min"},             // twice as fast, half the time
        {metaOf(40, 0), 0.25f, "1 h 20 min"},   // below 0.5 the rate counts as 0.5
        {metaOf(40, 70, true), 1, "Finished"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DocRow::detailFor(c.meta, c.pace), c.shown);
    }
}

TEST(DocRow, IconByExactKind) {
    struct Case {
        std::u16string kind;
        const char* symbol;
    };
    const Case cases[] = {{u"epub", "book.closed"}, {u"pdf", "doc.richtext"}, {u"web", "globe"},
                          {u"docx", "doc.text"},    {u"markdown", "text.alignleft"}, {u"EPUB", "text.alignleft"},
                          {u"", "text.alignleft"}};
    for (const Case& c : cases) EXPECT_EQ(DocRow::iconFor(c.kind), c.symbol);
}

TEST(DocRow, ShowsAuthorBarAndPlayingMark) {
    test::widgetApp();
    Doc::Meta withAuthor = metaOf(10, 25);
    withAuthor.author = u"Ann Author";
    DocRow playing(withAuthor, true, 1);
    EXPECT_EQ(playing.findChild<QLabel*>("docRowTitle")->text(), "Title");
    ASSERT_NE(playing.findChild<QLabel*>("docRowAuthor"), nullptr);
    EXPECT_EQ(playing.findChild<QLabel*>("docRowAuthor")->text(), "Ann Author");
    EXPECT_NE(playing.findChild<QLabel*>("docRowPlaying"), nullptr);
    EXPECT_EQ(playing.findChild<QProgressBar*>("docRowProgress")->value(), 250);

    DocRow finished(metaOf(10, 3, true), false, 1);
    EXPECT_EQ(finished.findChild<QLabel*>("docRowAuthor"), nullptr);
    EXPECT_EQ(finished.findChild<QLabel*>("docRowPlaying"), nullptr);
    EXPECT_EQ(finished.findChild<QProgressBar*>("docRowProgress")->value(), 1000);
    EXPECT_EQ(finished.findChild<QLabel*>("docRowDetail")->text(), "Finished");

    DocRow empty(metaOf(10, 0, false, 0), false, 1);
    EXPECT_EQ(empty.findChild<QProgressBar*>("docRowProgress")->value(), 0);
}

}  // namespace
}  // namespace tovan
