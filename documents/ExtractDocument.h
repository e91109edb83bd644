#pragma once
// The entry points that turn a file, a block of HTML or a fetched article
// into an ExtractedDoc: the reader is chosen by MIME type and file
// extension; PDFs and data over 200 MiB are refused.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "Article.h"
#include "ExtractedDoc.h"
#include "Progress.h"

namespace tovan::Extract {

inline constexpr long long maxDocumentBytes = 209715200;  // 200 MiB

// Reads the file whole. Throws Unsupported, ZipArchive::Failure, or
// std::system_error when the file cannot be read. The source is the file's
// URL ("file://" and the absolute path, percent-encoded). Reading, decoding
// and cleaning report to `progress`, which ends at 1 with the result; once it
// is cancelled the work stops with Progress::Cancelled.
ExtractedDoc document(const std::filesystem::path& file, const std::optional<std::u16string>& mime = std::nullopt,
                      const Progress& progress = {});

// Throws Unsupported or ZipArchive::Failure. `name` is the file name; its
// extension and the MIME type pick the reader, the MIME type first.
ExtractedDoc document(std::string_view data, const std::u16string& name, const std::optional<std::u16string>& mime,
                      const std::optional<std::u16string>& source, const Progress& progress = {});

// A page's article as a document of kind "web"; the source is baseURL.
ExtractedDoc fromHTML(const std::u16string& html, const std::optional<std::u16string>& baseURL);
ExtractedDoc fromArticle(const Article& article, const std::optional<std::u16string>& source);

// "file://" + the absolute path with everything but unreserved characters,
// sub-delimiters, ':', '@' and '/' percent-encoded.
std::u16string fileURL(const std::filesystem::path& file);

}  // namespace tovan::Extract
