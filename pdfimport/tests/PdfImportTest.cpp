#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <poppler-qt6.h>
#include <zlib.h>

#include "ArticleFixture.h"
#include "Doc.h"
#include "Extract.h"
#include "Regex.h"
#include "PdfImport.h"
#include "PdfWriter.h"
#include "TempDir.h"
#include "TextMarkers.h"

namespace tovan {
namespace {

namespace fs = std::filesystem;
using PdfLayout::Line;
using PdfLayout::Span;
using test::PdfPage;
using test::PdfSpec;
using test::PdfText;

// Helvetica's ascender and descender, as fractions of the type size: what a
// word's box reaches above and below its baseline.
constexpr double kAscent = 0.718, kDescent = 0.207;

class PdfImportTest : public ::testing::Test {
protected:
    fs::path write(const std::string& name, const std::string& bytes) {
        const fs::path p = dir_ / name;
        test::spit(p, bytes);
        return p;
    }
    fs::path write(const std::string& name, const PdfSpec& spec) { return write(name, test::makePdf(spec)); }

    // The message of the refusal read() throws, or "" when it succeeds.
    static std::string refusal(const fs::path& file) {
        try {
            PdfImport::read(file);
        } catch (const Extract::Unsupported& e) {
            return e.what();
        }
        return "";
    }

    test::TempDir tmp_;
    fs::path dir_ = tmp_.path;
};

PdfPage pageWith(std::vector<PdfText> texts) {
    PdfPage p;
    p.texts = std::move(texts);
    return p;
}

std::string visible(const std::u16string& paragraph) {
    if (!paragraph.empty() && paragraph[0] == TextMarkers::head) return "# " + u8(paragraph.substr(1));
    return u8(paragraph);
}

std::vector<std::string> visible(const PdfImport::Result& r) {
    std::vector<std::string> out;
    for (const std::u16string& p : r.paragraphs) out.push_back(visible(p));
    return out;
}

// Spans must index the stored paragraph text: past the heading mark, tiling
// the rest.
void expectSpansIndexText(const PdfImport::Result& r) {
    ASSERT_EQ(r.spans.size(), r.paragraphs.size());
    for (size_t i = 0; i < r.paragraphs.size(); ++i) {
        const std::u16string& text = r.paragraphs[i];
        const std::vector<Span>& spans = r.spans[i];
        SCOPED_TRACE(u8(text));
        ASSERT_FALSE(spans.empty());
        const std::int64_t first = !text.empty() && text[0] == TextMarkers::head ? 1 : 0;
        EXPECT_EQ(spans.front().start, first);
        EXPECT_EQ(spans.back().end, static_cast<std::int64_t>(text.size()));
        for (const Span& s : spans) {
            EXPECT_LT(s.start, s.end);
            // Text may reach past the page's edge; the box is still a box.
            EXPECT_TRUE(s.l < s.r && s.t < s.b && std::isfinite(s.l + s.t + s.r + s.b))
                << s.l << " " << s.t << " " << s.r << " " << s.b;
        }
    }
}

// ---- lines and their geometry ----

TEST_F(PdfImportTest, LinesAreMeasuredFromTheTopLeftCornerOfTheirPage) {
    PdfPage plain = pageWith({{72, 700, 12, "Hello world"}});
    // The same page with its box moved away from the origin.
    PdfPage moved = pageWith({{172, 900, 12, "Hello world"}});
    moved.x0 = 100, moved.y0 = 200, moved.x1 = 712, moved.y1 = 992;
    PdfPage a4 = pageWith({{72, 700, 12, "Hello world"}});
    a4.x1 = 595, a4.y1 = 842;
    const std::vector<Line> lines = PdfImport::lines(write("geometry.pdf", PdfSpec{{plain, moved, a4}, {}, {}, {}}));
    ASSERT_EQ(lines.size(), 3u);

    const Line& l = lines[0];
    EXPECT_EQ(l.page, 0);
    EXPECT_EQ(u8(l.text), "Hello world");
    EXPECT_FLOAT_EQ(l.l, 72);
    // The baseline is 92 pt below the top edge.
    EXPECT_NEAR(l.t, 92 - kAscent * 12, 0.01);
    EXPECT_NEAR(l.b, 92 + kDescent * 12, 0.01);
    EXPECT_GT(l.r, 130);
    EXPECT_LT(l.r, 135);
    EXPECT_EQ(l.pw, 612);
    EXPECT_EQ(l.ph, 792);

    Line m = lines[1];
    EXPECT_EQ(m.page, 1);
    m.page = 0;
    EXPECT_EQ(m, l);

    EXPECT_EQ(lines[2].page, 2);
    EXPECT_NEAR(lines[2].t, 842 - 700 - kAscent * 12, 0.01);
    EXPECT_EQ(lines[2].pw, 595);
    EXPECT_EQ(lines[2].ph, 842);
}

TEST_F(PdfImportTest, ARotatedPageIsMeasuredAsItIsShown) {
    PdfPage turned = pageWith({{72, 700, 12, "Hello world"}});
    turned.rotate = 90;
    const std::vector<Line> lines = PdfImport::lines(write("turned.pdf", PdfSpec{{turned}, {}, {}, {}}));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].pw, 792);
    EXPECT_EQ(lines[0].ph, 612);
    // Turned a quarter clockwise, the line runs down the page near its right edge.
    EXPECT_NEAR(lines[0].l, 700 - kDescent * 12, 0.01);
    EXPECT_NEAR(lines[0].r, 700 + kAscent * 12, 0.01);
    EXPECT_FLOAT_EQ(lines[0].t, 72);
    EXPECT_GT(lines[0].b - lines[0].t, 50);
}

TEST_F(PdfImportTest, WordsAreChainedIntoLinesAndTheTextIsCleaned) {
    const std::vector<Line> lines = PdfImport::lines(write(
        "words.pdf", PdfSpec{{pageWith({{72, 700, 12, "Hello"},
                                        {110, 700, 12, "world"},  // drawn apart, one line
                                        {72, 680, 12, "\x01nd the \x02ow of of\x01" "ce"},  // ligatures
                                        {72, 670, 12, "co\x03operate"},  // a soft hyphen
                                        {72, 660, 12, "   "},  // only blanks: no line
                                        {72, 640, 12, "last line"}})},
                             {},
                             {},
                             {}}));
    std::vector<std::string> texts;
    for (const Line& l : lines) texts.push_back(u8(l.text));
    EXPECT_EQ(texts, (std::vector<std::string>{"Hello world", "find the flow of office", "cooperate", "last line"}));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_FLOAT_EQ(lines[0].l, 72);
    EXPECT_GT(lines[0].r, 110 + 25);  // the box covers both words
}

TEST_F(PdfImportTest, PagesOfNoSizeAreSkipped) {
    PdfPage empty = pageWith({{72, 700, 12, "On a page that shows nothing."}});
    empty.cropBox = std::array<double, 4>{100, 100, 100, 100};
    PdfPage inverted = empty;
    inverted.cropBox = std::array<double, 4>{300, 300, 200, 300};
    const fs::path file = write("sizes.pdf", PdfSpec{{empty, inverted, pageWith({{72, 700, 12, "Seen."}})}, {}, {}, {}});
    {
        // The fixture holds what it says: poppler reports the first two pages
        // without area.
        const auto doc = Poppler::Document::load(QString::fromStdString(file.string()));
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->numPages(), 3);
        EXPECT_TRUE(doc->page(0)->pageSizeF().isEmpty());
        EXPECT_TRUE(doc->page(1)->pageSizeF().isEmpty());
    }
    const std::vector<Line> lines = PdfImport::lines(file);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].page, 2);
    EXPECT_EQ(u8(lines[0].text), "Seen.");
}

// ---- title ----

TEST_F(PdfImportTest, TheTitleIsTheTitleAttributeOrTheFileName) {
    struct Case {
        std::optional<std::string> title;
        const char* file;
        const char* expected;
    } cases[] = {
        {"  A Study of Things \n", "study.pdf", "A Study of Things"},
        {"\u00DCber die Dinge", "ueber.pdf", "\u00DCber die Dinge"},
        {" \t ", "report.v2.pdf", "report.v2"},
        {std::nullopt, "notes.pdf", "notes"},
        {std::nullopt, "no extension", "no extension"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        PdfSpec spec{{pageWith({{72, 700, 12, "Some text."}})}, c.title, {}, {}};
        EXPECT_EQ(u8(PdfImport::read(write(c.file, spec)).title), c.expected);
    }
}

// ---- refusals ----

TEST_F(PdfImportTest, FilesThatCannotBeReadAreRefusedWithTheirReason) {
    PdfSpec locked{{pageWith({{72, 700, 12, "A secret text."}})}, "Secret", "secret", {}};
    PdfSpec pictures{{PdfPage{}, PdfPage{}}, {}, {}, {}};
    pictures.pages[0].picture = pictures.pages[1].picture = true;
    PdfSpec blank{{PdfPage{}, pageWith({{72, 700, 12, "   "}})}, {}, {}, {}};
    struct Case {
        const char* what;
        fs::path file;
        std::u16string_view message;
    } cases[] = {
        {"a missing file", dir_ / "missing.pdf", PdfImport::unopenable},
        {"an empty file", write("empty.pdf", ""), PdfImport::unopenable},
        {"no PDF", write("text.pdf", "Just some words, not a PDF at all.\n"), PdfImport::unopenable},
        {"a folder", dir_, PdfImport::unopenable},
        {"a user password", write("locked.pdf", locked), PdfImport::passwordProtected},
        {"scanned pages", write("scanned.pdf", pictures), PdfImport::noText},
        {"blank pages", write("blank.pdf", blank), PdfImport::noText},
        {"no pages", write("nopages.pdf", PdfSpec{}), PdfImport::noText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(refusal(c.file), u8(c.message));
    }
    // lines() refuses the same way, before any page is read.
    EXPECT_THROW(PdfImport::lines(dir_ / "locked.pdf"), Extract::Unsupported);
    EXPECT_TRUE(PdfImport::lines(dir_ / "scanned.pdf").empty());
}

TEST_F(PdfImportTest, EncryptionIsRefusedOnlyWhenAPasswordIsNeededToOpen) {
    PdfSpec spec{{pageWith({{72, 700, 12, "A secret text."}})}, "Secret", "secret", "owner"};
    const fs::path locked = write("locked.pdf", spec);
    {
        // A real encrypted file: its password opens it and shows the text.
        const auto doc = Poppler::Document::load(QString::fromStdString(locked.string()), QByteArray(), "secret");
        ASSERT_TRUE(doc);
        EXPECT_FALSE(doc->isLocked());
        EXPECT_TRUE(doc->isEncrypted());
        const auto words = doc->page(0)->textList();
        ASSERT_FALSE(words.empty());
        EXPECT_EQ(words[0]->text().toStdString(), "A");
    }
    EXPECT_EQ(refusal(locked), u8(PdfImport::passwordProtected));

    // Encrypted with an owner password only: it opens without one.
    spec.userPassword.reset();
    const PdfImport::Result open = PdfImport::read(write("owner.pdf", spec));
    EXPECT_EQ(u8(open.title), "Secret");
    EXPECT_EQ(visible(open), std::vector<std::string>{"A secret text."});
}

// ---- whole documents ----

TEST_F(PdfImportTest, ATwoColumnArticleReadsInOrderWithoutHeadersOrPageNumbers) {
    const test::Article article = test::twoColumnArticle(3);
    const PdfImport::Result r = PdfImport::read(write("article.pdf", article.spec));
    EXPECT_EQ(u8(r.title), "A Study of Two Column Pages");
    EXPECT_EQ(visible(r), article.expected);
    for (const std::u16string& p : r.paragraphs) {
        EXPECT_EQ(p.find(u"Journal of Layout Tests"), std::u16string::npos);
        EXPECT_FALSE(matches(p, u".*Page \\d+ of \\d+.*"));
    }
    expectSpansIndexText(r);

    // Some paragraph runs from the left column into the right one, and some
    // from one page onto the next.
    bool acrossColumns = false, acrossPages = false;
    for (const std::vector<Span>& spans : r.spans)
        for (size_t i = 1; i < spans.size(); ++i) {
            acrossColumns |= spans[i - 1].page == spans[i].page && spans[i - 1].l < 0.2f && spans[i].l > 0.5f;
            acrossPages |= spans[i].page == spans[i - 1].page + 1;
        }
    EXPECT_TRUE(acrossColumns);
    EXPECT_TRUE(acrossPages);
}

TEST_F(PdfImportTest, HeadingSpansStartPastTheHeadingMark) {
    const PdfImport::Result r = PdfImport::read(write("article.pdf", test::twoColumnArticle(3).spec));
    ASSERT_GE(r.paragraphs.size(), 3u);
    ASSERT_EQ(visible(r.paragraphs[1]), "# 1 Section 1 Of The Study");
    ASSERT_EQ(r.spans[1].size(), 1u);
    EXPECT_EQ(r.spans[1][0].start, 1);
    EXPECT_EQ(r.spans[1][0].end, 1 + 24);
    EXPECT_EQ(r.spans[2][0].start, 0);  // body text has no mark
}

TEST_F(PdfImportTest, AnImportedPdfBecomesADocumentWithHighlightBoxes) {
    PdfSpec spec{{pageWith({{72, 700, 18, "Results"},
                            {72, 670, 12, "The first sentence is here. The second one"},
                            {72, 655, 12, "runs on to the next line."}}),
                  pageWith({{72, 700, 12, "On the second page."}})},
                 "Findings",
                 {},
                 {}};
    const PdfImport::Result r = PdfImport::read(write("doc.pdf", spec));
    ASSERT_EQ(visible(r), (std::vector<std::string>{
                              "# Results", "The first sentence is here. The second one runs on to the next line.",
                              "On the second page."}));
    const auto doc = Doc::createPdf(Doc::newId(), r.title, u"file:///doc.pdf", r.paragraphs, r.spans);
    ASSERT_TRUE(doc->spans.has_value());
    ASSERT_TRUE(doc->regions.has_value());
    ASSERT_EQ(doc->sentences.size(), 4u);
    EXPECT_EQ(doc->regions->size(), doc->sentences.size());
    EXPECT_EQ(doc->pageOf(0), 0);
    EXPECT_EQ(doc->pageOf(3), 1);
    // The second sentence is lit on both lines it spans.
    ASSERT_EQ((*doc->regions)[2].size(), 2u);
    EXPECT_LT((*doc->regions)[2][0][2], (*doc->regions)[2][1][2]);  // one line below the other
    for (const auto& boxes : *doc->regions) EXPECT_FALSE(boxes.empty());
}

TEST_F(PdfImportTest, ImportsRunSideBySideOnWorkerThreads) {
    const test::Article article = test::twoColumnArticle(3);
    const fs::path file = write("article.pdf", article.spec);
    std::vector<std::vector<std::string>> got(4);
    {
        std::vector<std::thread> workers;
        for (auto& g : got)
            workers.emplace_back([&file, &g] {
                for (int i = 0; i < 3; ++i) g = visible(PdfImport::read(file));
            });
        for (std::thread& w : workers) w.join();
    }
    for (const auto& g : got) EXPECT_EQ(g, article.expected);
}

// ---- PDFs that Debian ships ----

// A document file of an installed package, unpacked when it is compressed;
// empty when the package or its documentation is not installed.
fs::path debianPdf(const fs::path& file, const fs::path& dir) {
    std::error_code ec;
    if (fs::is_regular_file(file, ec)) return file;
    fs::path gz = file;
    gz += ".gz";
    if (!fs::is_regular_file(gz, ec)) return {};
    gzFile in = gzopen(gz.c_str(), "rb");
    if (!in) return {};
    const fs::path out = dir / file.filename();
    std::ofstream o(out, std::ios::binary);
    char buf[1 << 16];
    int n;
    while ((n = gzread(in, buf, sizeof buf)) > 0) o.write(buf, n);
    gzclose(in);
    return n < 0 ? fs::path() : out;
}

bool isHeading(const std::u16string& p) { return !p.empty() && p[0] == TextMarkers::head; }

TEST_F(PdfImportTest, SharedMimeInfoSpecificationLosesItsRunningLinesAndKeepsItsHeadings) {
    // shared-mime-info comes with Qt.
    const fs::path file = debianPdf("/usr/share/doc/shared-mime-info/shared-mime-info-spec.pdf", dir_);
    if (file.empty()) GTEST_SKIP() << "shared-mime-info's documentation is not installed";
    const PdfImport::Result r = PdfImport::read(file);
    expectSpansIndexText(r);
    ASSERT_GT(r.paragraphs.size(), 100u);

    // Every page carries the title at its head and its number at its foot;
    // only the title page's own title is left.
    int titles = 0;
    for (const std::u16string& p : r.paragraphs) {
        SCOPED_TRACE(u8(p));
        if (p.find(u"Shared MIME-info Database") == 0 || p.find(u"Shared MIME-info Database") == 1) ++titles;
        EXPECT_FALSE(matches(trimmed(isHeading(p) ? p.substr(1) : p), u"\\d{1,3}")) << "a page number";
        EXPECT_EQ(p.find(u"Shared MIME-info Database Shared MIME-info Database"), std::u16string::npos);
    }
    EXPECT_EQ(titles, 1);
    std::int64_t lastPage = 0;
    for (const auto& spans : r.spans)
        for (const Span& s : spans) lastPage = std::max(lastPage, s.page);
    EXPECT_GE(lastPage, 10);

    for (const char* heading : {"1. Introduction", "2. Unified system", "2.1. Directory layout",
                                "2.11. Subclassing", "3. Contributors"}) {
        SCOPED_TRACE(heading);
        const std::u16string want = std::u16string(1, TextMarkers::head) + u16(heading);
        EXPECT_NE(std::find(r.paragraphs.begin(), r.paragraphs.end(), want), r.paragraphs.end());
    }
    // Bullets drawn apart from their items start one paragraph each.
    const auto item = std::find(r.paragraphs.begin(), r.paragraphs.end(),
                                u"\u2022 A standard way of getting the MIME type for a file.");
    EXPECT_NE(item, r.paragraphs.end());
}

TEST_F(PdfImportTest, ReportsPageByPageAndStopsWhenCancelled) {
    PdfSpec spec;
    for (int i = 0; i < 8; ++i)
        spec.pages.push_back(pageWith({{72, 700, 12, "Page " + std::to_string(i) + " holds one sentence."}}));
    const fs::path file = write("pages.pdf", spec);
    const PdfImport::Result plain = PdfImport::read(file);
    std::vector<double> heard;
    const PdfImport::Result reported = PdfImport::read(file, Progress([&](double f) { heard.push_back(f); }));
    EXPECT_EQ(reported.paragraphs, plain.paragraphs);
    ASSERT_GE(heard.size(), 8u);
    for (size_t i = 1; i < heard.size(); ++i) EXPECT_GT(heard[i], heard[i - 1]) << i;
    EXPECT_EQ(heard.back(), 1.0);

    // Cancelled on the third page's report: no page after it is read.
    size_t reports = 0;
    Progress p;
    p = Progress([&](double) {
        if (++reports == 3) p.cancel();
    });
    EXPECT_THROW(PdfImport::read(file, p), Progress::Cancelled);
    EXPECT_EQ(reports, 3u);
}

TEST_F(PdfImportTest, CrcPaperKeepsItsHeadingsAndJoinsHyphenatedLines) {
    // crc-doc comes with zlib1g-dev, which the build needs.
    const fs::path file = debianPdf("/usr/share/doc/zlib1g-dev/crc-doc.1.0.pdf", dir_);
    if (file.empty()) GTEST_SKIP() << "zlib1g-dev's documentation is not installed";
    const PdfImport::Result r = PdfImport::read(file);
    expectSpansIndexText(r);
    ASSERT_GT(r.paragraphs.size(), 200u);
    const auto has = [&](const std::u16string& text) {
        return std::find(r.paragraphs.begin(), r.paragraphs.end(), text) != r.paragraphs.end();
    };
    const std::u16string head(1, TextMarkers::head);
    EXPECT_TRUE(has(head + u"Everything we know about CRC but afraid to forget"));  // two lines of large type
    EXPECT_TRUE(has(head + u"Abstract"));
    EXPECT_TRUE(has(head + u"Contents"));
    EXPECT_TRUE(has(head + u"2, Related work"));  // the number is set apart from the title
    // The abstract's first paragraph, its "improv-ing" and "cy-cles" joined.
    const auto abstract = std::find_if(r.paragraphs.begin(), r.paragraphs.end(), [](const std::u16string& p) {
        return p.find(u"This paper describes a novel interleaved") == 0;
    });
    ASSERT_NE(abstract, r.paragraphs.end());
    EXPECT_NE(abstract->find(u"improving state of the art"), std::u16string::npos) << u8(*abstract);
    EXPECT_NE(abstract->find(u"(6-7 CPU cycles/byte). It computes"), std::u16string::npos) << u8(*abstract);
    const std::u16string end = u"in 1.7 CPU cycles/byte.";
    ASSERT_GT(abstract->size(), end.size());
    EXPECT_EQ(abstract->substr(abstract->size() - end.size()), end);
}

}  // namespace
}  // namespace tovan
