#pragma once
// Extracted text into paragraphs, and paragraphs into sentences. Every
// position and length is in UTF-16 code units.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovan::TextClean {

// A sentence: the half-open range lower..<upper of one paragraph. Never empty.
struct Range {
    std::int64_t lower = 0;
    std::int64_t upper = 0;
    bool operator==(const Range&) const = default;
};

// The sentences of one paragraph, in text order; a sentence longer than 240
// units is cut into pieces at separators or blanks. Linear in the text.
std::vector<Range> spans(std::u16string_view paragraph);
// The sentence texts of all paragraphs, in order.
std::vector<std::u16string> sentences(const std::vector<std::u16string>& paragraphs);

// Pages of extracted lines into clean paragraphs: line breaks inside
// paragraphs joined, end-of-line hyphenation undone, page numbers dropped and,
// with three pages or more, the running headers and footers; each bullet item
// its own paragraph; every paragraph made speakable. Pass a list of one text
// for text that does not come in pages.
std::vector<std::u16string> clean(const std::vector<std::u16string>& pages);
std::vector<std::u16string> clean(const std::u16string& text);
// Ligatures spelt out, soft hyphens dropped, no-break and thin spaces made
// blanks, CR LF, CR and form feed made LF.
std::u16string normalizeChars(std::u16string_view text);
// One paragraph fit to be read aloud: web addresses as their host name,
// citation marks gone, no white space before punctuation, single blanks.
std::u16string speakable(const std::u16string& text);

// A book's paragraphs cut to what is worth reading: the text between the
// Project Gutenberg licence markers, without contents lists, with the title
// page joined (titlePage).
std::vector<std::u16string> bookBody(const std::vector<std::u16string>& paragraphs);
// Runs of three or more short lines before the first long paragraph joined
// into one paragraph (their narration marks dropped).
std::vector<std::u16string> titlePage(const std::vector<std::u16string>& paragraphs);

}  // namespace tovan::TextClean
