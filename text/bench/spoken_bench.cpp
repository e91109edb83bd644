// Cost of each spoken-form pass over 5000 characters of mixed text.
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
BENCHMARK(BM_NumberWords);
BENCHMARK(BM_CacheLookup);
BENCHMARK_MAIN();
