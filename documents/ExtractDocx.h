#pragma once
// Word (.docx) documents: the body text of word/document.xml, run by run,
// and the title of docProps/core.xml. Headers, footers, notes and comments
// live in other parts and are not read; nor is the author.

#include <optional>
#include <string>
#include <string_view>

#include "ExtractedDoc.h"
#include "Progress.h"

namespace tovan::Extract {

// Kind "docx". Throws Extract::Unsupported ("This Word file could not be
// opened.", "This file is too large to open.") or ZipArchive::Failure.
// Reports to `progress` paragraph by paragraph; once it is cancelled the work
// stops with Progress::Cancelled.
ExtractedDoc docx(std::string_view data, const std::u16string& fallbackTitle,
                  const std::optional<std::u16string>& source, const Progress& progress = {});

// The text of one paragraph of document.xml: the matches of
// "<w:t(?:\s[^>]*)?>([^<]*)</w:t>|<w:tab/>|<w:br/>", text elements with
// their references decoded, tabs and breaks as one blank. Linear.
std::u16string docxParagraph(const std::u16string& piece);

}  // namespace tovan::Extract
