#include "Plans.h"

#include "Performer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace tovan::Plans {

namespace {

std::mutex lock;
std::map<std::u16string, List> cache;

bool developer() {
    const char* v = std::getenv("TOVANTTS_DEV");
    return v && std::strcmp(v, "1") == 0;
}

}  // namespace

List of(const Doc& doc, const Director* director) {
    if (!director) return nullptr;
    {
        std::lock_guard<std::mutex> hold(lock);
        auto hit = cache.find(doc.id);
        if (hit != cache.end()) return hit->second;
    }

    // Planning runs outside the lock: a long book must not hold up another
    // document's lookup.
    const auto t0 = std::chrono::steady_clock::now();
    List plans;
    try {
        plans = std::make_shared<const std::vector<Director::Plan>>(
            director->plan(Performer::directorSentences(doc), std::nullopt));
    } catch (const std::exception&) {
        return nullptr;
    }
    if (developer()) {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        std::printf("director: %d sentences planned in %.0f ms\n", int(plans->size()), ms);
        std::fflush(stdout);
    }
    std::lock_guard<std::mutex> hold(lock);
    cache[doc.id] = plans;
    return plans;
}

}  // namespace tovan::Plans
