#pragma once
// Linear-time stand-ins for the markup patterns whose plain regex search goes
// quadratic on unclosed or unterminated tags. A lazy pattern such as
// "(?is)<(p|li)\b[^>]*>(.*?)</\1>" rescans the rest of the text from every
// opening that never closes, and "[^>]*" rescans it from every '<' that no
// '>' follows; a megabyte with ten thousand unclosed <p> then costs a minute.
// These scanners find the same matches by locating the candidates by hand and
// asking the regex only about one tag at a time.
//
// One deliberate difference: a tag ends at the first '>' after its '<', so a
// '>' inside a quoted attribute value ends the tag for the attribute tests
// (the plain patterns would let "[^"]*" run past it).

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Regex.h"

namespace tovan::HtmlScan {

// An element found by an ElementPattern: [start, openEnd) is the opening
// tag, [openEnd, innerEnd) the content, [innerEnd, end) the closing tag.
struct Element {
    int start = 0;
    int openEnd = 0;
    int innerEnd = 0;
    int end = 0;
    int name = 0;  // index into ElementPattern::names
};

// "<" + one of `names` (ASCII; lower case when matched without regard to case)
// [+ "\b"] [+ "[^>]*>"] + "(.*?)" + "</" + the same name + ">", in dot-all
// mode, with `opening` (when set) as a further whole-match test on the
// opening tag. Matches are found left to right without overlap, as the regex
// search would find them.
struct ElementPattern {
    std::vector<std::u16string_view> names;
    bool boundary = true;  // "\b" after the name
    bool tagEnd = true;    // "[^>]*>" after the name; else the content starts after the name
    bool icase = true;     // names and closing tags without regard to case, as "(?i)"
    // Only with one name and tagEnd: e.g. rx("(?is)<span\b[^>]*\bid=\"img_[^\"]*\"[^>]*>").
    const Regex* opening = nullptr;
};

std::vector<Element> elements(const std::u16string& s, const ElementPattern& p, size_t most = SIZE_MAX);
std::optional<Element> firstElement(const std::u16string& s, const ElementPattern& p);
std::u16string replaceElements(const std::u16string& s, const ElementPattern& p,
                               const std::function<std::u16string(const Element&)>& build);

// Replace-all of a pattern every match of which ends at the first '>' after
// its start ("<[^>]*>", "(?i)</?(p|div)\b[^>]*>"): the regex searches only up
// to the last '>', so no attempt runs off the end of the text. Same result as
// the plain replace-all.
std::u16string replaceTags(const std::u16string& s, std::u16string_view pattern, std::u16string_view tmpl);
std::u16string replaceTags(const std::u16string& s, std::u16string_view pattern, const ReplacementBuilder& build);

// Matches of a pattern that begins with "<" + `prefix` (ASCII lower case),
// then "\b" when `boundary`, then "[^>]*" or "[^>]+", and whose match stays
// inside that tag (TagScope::tag) or may end in a quoted value that runs past
// the tag's '>' (TagScope::quotedValue): "<itemref\b[^>]*idref=\"([^\"]+)\"",
// "(?is)<meta[^>]+property=...content=[\"']([^\"']+)". The regex is asked at
// each candidate only, over that tag; when it fails there, every later
// candidate inside the same tag sees a part of the same text and fails too,
// so the scan goes on after the tag. Offsets are into s.
struct TagMatch {
    int start = 0;
    int end = 0;
    std::vector<std::optional<std::u16string>> groups;  // 0 = the whole match
};
enum class TagScope { tag, quotedValue };
struct TagPattern {
    const Regex& re;
    std::u16string_view prefix;
    bool icase = true;     // the pattern has "(?i)"
    bool boundary = true;  // "\b" follows the prefix
    TagScope scope = TagScope::tag;
};
std::vector<TagMatch> tagMatches(const std::u16string& s, const TagPattern& p, size_t most = SIZE_MAX);

// ICU's "\b" right after a word character at `pos`: true when no character
// follows or the next one is not a word character; false before a combining
// mark or a format character, which ICU looks through.
bool boundaryAfterWord(const std::u16string& s, size_t pos);
// "<" is at pos - 1; true when `name` (ASCII lower case) follows at pos under
// simple case folding, as "(?i)" compares.
bool nameAt(const std::u16string& s, size_t pos, std::u16string_view name, bool icase = true);

}  // namespace tovan::HtmlScan
