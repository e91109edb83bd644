#pragma once
// What every extractor (pasted text, files, web articles) hands to the
// document model.

#include <optional>
#include <string>
#include <vector>

namespace tovan {

struct ExtractedDoc {
    std::u16string title;                 // never absent
    std::optional<std::u16string> author;  // when the source names one
    std::vector<std::u16string> paragraphs;
    // "text", "web", "html", "markdown", "epub" or "docx".
    std::u16string kind;
    // A URL's absolute string for files, links and books; absent for pasted text.
    std::optional<std::u16string> source;

    // title + " · " + author when there is a non-empty author, else title.
    std::u16string displayTitle() const;

    bool operator==(const ExtractedDoc&) const = default;
};

}  // namespace tovan
