#pragma once
// Internal helpers of the second group of Spoken passes (letters, links,
// amounts, Roman numerals, numbers, symbols, say): literal replacement,
// character tests that let a pass skip a scan that cannot match, and the
// lists of each file's constant patterns for Spoken::patterns().

#include "Spoken.h"

#include <string>
#include <string_view>
#include <vector>

namespace tovan::Spoken::detail {

// Every occurrence of `what` replaced by `with`, left to right, exact units.
std::u16string literal(std::u16string s, std::u16string_view what, std::u16string_view with);
// Full Unicode lower-casing, independent of the locale.
std::u16string lower(const std::u16string& s);
// Whether s holds any of the UTF-16 units of `units`.
bool anyOf(const std::u16string& s, std::u16string_view units);
// A whole number as words; commas are skipped. A run of digits too long for
// one 64-bit value is read digit by digit in groups (spaced) rather than as
// the saturated value.
std::u16string wholeNumber(const std::u16string& digitsText);
// Whether s holds a decimal digit of any script (what \d matches).
bool anyDigit(const std::u16string& s);

// One rule that replaces every match by a template. `needs`: units of which
// every match holds at least one (empty: no test). The pattern is looked up
// in the cache even when the scan is skipped, so every pattern of a pass is
// compiled on its first call, whatever the text.
struct Rule {
    std::u16string_view pattern, tmpl, needs;
};
std::u16string rewrite(const std::u16string& s, const Rule& r);
// The same for a builder.
std::u16string rewrite(const std::u16string& s, std::u16string_view pattern, std::u16string_view needs,
                     const JBuilder& build);

// The constant patterns of each file, in the order they run.
std::vector<std::u16string_view> letterPatterns();
std::vector<std::u16string_view> linkPatterns();
std::vector<std::u16string_view> amountPatterns();
std::vector<std::u16string_view> romanPatterns();
std::vector<std::u16string_view> numberPatterns();
std::vector<std::u16string_view> symbolPatterns();

}  // namespace tovan::Spoken::detail
