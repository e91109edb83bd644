#pragma once
// Extracted text into paragraphs, and paragraphs into sentences (the
// sentence rule itself is in SentenceSplit.h). Every position and length is
// in UTF-16 code units.

#include <string>
#include <string_view>
#include <vector>

#include "Progress.h"
#include "SentenceSplit.h"

namespace tovan::TextClean {

// Whether the text comes from printed pages, whose page numbers and running
// headers and footers are furniture to drop. In other text (a Word file, a
// web page, Markdown) a line "42" is content, such as a table cell.
enum class Furniture { none, printedPages };

// Pages of extracted lines into clean paragraphs: line breaks inside
// paragraphs joined, end-of-line hyphenation undone, with printed pages the
// page numbers dropped and, with three pages or more, the running headers and
// footers; each bullet item its own paragraph; every paragraph made
// speakable, and paragraphs of narration marks alone dropped. A paragraph
// that grows past 2^20 units (text without blank lines) ends at the next line
// end that ends a sentence, or at any line end past twice that, unless an
// emphasis is open; a line of over 2^21 units is taken in pieces cut at a
// blank for the same end. Pass a list of one text for text that does not
// come in pages. Reports to `progress` line by line (and throws
// Progress::Cancelled when it is cancelled).
std::vector<std::u16string> clean(const std::vector<std::u16string>& pages, Furniture furniture = Furniture::none,
                                  const Progress& progress = {});
std::vector<std::u16string> clean(const std::u16string& text, Furniture furniture = Furniture::none,
                                  const Progress& progress = {});
// The same, taking the text over: a large text is not copied.
std::vector<std::u16string> clean(std::u16string&& text, Furniture furniture = Furniture::none,
                                  const Progress& progress = {});
// Ligatures spelt out, soft hyphens dropped, no-break and thin spaces made
// blanks, CR LF, CR and form feed made LF.
std::u16string normalizeChars(std::u16string_view text);
// One paragraph fit to be read aloud: web addresses as their host name,
// citation marks gone (not indexes into code such as "a[0]"), no white space
// before punctuation (unless it starts a word, as in "the .po files"), single
// blanks. Checks `progress` for a cancel between its passes.
std::u16string speakable(const std::u16string& text, const Progress& progress = {});
// True when the paragraph holds something to read, not only white space and
// narration marks.
bool hasText(const std::u16string& paragraph);

// A book's paragraphs cut to what is worth reading: the text between the
// Project Gutenberg licence markers, without contents lists, with the title
// page joined (titlePage).
std::vector<std::u16string> bookBody(const std::vector<std::u16string>& paragraphs);
// Runs of three or more short lines before the first long paragraph joined
// into one paragraph (their narration marks dropped).
std::vector<std::u16string> titlePage(const std::vector<std::u16string>& paragraphs);

}  // namespace tovan::TextClean
