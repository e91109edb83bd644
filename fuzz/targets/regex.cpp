// The engine's regular expressions: the input is a pattern, a NUL, then a
// text (flags from the pattern's first byte); a pattern that compiles is
// searched, iterated, substituted and split over the text. Texts are kept
// short and so is the step budget: a backtracking matcher is exponential on
// some patterns by nature, and an operation that runs out of steps must fail
// through the flag rather than hang.
#include <string.h>

#include <string>

#include "front/rx.h"
#include "front/ucd.h"
#include "fuzz.h"
#include "runtime/error.h"

namespace {

constexpr int64_t kSteps = 100000;

const ucd *table() {
  static ucd u;
  static bool ready = [] {
    // The table the tiny model's front end was built with.
    const std::string path = fuzz::model_dir() + "/native/front/unicode.bin";
    if (ucd_load(&u, path.c_str()) != 0) {
      fprintf(stderr, "fuzz: no Unicode table: %s\n", tv_geterr());
      abort();
    }
    return true;
  }();
  (void)ready;
  return &u;
}

void put_all(uint32_t *flag, void *, const int32_t *m, const uint32_t *text, u32s *out) {
  rxm_put(flag, out, m, text, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *bytes = (const char *)data;
  const char *nul = (const char *)memchr(bytes, 0, size);
  if (!nul || nul - bytes > 64) return 0;
  const std::string pattern(bytes, (size_t)(nul - bytes));
  uint32_t flag = 0;
  u32s text = {};
  u32s_utf8(&flag, &text, nul + 1, (size_t)(size - (size_t)(nul - bytes) - 1));
  if (flag || text.n > 24) {
    u32s_free(&text);
    return 0;
  }
  tv_rx *rx = tv_rx_compile(table(), pattern.c_str(), !pattern.empty() && (pattern[0] & 1));
  if (!rx) {
    FUZZ_CHECK(tv_geterr()[0] != 0);
    u32s_free(&text);
    return 0;
  }
  // Patterns that do not backtrack without end need far fewer steps on 24
  // code points. Up to 29 operations run per input: with the library's own
  // limit each could take half a minute under the sanitizers, with this one
  // the whole input stays under a second.
  tv_rx_set_step_limit(rx, kSteps);
  const int32_t groups = tv_rx_groups(rx);
  FUZZ_CHECK(groups >= 0 && groups <= 9);
  int32_t m[2 * 9 + 4];
  if (tv_rx_search(&flag, rx, text.p, text.n, 0, m)) FUZZ_CHECK(m[0] >= 0 && m[0] <= m[1] && m[1] <= text.n);
  int32_t pos = 0, found = 0;
  while (tv_rx_next(&flag, rx, text.p, text.n, &pos, m) && found++ <= text.n + 1)
    FUZZ_CHECK(m[0] <= m[1] && m[1] <= text.n);
  u32s out = {};
  tv_rx_sub(&flag, rx, text.p, text.n, put_all, NULL, &out);
  // Replacing every match by itself gives the text back.
  if (!flag)
    FUZZ_CHECK(out.n == text.n && (text.n == 0 || memcmp(out.p, text.p, sizeof(uint32_t) * (size_t)text.n) == 0));
  u32s_free(&out);
  tv_rx_spans sr = {};
  tv_rx_split(&flag, rx, text.p, text.n, &sr);
  tv_rx_spans_free(&sr);
  tv_rx_free(rx);
  u32s_free(&text);
  return 0;
}
