#pragma once
// Positioned PDF text: the lines the PDF import extracts, the layout analysis
// that rebuilds paragraphs from them, and the paragraphs (with the place of
// each source line inside them) that it hands to the document model.
//
// Geometry is in PDF points as 32-bit floats, origin at the top-left corner
// of the page, y downward: a line's top t is smaller than its bottom b.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace tovan::PdfLayout {

// One visual line of text on a page, as extracted.
struct Line {
    std::int64_t page = 0;  // zero-based page index
    std::u16string text;
    float l = 0, t = 0, r = 0, b = 0;  // edges, from the page's left and top edges
    float pw = 0, ph = 0;              // the size of this line's page

    bool operator==(const Line&) const = default;
};

// Where one source line lies inside a paragraph's text (UTF-16 offsets,
// start..<end) and its rectangle on the page as fractions of the page size.
struct Span {
    std::int64_t page = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    float l = 0, t = 0, r = 0, b = 0;

    bool operator==(const Span&) const = default;
};

// Keyed coding of a span: "page", "start", "end" (integers) and "l", "t",
// "r", "b" (numbers). Decoding throws nlohmann::json::exception when a key is
// missing or holds another type. The library files do not use this form:
// they store a span as an array of seven numbers.
void to_json(nlohmann::json& j, const Span& s);
void from_json(const nlohmann::json& j, Span& s);

// One paragraph in reading order. Span offsets refer to raw, never to text().
struct Para {
    std::u16string raw;  // the paragraph's text without marks
    std::vector<Span> spans;
    bool heading = false;

    // raw, with the heading mark in front for a heading.
    std::u16string text() const;

    bool operator==(const Para&) const = default;
};

// The whole analysis: the lines of all pages, in any order (within a page the
// given order decides ties), into paragraphs in reading order. Running
// headers and footers, page numbers and small print in the margins are left
// out; each page is read as one column (fragments of one row merged) or as
// two; headings are marked; lines are joined into paragraphs, across pages
// too, with end-of-line hyphenation undone. Never fails; pure computation, so
// it may run on any thread.
//
// Every returned raw is non-empty; its first span starts at 0, its last ends
// at raw's length, and each further span starts one unit after the previous
// end (a blank between the lines) or one before it (a removed hyphen).
std::vector<Para> layout(const std::vector<Line>& lines);

// The lines of one page in reading order: both columns one after the other
// on a two-column page, otherwise top to bottom with the fragments of one
// row merged into one line ("Name, Value").
std::vector<Line> readingOrder(const std::vector<Line>& lines);

}  // namespace tovan::PdfLayout
