#include "ExtractDocx.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "Extract.h"
#include "Regex.h"
#include "ReaderTestUtil.h"
#include "TestPaths.h"
#include "ZipArchive.h"
#include "ZipFixture.h"

using tovan::ExtractedDoc;
using tovan::Extract::docx;
using tovan::Extract::docxParagraph;
using tovan::test::shown;
using tovan::test::ZipFixture;

namespace {

std::string wordFile(const std::string& body, std::optional<std::string> core = std::nullopt) {
    ZipFixture z;
    z.add("[Content_Types].xml", "<Types/>");
    z.add("word/document.xml", "<?xml version=\"1.0\"?><w:document><w:body>" + body + "</w:body></w:document>");
    if (core) z.add("docProps/core.xml", *core);
    return z.build();
}

std::string dataDir() {
    return tovan::test::testData().string();
}

}  // namespace

TEST(Docx, ParagraphRuns) {
    struct Case {
        std::u16string xml, text;
    } cases[] = {
        {u"<w:p><w:r><w:t>Hello</w:t></w:r><w:r><w:t xml:space=\"preserve\"> world</w:t></w:r>", u"Hello world"},
        {u"<w:t>a</w:t><w:tab/><w:t>b</w:t>", u"a b"},
        {u"<w:t>a</w:t><w:br/><w:t>b</w:t>", u"a b"},
        {u"<w:t>a</w:t><w:br w:type=\"page\"/><w:br /><w:tab w:val=\"x\"/><w:t>b</w:t>", u"ab"},
        {u"<w:t>&lt;tag&gt; &amp; more</w:t>", u"<tag> & more"},
        {u"<w:instrText>PAGE</w:instrText><w:delText>gone</w:delText><w:t>kept</w:t>", u"kept"},
        {u"<w:tbl><w:t>x</w:t>", u"x"},
        {u"<w:t\tattr=\"1\">tabbed</w:t>", u"tabbed"},
        {u"<w:txbx><w:t>boxed</w:t>", u"boxed"},
        {u"<w:t>unclosed <w:t>two</w:t>", u"two"},
        {u"<w:t <w:t>x</w:t>", u"x"},  // the first tag runs to the first ">"
    };
    for (const Case& c : cases) EXPECT_EQ(docxParagraph(c.xml), c.text) << shown(c.xml);
}

// The scanner against the run pattern it stands for.
TEST(Docx, ParagraphScannerEqualsThePattern) {
    const std::vector<std::u16string> tokens = {
        u"<w:t>", u"</w:t>", u"<w:t xml:space=\"preserve\">", u"<w:t ", u"<w:t", u"<w:tab/>", u"<w:br/>",
        u"<w:br />", u"<w:tbl>", u"<", u">", u"x", u" ", u"\u00A0", u"&lt;", u"&#65;", u"</w:r>", u"\n",
    };
    const tovan::Regex& run = tovan::rx(u"<w:t(?:\\s[^>]*)?>([^<]*)</w:t>|<w:tab/>|<w:br/>");
    std::mt19937 rng(3);
    for (int round = 0; round < 20000; ++round) {
        const std::u16string s = tovan::test::randomText(rng, tokens, 16);
        std::u16string want;
        for (const auto& m : run.all(s)) want += m.group(1) ? tovan::Extract::decode(*m.group(1)) : u" ";
        ASSERT_EQ(docxParagraph(s), want) << shown(s);
    }
}

TEST(Docx, BodyTitleAndRefusals) {
    const std::string file = wordFile(
        "<w:p><w:r><w:t>First paragraph.</w:t></w:r></w:p><w:p><w:r><w:tab/></w:r></w:p>"
        "<w:p><w:r><w:t>Second paragraph.</w:t></w:r></w:p>",
        "<cp:coreProperties><dc:title>My &amp; <b>Title</b></dc:title><dc:creator>Not read</dc:creator>"
        "</cp:coreProperties>");
    const ExtractedDoc doc = docx(file, u"fallback", u"file:///a.docx");
    EXPECT_EQ(doc.title, u"My & Title");
    EXPECT_EQ(doc.author, std::nullopt);
    EXPECT_EQ(doc.kind, u"docx");
    EXPECT_EQ(doc.source, std::optional<std::u16string>(u"file:///a.docx"));
    EXPECT_EQ(doc.paragraphs, (std::vector<std::u16string>{u"First paragraph.", u"Second paragraph."}));

    struct Title {
        std::optional<std::string> core;
        std::u16string title;
    } titles[] = {
        {std::nullopt, u"fallback"},
        {"<dc:title>  </dc:title>", u"fallback"},
        {"<dc:title xml:lang=\"en\">With attributes</dc:title>", u"fallback"},
        {"<dc:title/>", u"fallback"},
        {"<dc:title>Unclosed", u"fallback"},
    };
    for (const Title& t : titles)
        EXPECT_EQ(docx(wordFile("<w:p><w:t>x</w:t></w:p>", t.core), u"fallback", std::nullopt).title, t.title);

    ZipFixture noBody;
    noBody.add("docProps/core.xml", "<dc:title>T</dc:title>");
    EXPECT_THROW(docx(noBody.build(), u"f", std::nullopt), tovan::Extract::Unsupported);
    ZipFixture emptyBody;
    emptyBody.add("word/document.xml", "");
    EXPECT_THROW(docx(emptyBody.build(), u"f", std::nullopt), tovan::Extract::Unsupported);
    EXPECT_THROW(docx("PK\x03\x04 but no archive", u"f", std::nullopt), tovan::ZipArchive::Failure);

    // A byte-order mark alone is not empty: no refusal, no paragraphs.
    ZipFixture bom;
    bom.add("word/document.xml", "\xEF\xBB\xBF");
    EXPECT_TRUE(docx(bom.build(), u"f", std::nullopt).paragraphs.empty());
}

// Files written by python-docx: its empty template, and a fixture made by
// tests/data/make_docx.py with runs split inside words, a tab, line and page
// breaks, an entity and a table.
TEST(Docx, FilesWrittenByPythonDocx) {
    const ExtractedDoc runs = docx(tovan::test::slurp(dataDir() + "/runs.docx"), u"runs", std::nullopt);
    EXPECT_EQ(runs.title, u"Runs & Breaks");
    const std::vector<std::u16string> want = {
        u"Hello world", u"Left Right", u"Line one Line two", u"Before the pageafter the page",
        u"Fish < chips & peas", u"Cell A", u"Cell B",
    };
    EXPECT_EQ(runs.paragraphs, want);

    const std::filesystem::path blank = "/usr/lib/python3/dist-packages/docx/templates/default.docx";
    if (!std::filesystem::exists(blank)) GTEST_SKIP() << "python3-docx is not installed";
    const ExtractedDoc empty = docx(tovan::test::slurp(blank.string()), u"default", std::nullopt);
    EXPECT_EQ(empty.title, u"default");
    EXPECT_TRUE(empty.paragraphs.empty());
}
