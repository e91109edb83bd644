#pragma once
// Regular-expression helpers shared by every text component, over ICU's
// engine, with one process-wide cache of compiled patterns.
//
// Every position, length and range here is a UTF-16 code-unit offset into the
// caller's std::u16string. Patterns are program constants compiled with no
// options: flags such as "(?i)" are written inside the pattern. A pattern that
// does not compile is a programming error and stops the process. An ICU error
// while matching (a text too long for ICU, a stack overflow in the matcher)
// counts as no match.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Progress.h"

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

namespace tovan {

class Regex;

// One match: the range of the whole match (group 0) and of each capture
// group, and the searched text the group texts are cut from. A value; copies
// share the text.
class JMatch {
public:
    struct Range {
        int start = -1;  // -1: the group took no part
        int end = -1;
    };

    JMatch(std::shared_ptr<const std::u16string> source, std::vector<Range> ranges,
           const Regex* regex);

    // Number of ranges: capture groups + 1.
    int rangeCount() const { return static_cast<int>(ranges_.size()); }
    // Text of group n (0 = whole match); nullopt when n >= rangeCount() or the
    // group took no part.
    std::optional<std::u16string> group(int n) const;
    // Text of a named group; nullopt when it took no part or the pattern has
    // no group of that name.
    std::optional<std::u16string> group(std::u16string_view name) const;
    // Offsets of group n; -1 when the group took no part (test group(n) first
    // for optional groups).
    int start(int n) const;
    int end(int n) const;
    const std::vector<Range>& ranges() const { return ranges_; }
    const std::u16string& source() const { return *source_; }

private:
    std::shared_ptr<const std::u16string> source_;
    std::vector<Range> ranges_;
    const Regex* regex_;
};

using ReplacementBuilder = std::function<std::u16string(const JMatch&)>;

// A compiled expression. Immutable and shared by all threads; only rx()
// makes them, and they live for the whole process.
class Regex {
public:
    ~Regex();
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    const std::u16string& pattern() const { return text_; }

    // First match in s[from, end). Nothing before `from` is visible to the
    // expression: "^" matches at `from`, look-behind and \b stop there.
    // nullopt when there is none or when from is outside [0, length].
    std::optional<JMatch> find(const std::u16string& s, int from = 0) const;
    // Every match, left to right, not overlapping.
    std::vector<JMatch> all(const std::u16string& s) const;
    // The match that begins at offset 0, if any.
    std::optional<JMatch> atStart(const std::u16string& s) const;
    // True when the first match the expression gives at offset 0 covers all
    // of s. Other alternatives are not retried: a|ab is not a whole match of
    // "ab", ab|a is.
    bool whole(const std::u16string& s) const;
    // Template: $n (greedy digits while the number names a group, as ICU
    // does), ${name}, \c for a literal c; a '$' that starts no reference is
    // literal, a group that took no part gives the empty string.
    std::u16string replaceFirst(const std::u16string& s, std::u16string_view tmpl) const;
    std::u16string replaceAll(const std::u16string& s, std::u16string_view tmpl) const;
    // Every match is found on the unchanged input first; the builder is then
    // called once per match, in order, and its output is never searched.
    std::u16string replaceAll(const std::u16string& s, const ReplacementBuilder& build) const;
    // Pieces between the matches; trailing empty pieces are dropped. A
    // zero-width match at offset 0 makes no leading empty piece. The empty
    // text gives one empty piece.
    std::vector<std::u16string> split(const std::u16string& s) const;

    // The template expanded for one match (used by the replace operations).
    std::u16string expand(const JMatch& m, std::u16string_view tmpl) const;
    // Number of the named group, -1 when the pattern has none of that name.
    int groupNumber(std::u16string_view name) const;
    int groupCount() const;

private:
    friend const Regex& rx(std::u16string_view pattern);
    explicit Regex(std::u16string_view pattern);  // aborts when it does not compile

    std::u16string text_;
    std::unique_ptr<icu::RegexPattern> compiled_;
};

// The compiled expression for a pattern: compiled on first use under the
// cache lock (so each pattern is compiled once, even when many threads ask at
// once), then looked up. The reference stays valid for the whole process.
const Regex& rx(std::u16string_view pattern);

// How many patterns the cache has compiled in this process (a diagnostic).
size_t rxCompiled();

// Operations on text.
int jlength(const std::u16string& s);
char16_t jchar(const std::u16string& s, int i);
// s[start, end); end < 0 means to the end of the text.
std::u16string jsub(const std::u16string& s, int start, int end = -1);
// s without leading and trailing Unicode white space and line breaks
// (space separators, tab, LF, VT, FF, CR, NEL, LS, PS).
std::u16string trimmed(const std::u16string& s);
// s without the UTF-16 units up to U+0020 (space and every control
// character) at both ends; other white space such as U+00A0 stays.
std::u16string jtrim(const std::u16string& s);
bool matches(const std::u16string& s, std::u16string_view pattern);
std::u16string replaceFirst(const std::u16string& s, std::u16string_view pattern, std::u16string_view tmpl);
std::u16string replaceAll(const std::u16string& s, std::u16string_view pattern, std::u16string_view tmpl);
std::u16string replaceAll(const std::u16string& s, std::u16string_view pattern, const ReplacementBuilder& build);
std::vector<std::u16string> split(const std::u16string& s, std::u16string_view pattern);

// UTF-8 <-> UTF-16 at file and engine boundaries; malformed input becomes
// U+FFFD.
std::u16string u16(std::string_view utf8, const Progress& progress = {});
std::string u8(std::u16string_view utf16);
// True when the bytes are well-formed UTF-8 (no surrogates, no overlong forms).
bool validUtf8(std::string_view bytes);

}  // namespace tovan
