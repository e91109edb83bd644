// Document readers on hostile and large inputs: HTML with ten thousand
// unclosed <p> and <tr> in a megabyte (goal: under 1 s), the same shape in
// Markdown, the plain lazy pattern for comparison, and a 5 MB EPUB.

#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "../tests/ZipFixture.h"
#include "ExtractEpub.h"
#include "ExtractHtml.h"
#include "ExtractMarkdown.h"
#include "Regex.h"

namespace {

// Made-up words of English-like letter frequencies, so that the EPUB packs
// about as well as a real book (roughly 2.5 to 1).
std::u16string words(std::mt19937& rng, size_t units) {
    static const char16_t letters[] = u"eeeeeeeeeeeettttttttaaaaaaaooooooiiiiiinnnnnnsssssshhhhhrrrrrddddlllluuucccmmwwffggyyppbbvkjxqz";
    const size_t count = sizeof letters / sizeof letters[0] - 1;
    std::u16string s;
    while (s.size() < units) {
        const int len = 2 + int(rng() % 7);
        for (int i = 0; i < len; ++i) s += letters[rng() % count];
        s += rng() % 9 ? u" " : u". ";
    }
    return s;
}

// About 1 MB with `unclosed` openings of <p> and <tr> that never close.
std::u16string unclosedHtml(size_t unclosed, size_t units) {
    std::mt19937 rng(1);
    std::u16string html = u"<html><body><table>";
    const size_t each = units / unclosed;
    for (size_t i = 0; i < unclosed; ++i) {
        html += i % 2 ? u"<p class=\"x\">" : u"<tr><td>";
        html += words(rng, each);
    }
    return html;
}

std::u16string unclosedMarkdown(size_t count, size_t units) {
    std::mt19937 rng(2);
    std::u16string md;
    const size_t each = units / count;
    for (size_t i = 0; i < count; ++i) {
        static const char16_t* openers[] = {u"[", u"**", u" _", u"![", u"\n\n\n\n\n\n", u"# ", u"``"};
        md += openers[i % 7];
        md += words(rng, each);
    }
    return md;
}

void BM_HtmlUnclosed1MB(benchmark::State& state) {
    const std::u16string html = unclosedHtml(10000, 1 << 20);
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Extract::htmlToText(html));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(html.size() * 2));
}
BENCHMARK(BM_HtmlUnclosed1MB)->Unit(benchmark::kMillisecond);

void BM_MarkdownUnclosed1MB(benchmark::State& state) {
    const std::u16string md = unclosedMarkdown(10000, 1 << 20);
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Extract::markdownToText(md));
}
BENCHMARK(BM_MarkdownUnclosed1MB)->Unit(benchmark::kMillisecond);

// The plain element pattern the scanners replace, on a tenth of the size
// and on a fifth: four times the time for twice the text.
void BM_PlainEntryPattern(benchmark::State& state) {
    const std::u16string html = unclosedHtml(size_t(state.range(0)) / 100, size_t(state.range(0)));
    const tovan::Regex& entries = tovan::rx(u"(?is)<(p|li|dt|dd)\\b[^>]*>(.*?)</\\1>");
    for (auto _ : state) benchmark::DoNotOptimize(entries.replaceAll(html, u""));
}
BENCHMARK(BM_PlainEntryPattern)->Arg(100 << 10)->Arg(200 << 10)->Unit(benchmark::kMillisecond);

void BM_Epub5MB(benchmark::State& state) {
    std::mt19937 rng(3);
    tovan::test::ZipFixture z;
    z.add("mimetype", "application/epub+zip", 0);
    z.add("META-INF/container.xml", "<rootfile full-path=\"OEBPS/content.opf\"/>");
    std::string manifest, spine;
    size_t packed = 0, unpacked = 0;
    for (int i = 0; packed < (5u << 20); ++i) {
        std::u16string body;
        for (int p = 0; p < 40; ++p) body += u"<p>" + words(rng, 600) + u"</p>\n";
        const std::string id = "c" + std::to_string(i);
        const std::string xhtml = "<html><body><h1>Chapter " + std::to_string(i + 1) + "</h1>" + tovan::u8(body) +
                                  "</body></html>";
        z.add("OEBPS/" + id + ".xhtml", xhtml);
        packed += tovan::test::deflateRaw(xhtml, 6).size();
        unpacked += xhtml.size();
        manifest += "<item id=\"" + id + "\" href=\"" + id + ".xhtml\"/>";
        spine += "<itemref idref=\"" + id + "\"/><itemref idref=\"" + id + "#part\"/>";
        manifest += "<item id=\"" + id + "#part\" href=\"" + id + ".xhtml#part\"/>";
    }
    z.add("OEBPS/content.opf", "<package><dc:title>Bench</dc:title><manifest>" + manifest + "</manifest><spine>" +
                                   spine + "</spine></package>");
    const std::string book = z.build();
    state.counters["archive_MB"] = double(book.size()) / (1 << 20);
    state.counters["xhtml_MB"] = double(unpacked) / (1 << 20);
    for (auto _ : state) {
        auto doc = tovan::Extract::epub(book, u"bench", std::nullopt);
        benchmark::DoNotOptimize(doc);
        state.counters["paragraphs"] = double(doc.paragraphs.size());
    }
}
BENCHMARK(BM_Epub5MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
