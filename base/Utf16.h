#pragma once
// UTF-16 helpers: tests on one code unit, trimming and case mapping. A
// surrogate half is never a letter, digit or white space: characters outside
// the Basic Multilingual Plane are looked at one unit at a time.

#include <string>
#include <string_view>

namespace tovan::Utf16 {

// U+0009-U+000D, U+001C-U+001F and the space, line and paragraph separators,
// except the no-break spaces U+00A0, U+2007 and U+202F.
bool isWhitespace(char16_t c);
// General category decimal number.
bool isDigit(char16_t c);
// General category Lu, Ll, Lt, Lm or Lo.
bool isLetter(char16_t c);
// Unicode Uppercase / Lowercase property of the unit (false for surrogates).
bool isUpper(char16_t c);
bool isLower(char16_t c);

// Removes every leading and trailing unit up to U+0020 (controls and the
// blank, not Unicode white space in general).
std::u16string trim(std::u16string_view s);
std::u16string_view trimView(std::u16string_view s);

// Full Unicode case mapping with the root locale (so "ß" upper-cases to
// "SS"); the text unchanged when ICU fails.
std::u16string lowercased(std::u16string_view s);
std::u16string uppercased(std::u16string_view s);

}  // namespace tovan::Utf16
