// Runs a fuzz target once over each file named on the command line, or over
// every file of each folder named (in name order), outside libFuzzer: the
// ordinary and sanitizer builds replay the seeds and past failures this way.
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; i++) {
    std::error_code ec;
    if (fs::is_directory(argv[i], ec)) {
      for (const auto &e : fs::directory_iterator(argv[i]))
        if (e.is_regular_file()) files.push_back(e.path());
    } else if (fs::exists(argv[i], ec)) {
      files.push_back(argv[i]);
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path &p : files) {
    std::ifstream in(p, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fprintf(stderr, "replay %s (%zu bytes)\n", p.c_str(), bytes.size());
    LLVMFuzzerTestOneInput((const uint8_t *)bytes.data(), bytes.size());
  }
  printf("replayed %zu inputs\n", files.size());
  return 0;
}
