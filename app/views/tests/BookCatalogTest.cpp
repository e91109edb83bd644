#include "BookCatalog.h"
#include "LoopbackHttp.h"
#include "Regex.h"
#include "TestApp.h"
#include "TestPaths.h"

#include <QFile>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <optional>

namespace tovan {
namespace {

using Book = Gutenberg::Book;

std::string fixture(const char* name) {
    QFile f(QString::fromStdString(test::testData(std::string("gutenberg/") + name).string()));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

std::string entry(const std::string& inner) {
    return "<entry>" + inner + "</entry>";
}

TEST(Gutenberg, PageAddresses) {
    const Gutenberg g(u"https://books.example/ebooks/", nullptr);
    struct Case {
        std::u16string query;
        int64_t start;
        std::u16string rest;  // after the root
    } cases[] = {
        {u"bookshelf/216", 26, u"bookshelf/216.opds?sort_order=downloads&start_index=26"},
        {u"", 1, u"search.opds/?sort_order=downloads&start_index=1"},
        {u"sea stories", 1, u"search.opds/?sort_order=downloads&start_index=1&query=sea%20stories"},
        {u"s.poetry l.en", 51, u"search.opds/?sort_order=downloads&start_index=51&query=s.poetry%20l.en"},
        {u"Caf\u00e9 #1", 1, u"search.opds/?sort_order=downloads&start_index=1&query=Caf%C3%A9%20%231"},
        // '&', '=' and '+' would change the query's meaning: escaped.
        {u"Pride & Prejudice", 1, u"search.opds/?sort_order=downloads&start_index=1&query=Pride%20%26%20Prejudice"},
        {u"a=b+c", 1, u"search.opds/?sort_order=downloads&start_index=1&query=a%3Db%2Bc"},
        {u"it's (1/2)?", 1, u"search.opds/?sort_order=downloads&start_index=1&query=it's%20(1/2)?"},
        // Only a query that begins with the shelf prefix takes the shelf form.
        {u" bookshelf/20", 1, u"search.opds/?sort_order=downloads&start_index=1&query=%20bookshelf/20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(u8(c.query));
        EXPECT_EQ(u8(g.pageAddress(c.query, c.start)), u8(u"https://books.example/ebooks/" + c.rest));
    }
    EXPECT_EQ(Gutenberg(u"https://books.example/ebooks", nullptr).root(), u"https://books.example/ebooks/");
    EXPECT_EQ(g.address(Book{u"2591", u"t", u""}), u"https://books.example/ebooks/2591");
}

TEST(Gutenberg, ShelvesInChipOrder) {
    ASSERT_EQ(Gutenberg::shelves.size(), 9u);
    EXPECT_EQ(Gutenberg::shelves[0].title, u"Popular");
    EXPECT_EQ(Gutenberg::shelves[0].query, u"");
    EXPECT_EQ(Gutenberg::shelves[1].query, u"bookshelf/20");
    EXPECT_EQ(Gutenberg::shelves[4].title, u"Mystery");
    EXPECT_EQ(Gutenberg::shelves[8].query, u"s.fiction l.en");
}

TEST(Gutenberg, ParsesTheFixtureShelf) {
    const std::string feed = fixture("shelf.opds");
    ASSERT_FALSE(feed.empty());
    const std::vector<Book> books = Gutenberg::parse(feed);
    const std::vector<Book> expected = {
        {u"2591", u"Grimms\u2019 Fairy Tales", u"Jacob Grimm and Wilhelm Grimm"},
        {u"503", u"The Blue Fairy Book", u"Andrew Lang"},
        {u"1597", u"Fairy Tales of Hans Christian Andersen", u""},
    };
    EXPECT_EQ(books, expected);
}

TEST(Gutenberg, ParseRules) {
    const std::string link = "<link href=\"/ebooks/7.opds\"/>";
    struct Case {
        const char* name;
        std::string feed;
        std::vector<Book> books;
    } cases[] = {
        {"entities, line breaks and runs of blanks",
         entry(link + "<title>  Pride &amp;\n   Prejudice </title><content type=\"text\">Jane\tAusten</content>"),
         {{u"7", u"Pride & Prejudice", u"Jane Austen"}}},
        {"no identifier: skipped", entry("<title>Lost</title>"), {}},
        {"identifier without .opds: skipped", entry("<a href=\"/ebooks/7\"/><title>Lost</title>"), {}},
        {"title written otherwise: skipped", entry(link + "<title type=\"text\">Lost</title>"), {}},
        {"no author", entry(link + "<title>Alone</title>"), {{u"7", u"Alone", u""}}},
        {"download count as author", entry(link + "<title>T</title><content type=\"text\">1 download</content>"),
         {{u"7", u"T", u""}}},
        {"download count inside an author stays",
         entry(link + "<title>T</title><content type=\"text\">Anonymous, 4521 downloads</content>"),
         {{u"7", u"T", u"Anonymous, 4521 downloads"}}},
        {"language at the end: dropped", entry(link + "<title>Contes (French)</title>"), {}},
        {"language then blanks: dropped", entry(link + "<title>Contes (French)  </title>"), {}},
        {"language in lower case stays", entry(link + "<title>Contes (french)</title>"),
         {{u"7", u"Contes (french)", u""}}},
        {"language not at the end stays", entry(link + "<title>Fairy Tales (German) Vol. 1</title>"),
         {{u"7", u"Fairy Tales (German) Vol. 1", u""}}},
        {"language in the author does not count",
         entry(link + "<title>T</title><content type=\"text\">Someone (German)</content>"),
         {{u"7", u"T", u"Someone (German)"}}},
        {"empty title stays", entry(link + "<title> </title>"), {{u"7", u"", u""}}},
        {"repeated ids both stay", entry(link + "<title>A</title>") + entry(link + "<title>B</title>"),
         {{u"7", u"A", u""}, {u"7", u"B", u""}}},
        {"not a feed", "<html><body>Service unavailable</body></html>", {}},
        {"nothing", "", {}},
        {"unclosed entry", "<entry>" + link + "<title>A</title>", {}},
        {"invalid UTF-8 becomes replacement characters", entry(link + "<title>A\xff\xfe B</title>"),
         {{u"7", u"A\ufffd\ufffd B", u""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Gutenberg::parse(c.feed), c.books);
    }
}

// Runs one call against the loopback server and waits for its outcome.
struct Outcome {
    std::optional<std::vector<Book>> books;
    std::optional<QByteArray> bytes;
    std::optional<std::u16string> error;
    bool done() const { return books || bytes || error; }
};

class GutenbergNet : public ::testing::Test {
protected:
    Outcome page(const std::u16string& query, int64_t start) {
        Outcome o;
        client().page(query, start, [&](std::vector<Book> b) { o.books = std::move(b); },
                      [&](std::u16string e) { o.error = std::move(e); });
        EXPECT_TRUE(test::spinUntil([&] { return o.done(); }));
        return o;
    }
    Outcome epub(const std::u16string& id) {
        Outcome o;
        client().epub(Book{id, u"T", u""}, [&](QByteArray b) { o.bytes = std::move(b); },
                      [&](std::u16string e) { o.error = std::move(e); });
        EXPECT_TRUE(test::spinUntil([&] { return o.done(); }));
        return o;
    }
    Gutenberg client() {
        const std::string root = server.base() + "/ebooks/";
        return Gutenberg(std::u16string(root.begin(), root.end()), &network);
    }

    test::WidgetAppFirst appFirst;
    test::LoopbackHttp server;
    QNetworkAccessManager network;
};

TEST_F(GutenbergNet, FetchesAndParsesAPageWithItsUserAgent) {
    server.answers["/ebooks/bookshelf/216.opds?sort_order=downloads&start_index=26"] = {200, fixture("shelf.opds").c_str()};
    const Outcome o = page(u"bookshelf/216", 26);
    ASSERT_TRUE(o.books) << (o.error ? u8(*o.error) : "");
    EXPECT_EQ(o.books->size(), 3u);
    ASSERT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(server.requests[0].userAgent, Gutenberg::userAgent);
}

TEST_F(GutenbergNet, StatusAndSizeRules) {
    const std::string popular = "/ebooks/search.opds/?sort_order=downloads&start_index=1";
    struct Case {
        const char* name;
        test::LoopbackHttp::Answer answer;
        std::optional<std::u16string> error;  // none: success
    };
    const std::string okFeed = entry("<link href=\"/ebooks/9.opds\"/><title>Nine</title>");
    Case cases[] = {
        {"404 with a short body", {404, "no"}, u"Project Gutenberg answered 404. Try again in a moment."},
        {"503 with a large body", {503, QByteArray(5000000, 'x')},
         u"Project Gutenberg answered 503. Try again in a moment."},
        {"399 succeeds", {399, okFeed.c_str()}, std::nullopt},
        {"exactly the limit passes", {200, QByteArray::fromStdString(okFeed) +
                                               QByteArray(Gutenberg::pageLimit - okFeed.size(), ' ')},
         std::nullopt},
        {"one byte over fails", {200, QByteArray(Gutenberg::pageLimit + 1, ' ')},
         u"This book is too large to download."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.answers[popular] = c.answer;
        const Outcome o = page(u"", 1);
        if (c.error) {
            EXPECT_EQ(o.error, c.error);
            EXPECT_FALSE(o.books);
        } else {
            ASSERT_TRUE(o.books) << (o.error ? u8(*o.error) : "");
            EXPECT_EQ(*o.books, (std::vector<Book>{{u"9", u"Nine", u""}}));
        }
    }
}

TEST_F(GutenbergNet, FollowsRedirects) {
    server.answers["/ebooks/bookshelf/20.opds?sort_order=downloads&start_index=1"] = {
        302, "", QByteArray::fromStdString(server.base() + "/moved")};
    server.answers["/moved"] = {200, entry("<link href=\"/ebooks/3.opds\"/><title>Three</title>").c_str()};
    const Outcome o = page(u"bookshelf/20", 1);
    ASSERT_TRUE(o.books);
    EXPECT_EQ(o.books->at(0).id, u"3");
}

TEST_F(GutenbergNet, TransportFailurePassesOn) {
    const quint16 port = test::closedLoopbackPort();
    Outcome o;
    const std::string root = "http://127.0.0.1:" + std::to_string(port) + "/ebooks/";
    Gutenberg(std::u16string(root.begin(), root.end()), &network)
        .page(u"", 1, [&](std::vector<Book> b) { o.books = b; }, [&](std::u16string e) { o.error = e; });
    ASSERT_TRUE(test::spinUntil([&] { return o.done(); }));
    ASSERT_TRUE(o.error);
    EXPECT_FALSE(o.error->empty());
}

TEST_F(GutenbergNet, EpubFallsBackToTheSecondFile) {
    server.answers["/ebooks/11.epub.noimages"] = {404, "gone"};
    server.answers["/ebooks/11.epub3.images"] = {200, "PK-second"};
    const Outcome o = epub(u"11");
    EXPECT_EQ(o.bytes, QByteArray("PK-second"));
    EXPECT_FALSE(o.error);
    ASSERT_EQ(server.requests.size(), 2u);
    EXPECT_EQ(server.requests[1].userAgent, Gutenberg::userAgent);
}

TEST_F(GutenbergNet, EpubTakesTheFirstFileWhenItWorks) {
    server.answers["/ebooks/12.epub.noimages"] = {200, "PK-first"};
    server.answers["/ebooks/12.epub3.images"] = {200, "PK-second"};
    EXPECT_EQ(epub(u"12").bytes, QByteArray("PK-first"));
    EXPECT_EQ(server.requests.size(), 1u);
}

TEST_F(GutenbergNet, EpubReportsTheSecondFailure) {
    server.answers["/ebooks/13.epub.noimages"] = {500, "x"};
    server.answers["/ebooks/13.epub3.images"] = {503, "x"};
    EXPECT_EQ(epub(u"13").error, u"Project Gutenberg answered 503. Try again in a moment.");
}

}  // namespace
}  // namespace tovan
