// Helpers shared by the fuzz targets: inputs as files, a private folder, the
// model directory, and the check that ends a run when an invariant breaks.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fuzz {

// Stops the run so that libFuzzer keeps the input: an invariant of the code
// under test broke (a failure reported as success, say).
#define FUZZ_CHECK(cond)                                                   \
  do {                                                                     \
    if (!(cond)) {                                                         \
      fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      abort();                                                             \
    }                                                                      \
  } while (0)

// The bytes as a file that lives in memory; readers that want a path (and
// map it) get /proc/self/fd/N. Closed by the destructor.
struct MemFile {
  int fd = -1;
  std::string path;
  MemFile(const uint8_t *data, size_t size) {
    fd = memfd_create("fuzz", MFD_CLOEXEC);
    if (fd < 0) return;
    size_t done = 0;
    while (done < size) {
      const ssize_t w = write(fd, data + done, size - done);
      if (w <= 0) break;
      done += (size_t)w;
    }
    path = "/proc/self/fd/" + std::to_string(fd);
  }
  ~MemFile() {
    if (fd >= 0) close(fd);
  }
};

// A folder of this process, made once and removed at exit.
inline const std::string &scratch() {
  static std::string dir = [] {
    const char *base = getenv("TMPDIR");
    std::string t = std::string(base && *base ? base : "/tmp") + "/tovantts-fuzz-XXXXXX";
    if (!mkdtemp(t.data())) abort();
    static struct Cleanup {
      std::string d;
      ~Cleanup() {
        std::error_code ec;
        std::filesystem::remove_all(d, ec);
      }
    } cleanup{t};
    return t;
  }();
  return dir;
}

inline void write_file(const std::string &path, const uint8_t *data, size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write((const char *)data, (std::streamsize)size);
}

// The generated tiny model ($TOVANTTS_FUZZ_MODEL overrides the build's).
inline std::string model_dir() {
  const char *env = getenv("TOVANTTS_FUZZ_MODEL");
  return env && *env ? env : TOVANTTS_FUZZ_MODEL;
}

}  // namespace fuzz
