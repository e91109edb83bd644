#include "Chips.h"
#include "FreeBooksScreen.h"
#include "TestApp.h"
#include "Theme.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tovan {
namespace {

using Book = Gutenberg::Book;
const std::u16string root = u"https://books.example/ebooks/";

// Catalogue pages answered by hand, in any order.
struct FakePages {
    struct Request {
        std::u16string query;
        int64_t start;
        Gutenberg::Books done;
        Gutenberg::Failed failed;
    };
    std::vector<Request> requests;
};

std::vector<Book> books(int from, int n) {
    std::vector<Book> out;
    for (int i = from; i < from + n; ++i) {
        const std::u16string id = QString::number(i).toStdU16String();
        out.push_back({id, u"Book " + id, i % 2 ? u"Author " + id : u""});
    }
    return out;
}

Doc::Meta meta(std::u16string title, std::u16string author, std::u16string source) {
    Doc::Meta m(u"id-" + title, std::move(title), u"epub", 0, 10, 100);
    m.author = std::move(author);
    m.source = std::move(source);
    return m;
}

class FreeBooks : public ::testing::Test {
protected:
    FreeBooks() {
        FreeBooksView::Host host;
        host.page = [this](const std::u16string& q, int64_t start, Gutenberg::Books done, Gutenberg::Failed failed) {
            pages.requests.push_back({q, start, std::move(done), std::move(failed)});
        };
        host.docs = [this] { return docs; };
        host.open = [this](const Book& b) { opened.push_back(b); };
        host.root = root;
        view = std::make_unique<FreeBooksView>(std::move(host));
        view->resize(700, 900);
    }
    void settle() { test::spinUntil([] { return false; }, 30); }
    Chip* chip(const char* title) { return view->findChild<Chip*>(QString("shelf:") + title); }
    bool shown(const char* name) {
        auto* w = view->findChild<QWidget*>(name);
        return w && w->isVisible();
    }
    QWidget* row(int i) { return view->findChild<QWidget*>("book:" + QString::number(i)); }
    QString rowText(int i, const char* name) { return row(i)->findChild<QLabel*>(name)->text(); }
    QString rowButton(int i) { return row(i)->findChild<QPushButton*>("open")->text(); }

    test::WidgetAppFirst appFirst;
    FakePages pages;
    std::vector<Doc::Meta> docs;
    std::vector<Book> opened;
    std::unique_ptr<FreeBooksView> view;
};

TEST_F(FreeBooks, OpensOnChildrensShelfThenListsItsFirstPage) {
    view->show();
    settle();
    EXPECT_TRUE(chip("Children's")->on());
    EXPECT_FALSE(chip("Popular")->on());
    EXPECT_TRUE(shown("progress"));
    ASSERT_EQ(pages.requests.size(), 1u);
    EXPECT_EQ(pages.requests[0].query, u"bookshelf/20");
    EXPECT_EQ(pages.requests[0].start, 1);
    pages.requests[0].done(books(1, 30));
    settle();
    EXPECT_FALSE(shown("progress"));
    EXPECT_EQ(view->books().size(), 30u);
    EXPECT_EQ(view->nextStart(), 26);
    EXPECT_TRUE(view->more());
    EXPECT_FALSE(view->loading());
    EXPECT_EQ(rowText(0, "title"), "Book 1");
    // The last row offers the next page.
    auto* more = view->findChild<QPushButton*>("moreBooks");
    ASSERT_TRUE(more);
    more->click();
    ASSERT_EQ(pages.requests.size(), 2u);
    EXPECT_EQ(pages.requests[1].start, 26);
    settle();
    EXPECT_TRUE(shown("moreProgress"));
    EXPECT_FALSE(shown("progress"));  // books are listed: no centred indicator
}

TEST_F(FreeBooks, AnswerForAShelfNoLongerChosenIsDropped) {
    view->show();
    settle();
    chip("Mystery")->click();
    ASSERT_EQ(pages.requests.size(), 2u);
    EXPECT_EQ(pages.requests[1].query, u"s.detective l.en");
    pages.requests[0].done(books(1, 5));  // Children's, late
    EXPECT_TRUE(view->books().empty());
    EXPECT_TRUE(view->loading());
    pages.requests[1].done(books(100, 30));
    EXPECT_EQ(view->books().front().id, u"100");
    EXPECT_TRUE(chip("Mystery")->on());
    EXPECT_FALSE(chip("Children's")->on());
}

TEST_F(FreeBooks, SearchTakesThePlaceOfTheShelfUntilCleared) {
    view->show();
    settle();
    auto* search = view->findChild<QLineEdit*>("search");
    search->setText(QString::fromUtf16(u"\u00A0 sea stories\t "));
    view->submitSearch();
    EXPECT_EQ(view->searched(), u"sea stories");
    EXPECT_EQ(pages.requests.back().query, u"sea stories");
    EXPECT_EQ(pages.requests.back().start, 1);
    for (const char* t : {"Popular", "Children's", "Mystery"}) EXPECT_FALSE(chip(t)->on()) << t;
    EXPECT_EQ(view->shelf(), 1);
    EXPECT_EQ(search->text(), QString::fromUtf16(u"\u00A0 sea stories\t "));  // the field keeps its text
    // A line break is not horizontal space and stays part of the search.
    search->setText("tales\n");
    view->submitSearch();
    EXPECT_EQ(view->searched(), u"tales\n");
    // All blanks: back to the shelf, its chip on again.
    search->setText("   ");
    view->submitSearch();
    EXPECT_FALSE(view->searched());
    EXPECT_TRUE(chip("Children's")->on());
    EXPECT_EQ(pages.requests.back().query, u"bookshelf/20");
    // Choosing a shelf while searching clears the field.
    search->setText("pirates");
    view->submitSearch();
    chip("Poetry")->click();
    EXPECT_TRUE(search->text().isEmpty());
    EXPECT_FALSE(view->searched());
    EXPECT_EQ(pages.requests.back().query, u"s.poetry l.en");
}

TEST_F(FreeBooks, FailureOnAnEmptyListOffersTryAgain) {
    view->show();
    settle();
    pages.requests[0].failed(u"Project Gutenberg answered 503. Try again in a moment.");
    settle();
    EXPECT_EQ(view->error(), FreeBooksView::failureText);
    EXPECT_TRUE(shown("tryAgain"));
    EXPECT_EQ(view->findChild<QLabel*>("error")->text(), QString::fromUtf16(FreeBooksView::failureText.data()));
    EXPECT_FALSE(shown("progress"));
    EXPECT_FALSE(shown("noBooks"));
    view->findChild<QPushButton*>("tryAgain")->click();
    settle();
    EXPECT_FALSE(view->error());
    EXPECT_FALSE(shown("tryAgain"));
    EXPECT_TRUE(shown("progress"));
    EXPECT_EQ(pages.requests.back().start, 1);
}

TEST_F(FreeBooks, FailureWithBooksListedKeepsThemAndTheNextStart) {
    view->show();
    settle();
    pages.requests[0].done(books(1, 30));
    view->load(false);
    pages.requests.back().failed(u"timed out");
    settle();
    EXPECT_EQ(view->books().size(), 30u);
    EXPECT_EQ(view->nextStart(), 26);
    EXPECT_TRUE(view->more());
    EXPECT_FALSE(shown("tryAgain"));  // nothing shown over a filled list
    EXPECT_TRUE(shown("moreBooks"));
    view->findChild<QPushButton*>("moreBooks")->click();
    EXPECT_EQ(pages.requests.back().start, 26);
}

TEST_F(FreeBooks, PagingFiltersKnownIdsAndEndsOnAnEmptyPage) {
    view->show();
    settle();
    pages.requests[0].done(books(1, 30));
    view->load(false);
    // Ids 21..30 are known; the page's own repeat of 31 stays.
    std::vector<Book> second = books(21, 15);
    second.push_back(books(31, 1)[0]);
    pages.requests.back().done(second);
    EXPECT_EQ(view->books().size(), 30u + 6u);
    EXPECT_EQ(view->nextStart(), 51);
    // Only repeats: nothing added, the start still moves on, paging goes on.
    view->load(false);
    pages.requests.back().done(books(1, 10));
    EXPECT_EQ(view->books().size(), 36u);
    EXPECT_EQ(view->nextStart(), 76);
    EXPECT_TRUE(view->more());
    view->load(false);
    pages.requests.back().done({});
    settle();
    EXPECT_FALSE(view->more());
    EXPECT_FALSE(view->findChild<QWidget*>("lastRow"));
    EXPECT_EQ(view->nextStart(), 101);
}

TEST_F(FreeBooks, EmptyFirstPageSaysNoBooksFound) {
    view->show();
    settle();
    pages.requests[0].done({});
    settle();
    EXPECT_TRUE(shown("noBooks"));
    EXPECT_FALSE(shown("progress"));
    EXPECT_FALSE(view->findChild<QWidget*>("lastRow"));
}

TEST_F(FreeBooks, LastRowComingIntoViewLoadsTheNextPageOnce) {
    view->show();
    settle();
    pages.requests[0].done(books(1, 2));  // short: the last row is in view
    settle();
    ASSERT_EQ(pages.requests.size(), 2u);
    EXPECT_EQ(pages.requests[1].start, 26);
    // A page of repeats leaves the row where it was: no request of its own.
    pages.requests[1].done(books(1, 2));
    settle();
    EXPECT_EQ(pages.requests.size(), 2u);
    EXPECT_TRUE(shown("moreBooks"));
}

TEST_F(FreeBooks, LaterAppearanceReloadsOnlyAnEmptyList) {
    view->show();
    settle();
    pages.requests[0].failed(u"x");
    view->hide();
    view->show();
    settle();
    EXPECT_EQ(pages.requests.size(), 2u);
    pages.requests[1].done(books(1, 30));
    view->hide();
    view->show();
    settle();
    EXPECT_EQ(pages.requests.size(), 2u);
}

TEST(FreeBooksInList, MatchesBySourceOrByTitleWithoutSource) {
    const Book fairy{u"216", u"Fairy Tales", u""};
    struct Case {
        const char* name;
        std::vector<Doc::Meta> docs;
        bool listed;
    } cases[] = {
        {"empty list", {}, false},
        {"same address", {meta(u"Other title", u"", root + u"216")}, true},
        {"no source, title text begins with the title", {meta(u"Fairy Tales", u"Anonymous", u"")}, true},
        {"other source with the same title", {meta(u"Fairy Tales", u"", u"https://elsewhere/216")}, false},
        {"address of another book", {meta(u"Fairy Tales", u"", root + u"2160")}, false},
        {"no source, title only contained", {meta(u"Old Fairy Tales", u"", u"")}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FreeBooksView::inList(fairy, c.docs, root), c.listed);
    }
}

TEST_F(FreeBooks, RowsShowListStateAndOpen) {
    docs = {meta(u"Book 1", u"", root + u"1")};
    view->show();
    settle();
    pages.requests[0].done(books(1, 30));
    settle();
    EXPECT_EQ(rowButton(0), "Open");
    EXPECT_EQ(rowText(0, "subtitle"), QString::fromUtf16(u"Author 1 \u00B7 In your list"));
    auto* subtitle = row(0)->findChild<QLabel*>("subtitle");
    EXPECT_EQ(subtitle->palette().color(QPalette::WindowText), Theme::accent().resolve(subtitle->palette()));
    EXPECT_EQ(rowButton(1), "Listen");
    EXPECT_EQ(rowText(1, "subtitle"), "");  // no author, not listed
    // Removing the entry turns the row back.
    docs.clear();
    view->libraryChanged();
    EXPECT_EQ(rowButton(0), "Listen");
    EXPECT_EQ(rowText(0, "subtitle"), "Author 1");
    row(2)->findChild<QPushButton*>("open")->click();
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(row(3), &dbl);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].id, u"3");
    EXPECT_EQ(opened[1].id, u"4");
}

}  // namespace
}  // namespace tovan
