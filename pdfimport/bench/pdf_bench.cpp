// The PDF import of a long document: a generated 300-page two-column article
// (about 24,000 lines), read whole, and its layout analysis alone.

#include <filesystem>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "ArticleFixture.h"
#include "PdfImport.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

// Written once per run, removed at exit.
const fs::path& article() {
    static const struct File {
        fs::path path;
        File() {
            std::random_device rd;
            path = fs::temp_directory_path() / ("tovan-pdf-bench-" + std::to_string(rd()) + ".pdf");
            tovan::test::spit(path, tovan::test::makePdf(tovan::test::twoColumnArticle(300).spec));
        }
        ~File() {
            std::error_code ec;
            fs::remove(path, ec);
        }
    } file;
    return file.path;
}

void BM_Import300Pages(benchmark::State& state) {
    size_t paragraphs = 0;
    for (auto _ : state) {
        const tovan::PdfImport::Result r = tovan::PdfImport::read(article());
        paragraphs = r.paragraphs.size();
        benchmark::DoNotOptimize(r);
    }
    state.counters["paragraphs"] = static_cast<double>(paragraphs);
    state.counters["pages/s"] = benchmark::Counter(300.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Import300Pages)->Unit(benchmark::kMillisecond);

void BM_Layout300Pages(benchmark::State& state) {
    const std::vector<tovan::PdfLayout::Line> lines = tovan::PdfImport::lines(article());
    for (auto _ : state) benchmark::DoNotOptimize(tovan::PdfLayout::layout(lines));
    state.counters["lines"] = static_cast<double>(lines.size());
}
BENCHMARK(BM_Layout300Pages)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
