// Reading-director files from memory; a file that loads plans a short reading
// and turns the plans into controls and pauses.
#include "fuzz.h"
#include "tovantts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  char err[512] = "";
  tovantts_director *d = tovantts_director_from_memory(data, size, err, sizeof err);
  if (!d) {
    FUZZ_CHECK(err[0] != 0);
    return 0;
  }
  const tovantts_sentence s[3] = {
      {"Chapter one.", 0, 0, 1, 0},
      {"\"Where were you?\" she asked, and he said nothing at all for a while.", 1, 1, 2, 0},
      {"Then 42 birds flew off!", 0, 0, 2, 1},
  };
  float plan[3 * 6];
  if (tovantts_director_plan(d, s, 3, "novel", plan, err, sizeof err) == 0) {
    for (int i = 0; i < 3; i++) {
      float ctrl[5];
      char text[128];
      tovantts_plan_controls(d, plan + 6 * i, ctrl, 1.0f);
      tovantts_plan_ctrl(d, plan + 6 * i, text, sizeof text, 0.5f);
      const int32_t ms = tovantts_plan_pause_ms(plan + 6 * i, 1.0f);
      FUZZ_CHECK(ms >= 80 && ms <= 1500);
    }
  }
  tovantts_director_free(d);
  return 0;
}
