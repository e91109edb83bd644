#pragma once
// The library folder's three files per document: <id>.json (the document),
// <id>.meta (its row in the list) and <id>.pos (the reading position). The
// operations on them are Doc's (Doc.h); these are the formats and the file
// handling they share.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Doc.h"

namespace tovan::DocFiles {

// An id is used as a file name stem: it must be non-empty, well-formed UTF-16
// and hold no "/", NUL or "..", so that no file outside the folder is named.
bool safeId(std::u16string_view id);

// The stems of the names ending in ".json", in name order; an unreadable
// folder gives none.
std::vector<std::u16string> ids(const std::filesystem::path& dir);

// The lenient integer of the stored numbers: a number truncated toward zero
// (true and false are 1 and 0), a string holding a decimal integer or a
// decimal floating-point number, and 0 for anything else. Values beyond the
// 64-bit range are clamped to it; a string that is not finite gives 0.
std::int64_t lenientInt64(const nlohmann::json& value);

// The three values of a position file; each may be absent.
struct Position {
    std::optional<std::int64_t> pos;
    std::optional<std::int64_t> opened;
    std::optional<bool> done;
    bool operator==(const Position&) const = default;
};
Position parsePos(std::string_view bytes);
Position readPos(const std::filesystem::path& dir, std::u16string_view id);

// The file contents as they are written. The document's reports to
// `progress` paragraph by paragraph.
std::string docJson(const Doc& doc, const Progress& progress = {});
std::string metaJson(const Doc::Meta& meta);
std::string posText(const Doc& doc);

// A row from the text of a <id>.meta; nothing when the row is not valid.
std::optional<Doc::Meta> parseMeta(std::u16string id, std::string_view bytes);
// A document from the text of a <id>.json, before the position file is read.
std::shared_ptr<Doc> parseDoc(std::u16string id, std::string_view bytes, const Position& position);

}  // namespace tovan::DocFiles
