// Dialogue analysis over a generated book: attributed and unattributed
// speech, pronouns, names met in narration, scene words and emphasis marks,
// from a fixed cast of 40 characters. Ten times the paragraphs should take
// about ten times as long.
#include <random>

#include <benchmark/benchmark.h>

#include "Cast.h"
#include "Narration.h"

namespace {

std::vector<std::u16string> book(size_t paragraphs) {
    static const char16_t* names[] = {
        u"Alice", u"Tom", u"Mary", u"Peter", u"Jane", u"Harry", u"Lucy", u"George", u"Emma", u"Oliver",
        u"Mr. Darcy", u"Mrs. Bennet", u"Captain Hook", u"Lady Catherine", u"Dr. Watson", u"Wendy", u"Sam",
        u"Frodo", u"Bilbo", u"Rose", u"Arlo", u"Brin", u"Cassia", u"Dorran", u"Elsin", u"Faro", u"Galen",
        u"Hesper", u"Ivo", u"Juno", u"Kestrel", u"Lorne", u"Mira", u"Nolan", u"Orrin", u"Petra", u"Quill",
        u"Rowan", u"Sable", u"Tamsin"};
    static const char16_t* verbs[] = {u"said", u"whispered", u"shouted", u"asked", u"muttered", u"replied",
                                      u"sighed", u"laughed", u"gasped", u"pleaded"};
    static const char16_t* lines[] = {
        u"I think we should go now, before it gets dark.", u"Where did you put the lantern?",
        u"Nobody listens to me in this house!", u"It is only the wind, nothing more.",
        u"Come here, quickly, and look at this.", u"We have waited long enough, I believe."};
    static const char16_t* narration[] = {
        u"The shadows crept across the silent hall, and a cold fear settled over the house.",
        u"Suddenly they ran down the lane, jumped the gate and raced towards the river.",
        u"The morning was bright; the children laughed and danced in the sunshine.",
        u"There were tears at the funeral, and the old house felt lonely and sad."};
    std::mt19937 rng(1234);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    std::vector<std::u16string> out;
    out.reserve(paragraphs);
    for (size_t i = 0; i < paragraphs; i++) {
        const std::u16string name = names[pick(40)];
        const std::u16string verb = verbs[pick(10)];
        const std::u16string line = lines[pick(6)];
        switch (pick(7)) {
            case 0: out.push_back(u"“" + line + u"” " + verb + u" " + name + u"."); break;
            case 1: out.push_back(name + u" " + verb + u", “" + line + u"”"); break;
            case 2: out.push_back(u"“" + line + u"”"); break;
            case 3: out.push_back(u"“" + line + u"” she " + verb + u". “And do not be late.”"); break;
            case 4: out.push_back(u"Later " + name + u" came in. " + narration[pick(4)]); break;
            case 5: out.push_back(std::u16string(tovan::Narration::HEAD) + u"Chapter " + name); break;
            default:
                out.push_back(narration[pick(4)] + std::u16string(u" It was ") +
                              std::u16string(tovan::Narration::EM_ON) + u"very" +
                              std::u16string(tovan::Narration::EM_OFF) + u" late, said no one.");
        }
    }
    return out;
}

void BM_CastAnalyze(benchmark::State& state) {
    const auto paragraphs = book(static_cast<size_t>(state.range(0)));
    size_t characters = 0;
    for (auto _ : state) {
        auto cast = tovan::Cast::analyze(paragraphs);
        characters = cast->characters().size();
        benchmark::DoNotOptimize(cast);
    }
    state.counters["characters"] = static_cast<double>(characters);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_CastAnalyze)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// Cutting every paragraph into segments, as reading does once per sentence.
void BM_NarrationSegments(benchmark::State& state) {
    const auto paragraphs = book(10000);
    const auto cast = tovan::Cast::analyze(paragraphs);
    for (auto _ : state) {
        size_t n = 0;
        for (size_t i = 0; i < paragraphs.size(); i++) n += tovan::Narration::segments(paragraphs[i], cast->lines()[i]).size();
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 10000);
}
BENCHMARK(BM_NarrationSegments)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
