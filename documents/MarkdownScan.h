#pragma once
// The Markdown rewrites whose plain regex search can go quadratic (brackets
// that never close, emphasis markers that never pair, long runs of blank
// lines or blanks), written as scanners that give exactly the plain
// replace-all's result in linear time. Each function names the pattern and
// template it stands for; the tests hold each one against the regex.
//
// Character classes follow ICU: "\s" is White_Space, "." stops at U+000A to
// U+000D, U+0085, U+2028 and U+2029, "\w" is Alphabetic, marks, decimal
// digits, connector punctuation, U+200C and U+200D; "^" and "$" in multi-line
// mode work at those same line ends.

#include <string>

namespace tovan::MarkdownScan {

// "!\[[^]]*]\([^)]*\)" -> ""
std::u16string images(const std::u16string& s);
// "\[([^]]+)]\([^)]*\)" -> "$1"
std::u16string links(const std::u16string& s);
// "(?m)^\s{0,3}#{1,6}\s*(.*?)\s*#*$" -> "\n" U+E002 "$1.\n"
std::u16string headings(const std::u16string& s);
// "(\*\*|__)(\S(?:.*?\S)?)\1" -> U+E000 "$2" U+E001
std::u16string strong(const std::u16string& s);
// "(?<![\w*])([*_])(\S(?:.*?\S)?)\1(?![\w*])" -> U+E000 "$2" U+E001
std::u16string emphasis(const std::u16string& s);
// "(?m)^\s*>\s?" -> ""
std::u16string quoteMarkers(const std::u16string& s);
// "(?m)^\s*([-*+]|\d+\.)\s+" -> "• "
std::u16string listMarkers(const std::u16string& s);

}  // namespace tovan::MarkdownScan
