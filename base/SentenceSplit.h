#pragma once
// Paragraphs into sentences: the sentence rule shared by the document model,
// the cleaning of extracted text and the phrasing of announcements. Every
// position and length is in UTF-16 code units.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Progress.h"

namespace tovan::TextClean {

// A sentence: the half-open range lower..<upper of one paragraph. Never empty.
struct Range {
    std::int64_t lower = 0;
    std::int64_t upper = 0;
    bool operator==(const Range&) const = default;
};

// The sentences of one paragraph, in text order; a sentence longer than 240
// units is cut into pieces at separators or blanks. Linear in the text.
// Reports to `progress` as it goes through a long paragraph.
std::vector<Range> spans(std::u16string_view paragraph, const Progress& progress = {});
// The sentence texts of all paragraphs, in order.
std::vector<std::u16string> sentences(const std::vector<std::u16string>& paragraphs);

}  // namespace tovan::TextClean
