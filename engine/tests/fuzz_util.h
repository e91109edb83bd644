// Shared pieces of the mutation fuzz tests: a small seeded generator and the
// round count, which TOVANTTS_FUZZ_ROUNDS raises for longer runs.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace fuzz {

struct Rng {
  uint64_t s;
  uint32_t next() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return (uint32_t)(s >> 33);
  }
  uint32_t below(uint32_t n) { return n ? next() % n : 0; }
};

inline int rounds(int def) {
  const char *e = getenv("TOVANTTS_FUZZ_ROUNDS");
  return e && atoi(e) > 0 ? atoi(e) : def;
}

}  // namespace fuzz
