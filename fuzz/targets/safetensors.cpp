// Safetensors files and the weights container: the bytes are a file, every
// tensor it lists is asked for as a float array and as a matrix (and, for
// quantised parts "name::q" / "name::s", the logical name too).
#include <string.h>

#include <string>

#include "fuzz.h"
#include "runtime/error.h"
#include "runtime/weights.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::MemFile f(data, size);
  tv_weights *w = tv_weights_open(f.path.c_str());
  if (!w) {
    FUZZ_CHECK(tv_geterr()[0] != 0);
    return 0;
  }
  const tv_file *file = tv_weights_file(w);
  for (int32_t i = 0; i < tv_file_count(file) && i < 64; i++) {
    std::string name = tv_file_tensor(file, i)->name;
    const size_t colons = name.rfind("::");
    if (colons != std::string::npos) name.resize(colons);
    uint64_t dims[TV_MAX_DIMS];
    tv_weights_shape(w, name.c_str(), dims);
    const tv_mat *m = tv_weights_mat(w, name.c_str(), 0, 0);
    const float *x = tv_weights_f32(w, name.c_str(), 0);
    if (m && x && m->rows > 0 && m->cols > 0) {
      // The view and the float array describe the same values.
      volatile float last = x[(size_t)m->rows * (size_t)m->cols - 1];
      (void)last;
    }
  }
  tv_weights_close(w);
  return 0;
}
