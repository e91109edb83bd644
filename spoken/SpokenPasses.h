#pragma once
// Internal helpers of the second group of Spoken passes (letters, links,
// amounts, Roman numerals, numbers, symbols, say): literal replacement,
// character tests that let a pass skip a scan that cannot match, and the
// lists of each file's constant patterns for Spoken::patterns().

#include "Spoken.h"

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovan::Spoken::detail {

// The compiled expression of a pattern held in static storage (a program
// constant): rx() on the first use in each thread, then a lookup by the
// text's address, which spares hashing the whole pattern and taking the
// cache lock on every call of a pass.
const Regex& re(std::u16string_view constant);

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

// Shortcuts that spare a scan which cannot match. Each answers "maybe" (true)
// whenever it cannot be sure.

// Screens for the rules of single constructions: false only when no match
// of the rule can be in s (checked against the plain scans).
// A digit, "s", then no word character ("747s").
bool maybeNumberPlural(const std::u16string& s);
// An operator sign (+ = ÷ ^ × * < > ≤ ≥ ≠ ≈) with a digit before it and a
// digit, or "-" and a digit, after it, blanks and tabs between ("1-2=5");
// false only when no equation that holds one is in s.
bool maybeEquation(const std::u16string& s);
// A scale word ("thousand", "million" ...) after a digit and white space.
bool maybeScaledUnit(const std::u16string& s);
// A slash after a lower-case word that ends in a currency word a rate looks
// back for, with one white space between at most ("dollars/mo").
// (SpokenAmounts)
bool maybeRate(const std::u16string& s);
// A slash right after letters that follow a dot ("example.com/").
bool maybeDomainPath(const std::u16string& s);
// "$" before a letter, "_" or "{" ("$HOME").
bool maybeVariable(const std::u16string& s);

// s with its ASCII letters in lower case, for keyword tests of case-blind
// patterns; nullopt when s holds a character outside ASCII that is a letter
// (case folding might join it to an ASCII keyword) or that the regex
// engine's word tests count with a word (marks, digits, joiners).
std::optional<std::u16string> asciiLowered(const std::u16string& s);
// A stretch of text an expression is matched on, anchored at its start.
struct Window {
    size_t start, end;
};
// For an expression that starts with \b and one of `words` (ASCII, lower
// case): a window at every occurrence of a word in `lowered` that does not
// follow a word character and that `then(lowered, end of the word)` accepts;
// `then` gives the window's end (npos: no match can start here).
std::vector<Window> keywordWindows(const std::u16string& lowered, std::initializer_list<std::u16string_view> words,
                                   size_t (*then)(const std::u16string&, size_t));
// Every match of `re` in s replaced by `build(match, offset of its window)`,
// where the match is taken anchored at each window start. The same as one
// replaceAll over s when no match starts outside a window start and the
// expression, matched at a window start, reads nothing outside the window.
std::u16string replaceInWindows(const std::u16string& s, const Regex& re, std::vector<Window> windows,
                                const std::function<std::u16string(const JMatch&, size_t)>& build);
// The offset after the character at s[i] (a surrogate pair is one), at
// most s.size().
size_t afterChar(const std::u16string& s, size_t i);
// Whether ICU's \w takes the character at s[i].
bool wordAt(const std::u16string& s, size_t i);
// A decimal digit of any script at s[i] (false past the end).
bool digitAt(const std::u16string& s, size_t i);
// White space as \s sees it, at s[i].
bool spaceAt(const std::u16string& s, size_t i);
// Runs `re` with a builder on each piece of s between white space that holds
// one of `needs`, and copies the rest. The same as one replaceAll over s for
// a pattern whose matches hold no white space and whose look-arounds stop at
// white space (a space before or after a piece reads as the end of a text).
// Pieces longer than 1024 units are left as they are.
std::u16string replaceInPieces(const std::u16string& s, const Regex& re, std::u16string_view needs,
                               const ReplacementBuilder& build);

// One rule that replaces every match by a template. `needs`: units of which
// every match holds at least one (empty: no test). The pattern is looked up
// in the cache even when the scan is skipped, so every pattern of a pass is
// compiled on its first call, whatever the text.
// `has`: a text every match holds (empty: no test).
struct Rule {
    std::u16string_view pattern, tmpl, needs, has = {};
};
std::u16string rewrite(const std::u16string& s, const Rule& r);
// The same for a builder.
std::u16string rewrite(const std::u16string& s, std::u16string_view pattern, std::u16string_view needs,
                     const ReplacementBuilder& build);

// Windows for the reference-code pattern CODE and the heading pattern of
// roman() (the fourth of romanPatterns()); nullopt: no shortcut for s.
std::optional<std::vector<Window>> codeWindows(const std::u16string& s);
std::optional<std::vector<Window>> headingWindows(const std::u16string& s);

// The constant patterns of each file, in the order they run.
std::vector<std::u16string_view> letterPatterns();
std::vector<std::u16string_view> linkPatterns();
std::vector<std::u16string_view> amountPatterns();
std::vector<std::u16string_view> romanPatterns();
std::vector<std::u16string_view> numberPatterns();
std::vector<std::u16string_view> symbolPatterns();

}  // namespace tovan::Spoken::detail
