// EPUB files from memory, read as the library reads them.
// links: tovandocuments
#include "ExtractDocument.h"
#include "document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view bytes((const char *)data, size);
  fuzz::read_document([&] { return tovan::Extract::document(bytes, u"fuzz.epub", std::nullopt, std::nullopt); });
  return 0;
}
