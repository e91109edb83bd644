// What every document reader promises, checked by the document targets: a
// refusal carries a message, and a document read has no empty paragraph and
// no paragraph of narration marks alone.
#pragma once

#include <functional>

#include "Extract.h"
#include "ExtractedDoc.h"
#include "TextMarkers.h"
#include "ZipArchive.h"
#include "fuzz.h"

namespace fuzz {

inline void check_document(const tovan::ExtractedDoc &doc) {
  for (const std::u16string &p : doc.paragraphs) {
    bool text = false;
    for (char16_t c : p)
      if (c != tovan::TextMarkers::on && c != tovan::TextMarkers::off && c != tovan::TextMarkers::head && c != u' ')
        text = true;
    FUZZ_CHECK(text);
  }
}

// Runs a reader; its refusals (Unsupported, Failure) must say why.
inline void read_document(const std::function<tovan::ExtractedDoc()> &read) {
  try {
    check_document(read());
  } catch (const tovan::Extract::Unsupported &e) {
    FUZZ_CHECK(e.what()[0] != 0);
  } catch (const tovan::ZipArchive::Failure &e) {
    (void)e;
  }
}

}  // namespace fuzz
