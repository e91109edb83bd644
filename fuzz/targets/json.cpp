// The strict JSON reader: any bytes parse or are refused with a message, and
// a parsed tree is walked in full through the accessors.
#include "fuzz.h"
#include "runtime/error.h"
#include "runtime/json.h"

namespace {

void walk(const tv_json *v, int depth) {
  FUZZ_CHECK(depth < 100000);
  if (v->kind == TV_JSON_STR) FUZZ_CHECK(v->str != NULL);
  if (v->kind != TV_JSON_ARR && v->kind != TV_JSON_OBJ) return;
  for (int32_t i = 0; i < v->count; i++) {
    const tv_json *item = tv_json_at(v, i);
    FUZZ_CHECK(item == &v->items[i]);
    if (v->kind == TV_JSON_OBJ) FUZZ_CHECK(tv_json_get(v, v->keys[i]) != NULL);
    walk(item, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  tv_json *root = tv_json_parse((const char *)data, size);
  if (!root) {
    FUZZ_CHECK(tv_geterr()[0] != 0);
    return 0;
  }
  walk(root, 0);
  tv_json_free(root);
  return 0;
}
