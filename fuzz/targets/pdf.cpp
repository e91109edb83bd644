// PDF files through the import: poppler's lines, then the layout. A
// refusal carries its message; an import that succeeds has a span list per
// paragraph.
// links: tovanpdf
#include "Extract.h"
#include "PdfImport.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::MemFile file(data, size);
  if (file.fd < 0) return 0;
  try {
    const tovan::PdfImport::Result r = tovan::PdfImport::read(file.path);
    FUZZ_CHECK(!r.paragraphs.empty());
    FUZZ_CHECK(r.spans.size() == r.paragraphs.size());
  } catch (const tovan::Extract::Unsupported &e) {
    FUZZ_CHECK(e.what()[0] != 0);
  }
  return 0;
}
