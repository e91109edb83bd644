// Documents: splitting a very long paragraph with one stray quote (which
// keeps every later mark "inside a quotation"), cleaning it as pasted text,
// and listing a library of 1,000 documents.
#include <filesystem>
#include <random>

#include <benchmark/benchmark.h>

#include "Doc.h"
#include "Extract.h"

namespace {

namespace fs = std::filesystem;

// A single paragraph of `units` UTF-16 units; a straight double quote near the
// start that is never closed.
std::u16string strayQuoteParagraph(size_t units) {
    const std::u16string sentence =
        u"The quick brown fox jumps over the lazy dog, and Mr. Smith (aged 42) said no. Then it rained! ";
    std::u16string t = u"He said \"well";
    t.reserve(units + sentence.size());
    while (t.size() < units) t += sentence;
    t.resize(units);
    return t;
}

void BM_DocFromStrayQuoteParagraph(benchmark::State& state) {
    const std::u16string text = strayQuoteParagraph(static_cast<size_t>(state.range(0)));
    size_t sentences = 0;
    for (auto _ : state) {
        auto d = tovan::Doc::create(u"Long", u"text", std::nullopt, {text});
        sentences = d->sentences.size();
        benchmark::DoNotOptimize(d);
    }
    state.counters["sentences"] = static_cast<double>(sentences);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_DocFromStrayQuoteParagraph)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// The whole road of pasted text: cleaning, then the document.
void BM_DocFromPastedText(benchmark::State& state) {
    const std::u16string text = strayQuoteParagraph(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        auto d = tovan::Doc::create(tovan::Extract::fromText(text));
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * 2));
}
BENCHMARK(BM_DocFromPastedText)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

fs::path madeLibrary;  // removed when the program ends

// A library folder of 1,000 saved and positioned documents, made once.
const fs::path& library() {
    static const fs::path dir = [] {
        std::random_device rd;
        fs::path p = fs::temp_directory_path() / ("tovan-bench-library-" + std::to_string(rd()));
        fs::create_directories(p);
        std::u16string body;
        while (body.size() < 20000) body += u"A paragraph of an ordinary document, read aloud one sentence at a time. ";
        for (int i = 0; i < 1000; ++i) {
            auto d = tovan::Doc::create(u"Document", u"web", u"https://example.org/" + tovan::Doc::newId(), {body, body});
            d->pos = i % 7;
            d->save(p);
            d->savePos(p);
        }
        madeLibrary = p;
        return p;
    }();
    return dir;
}

void BM_ListLibrary(benchmark::State& state) {
    const fs::path& dir = library();
    size_t rows = 0;
    for (auto _ : state) {
        auto list = tovan::Doc::list(dir);
        rows = list.size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ListLibrary)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    if (!madeLibrary.empty()) fs::remove_all(madeLibrary, ec);
    return 0;
}
