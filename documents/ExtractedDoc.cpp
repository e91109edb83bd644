#include "ExtractedDoc.h"

namespace tovan {

std::u16string ExtractedDoc::displayTitle() const {
    if (!author || author->empty()) return title;
    return title + u" \u00B7 " + *author;
}

}  // namespace tovan
