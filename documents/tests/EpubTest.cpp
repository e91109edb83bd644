#include "ExtractEpub.h"

#include <filesystem>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "Extract.h"
#include "ReaderTestUtil.h"
#include "ZipArchive.h"
#include "ZipFixture.h"

using tovan::ExtractedDoc;
using tovan::ZipArchive;
using tovan::Extract::epub;
using tovan::Extract::Unsupported;
using tovan::test::ZipFixture;

namespace {

const char* kContainer =
    "<?xml version=\"1.0\"?><container><rootfiles>"
    "<rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
    "</rootfiles></container>";

// Longer than 119 units, so that the title-page rule of the book body joins
// nothing after it.
const char* kLong =
    "The first chapter begins here, with a paragraph long enough to count as the start of the body of the "
    "book rather than its title page.";

std::string chapter(const std::string& heading, const std::string& body) {
    return "<html><head><title>x</title></head><body><h1>" + heading + "</h1><p>" + body + "</p></body></html>";
}

// A small book: three chapter files, the second listed three times in the
// spine through fragments, the first reached through "../" and a percent
// escape.
ZipFixture book() {
    ZipFixture z;
    z.add("mimetype", "application/epub+zip", 0);
    z.add("META-INF/container.xml", kContainer);
    z.add("OEBPS/content.opf",
          "<package><metadata><dc:title id=\"t\">The <i>Small</i> Book</dc:title>"
          "<dc:creator opf:role=\"aut\">Ann &amp; Bo</dc:creator></metadata><manifest>"
          "<item id=\"c1\" href=\"../OEBPS/Text/chapter%201.xhtml\" media-type=\"application/xhtml+xml\"/>"
          "<item id=\"c2\" href=\"Text/c2.xhtml\" media-type=\"application/xhtml+xml\"/>"
          "<item id=\"c2a\" href=\"Text/c2.xhtml#part2\" media-type=\"application/xhtml+xml\"/>"
          "<item id=\"c2b\" href=\"Text/c2.xhtml#part3\" media-type=\"application/xhtml+xml\"/>"
          "<item id=\"c3\" href=\"Text/C3.XHTML\" media-type=\"application/xhtml+xml\"/>"
          "<item id=\"img\" href=\"images/cover.png\" media-type=\"image/png\"/>"
          "</manifest><spine><itemref idref=\"c1\"/><itemref idref=\"c2\"/><itemref idref=\"c2a\"/>"
          "<itemref idref=\"missing\"/><itemref idref=\"c2b\" linear=\"no\"/><itemref idref=\"c3\"/></spine></package>");
    z.add("OEBPS/Text/chapter 1.xhtml", chapter("One", kLong));
    z.add("OEBPS/Text/c2.xhtml", chapter("Two", "The second chapter has three spine entries.") +
                                     "<p id=\"part2\">Its second part.</p><p id=\"part3\">Its third part.</p>");
    z.add("OEBPS/Text/C3.XHTML", chapter("Three", "The third chapter is in capitals."));
    // Not markup: never decompressed, so its damage does not matter.
    z.add("OEBPS/images/cover.png", "");
    z.items.back().raw = std::string(32, '\xFF');
    z.items.back().uncompressedSize = 1000;
    return z;
}

std::optional<std::string> unsupportedOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Unsupported& u) {
        return std::string(u.what());
    }
    return std::nullopt;
}

}  // namespace

TEST(Epub, ReadsTitleAuthorAndChaptersInSpineOrderOnce) {
    const ExtractedDoc doc = epub(book().build(), u"fallback", u"file:///b.epub");
    EXPECT_EQ(doc.title, u"The Small Book");
    EXPECT_EQ(doc.author, std::optional<std::u16string>(u"Ann & Bo"));
    EXPECT_EQ(doc.kind, u"epub");
    EXPECT_EQ(doc.source, std::optional<std::u16string>(u"file:///b.epub"));
    const std::vector<std::u16string> want = {
        u"\uE002One", tovan::u16(kLong), u"\uE002Two", u"The second chapter has three spine entries.",
        u"Its second part.", u"Its third part.", u"\uE002Three", u"The third chapter is in capitals.",
    };
    EXPECT_EQ(doc.paragraphs, want);
}

TEST(Epub, PackageInTheRootAndFallbacks) {
    ZipFixture z;
    z.add("META-INF/container.xml", "<rootfile full-path=\"content.opf\"/><rootfile full-path=\"other.opf\"/>");
    z.add("content.opf",
          "<dc:title>  <b> </b> </dc:title><dc:creator></dc:creator>"
          "<item id=\"a\" href=\"Text/ch1.xhtml#start\"/><item id=\"b\" href=\"/abs.xhtml\"/>"
          "<itemref idref=\"b\"/><itemref idref=\"a\"/>");
    z.add("Text/ch1.xhtml", "<p>Read from the root \xFF package.</p>");
    z.add("abs.xhtml", "<p>Reached: a leading slash joins the empty package folder.</p>");
    const ExtractedDoc doc = epub(z.build(), u"My Book", std::nullopt);
    EXPECT_EQ(doc.title, u"My Book");
    EXPECT_EQ(doc.author, std::nullopt);
    const std::vector<std::u16string> want = {u"Reached: a leading slash joins the empty package folder.",
                                              u"Read from the root \uFFFD package."};
    EXPECT_EQ(doc.paragraphs, want);
}

TEST(Epub, Refusals) {
    const auto withContainer = [](std::string container) {
        ZipFixture z = book();
        z.items[1].data = std::move(container);
        return z.build();
    };
    struct Case {
        const char* what;
        std::function<std::string()> archive;
        std::optional<std::string> message;
    } cases[] = {
        {"no container",
         [] {
             ZipFixture z = book();
             z.items.erase(z.items.begin() + 1);
             return z.build();
         },
         "This EPUB could not be opened."},
        {"container without full-path", [&] { return withContainer("<container/>"); }, "This EPUB could not be opened."},
        {"missing package document", [&] { return withContainer("<rootfile full-path=\"nope.opf\"/>"); },
         "This EPUB has no text to read."},
        {"chapters without text",
         [] {
             ZipFixture z = book();
             for (auto& it : z.items)
                 if (it.name.find("Text/") != std::string::npos) it.data = "<p> </p>";
             return z.build();
         },
         "This EPUB has no text to read."},
        {"a 17 MiB markup entry the spine never uses",
         [] {
             // Refused by its declared size before anything is decompressed.
             ZipFixture z = book();
             z.add("OEBPS/huge.html", "");
             z.items.back().uncompressedSize = 17 << 20;
             return z.build();
         },
         "This file is too large to open."},
        {"markup above 96 MiB in all",
         [] {
             // Six full entries of 16 MiB, then one more byte.
             ZipFixture z = book();
             const std::string packed = tovan::test::deflateRaw(std::string(16 << 20, ' '), 1);
             for (int i = 0; i < 7; ++i) {
                 z.add("OEBPS/x" + std::to_string(i) + ".xhtml", i < 6 ? std::string() : std::string(" "));
                 if (i < 6) {
                     z.items.back().raw = packed;
                     z.items.back().uncompressedSize = 16 << 20;
                 }
             }
             return z.build();
         },
         "This file is too large to open."},
        {"stored markup whose bytes outgrow its declared size",
         [] {
             ZipFixture z = book();
             z.add("OEBPS/liar.xhtml", std::string((16 << 20) + 1, 'x'), 0);
             z.items.back().uncompressedSize = 10;
             return z.build();
         },
         "This file is too large to open."},
        {"stored markup past 96 MiB in bytes really read",
         [] {
             ZipFixture z = book();
             for (int i = 0; i < 7; ++i) {
                 z.add("OEBPS/s" + std::to_string(i) + ".xhtml", std::string(15 << 20, 'x'), 0);
                 z.items.back().uncompressedSize = 1;
             }
             return z.build();
         },
         "This file is too large to open."},
    };
    for (const Case& c : cases) {
        const std::string bytes = c.archive();
        EXPECT_EQ(unsupportedOf([&] { epub(bytes, u"f", std::nullopt); }), c.message) << c.what;
    }
}

TEST(Epub, ArchiveFailuresPassThrough) {
    EXPECT_THROW(epub("not a zip at all, just some words", u"f", std::nullopt), ZipArchive::Failure);
    ZipFixture z = book();
    z.items[3].flags = 1;  // an encrypted chapter
    try {
        epub(z.build(), u"f", std::nullopt);
        ADD_FAILURE() << "no failure";
    } catch (const ZipArchive::Failure& f) {
        EXPECT_EQ(f, ZipArchive::Failure::unsupported(u"encrypted entry OEBPS/Text/chapter 1.xhtml"));
    }
}

TEST(Epub, ResolveAndPercentDecoding) {
    using tovan::Extract::percentDecoded;
    using tovan::Extract::resolve;
    EXPECT_EQ(resolve(u"", u"Text/ch1.xhtml#start"), u"Text/ch1.xhtml");
    EXPECT_EQ(resolve(u"OEBPS/", u"../OEBPS/Text/c 1.xhtml"), u"OEBPS/Text/c 1.xhtml");
    EXPECT_EQ(resolve(u"OEBPS/", u"/OEBPS/x.xhtml"), u"OEBPS/OEBPS/x.xhtml");
    EXPECT_EQ(resolve(u"a/", u"../../b/./c//d"), u"b/c/d");
    EXPECT_EQ(percentDecoded(u"c%201.xhtml"), std::optional<std::u16string>(u"c 1.xhtml"));
    EXPECT_EQ(percentDecoded(u"caf%C3%A9"), std::optional<std::u16string>(u"café"));
    EXPECT_EQ(percentDecoded(u"100%"), std::nullopt);
    EXPECT_EQ(percentDecoded(u"%E9"), std::nullopt);  // not UTF-8
}

TEST(Epub, UnzipKeepsOnlyMarkup) {
    const auto files = tovan::Extract::unzip(book().build());
    EXPECT_EQ(files.count(u"OEBPS/Text/C3.XHTML"), 1u);
    EXPECT_EQ(files.count(u"mimetype"), 0u);
    EXPECT_EQ(files.count(u"OEBPS/images/cover.png"), 0u);
}

// The live-manual books: every one opens; the English one has its title,
// author and chapters in order, and no chapter is read twice although its
// spine names each file once per section.
TEST(Epub, LiveManualBooks) {
    const std::filesystem::path dir = "/usr/share/doc/live-manual/epub";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "live-manual-epub is not installed";
    for (const auto& f : std::filesystem::directory_iterator(dir)) {
        const ExtractedDoc doc = epub(tovan::test::readFile(f.path().string()), u"fallback", std::nullopt);
        EXPECT_GT(doc.paragraphs.size(), 100u) << f.path();
        EXPECT_NE(doc.title, u"fallback") << f.path();
    }
    const ExtractedDoc en = epub(tovan::test::readFile((dir / "live-manual.en.epub").string()), u"f", std::nullopt);
    EXPECT_EQ(en.title, u"Live Systems Manual");
    EXPECT_EQ(en.author, std::optional<std::u16string>(u"Live Systems Project <debian-live@lists.debian.org>"));
    // Numbered section headings are unique in the book: each one once.
    std::map<std::u16string, int> seen;
    for (const auto& p : en.paragraphs)
        if (p.size() > 3 && p[0] == u'\uE002' && p[1] >= u'1' && p[1] <= u'9') ++seen[p];
    EXPECT_GT(seen.size(), 15u);
    for (const auto& [p, count] : seen) EXPECT_EQ(count, 1) << tovan::test::shown(p);
    const auto at = [&](std::u16string_view start) {
        for (size_t i = 0; i < en.paragraphs.size(); ++i)
            if (en.paragraphs[i].rfind(start, 0) == 0) return int(i);
        return -1;
    };
    // Headings begin right after their mark, never indented by a blank.
    const int aboutManual = at(u"\uE0021. About this manual");
    const int aboutProject = at(u"\uE0022. About the Live Systems Project");
    EXPECT_GE(aboutManual, 0);
    EXPECT_GT(aboutProject, aboutManual);
}
