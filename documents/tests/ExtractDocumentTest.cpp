#include "ExtractDocument.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include <unistd.h>

#include <gtest/gtest.h>

#include "Extract.h"
#include "ReaderTestUtil.h"
#include "TempDir.h"
#include "ZipFixture.h"

using tovan::Article;
using tovan::ExtractedDoc;
using tovan::Extract::document;
using tovan::Extract::Unsupported;
using tovan::test::TempDir;
using tovan::test::shown;

namespace {

std::string smallEpub() {
    tovan::test::ZipFixture z;
    z.add("META-INF/container.xml", "<rootfile full-path=\"c.opf\"/>");
    z.add("c.opf", "<item id=\"a\" href=\"a.xhtml\"/><itemref idref=\"a\"/>");
    z.add("a.xhtml", "<p>Inside the book.</p>");
    return z.build();
}

std::string smallDocx() {
    tovan::test::ZipFixture z;
    z.add("word/document.xml", "<w:p><w:t>Inside the Word file.</w:t></w:p>");
    return z.build();
}

// What document(data:...) makes of some input: "kind|title" or the refusal.
std::string outcome(std::string_view data, const std::u16string& name, std::optional<std::u16string> mime) {
    try {
        const ExtractedDoc d = document(data, name, mime, u"src");
        return tovan::u8(d.kind + u"|" + d.title);
    } catch (const Unsupported& u) {
        return u.what();
    }
}

}  // namespace

TEST(ExtractDocument, DispatchByTypeAndExtension) {
    const std::string html = "<html><title>Page <b>T</b></title><p>Body text.</p></html>";
    const std::string png = "\x89PNG\r\n\x1A\n";
    struct Case {
        std::string data;
        std::u16string name;
        std::optional<std::u16string> mime;
        std::string result;
    } cases[] = {
        {"# Notes", u"Notes.MD", std::nullopt, "markdown|Notes"},
        {"plain", u"archive.tar.gz", std::nullopt, "text|archive.tar"},
        {"plain", u"README", std::nullopt, "text|README"},
        {smallEpub(), u".epub", std::nullopt, "epub|"},
        {smallEpub(), u"book.txt", u"application/epub+zip", "epub|book"},
        {smallDocx(), u"letter.DOCX", std::nullopt, "docx|letter"},
        {smallDocx(), u"letter.bin", u"application/vnd.openxmlformats-officedocument.wordprocessingml.document",
         "docx|letter"},
        {html, u"page.html", std::nullopt, "html|Page T"},
        {html, u"page.txt", u"text/html", "html|Page T"},
        {html, u"page.XHTML", std::nullopt, "html|Page T"},
        {"<title> <b> </b> </title><p>x</p>", u"blank.htm", std::nullopt, "html|"},
        {"<p>No title element.</p>", u"untitled.html", std::nullopt, "html|untitled"},
        {"*x*", u"notes.txt", u"text/x-markdown", "markdown|notes"},
        {"plain", u"data.weird", u"text/plain", "text|data"},
        {png, u"picture.png", u"image/png", "TovanTTS can read PDF, EPUB, Word (.docx), web pages and text files."},
        {png, u"picture.png", std::nullopt, "text|picture"},
        {"{}", u"x.json", u"application/json", "TovanTTS can read PDF, EPUB, Word (.docx), web pages and text files."},
        {"%PDF-1.4", u"paper.pdf", std::nullopt, "PDFs are read from their pages (PdfLayout)."},
        {"%PDF-1.4", u"paper.PDF", u"text/plain", "PDFs are read from their pages (PdfLayout)."},
        {"%PDF-1.4", u"paper.txt", u"application/pdf", "PDFs are read from their pages (PdfLayout)."},
        {"%PDF-1.4", u"paper.txt", u"Application/PDF", "text|paper"},  // MIME tests are case-sensitive
    };
    for (const Case& c : cases) EXPECT_EQ(outcome(c.data, c.name, c.mime), c.result) << shown(c.name);
}

TEST(ExtractDocument, ReadersKeepTheirContent) {
    const ExtractedDoc md = document("# Head\n\nSome **bold** words.", u"a.md", std::nullopt, u"file:///a.md");
    EXPECT_EQ(md.source, std::optional<std::u16string>(u"file:///a.md"));
    EXPECT_EQ(md.author, std::nullopt);
    ASSERT_EQ(md.paragraphs.size(), 2u);
    EXPECT_EQ(md.paragraphs[1], u"Some \uE000bold\uE001 words.");
    const ExtractedDoc txt = document("caf\xE9 \xEF\xBB\xBFok", u"a.txt", std::nullopt, std::nullopt);
    ASSERT_EQ(txt.paragraphs.size(), 1u);
    EXPECT_NE(txt.paragraphs[0].find(u"caf\uFFFD"), std::u16string::npos);  // invalid UTF-8 replaced
}

TEST(ExtractDocument, SizeLimitBoundary) {
    const std::string big(size_t(tovan::Extract::maxDocumentBytes) + 1, ' ');
    const std::string_view all(big);
    const auto refusal = [](std::string_view data) {
        return outcome(data, u"blob.bin", u"application/octet-stream");
    };
    EXPECT_EQ(refusal(all.substr(0, big.size() - 1)),
              "TovanTTS can read PDF, EPUB, Word (.docx), web pages and text files.");  // past the size check
    EXPECT_EQ(refusal(all), "This file is too large to read.");
    EXPECT_EQ(outcome(all, u"huge.pdf", std::nullopt), "PDFs are read from their pages (PdfLayout).");
}

TEST(ExtractDocument, Files) {
    TempDir dir;
    const auto notes = std::filesystem::path(dir.write("My Notes é.md", "# Title\n\nBody."));
    const ExtractedDoc d = document(notes);
    EXPECT_EQ(d.kind, u"markdown");
    EXPECT_EQ(d.title, u"My Notes é");
    EXPECT_EQ(d.source, tovan::u16("file://" + dir.path.string() + "/My%20Notes%20%C3%A9.md"));

    EXPECT_THROW(document(dir.path / "missing.txt"), std::system_error);
    try {  // a PDF is refused before it is read, so even a missing one
        document(dir.path / "missing.pdf");
        ADD_FAILURE();
    } catch (const Unsupported& u) {
        EXPECT_STREQ(u.what(), "PDFs are read from their pages (PdfLayout).");
    }
    // Too large by its reported size: refused without reading (sparse file).
    const auto huge = std::filesystem::path(dir.write("huge.txt", ""));
    std::filesystem::resize_file(huge, uintmax_t(tovan::Extract::maxDocumentBytes) + 1);
    try {
        document(huge);
        ADD_FAILURE();
    } catch (const Unsupported& u) {
        EXPECT_STREQ(u.what(), "This file is too large to read.");
    }
}

TEST(ExtractDocument, FromArticleTitlesAndLines) {
    const Article titled{u"The Title", u"The Title.\n  A line   with blanks , then more.\n\n\t\nSee https://www.example.com/x now.",
                         u"https://e.org"};
    const ExtractedDoc d = tovan::Extract::fromArticle(titled, u"https://e.org");
    EXPECT_EQ(d.kind, u"web");
    EXPECT_EQ(d.title, u"The Title");
    EXPECT_EQ(d.source, std::optional<std::u16string>(u"https://e.org"));
    const std::vector<std::u16string> want = {u"The Title.", u"A line with blanks, then more.", u"See example.com now."};
    EXPECT_EQ(d.paragraphs, want);

    const Article empty{u"", u".\nBody line.", std::nullopt};
    EXPECT_EQ(tovan::Extract::fromArticle(empty, std::nullopt).title, u"");  // present, even empty
    const Article untitled{std::nullopt, u"A first paragraph that is long enough to be cut into a title here.",
                           std::nullopt};
    EXPECT_EQ(tovan::Extract::fromArticle(untitled, std::nullopt).title, u"A first paragraph that is long enough to be cut\u2026");

    const ExtractedDoc page = tovan::Extract::fromHTML(
        u"<title>Web Page</title><article><p>" + std::u16string(60, u'a') + u"</p></article>", u"https://e.org/p");
    EXPECT_EQ(page.title, u"Web Page");
    EXPECT_EQ(page.source, std::optional<std::u16string>(u"https://e.org/p"));
    EXPECT_EQ(page.paragraphs, (std::vector<std::u16string>{u"Web Page.", std::u16string(60, u'a')}));
    EXPECT_EQ(tovan::Extract::fromHTML(u"<p>x</p>", std::nullopt).source, std::nullopt);

    // Lines that speak as nothing make no paragraph (no silent sentence).
    const Article marks{u"T", u"[3]\n\uE000\uE001\nBody [1] line.\n [a] [12] ", std::nullopt};
    EXPECT_EQ(tovan::Extract::fromArticle(marks, std::nullopt).paragraphs, std::vector<std::u16string>{u"Body line."});
}
