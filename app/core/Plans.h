#pragma once
// The director's plans per document, computed once per process and shared by
// the reading controller's render loop and the audio export (any thread).

#include "Director.h"
#include "Doc.h"

#include <memory>
#include <vector>

namespace tovan::Plans {

using List = std::shared_ptr<const std::vector<Director::Plan>>;

// One plan per sentence of the document, or null. A document planned before
// keeps its plans whatever the director argument (also null); otherwise null
// without a director or when planning fails (the next call tries again).
// With TOVANTTS_DEV=1 each computation prints
// "director: <n> sentences planned in <ms> ms".
List of(const Doc& doc, const Director* director);

}  // namespace tovan::Plans
