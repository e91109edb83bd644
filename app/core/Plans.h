#pragma once
// The director's plans per document, computed once per process and shared by
// the reading controller's render loop and the audio export (any thread).

#include "Director.h"
#include "Doc.h"

#include <memory>
#include <vector>

namespace tovan::Plans {

using List = std::shared_ptr<const std::vector<Director::Plan>>;

// One plan per sentence of the document, or null. Without a director (natural
// narration off) there are no plans, even for a document planned before, so
// switching narration off is heard at once; with one, a document is planned
// once and its plans are kept. A failed planning gives null (the next call
// tries again).
// With TOVANTTS_DEV=1 each computation prints
// "director: <n> sentences planned in <ms> ms".
List of(const Doc& doc, const Director* director);

}  // namespace tovan::Plans
