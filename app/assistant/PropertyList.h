#pragma once
// Reads property lists (the binary "bplist00" form and the XML form) into a
// JSON value: dictionaries become objects, arrays and sets arrays, strings
// UTF-8 strings, integers and reals numbers, booleans booleans, data a JSON
// binary value, UIDs their number; a date is the seconds since 2001-01-01 in
// the binary form and its ISO 8601 text in the XML form. The input comes from other programs' files, so every offset, size,
// reference and nesting level is checked; anything malformed gives nothing.

#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovan::PropertyList {

// Deepest nesting of arrays and dictionaries that is read.
inline constexpr int MAX_DEPTH = 64;
// Most values read from one list (shared objects count each time they are used).
inline constexpr int MAX_VALUES = 200000;

// The value of a list in either form, or nothing when it is malformed.
std::optional<nlohmann::json> read(std::string_view bytes);
std::optional<nlohmann::json> readBinary(std::string_view bytes);
std::optional<nlohmann::json> readXml(std::string_view bytes);

}  // namespace tovan::PropertyList
