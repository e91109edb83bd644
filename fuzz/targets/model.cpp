// Model directories: the first byte picks one small file of the tiny model
// (config.json, voices.json or voices.safetensors) and the rest replaces it;
// the other files are the model's own. An engine that loads must speak a
// sentence as finite, non-empty audio or refuse with a message.
#include <math.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "fuzz.h"
#include "tovantts.h"

namespace {

const char *const FILES[] = {"config.json", "voices.json", "voices.safetensors"};

// scratch()/model: links to every file of the tiny model.
const std::string &folder() {
  static std::string dir = [] {
    namespace fs = std::filesystem;
    const std::string d = fuzz::scratch() + "/model";
    fs::create_directory(d);
    for (const auto &e : fs::directory_iterator(fuzz::model_dir()))
      fs::create_symlink(e.path(), d + "/" + e.path().filename().string());
    return d;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const std::string dir = folder();
  const std::string path = dir + "/" + FILES[data[0] % 3];
  unlink(path.c_str());
  fuzz::write_file(path, data + 1, size - 1);
  char err[512] = "";
  tovantts_engine *e = tovantts_create(dir.c_str(), 1, err, sizeof err);
  // Put the model's own file back for the next input.
  unlink(path.c_str());
  std::filesystem::create_symlink(fuzz::model_dir() + "/" + FILES[data[0] % 3], path);
  if (!e) {
    FUZZ_CHECK(err[0] != 0);
    return 0;
  }
  float *audio = NULL;
  int64_t n = 0;
  if (tovantts_synthesize(e, "Hello there, how are you?", NULL, &audio, &n, err, sizeof err) == 0) {
    FUZZ_CHECK(audio != NULL && n > 0);
    for (int64_t i = 0; i < n; i++) FUZZ_CHECK(isfinite(audio[i]));
  } else {
    FUZZ_CHECK(err[0] != 0);
  }
  tovantts_free(audio);
  tovantts_destroy(e);
  return 0;
}
