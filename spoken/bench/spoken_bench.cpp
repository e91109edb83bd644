// Cost of each spoken-form pass, and of the whole say() pipeline, over 5000
// characters of mixed text, and of say() over long texts at two sizes.
#include "Spoken.h"

#include <benchmark/benchmark.h>

namespace {

const std::u16string& mixed() {
    static const std::u16string text = [] {
        const std::u16string para =
            u"On 2024-03-05 the team met at 9:30 pm; call (555) 123-4567 or +44 20 7946 0958 before "
            u"Mon-Fri 9-11am. The invoice 12345678 of 12/25/2024 lists 1,234 items and #42 boxes, "
            u"version 2.10.1, 5 km at 60 km/h in 2h 30m. Meet me on the 5th of March, or Tue 3/12 "
            u"at 10am-2pm; the 1990 people saw 3 ± 0.5 and 2+2. Plain words keep the text honest, "
            u"with a few more sentences that hold no numbers at all, as ordinary prose does. ";
        std::u16string t;
        while (t.size() < 5000) t += para;
        t.resize(5000);
        return t;
    }();
    return text;
}

void BM_Dates(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::dates(mixed()));
    state.SetBytesProcessed(state.iterations() * mixed().size() * 2);
}

void BM_Times(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::times(mixed()));
    state.SetBytesProcessed(state.iterations() * mixed().size() * 2);
}

void BM_Phones(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::phones(mixed()));
    state.SetBytesProcessed(state.iterations() * mixed().size() * 2);
}

// The five number-pass readings of this half, each over the whole text.
void BM_NumberReadings(benchmark::State& state) {
    using namespace tovan;
    for (auto _ : state) {
        std::u16string t = rx(Spoken::VERSION).replaceAll(mixed(), Spoken::readVersion);
        t = rx(Spoken::CODE).replaceAll(t, Spoken::readCode);
        t = rx(Spoken::NUMBERED).replaceAll(t, Spoken::readNumberSign);
        t = rx(Spoken::UNIT()).replaceAll(t, Spoken::readUnit);
        t = rx(Spoken::OPERATOR).replaceAll(t, Spoken::readOperator);
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(state.iterations() * mixed().size() * 2);
}

// Prose with numbers, dates, amounts and links, as say() meets it.
const std::u16string& prose() {
    static const std::u16string text = [] {
        const std::u16string para =
            u"On 2024-03-05 the board met at https://www.example.com/minutes and agreed to spend $1,250.50 "
            u"(about \u20AC1,150) on 3 new servers, each 2.5 GHz with 64 GB, shipping by 12/25. Write to "
            u"jane.doe@example.org or call 555-123-4567; see Chapter IV, pages 12-15, and the 1990s report. "
            u"Prices rose 4.5% in Q3, and 1 in 20 users \u2014 roughly 1,200 people \u2014 said the app was "
            u"\u201Cgreat\u201D. Henry VIII had 6 wives; the 21st century has 5 \u00B1 2 of them. ";
        std::u16string t;
        while (t.size() < 5000) t += para;
        t.resize(5000);
        return t;
    }();
    return text;
}

void BM_Say(benchmark::State& state) {
    tovan::Spoken::say(prose());
    size_t compiled = tovan::rxCompiled();
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::say(prose()));
    state.SetBytesProcessed(state.iterations() * prose().size() * 2);
    // The cache must not grow after the first call.
    state.counters["new_patterns"] = static_cast<double>(tovan::rxCompiled() - compiled);
}

// say() over long texts at two sizes: the time per character must stay the
// same. Prose, and one run of hyphen-joined digit blocks with no space.
std::u16string repeated(std::u16string_view unit, size_t size) {
    std::u16string t;
    while (t.size() < size) t += unit;
    t.resize(size);
    return t;
}

void BM_SayLongProse(benchmark::State& state) {
    const std::u16string text = repeated(prose(), static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::say(text));
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}

void BM_SayLongDigitBlocks(benchmark::State& state) {
    const std::u16string text = repeated(u"978-3-16-148410-0-555-0147-", static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::say(text));
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}

void BM_SayMarkup(benchmark::State& state) {
    static const std::u16string text = [] {
        std::u16string t;
        while (t.size() < 5000) t += u"<emph>Then</emph> on 3/4 [pause] he paid $20. ";
        return t;
    }();
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::say(text, true));
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}

void BM_Letters(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::letters(prose()));
}

void BM_Links(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::links(prose()));
}

void BM_Amounts(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::amounts(prose()));
}

void BM_Numbers(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::numbers(prose()));
}

void BM_Symbols(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::symbols(prose()));
}

void BM_Unspoken(benchmark::State& state) {
    static const std::u16string text = [] {
        std::u16string t;
        while (t.size() < 5000) t += u"\u65E5\u672C\u8A9E\u306E\u6587\u7AE0\u3067\u3059\u3002";
        return t;
    }();
    for (auto _ : state) benchmark::DoNotOptimize(tovan::Spoken::unspoken(text));
}

void BM_NumberWords(benchmark::State& state) {
    int64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tovan::Spoken::cardinal(n));
        benchmark::DoNotOptimize(tovan::Spoken::year(1000 + n % 9000));
        n += 7919;
    }
}

void BM_CacheLookup(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(&tovan::rx(tovan::Spoken::CODE));
}

}  // namespace

BENCHMARK(BM_Dates);
BENCHMARK(BM_Times);
BENCHMARK(BM_Phones);
BENCHMARK(BM_NumberReadings);
BENCHMARK(BM_Say)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SayLongProse)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SayLongDigitBlocks)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SayMarkup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Letters);
BENCHMARK(BM_Links);
BENCHMARK(BM_Amounts);
BENCHMARK(BM_Numbers);
BENCHMARK(BM_Symbols);
BENCHMARK(BM_Unspoken);
BENCHMARK(BM_NumberWords);
BENCHMARK(BM_CacheLookup);
BENCHMARK_MAIN();
