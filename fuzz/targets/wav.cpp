// WAV reading of any bytes, then what the engine does with a clip: resampling
// to the model rate and encoding as 16-bit PCM again.
#include <math.h>

#include "fuzz.h"
#include "runtime/error.h"
#include "runtime/resample.h"
#include "runtime/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  float *x = NULL;
  size_t n = 0;
  int32_t rate = 0;
  if (tv_wav_read_mem(data, size, &x, &n, &rate) != 0) {
    FUZZ_CHECK(x == NULL || n == 0);
    FUZZ_CHECK(tv_geterr()[0] != 0);
    tv_free(x);
    return 0;
  }
  FUZZ_CHECK(x != NULL && rate > 0);
  // Clips are short; rates far outside audio would only measure the
  // resampler's output length, not its handling of the bytes.
  const size_t head = n < 4096 ? n : 4096;
  if (rate >= 1000 && rate <= 384000) {
    float *y = NULL;
    size_t m = 0;
    if (tv_resample(x, head, rate, 24000, &y, &m) == 0) FUZZ_CHECK(m == tv_resample_len(head, rate, 24000));
    tv_free(y);
  }
  uint8_t *bytes = NULL;
  size_t len = 0;
  if (tv_wav_encode(x, head, 24000, &bytes, &len) == 0) FUZZ_CHECK(len == 44 + 2 * head);
  tv_free(bytes);
  tv_free(x);
  return 0;
}
