// Every reader reports how far it has come and stops when cancelled: the
// reports rise to exactly 1, a report changes nothing in what comes out, and
// a cancel stops the work at the very next report without leaking a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Doc.h"
#include "ExtractDocument.h"
#include "ExtractDocx.h"
#include "ExtractEpub.h"
#include "Progress.h"
#include "Regex.h"
#include "TempDir.h"
#include "ZipFixture.h"

using tovan::Doc;
using tovan::ExtractedDoc;
using tovan::Progress;
namespace Extract = tovan::Extract;

namespace {

// Paragraphs of two sentences each, enough for several hundred reports.
std::string sentences(int paragraphs, const std::string& open, const std::string& close, const std::string& gap) {
    std::string s;
    for (int i = 0; i < paragraphs; ++i)
        s += open + "Paragraph " + std::to_string(i) + " opens here. It closes with a second sentence." + close + gap;
    return s;
}

std::string epubBook() {
    tovan::test::ZipFixture z;
    z.add("mimetype", "application/epub+zip", 0);
    z.add("META-INF/container.xml",
          "<container><rootfiles><rootfile full-path=\"content.opf\"/></rootfiles></container>");
    std::string manifest, spine;
    for (int c = 0; c < 12; ++c) {
        const std::string id = "c" + std::to_string(c);
        manifest += "<item id=\"" + id + "\" href=\"" + id + ".xhtml\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"" + id + "\"/>";
        z.add(id + ".xhtml", "<html><body><h1>Chapter " + std::to_string(c) + "</h1>" +
                                 sentences(60, "<p>", "</p>", "\n") + "</body></html>");
    }
    z.add("content.opf", "<package><metadata><dc:title>Progress</dc:title></metadata><manifest>" + manifest +
                             "</manifest><spine>" + spine + "</spine></package>");
    return z.build();
}

std::string docxFile() {
    tovan::test::ZipFixture z;
    z.add("word/document.xml", "<w:document><w:body>" +
                                   sentences(1500, "<w:p><w:r><w:t>", "</w:t></w:r></w:p>", "") +
                                   "</w:body></w:document>");
    return z.build();
}

size_t openFiles() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// One reader: what it gives for a progress handle (the paragraphs, or for
// the document the sentences).
struct Case {
    const char* what;
    std::function<std::vector<std::u16string>(const Progress&)> run;
};

std::vector<std::u16string> paragraphs(const ExtractedDoc& d) { return d.paragraphs; }

class ExtractProgress : public ::testing::Test {
protected:
    void SetUp() override {
        tovan::test::spit(dir / "long.txt", sentences(3000, "", "", "\n\n"));
        // Over two million units without a blank line: cleaned in pieces.
        tovan::test::spit(dir / "lines.txt", sentences(45000, "", "", "\n"));
        tovan::test::spit(dir / "line.txt", sentences(45000, "", "", " "));
        // windows-1252 bytes: the converter's road, fed in pieces.
        tovan::test::spit(dir / "latin.txt", sentences(3000, "Caf\xE9 ", "", "\n\n"));
        html = "<html><head><title>Page</title></head><body>" + sentences(3000, "<p>", "</p>", "\n") + "</body></html>";
        markdown = sentences(3000, "", "", "\n\n");
        epub = epubBook();
        docx = docxFile();
        cases = {
            {"plain text file", [&](const Progress& p) { return paragraphs(Extract::document(dir / "long.txt", std::nullopt, p)); }},
            {"windows-1252 file", [&](const Progress& p) { return paragraphs(Extract::document(dir / "latin.txt", std::nullopt, p)); }},
            {"HTML", [&](const Progress& p) { return paragraphs(Extract::document(html, u"page.html", std::nullopt, std::nullopt, p)); }},
            {"Markdown", [&](const Progress& p) { return paragraphs(Extract::document(markdown, u"notes.md", std::nullopt, std::nullopt, p)); }},
            {"EPUB", [&](const Progress& p) { return paragraphs(Extract::document(epub, u"book.epub", std::nullopt, std::nullopt, p)); }},
            {"DOCX", [&](const Progress& p) { return paragraphs(Extract::document(docx, u"file.docx", std::nullopt, std::nullopt, p)); }},
            {"sentences of a document", [&](const Progress& p) {
                 return Doc::create(Extract::document(dir / "long.txt"), p)->sentences;
             }},
            {"sentences of a file without blank lines", [&](const Progress& p) {
                 return Doc::create(Extract::document(dir / "lines.txt", std::nullopt, p.part(0, 0.6)), p.part(0.6, 1))
                     ->sentences;
             }},
            {"sentences of a file on one line", [&](const Progress& p) {
                 return Doc::create(Extract::document(dir / "line.txt", std::nullopt, p.part(0, 0.6)), p.part(0.6, 1))
                     ->sentences;
             }},
            // One paragraph of a whole text (as a reader may hand over): it
            // reports while it is split, and sentence by sentence.
            {"sentences of one long paragraph", [&](const Progress& p) {
                 ExtractedDoc one;
                 one.title = u"One";
                 one.paragraphs = {tovan::u16(sentences(6000, "", "", " "))};
                 return Doc::create(std::move(one), p)->sentences;
             }},
        };
    }

    tovan::test::TempDir dir;
    std::string html, markdown, epub, docx;
    std::vector<Case> cases;
};

TEST_F(ExtractProgress, ReportsRiseToExactlyOneAndChangeNothing) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::u16string> plain = c.run(Progress());
        ASSERT_GT(plain.size(), 100u);
        std::vector<double> heard;
        const std::vector<std::u16string> reported = c.run(Progress([&](double f) { heard.push_back(f); }));
        EXPECT_EQ(reported, plain);
        ASSERT_GE(heard.size(), 10u);
        for (size_t i = 1; i < heard.size(); ++i) ASSERT_GT(heard[i], heard[i - 1]) << i;
        EXPECT_GE(heard.front(), 0.0);
        EXPECT_EQ(heard.back(), 1.0);
        // Nothing claims the end before the end.
        EXPECT_EQ(std::count(heard.begin(), heard.end(), 1.0), 1);
    }
}

TEST_F(ExtractProgress, ACancelStopsAtTheNextReportAndLeavesNoFileOpen) {
    for (const Case& c : cases) {
        size_t total = 0;
        c.run(Progress([&](double) { ++total; }));
        for (size_t n : {size_t(1), total / 2, total - 1}) {
            SCOPED_TRACE(std::string(c.what) + ", cancelled at report " + std::to_string(n));
            const size_t files = openFiles();
            size_t heard = 0;
            Progress p;
            p = Progress([&](double) {
                if (++heard == n) p.cancel();
            });
            EXPECT_THROW(c.run(p), Progress::Cancelled);
            EXPECT_EQ(heard, n);  // not one report more
            EXPECT_EQ(openFiles(), files);
        }
    }
}

}  // namespace
