// Planning a long reading with the director: 10,000 sentences on one thread,
// at the widest shape a director file may have and at the development one.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "api/director.h"
#include "runtime/error.h"

namespace {

const char *const TEXTS[] = {
    "It was a dark and stormy night; the rain fell in torrents, except at occasional "
    "intervals, when it was checked by a violent gust of wind.",
    "\u201cYou can\u2019t be serious!\u201d cried Margaret.",
    "Nobody in the village \u2014 not even old Hannah \u2014 had seen the keeper since March.",
    "Was he ill?",
    "The lamp burned on, regardless\u2026",
    "He climbed one hundred and twelve steps, counting each of them aloud as he went.",
    "At the top, the wind howled.",
    "Chapter Four",
    "She said nothing for a long while, and then, quite suddenly, she laughed.",
    "\"Why would anyone climb those stairs at night?\" he asked.",
};

struct Reading {
    std::vector<tovantts_sentence> sentences;
    Reading(size_t n) {
        const size_t k = sizeof TEXTS / sizeof *TEXTS;
        for (size_t i = 0; i < n; i++) {
            int32_t len = 1 + (int32_t)(i % 5);
            sentences.push_back({TEXTS[(i * 7) % k], (int32_t)(i % 3 == 1), (int32_t)(i % 6 == 1),
                                 len, (int32_t)(i % (size_t)len)});
        }
    }
};

void plan(benchmark::State &state, tovantts_director *d) {
    if (!d) {
        state.SkipWithError(tv_geterr());
        return;
    }
    Reading r(10000);
    std::vector<float> out(6 * r.sentences.size());
    for (auto _ : state) {
        int32_t rc = tovantts_director_plan(d, r.sentences.data(), (int32_t)r.sentences.size(),
                                            "literary", out.data(), nullptr, 0);
        benchmark::DoNotOptimize(rc);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["sentences/s"] =
        benchmark::Counter((double)r.sentences.size(), benchmark::Counter::kIsIterationInvariantRate);
    tovantts_director_free(d);
}

tovantts_director *from_arrays(tv_director_arrays *a) {
    if (!a) return nullptr;
    uint8_t *bytes;
    size_t size;
    tovantts_director *d = nullptr;
    if (tv_director_serialize(a, &bytes, &size) == 0) {
        d = tovantts_director_from_memory(bytes, size, nullptr, 0);
        tv_free(bytes);
    }
    tv_director_arrays_free(a);
    return d;
}

void BM_Plan10k_Widest(benchmark::State &state) {
    tv_director_arrays *a = tv_director_arrays_new(2, TV_DIR_TOKEN_IDS, 64, 64, 64);
    if (a) tv_director_arrays_seed(a, 42, 1);
    plan(state, from_arrays(a));
}

void BM_Plan10k_Development(benchmark::State &state) { plan(state, from_arrays(tv_director_arrays_dev())); }

}  // namespace

BENCHMARK(BM_Plan10k_Widest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plan10k_Development)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
