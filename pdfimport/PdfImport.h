#pragma once
// PDF import: the text lines of every page with their positions, read with
// poppler, laid out into paragraphs by PdfLayout. The result is what a PDF
// document is made of (Doc::createPdf): a title, the paragraph texts and the
// highlight spans of each paragraph.
//
// No Qt in this header; callers pass a file path. Each call opens its own
// document and touches no shared state, so it may run on any thread.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "PdfLayout.h"
#include "Progress.h"

namespace tovan::PdfImport {

struct Result {
    std::u16string title;
    // PdfLayout::Para::text(): a heading starts with the heading mark.
    std::vector<std::u16string> paragraphs;
    // Per paragraph, its spans with offsets into the text in `paragraphs`
    // (one further for a heading, past its mark).
    std::vector<std::vector<PdfLayout::Span>> spans;
};

// The messages of the refusals (thrown as Extract::Unsupported).
inline constexpr std::u16string_view unopenable = u"This PDF could not be opened.";
inline constexpr std::u16string_view passwordProtected = u"This PDF is protected with a password.";
inline constexpr std::u16string_view noText =
    u"This PDF has no text to read. It may be scanned pages (pictures of text).";

// The whole import. Throws Extract::Unsupported: unopenable when the file is
// missing or no PDF, passwordProtected when it needs a password to open
// (checked before any text is read), noText when no paragraph comes out.
// Reports to `progress` page by page; once it is cancelled the import stops
// with Progress::Cancelled.
Result read(const std::filesystem::path& file, const Progress& progress = {});

// The positioned lines of every page, in page order and poppler's order
// within a page: words chained into lines, text cleaned (normalizeChars,
// carriage returns to blanks, trimmed), coordinates in points from the
// top-left corner of the page's visible box. Empty lines, lines with an empty
// rectangle and pages of zero size are left out. Throws as read() does,
// except for noText.
std::vector<PdfLayout::Line> lines(const std::filesystem::path& file);

}  // namespace tovan::PdfImport
