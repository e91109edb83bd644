// JSON requests against the generated tiny model: validation, the canonical
// form, and synthesis whole or streamed (a request that starts with a space
// is streamed). A success must carry audio whose every sample is a number.
// Only short texts are synthesised: the work grows faster than the text, and
// under the sanitizers a paragraph takes minutes, which would hide a real hang
// behind the time limit.
#include <math.h>
#include <string.h>

#include <string>

#include "fuzz.h"
#include "runtime/json.h"
#include "tovantts.h"

namespace {

// About one sentence: a few seconds at most under the sanitizers.
constexpr int32_t kMaxSymbols = 200;

tovantts_engine *engine() {
  static tovantts_engine *e = [] {
    char err[512];
    tovantts_engine *made = tovantts_create(fuzz::model_dir().c_str(), 1, err, sizeof err);
    if (!made) {
      fprintf(stderr, "fuzz: no model: %s\n", err);
      abort();
    }
    return made;
  }();
  return e;
}

bool finite(const float *x, int64_t n) {
  for (int64_t i = 0; i < n; i++)
    if (!isfinite(x[i])) return false;
  return true;
}

int32_t chunk(const float *samples, int64_t n, const tovantts_chunk_info *, void *) {
  FUZZ_CHECK(n == 0 || (samples && finite(samples, n)));
  return 0;
}

// Whether the text of a resolved request is short enough to synthesise.
bool short_text(tovantts_engine *e, const char *canonical) {
  tv_json *root = tv_json_parse(canonical, strlen(canonical));
  const tv_json *text = root ? tv_json_get(root, "text") : NULL;
  bool ok = false;
  if (text && text->kind == TV_JSON_STR) {
    int32_t *ids = NULL, *words = NULL, n = 0;
    char err[512];
    // A text the front end refuses is refused quickly by synthesis too.
    ok = tovantts_phonemes(e, text->str, &ids, &words, &n, err, sizeof err) != 0 || n <= kMaxSymbols;
    tovantts_free(ids);
    tovantts_free(words);
  }
  tv_json_free(root);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string json((const char *)data, size);
  tovantts_engine *e = engine();
  char err[512] = "";
  char *canonical = NULL;
  if (tovantts_resolve_json(e, json.c_str(), &canonical, err, sizeof err) != 0) {
    FUZZ_CHECK(err[0] != 0);
    return 0;
  }
  // The canonical form is itself a request that resolves to the same form.
  char *again = NULL;
  FUZZ_CHECK(tovantts_resolve_json(e, canonical, &again, err, sizeof err) == 0);
  FUZZ_CHECK(strcmp(canonical, again) == 0);
  tovantts_free(again);
  const bool synthesise = short_text(e, canonical);
  tovantts_free(canonical);
  if (!synthesise) return 0;
  if (!json.empty() && json[0] == ' ') {
    if (tovantts_stream_json(e, json.c_str(), chunk, NULL, err, sizeof err) != 0) FUZZ_CHECK(err[0] != 0);
    return 0;
  }
  float *audio = NULL;
  int64_t n = 0;
  if (tovantts_synthesize_json(e, json.c_str(), &audio, &n, err, sizeof err) == 0) {
    FUZZ_CHECK(audio != NULL && n >= 0 && finite(audio, n));
  } else {
    FUZZ_CHECK(err[0] != 0 && audio == NULL && n == 0);
  }
  tovantts_free(audio);
  return 0;
}
