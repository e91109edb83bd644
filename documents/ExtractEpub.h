#pragma once
// EPUB books: the package document found through META-INF/container.xml,
// the chapters in spine order (each file read once), each chapter through
// the HTML conversion and paragraph cleaning, and front and back matter cut
// by the book-body filter. Also the archive helpers the Word reader shares.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "ExtractedDoc.h"
#include "Progress.h"

namespace tovan::Extract {

// Kind "epub". Throws Extract::Unsupported ("This EPUB could not be opened.",
// "This EPUB has no text to read.", "This file is too large to open.") or
// ZipArchive::Failure for an archive that cannot be read. Reports to
// `progress` entry by entry and chapter by chapter; once it is cancelled the
// work stops with Progress::Cancelled.
ExtractedDoc epub(std::string_view data, const std::u16string& fallbackTitle,
                  const std::optional<std::u16string>& source, const Progress& progress = {});

// The markup entries of a ZIP archive (names ending in .xhtml, .html, .htm,
// .xml, .opf, .ncx or .rels, in any case), by exact name. Each is at most
// 16 MiB and all together at most 96 MiB, counting the bytes really read:
// past either, Unsupported("This file is too large to open."). Other
// entries are never decompressed.
std::map<std::u16string, std::string> unzip(std::string_view data, const Progress& progress = {});

inline constexpr long long unzipEntryLimit = 16777216;   // 16 MiB
inline constexpr long long unzipTotalLimit = 100663296;  // 96 MiB

// dir + href with "." and ".." resolved and empty pieces dropped, cut before
// the first '#'. No percent-decoding; a leading '/' stays relative to dir.
std::u16string resolve(const std::u16string& dir, const std::u16string& href);

// Percent escapes decoded as UTF-8; nothing when an escape is malformed or
// the bytes are not UTF-8.
std::optional<std::u16string> percentDecoded(const std::u16string& s);

}  // namespace tovan::Extract
