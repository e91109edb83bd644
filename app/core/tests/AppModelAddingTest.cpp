// The roads by which documents enter the list: text, links (over a loopback
// web server), files, PDFs and free catalogue books.
#include "AppModel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "../../../pdfimport/tests/PdfWriter.h"
#include "../../../documents/tests/ZipFixture.h"
#include "Extract.h"
#include "HeldWork.h"
#include "LoopbackHttp.h"
#include "ModelTestUtil.h"
#include "PdfImport.h"

using tovan::AppModel;
using tovan::Doc;
using tovan::Progress;
using modeltest::Model;
using namespace tovan::test;

namespace {

const QString ellipsis = QString(QChar(0x2026));

QByteArray page(const QString& title, const QString& body) {
    return (QStringLiteral("<html><head><title>") + title + QStringLiteral("</title></head><body><article>") + body +
            QStringLiteral("</article></body></html>"))
        .toUtf8();
}

const QString kArticle = QStringLiteral(
    "<p>The harbour was quiet in the early morning, and the fishing boats lay still on the grey water.</p>"
    "<p>By noon the market had filled with voices, and the smell of bread drifted over the square.</p>");

std::string pdfBytes() {
    tovan::test::PdfSpec spec;
    spec.title = "Harbour Notes";
    tovan::test::PdfPage p;
    p.texts.push_back({72, 700, 12, "The harbour was quiet in the early morning light."});
    p.texts.push_back({72, 680, 12, "Boats lay still on the water until the tide turned."});
    spec.pages.push_back(p);
    return tovan::test::makePdf(spec);
}

std::string epubBytes(bool withTitle) {
    tovan::test::ZipFixture z;
    z.add("mimetype", "application/epub+zip", 0);
    z.add("META-INF/container.xml",
          "<?xml version=\"1.0\"?><container><rootfiles><rootfile full-path=\"content.opf\"/></rootfiles></container>",
          0);
    std::string meta = withTitle ? "<dc:title>A Small Book</dc:title>" : "";
    z.add("content.opf", "<package><metadata>" + meta +
                             "</metadata><manifest><item id=\"c1\" href=\"c1.xhtml\" "
                             "media-type=\"application/xhtml+xml\"/></manifest><spine><itemref idref=\"c1\"/></spine>"
                             "</package>",
          0);
    z.add("c1.xhtml",
          "<html><body><h1>One</h1><p>The first chapter begins here, with a paragraph long enough to count as the "
          "start of the body of the book rather than its title page.</p><p>A second paragraph follows it.</p>"
          "</body></html>",
          0);
    return z.build();
}

// Records every notice the model shows.
struct Notices {
    QStringList shown;
    QObject context;  // ends the connection with the recorder
    explicit Notices(AppModel& m) {
        QObject::connect(&m, &AppModel::openingChanged, &context, [this, &m] {
            if (m.opening()) shown << *m.opening();
        });
    }
};

struct Adding : ::testing::Test {
    Model m;
    LoopbackHttp web;
    std::vector<std::u16string> kinds() {
        std::vector<std::u16string> out;
        for (auto& row : m->library.docs()) out.push_back(row.kind);
        return out;
    }
};

}  // namespace

TEST_F(Adding, BlankTextDoesNothing) {
    Notices notices(*m);
    for (const char16_t* blank : {u"", u"   ", u" \n\t\r\n "}) m->read(blank, std::nullopt, true);
    EXPECT_TRUE(m->library.docs().empty());
    EXPECT_FALSE(m->problem());
    EXPECT_TRUE(notices.shown.isEmpty());
}

TEST_F(Adding, TextBecomesADocumentWithItsTitle) {
    m->read(u"  First sentence here. And a second one.  ", u"My note", false);
    ASSERT_EQ(m->library.docs().size(), 1u);
    const auto& row = m->library.docs()[0];
    EXPECT_EQ(row.title, u"My note");
    EXPECT_EQ(row.kind, u"text");
    EXPECT_EQ(row.count, 2);
    EXPECT_FALSE(m->opening());
}

TEST_F(Adding, ALoneWebAddressIsFetchedAsALinkButNotWithWordsAround) {
    web.answers["/story"] = {200, page("Harbour", kArticle), {}, "text/html; charset=utf-8"};
    const QString url = web.url("/story").toString();
    Notices notices(*m);

    m->read((u" \n" + url.toStdU16String() + u"\n "), u"ignored", false);
    ASSERT_TRUE(m.settle());
    EXPECT_EQ(notices.shown, QStringList{QStringLiteral("Reading 127.0.0.1") + ellipsis});
    ASSERT_EQ(m->library.docs().size(), 1u) << (m->problem() ? m->problem()->toStdString() : "");
    EXPECT_EQ(m->library.docs()[0].kind, u"web");
    EXPECT_EQ(m->library.docs()[0].source, url.toStdU16String());
    EXPECT_FALSE(m->problem());

    m->read(u"see " + url.toStdU16String(), std::nullopt, false);
    EXPECT_EQ(kinds(), (std::vector<std::u16string>{u"text", u"web"}));
    ASSERT_FALSE(web.requests.empty());
    EXPECT_TRUE(web.requests[0].head.contains("User-Agent: Mozilla/5.0 (Macintosh) TovanTTS")) << web.requests[0].head.data();
}

// A page is decoded whole: several MiB of script before the article (and a
// character that would straddle a cut) still give the article.
// On a full disk the pasted text is not lost without a word: the user is told
// and the document is still there to play.
TEST_F(Adding, ATextThatCannotBeStoredIsReportedAndKept) {
    {
        modeltest::FullDisk full(10);
        m->read(u"A text that finds no room on the disk. It has two sentences.", u"No room", false);
    }
    EXPECT_TRUE(m->library.docs().empty());
    ASSERT_TRUE(m->problem());
    EXPECT_TRUE(m->problem()->contains(QStringLiteral("No room"))) << m->problem()->toStdString();
    ASSERT_EQ(m->library.loaded.size(), 1u);
    EXPECT_EQ(m->library.loaded.begin()->second->title, u"No room");
}

TEST_F(Adding, APageIsReadWholePastItsScripts) {
    const QString script = QStringLiteral("<script>") + QString(4 * 1024 * 1024, QLatin1Char('x')) +
                           QStringLiteral("\u00e9</script>");
    web.answers["/long"] = {200, page("Long", script + kArticle), {}, "text/html; charset=utf-8"};
    web.answers["/short"] = {200, page("Long", kArticle), {}, "text/html; charset=utf-8"};
    for (const char* path : {"/short", "/long"}) {
        m->open(web.url(path), false);
        ASSERT_TRUE(m.settle());
    }
    ASSERT_EQ(m->library.docs().size(), 2u) << (m->problem() ? m->problem()->toStdString() : "");
    EXPECT_EQ(m->library.docs()[1].count, m->library.docs()[0].count);
    EXPECT_EQ(m->library.docs()[1].title, m->library.docs()[0].title);
}

TEST_F(Adding, AnErrorPageIsReadLikeAnyPage) {
    web.answers["/gone"] = {404, page("Gone", kArticle), {}, "text/html"};
    m->open(web.url("/gone"), false);
    ASSERT_TRUE(m.settle());
    ASSERT_EQ(m->library.docs().size(), 1u);
    EXPECT_EQ(m->library.docs()[0].title, u"Gone");
    EXPECT_FALSE(m->problem());
}

TEST_F(Adding, NothingToReadIsShownAndNothingStored) {
    spit(m.dir / "blank.txt", "  \n\n \t \n");
    m->open(m.dir / "blank.txt", true);
    ASSERT_TRUE(m.settle());
    EXPECT_EQ(m->problem(), AppModel::nothingToRead());
    EXPECT_TRUE(m->library.docs().empty());
}

TEST_F(Adding, PdfLinksGoThroughTheFileRoad) {
    const QByteArray pdf = QByteArray::fromStdString(pdfBytes());
    struct Case {
        const char* path;
        QByteArray type;
    } cases[] = {
        {"/download?id=7", "application/pdf"},   // by content type
        {"/paper/NOTES.PDF", "text/html"},        // by extension, in any case
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        web.answers[QString::fromLatin1(c.path).section('?', 0, 0).toStdString()] = {200, pdf, {}, c.type};
        Notices notices(*m);
        m->open(web.url(QString::fromLatin1(c.path)), false);
        ASSERT_TRUE(m.settle());
        ASSERT_FALSE(m->problem()) << m->problem()->toStdString();
        ASSERT_EQ(notices.shown.size(), 2);
        EXPECT_TRUE(notices.shown[1].startsWith(QStringLiteral("Opening "))) << notices.shown[1].toStdString();
        EXPECT_TRUE(notices.shown[1].endsWith(QStringLiteral(".pdf") + ellipsis));
        ASSERT_EQ(m->library.docs().size(), size_t(++n));
        const auto& row = m->library.docs()[0];
        EXPECT_EQ(row.kind, u"pdf");
        EXPECT_TRUE(std::filesystem::exists(m->library.pdfPath(row.id)));
    }
}

TEST_F(Adding, EpubLinksAreExtractedWithTheFileNameAsFallbackTitle) {
    web.answers["/books/small.epub"] = {200, QByteArray::fromStdString(epubBytes(false)), {}, "application/octet-stream"};
    m->open(web.url("/books/small.epub"), false);
    ASSERT_TRUE(m.settle());
    ASSERT_FALSE(m->problem()) << m->problem()->toStdString();
    ASSERT_EQ(m->library.docs().size(), 1u);
    EXPECT_EQ(m->library.docs()[0].kind, u"epub");
    EXPECT_EQ(m->library.docs()[0].title, u"small.epub");
}

TEST_F(Adding, ANetworkFailureIsShownAndChangesNothing) {
    const quint16 port = closedLoopbackPort();
    m->read(u"keep this. it stays.", std::nullopt, false);
    const auto before = m->library.docs();
    m->open(QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(port)), false);
    EXPECT_TRUE(m->opening());
    ASSERT_TRUE(m.settle());
    ASSERT_TRUE(m->problem());
    EXPECT_FALSE(m->problem()->isEmpty());
    EXPECT_EQ(m->library.docs(), before);
}

TEST_F(Adding, FilesAreAddedOnceAndFailuresShowTheirMessage) {
    spit(m.dir / "note.html", "<html><body><p>A page file with words. It has two sentences.</p></body></html>");
    Notices notices(*m);
    m->open(m.dir / "note.html", false);
    ASSERT_TRUE(m.settle());
    EXPECT_EQ(notices.shown, QStringList{QStringLiteral("Opening note.html") + ellipsis});
    ASSERT_EQ(m->library.docs().size(), 1u) << (m->problem() ? m->problem()->toStdString() : "");
    const auto first = m->library.docs()[0];
    m->open(m.dir / "note.html", false);
    ASSERT_TRUE(m.settle());
    ASSERT_EQ(m->library.docs().size(), 1u);
    EXPECT_EQ(m->library.docs()[0].id, first.id);
    EXPECT_FALSE(m->problem());

    spit(m.dir / "broken.pdf", "not a pdf at all");
    spit(m.dir / "book.epub", "PK not really");
    struct Case {
        std::filesystem::path file;
        std::optional<QString> message;  // none: any non-empty message
    } cases[] = {
        {m.dir / "broken.pdf", QString::fromStdU16String(std::u16string(tovan::PdfImport::unopenable))},
        {m.dir / "missing.txt", std::nullopt},
        {m.dir / "book.epub", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        m->setProblem(std::nullopt);
        m->open(c.file, false);
        ASSERT_TRUE(m.settle());
        ASSERT_TRUE(m->problem());
        if (c.message) {
            EXPECT_EQ(*m->problem(), *c.message);
        } else {
            EXPECT_FALSE(m->problem()->isEmpty());
        }
        EXPECT_EQ(m->library.docs().size(), 1u);
    }
}

TEST_F(Adding, APdfFileKeepsACopyInTheLibrary) {
    tovan::test::spit(m.dir / "harbour.pdf", pdfBytes());
    m->open(m.dir / "harbour.pdf", false);
    ASSERT_TRUE(m.settle());
    ASSERT_FALSE(m->problem()) << m->problem()->toStdString();
    ASSERT_EQ(m->library.docs().size(), 1u);
    const auto& row = m->library.docs()[0];
    EXPECT_EQ(row.kind, u"pdf");
    EXPECT_EQ(row.source, (m.dir / "harbour.pdf").u16string());
    EXPECT_EQ(slurp(m->library.pdfPath(row.id)), pdfBytes());
    auto doc = m->library.doc(row.id);
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc->regions.has_value());
}

namespace {

// Every file and temporary in a folder (hidden ones too), by name.
std::set<std::string> namesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
    return names;
}

// Many paragraphs, so that the roads report many times.
std::string longText() {
    std::string s;
    for (int i = 0; i < 2000; ++i)
        s += "Paragraph " + std::to_string(i) + " tells of the harbour. It ends with a second sentence.\n\n";
    return s;
}

// A model whose adding work is parked at its `holdAt`-th progress report.
struct Cancelling : ::testing::Test {
    std::unique_ptr<HeldWork> held = std::make_unique<HeldWork>();
    std::atomic<int> reports{0};
    int holdAt = 2;
    // Holds the work instead at the first report for which it is true.
    std::function<bool(double fraction)> holdWhen;
    std::atomic<bool> heldOnce{false};
    Model m{[this](AppModel::Config& c) {
        c.addingReport = [this](double fraction, const Progress&) {
            if (++reports == holdAt || (holdWhen && holdWhen(fraction) && !heldOnce.exchange(true))) held->hold();
        };
    }};
    LoopbackHttp web;
    TempDir tmp;
    const bool hadTmp = qEnvironmentVariableIsSet("TMPDIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    // A downloaded PDF goes to the temporary folder: this one is watched.
    Cancelling() { qputenv("TMPDIR", QByteArray::fromStdString(tmp.path.string())); }
    ~Cancelling() override {
        held->release();
        if (hadTmp) {
            qputenv("TMPDIR", savedTmp);
        } else {
            qunsetenv("TMPDIR");
        }
    }
    // Waits until the work under way is over, its outcome delivered.
    bool workEnded() { return spinUntil([this] { return m->addingWork() == 0; }); }
};

}  // namespace

TEST_F(Cancelling, ProgressRisesToTheEndWhileAFileIsAdded) {
    holdAt = -1;
    spit(m.dir / "long.txt", longText());
    std::vector<double> shown;
    QObject context;
    QObject::connect(m.model.get(), &AppModel::openingProgressChanged, &context, [&] {
        if (m->openingProgress()) shown.push_back(*m->openingProgress());
    });
    m->open(m.dir / "long.txt", false);
    EXPECT_FALSE(m->openingProgress());  // nothing known before the work reports
    ASSERT_TRUE(m.settle());
    ASSERT_TRUE(workEnded());
    ASSERT_EQ(m->library.docs().size(), 1u);
    EXPECT_EQ(m->library.docs()[0].count, 4000);
    ASSERT_GE(shown.size(), 10u);
    for (size_t i = 1; i < shown.size(); ++i) EXPECT_GT(shown[i], shown[i - 1]) << i;
    EXPECT_EQ(shown.back(), 1.0);
    EXPECT_FALSE(m->openingProgress());  // gone with the notice
}

// A cancel in the middle of any road: the notice goes at once, the work stops
// at its next report, and the list, the library folder and the temporary
// folder are as they were (a downloaded PDF is deleted too).
TEST_F(Cancelling, ACancelMidWayAddsNothingAndLeavesNoFiles) {
    m->read(u"Kept before. It stays.", u"Kept", false);
    spit(m.dir / "long.txt", longText());
    spit(m.dir / "harbour.pdf", pdfBytes());
    QString article;
    for (int i = 0; i < 200; ++i) article += kArticle;
    web.answers["/long"] = {200, page("Long", article), {}, "text/html; charset=utf-8"};
    web.answers["/paper"] = {200, QByteArray::fromStdString(pdfBytes()), {}, "application/pdf"};
    struct Case {
        const char* what;
        std::function<void()> open;
    } cases[] = {
        {"text file", [&] { m->open(m.dir / "long.txt", true); }},
        {"PDF file", [&] { m->open(m.dir / "harbour.pdf", true); }},
        {"page link", [&] { m->open(web.url("/long"), true); }},
        {"PDF link", [&] { m->open(web.url("/paper"), true); }},
    };
    const auto before = m->library.docs();
    const auto libraryFiles = namesIn(m->support / "library");
    const auto tmpFiles = namesIn(tmp.path);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        held = std::make_unique<HeldWork>();  // no work runs now
        reports = 0;
        c.open();
        ASSERT_TRUE(spinUntil([&] { return held->reached(); }));
        spinEvents();  // the reports before the held one arrive
        EXPECT_TRUE(m->opening());
        EXPECT_TRUE(m->openingProgress());
        m->cancelOpening();
        EXPECT_FALSE(m->opening());
        EXPECT_FALSE(m->openingProgress());
        held->release();
        ASSERT_TRUE(workEnded());
        EXPECT_EQ(reports, holdAt) << "a report after the cancel";
        EXPECT_FALSE(m->opening());
        EXPECT_FALSE(m->problem()) << m->problem()->toStdString();
        EXPECT_EQ(m->library.docs(), before);
        EXPECT_EQ(namesIn(m->support / "library"), libraryFiles);
        EXPECT_EQ(namesIn(tmp.path), tmpFiles);
    }
}

// The document is written on the worker: when the last report comes, its
// files are in the library folder while the main thread has not yet heard of
// it, and the notice (with its Cancel) goes only once the row is listed.
TEST_F(Cancelling, TheDocumentIsWrittenBeforeTheNoticeGoes) {
    holdAt = -1;
    holdWhen = [](double fraction) { return fraction == 1.0; };
    spit(m.dir / "long.txt", longText());
    std::optional<size_t> rowsWhenTheNoticeWent;
    QObject context;
    QObject::connect(m.model.get(), &AppModel::openingChanged, &context, [&] {
        if (!m->opening()) rowsWhenTheNoticeWent = m->library.docs().size();
    });
    const auto before = namesIn(m->support / "library");
    m->open(m.dir / "long.txt", false);
    ASSERT_TRUE(spinUntil([&] { return held->reached(); }));
    spinEvents();
    const auto written = namesIn(m->support / "library");
    ASSERT_EQ(written.size(), before.size() + 2);  // <id>.json and <id>.meta
    EXPECT_TRUE(m->opening());
    EXPECT_TRUE(m->library.docs().empty());
    held->release();
    ASSERT_TRUE(workEnded());
    EXPECT_FALSE(m->opening());
    EXPECT_EQ(rowsWhenTheNoticeWent, 1u);
    ASSERT_EQ(m->library.docs().size(), 1u);
    EXPECT_EQ(m->library.docs()[0].count, 4000);
    EXPECT_FALSE(m->problem());
}

// Writing the document can be cancelled until it commits: a cancel while its
// bytes are made leaves nothing behind; one that comes once the files are
// being written is too late, and the document is added as if none came.
TEST_F(Cancelling, TheDocumentCanBeCancelledUntilItIsCommitted) {
    spit(m.dir / "long.txt", longText());
    holdAt = -1;
    struct Case {
        const char* what;
        std::function<bool(double)> holdWhen;
        size_t rows;
    } cases[] = {
        {"while its bytes are made", [](double f) { return f > 0.86 && f < 0.95; }, 0},
        {"once it is written", [](double f) { return f == 1.0; }, 1},
    };
    const auto files = namesIn(m->support / "library");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        held = std::make_unique<HeldWork>();
        heldOnce = false;
        holdWhen = c.holdWhen;
        m->open(m.dir / "long.txt", false);
        ASSERT_TRUE(spinUntil([&] { return held->reached(); }));
        spinEvents();
        m->cancelOpening();
        EXPECT_EQ(m->opening().has_value(), c.rows == 1);  // a committed road keeps its notice
        held->release();
        ASSERT_TRUE(workEnded());
        EXPECT_FALSE(m->opening());
        EXPECT_FALSE(m->problem());
        EXPECT_EQ(m->library.docs().size(), c.rows);
        EXPECT_EQ(namesIn(m->support / "library").size(), files.size() + 2 * c.rows);
    }
}

// Two roads that add the same file at once give one row: the second finds
// what the first stored. Both are held once their sentences are cut and let
// into the store together.
TEST_F(Cancelling, TheSameFileAddedTwiceAtOnceGivesOneRow) {
    spit(m.dir / "long.txt", longText());
    holdAt = -1;
    HeldWork ready[2];
    std::atomic<int> arrived{0};
    thread_local bool waited = false;
    holdWhen = [&](double f) {
        if (f >= 0.85 && !waited) {
            waited = true;
            ready[arrived++ % 2].hold();
        }
        return false;
    };
    m->open(m.dir / "long.txt", false);
    m->open(m.dir / "long.txt", false);
    ASSERT_TRUE(spinUntil([&] { return ready[0].reached() && ready[1].reached(); }));
    ready[0].release();
    ready[1].release();
    ASSERT_TRUE(workEnded());
    EXPECT_FALSE(m->opening());
    EXPECT_FALSE(m->problem());
    ASSERT_EQ(m->library.docs().size(), 1u);
    EXPECT_EQ(namesIn(m->support / "library").size(), 2u);
}

// A document that cannot be written on the worker stays open unsaved, the
// user is told, and no file of it is left.
TEST_F(Cancelling, ADocumentThatCannotBeWrittenIsKeptAndReported) {
    holdAt = -1;
    spit(m.dir / "long.txt", longText());
    const auto files = namesIn(m->support / "library");
    {
        modeltest::FullDisk full(10);
        m->open(m.dir / "long.txt", false);
        ASSERT_TRUE(workEnded());
    }
    EXPECT_FALSE(m->opening());
    EXPECT_TRUE(m->library.docs().empty());
    ASSERT_TRUE(m->problem());
    EXPECT_TRUE(m->problem()->contains(QStringLiteral("could not be saved"))) << m->problem()->toStdString();
    EXPECT_EQ(m->library.loaded.size(), 1u);
    EXPECT_EQ(namesIn(m->support / "library"), files);
}

// Opening a PDF that is already listed adds no row and leaves no copy that
// belongs to no document.
TEST_F(Adding, APdfOpenedAgainLeavesNoStrayCopy) {
    tovan::test::spit(m.dir / "harbour.pdf", pdfBytes());
    for (int i = 0; i < 2; ++i) {
        m->open(m.dir / "harbour.pdf", false);
        ASSERT_TRUE(m.settle());
        ASSERT_TRUE(spinUntil([&] { return m->addingWork() == 0; }));
    }
    ASSERT_EQ(m->library.docs().size(), 1u);
    const auto id = m->library.docs()[0].id;
    std::set<std::string> expected;
    for (const char* ext : {".json", ".meta", ".pdf"})
        expected.insert(QString::fromStdU16String(id).toStdString() + ext);
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m->support / "library"))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, expected);
}

// A model that goes while a road runs (as the shared one does at quit)
// cancels the work, waits for its thread before it is gone, and deletes a
// PDF downloaded for the road: nothing of it runs on or stays behind. The
// work is parked at a report until the cancel reaches it, so it cannot slip
// past the point where its document is written.
TEST_F(Cancelling, AModelThatGoesWaitsForItsWorkAndLeavesNoFiles) {
    spit(m.dir / "long.txt", longText());
    web.answers["/paper"] = {200, QByteArray::fromStdString(pdfBytes()), {}, "application/pdf"};
    struct Case {
        const char* what;
        std::function<void(AppModel&)> open;
        int holdAt;  // the report of the work that gets parked
    } cases[] = {
        {"text file", [&](AppModel& a) { a.open(m.dir / "long.txt", true); }, 2},
        // Its first reports are the download being saved; then the import.
        {"PDF link", [&](AppModel& a) { a.open(web.url("/paper"), true); }, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::atomic<int> seen{0};
        std::atomic<bool> parked{false}, sawCancel{false}, resumed{false};
        auto other = std::make_unique<Model>([&](AppModel::Config& config) {
            config.addingReport = [&, at = c.holdAt](double, const Progress& work) {
                if (++seen != at) return;
                parked = true;
                // A model that never cancels fails here instead of hanging.
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (!work.cancelled() && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
                sawCancel = work.cancelled();
                resumed = true;
            };
        });
        const auto library = (*other)->support / "library";
        const auto libraryFiles = namesIn(library);
        const auto tmpFiles = namesIn(tmp.path);
        c.open(**other);
        ASSERT_TRUE(spinUntil([&] { return parked.load(); }));
        other->model.reset();  // the model goes; its folder stays to be looked at
        EXPECT_TRUE(sawCancel) << "the model went without cancelling its work";
        EXPECT_TRUE(resumed) << "the model went while its work still ran";
        spinEvents();
        EXPECT_EQ(namesIn(library), libraryFiles);
        EXPECT_EQ(namesIn(tmp.path), tmpFiles);
        other.reset();
    }
}

namespace {

struct Books : ::testing::Test {
    LoopbackHttp web;
    int fetches = 0;
    std::function<void(std::function<void(std::string)>, std::function<void(std::u16string)>)> answer;
    Model m{[this](AppModel::Config& c) {
        c.catalogue = u"https://books.example";
        c.bookFetch = [this](const AppModel::Book&, std::function<void(std::string)> done,
                             std::function<void(std::u16string)> failed) {
            ++fetches;
            answer(std::move(done), std::move(failed));
        };
    }};
};

}  // namespace

TEST_F(Books, ABookIsDownloadedOnceThenFoundInTheList) {
    answer = [](auto done, auto) { done(epubBytes(true)); };
    m->setSection(AppModel::Section::freeBooks);
    Notices notices(*m);
    m->open(AppModel::Book{u"1342", u"A Small Book", u"Someone"});
    ASSERT_TRUE(m.settle());
    EXPECT_EQ(notices.shown, QStringList{QStringLiteral("Downloading A Small Book") + ellipsis});
    EXPECT_EQ(m->section(), AppModel::Section::library);
    ASSERT_EQ(m->library.docs().size(), 1u) << (m->problem() ? m->problem()->toStdString() : "");
    EXPECT_EQ(m->library.docs()[0].source, u"https://books.example/ebooks/1342");

    m->setSection(AppModel::Section::freeBooks);
    m->open(AppModel::Book{u"1342", u"A Small Book", u"Someone"});
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(m->section(), AppModel::Section::library);
    EXPECT_FALSE(m->opening());
    EXPECT_EQ(m->library.docs().size(), 1u);
}

// The download is not stopped, but what it brings after a cancel is dropped.
TEST_F(Books, ABookCancelledWhileDownloadingIsNotAdded) {
    std::function<void(std::string)> arrive;
    answer = [&](auto done, auto) { arrive = std::move(done); };
    m->open(AppModel::Book{u"1342", u"A Small Book", u"Someone"});
    EXPECT_TRUE(m->opening());
    EXPECT_FALSE(m->openingProgress());  // a download's share is not known
    m->cancelOpening();
    EXPECT_FALSE(m->opening());
    ASSERT_TRUE(arrive);
    arrive(epubBytes(true));
    ASSERT_TRUE(spinUntil([&] { return m->addingWork() == 0; }));
    spinEvents();
    EXPECT_TRUE(m->library.docs().empty());
    EXPECT_FALSE(m->problem());
    EXPECT_FALSE(m->opening());
}

// While several roads run, the notice is the latest running one's until the
// last ends: no road runs on without a notice (and a Cancel) of its own.
TEST_F(Books, TheNoticeStaysWhileAnyRoadRuns) {
    std::vector<std::function<void(std::string)>> arrive;
    answer = [&](auto done, auto) { arrive.push_back(std::move(done)); };
    m->open(AppModel::Book{u"1", u"First Book", u""});
    m->open(AppModel::Book{u"2", u"Second Book", u""});
    ASSERT_EQ(arrive.size(), 2u);
    EXPECT_EQ(m->opening(), QStringLiteral("Downloading Second Book") + ellipsis);
    arrive[1](epubBytes(true));
    ASSERT_TRUE(spinUntil([&] { return m->addingWork() == 0; }));
    EXPECT_EQ(m->library.docs().size(), 1u);
    EXPECT_EQ(m->opening(), QStringLiteral("Downloading First Book") + ellipsis);
    m->cancelOpening();
    EXPECT_FALSE(m->opening());
    arrive[0](epubBytes(false));
    spinEvents();
    EXPECT_EQ(m->library.docs().size(), 1u);
}

TEST_F(Books, DownloadAndExtractionFailuresAreShown) {
    struct Case {
        std::function<void(std::function<void(std::string)>, std::function<void(std::u16string)>)> answer;
        QString message;
    } cases[] = {
        {[](auto, auto failed) { failed(u"Project Gutenberg answered 503. Try again in a moment."); },
         QStringLiteral("Project Gutenberg answered 503. Try again in a moment.")},
        {[](auto done, auto) { done("not a zip"); }, QString()},
    };
    for (const auto& c : cases) {
        answer = c.answer;
        m->setSection(AppModel::Section::freeBooks);
        m->setProblem(std::nullopt);
        m->open(AppModel::Book{u"9", u"Nine", u""});
        ASSERT_TRUE(m.settle());
        ASSERT_TRUE(m->problem());
        if (!c.message.isEmpty()) {
            EXPECT_EQ(*m->problem(), c.message);
        }
        EXPECT_FALSE(m->problem()->isEmpty());
        EXPECT_EQ(m->section(), AppModel::Section::freeBooks);
        EXPECT_TRUE(m->library.docs().empty());
    }
}

TEST(BookDownload, TriesTheSecondAddressAndReportsTheStatus) {
    LoopbackHttp web;
    const std::u16string root = web.url("").toString().toStdU16String();
    web.answers["/ebooks/5.epub3.images"] = {200, QByteArray::fromStdString(epubBytes(true)), {}, "application/epub+zip"};
    Model m([&](AppModel::Config& c) { c.catalogue = root; });
    m->open(AppModel::Book{u"5", u"A Small Book", u""});
    ASSERT_TRUE(m.settle());
    ASSERT_FALSE(m->problem()) << m->problem()->toStdString();
    EXPECT_EQ(m->library.docs().size(), 1u);
    ASSERT_EQ(web.requests.size(), 2u);
    EXPECT_TRUE(web.requests[0].head.startsWith("GET /ebooks/5.epub.noimages "));
    EXPECT_TRUE(web.requests[1].head.startsWith("GET /ebooks/5.epub3.images "));

    m->open(AppModel::Book{u"6", u"Missing", u""});
    ASSERT_TRUE(m.settle());
    EXPECT_EQ(m->problem(), QStringLiteral("Project Gutenberg answered 404. Try again in a moment."));
}

#include "Narrator.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"

namespace {

// A model whose narrator plays on a virtual output and clock.
struct Playing : ::testing::Test {
    FakeEngine fake;
    tovan::VirtualClock clock;
    TempDir audio;
    std::unique_ptr<Model> m;
    void SetUp() override {
        FakeEngine::next = &fake;
        m = std::make_unique<Model>([this](AppModel::Config& c) {
            c.directorLoader = [](const std::filesystem::path&) { return std::shared_ptr<tovan::Director>(); };
            c.narrator = [this](AppModel& a) {
                tovan::Narrator::Setup s;
                s.clock = &clock;
                s.main = &clock;
                s.output = std::make_unique<tovan::VirtualAudioOutput>(clock);
                s.audioDir = audio.path;
                return std::make_shared<tovan::Narrator>(a, std::move(s));
            };
        });
        ASSERT_TRUE((*m)->narrator);
    }
    void TearDown() override {
        if (m && (*m)->narrator) (*m)->narrator->pause();
        if (m) (*m)->syncEngine();
        clock.run();
        m.reset();
        FakeEngine::next = nullptr;
    }
};

}  // namespace

TEST_F(Playing, AddedDocumentsPlayOnlyWhenAsked) {
    Model& model = *m;
    model->read(u"Not played. Only stored.", std::nullopt, false);
    EXPECT_FALSE(model->narrator->doc());
    model->read(u"Played at once. From its start.", std::nullopt, true);
    ASSERT_TRUE(model->narrator->doc());
    EXPECT_EQ(model->narrator->doc()->title, model->library.docs()[0].title);
    EXPECT_EQ(model->narrator->doc()->id, model->library.docs()[0].id);
}

TEST_F(Playing, ABookAlreadyListedIsPlayedWithoutADownload) {
    Model& model = *m;
    int fetches = 0;
    model->setBookFetch([&](const AppModel::Book&, auto done, auto) {
        ++fetches;
        done(epubBytes(true));
    });
    model->open(AppModel::Book{u"77", u"A Small Book", u""});
    ASSERT_TRUE(model.settle());
    ASSERT_TRUE(model->narrator->doc());
    const auto id = model->narrator->doc()->id;
    model->narrator->setDoc(nullptr);
    model->setSection(AppModel::Section::voices);
    model->open(AppModel::Book{u"77", u"A Small Book", u""});
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(model->section(), AppModel::Section::library);
    ASSERT_TRUE(model->narrator->doc());
    EXPECT_EQ(model->narrator->doc()->id, id);
}

#include "DevHooks.h"
#include "NowPlaying.h"

TEST_F(Playing, MediaControlsAndDeveloperCommandsFollowTheNarrator) {
    Model& model = *m;
    tovan::FakeMediaControls controls;
    tovan::NowPlaying::setControls(&controls);
    tovan::NowPlaying::setUp(*model->narrator);
    EXPECT_FALSE(controls.info);  // nothing current yet
    EXPECT_EQ(controls.state, tovan::MediaControls::State::stopped);

    model->read(u"Heard through the keys. And a second.", u"Keys", true);
    ASSERT_TRUE(controls.info);
    EXPECT_EQ(controls.info->title, QStringLiteral("Keys"));
    EXPECT_EQ(controls.info->artist, QStringLiteral("Lumora"));
    ASSERT_TRUE(controls.commands.pause);
    controls.commands.pause();
    EXPECT_FALSE(model->narrator->playing());
    EXPECT_EQ(controls.state, tovan::MediaControls::State::paused);

    const tovan::DevHooks::Hooks saved = tovan::DevHooks::hooks();
    tovan::DevHooks::bindNarrator(*model);
    QStringList out;
    tovan::DevHooks::run("log", *model, tovan::DevHooks::hooks(), [&](const QString& l) { out << l; });
    tovan::DevHooks::hooks() = saved;
    tovan::NowPlaying::setControls(nullptr);
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith(QStringLiteral("narrator: doc=Keys heard=0 playing=false"))) << out[0].toStdString();
}
