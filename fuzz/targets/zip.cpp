// ZIP archives: the central directory, then every entry's bytes under a
// small limit. A refusal is a Failure with a reason; every entry that reads
// keeps to the limit.
// links: tovandocuments
#include "ZipArchive.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  constexpr int64_t limit = 1 << 20;
  try {
    const tovan::ZipArchive zip(std::string_view((const char *)data, size));
    for (const auto &entry : zip.entries()) {
      try {
        FUZZ_CHECK((int64_t)zip.contents(entry, limit).size() <= limit);
      } catch (const tovan::ZipArchive::Failure &) {
      }
    }
  } catch (const tovan::ZipArchive::Failure &) {
  }
  return 0;
}
