#pragma once
// HTML (a web page file, or one chapter of an EPUB book) to plain text ready
// for paragraph forming: what is read aloud stays, scripts, styles, the head,
// navigation, page headers and footers, asides, forms, figures, superscripts,
// images, page-number markers and table-of-contents entries go. Blocks become
// blank lines, emphasis the emphasis marks, headings open with the heading
// mark.

#include <string>

#include "Progress.h"

namespace tovan::Extract {

// Never fails; the result is not trimmed (it usually begins and ends with a
// blank line). Near linear in the text, unclosed tags included. Reports to
// `progress` after each of its passes over the text.
std::u16string htmlToText(const std::u16string& html, const Progress& progress = {});

// The markup with table-of-contents rows and entries cut out; everything else
// is left as it was.
std::u16string contentsRemoved(const std::u16string& html);

}  // namespace tovan::Extract
