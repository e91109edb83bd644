// Helpers shared by the passes of the second group.
#include "SpokenPasses.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <unordered_map>
#include <limits>

namespace tovan::Spoken::detail {

namespace {

struct ViewKey {
    const char16_t* data;
    size_t size;
    bool operator==(const ViewKey& o) const { return data == o.data && size == o.size; }
};

struct ViewKeyHash {
    size_t operator()(const ViewKey& k) const {
        return std::hash<const void*>{}(k.data) ^ (k.size * 0x9E3779B97F4A7C15ull);
    }
};

}  // namespace

const Regex& re(std::u16string_view constant) {
    thread_local std::unordered_map<ViewKey, const Regex*, ViewKeyHash> known;
    ViewKey key{constant.data(), constant.size()};
    auto it = known.find(key);
    if (it != known.end()) return *it->second;
    const Regex& compiled = tovan::rx(constant);
    known.emplace(key, &compiled);
    return compiled;
}

std::u16string literal(std::u16string s, std::u16string_view what, std::u16string_view with) {
    if (what.empty()) return s;
    size_t pos = s.find(what);
    if (pos == std::u16string::npos) return s;
    std::u16string out;
    out.reserve(s.size());
    size_t from = 0;
    while (pos != std::u16string::npos) {
        out.append(s, from, pos - from);
        out += with;
        from = pos + what.size();
        pos = s.find(what, from);
    }
    out.append(s, from);
    return out;
}

std::u16string lower(const std::u16string& s) {
    icu::UnicodeString u(s.data(), static_cast<int32_t>(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), u.length());
}

std::u16string wholeNumber(const std::u16string& digitsText) {
    std::u16string d = literal(digitsText, u",", u"");
    int64_t v = plong(d);
    return v == std::numeric_limits<int64_t>::max() ? spaced(d) : cardinal(v);
}

bool anyOf(const std::u16string& s, std::u16string_view units) {
    return s.find_first_of(units) != std::u16string::npos;
}

bool anyDigit(const std::u16string& s) {
    size_t i = 0;
    while (i < s.size()) {
        char16_t u = s[i];
        if (u >= u'0' && u <= u'9') return true;
        if (u < 0x80) {
            i++;
            continue;
        }
        UChar32 c;
        U16_NEXT(s.data(), i, s.size(), c);
        if (u_charType(c) == U_DECIMAL_DIGIT_NUMBER) return true;
    }
    return false;
}

std::optional<std::u16string> asciiLowered(const std::u16string& s) {
    std::u16string out(s);
    size_t i = 0;
    while (i < out.size()) {
        char16_t u = out[i];
        if (u < 0x80) {
            if (u >= u'A' && u <= u'Z') out[i] = static_cast<char16_t>(u + 32);
            i++;
            continue;
        }
        size_t at = i;
        UChar32 c;
        U16_NEXT(out.data(), i, out.size(), c);
        if (u_isalpha(c) || wordAt(out, at) || u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND)) return std::nullopt;
    }
    return out;
}

size_t afterChar(const std::u16string& s, size_t i) {
    if (i >= s.size()) return s.size();
    if (U16_IS_LEAD(s[i]) && i + 1 < s.size() && U16_IS_TRAIL(s[i + 1])) return i + 2;
    return i + 1;
}

bool wordAt(const std::u16string& s, size_t i) {
    if (i >= s.size()) return false;
    char16_t u = s[i];
    if (u < 0x80) return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'_';
    UChar32 c;
    U16_NEXT(s.data(), i, s.size(), c);
    if (c == 0x200C || c == 0x200D || u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) return true;
    return (U_GET_GC_MASK(c) & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)) != 0;
}

std::vector<Window> keywordWindows(const std::u16string& lowered, std::initializer_list<std::u16string_view> words,
                                   size_t (*then)(const std::u16string&, size_t)) {
    std::vector<Window> out;
    bool afterWord = false;  // whether the character before pos is a word character
    size_t pos = 0;
    while (pos < lowered.size()) {
        char16_t c = lowered[pos];
        if (!afterWord && c >= u'a' && c <= u'z') {
            // \b before a letter: a word may start here.
            std::u16string_view rest(lowered.data() + pos, lowered.size() - pos);
            for (std::u16string_view w : words) {
                if (w[0] != c || rest.substr(0, w.size()) != w) continue;
                size_t end = then(lowered, pos + w.size());
                if (end != std::u16string::npos) out.push_back({pos, std::min(end, lowered.size())});
            }
        }
        afterWord = wordAt(lowered, pos);
        pos = afterChar(lowered, pos);
    }
    return out;
}

std::u16string replaceInWindows(const std::u16string& s, const Regex& re, std::vector<Window> windows,
                                const std::function<std::u16string(const JMatch&, size_t)>& build) {
    if (windows.empty()) return s;
    std::sort(windows.begin(), windows.end(), [](const Window& a, const Window& b) {
        return a.start != b.start ? a.start < b.start : a.end > b.end;
    });
    std::u16string out;
    size_t copied = 0;
    size_t last = std::u16string::npos;
    for (const Window& w : windows) {
        if (w.start < copied || w.start == last) continue;  // inside a match, or the same start again
        last = w.start;
        auto m = re.atStart(s.substr(w.start, w.end - w.start));
        if (!m || m->end(0) == 0) continue;
        if (out.empty()) out.reserve(s.size() + 64);
        out.append(s, copied, w.start - copied);
        out += build(*m, w.start);
        copied = w.start + m->end(0);
    }
    if (copied == 0) return s;
    out.append(s, copied);
    return out;
}

namespace {

// A decimal digit of any script ending just before i.
bool digitBefore(const std::u16string& s, size_t i) {
    if (i == 0 || i > s.size()) return false;
    return digitAt(s, i - 1) || (i >= 2 && U16_IS_TRAIL(s[i - 1]) && digitAt(s, i - 2));
}

// A letter the case-blind ASCII classes take: ASCII, or the two signs that
// fold into it (Kelvin, long s).
bool asciiLetterish(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == 0x212A || c == 0x017F;
}

}  // namespace

bool maybeNumberPlural(const std::u16string& s) {
    for (size_t i = s.find(u's'); i != std::u16string::npos; i = s.find(u's', i + 1)) {
        if (digitBefore(s, i) && !wordAt(s, i + 1)) return true;
    }
    return false;
}

bool maybeEquation(const std::u16string& s) {
    constexpr std::u16string_view signs = u"+=÷^×*<>≤≥≠≈";
    for (size_t i = s.find_first_of(signs); i != std::u16string::npos; i = s.find_first_of(signs, i + 1)) {
        size_t a = i, b = i + 1;
        while (a > 0 && (s[a - 1] == u' ' || s[a - 1] == u'\t')) a--;
        while (b < s.size() && (s[b] == u' ' || s[b] == u'\t')) b++;
        if (b < s.size() && s[b] == u'-') b++;
        if (digitBefore(s, a) && digitAt(s, b)) return true;
    }
    return false;
}

bool maybeScaledUnit(const std::u16string& s) {
    for (std::u16string_view word : {u"illion", u"housand"}) {
        for (size_t i = s.find(word); i != std::u16string::npos; i = s.find(word, i + 1)) {
            size_t w = i;
            while (w > 0 && ((s[w - 1] >= u'a' && s[w - 1] <= u'z') || (s[w - 1] >= u'A' && s[w - 1] <= u'Z'))) w--;
            if (w > 0 && spaceAt(s, w - 1) && digitBefore(s, w - 1)) return true;
        }
    }
    return false;
}

bool maybeDomainPath(const std::u16string& s) {
    for (size_t i = s.find(u'/'); i != std::u16string::npos; i = s.find(u'/', i + 1)) {
        size_t j = i;
        while (j > 0 && asciiLetterish(s[j - 1])) j--;
        if (j < i && j > 0 && s[j - 1] == u'.') return true;
    }
    return false;
}

bool maybeVariable(const std::u16string& s) {
    for (size_t i = s.find(u'$'); i != std::u16string::npos; i = s.find(u'$', i + 1)) {
        if (i + 1 < s.size() && (asciiLetterish(s[i + 1]) || s[i + 1] == u'_' || s[i + 1] == u'{')) return true;
    }
    return false;
}

bool digitAt(const std::u16string& s, size_t i) {
    if (i >= s.size()) return false;
    char16_t u = s[i];
    if (u < 0x80) return u >= u'0' && u <= u'9';
    UChar32 c;
    U16_NEXT(s.data(), i, s.size(), c);
    return u_charType(c) == U_DECIMAL_DIGIT_NUMBER;
}

bool spaceAt(const std::u16string& s, size_t i) {
    if (i >= s.size()) return false;
    char16_t u = s[i];
    if (u < 0x80) return u == u' ' || (u >= 0x09 && u <= 0x0D);
    UChar32 c;
    U16_NEXT(s.data(), i, s.size(), c);
    return u_isUWhiteSpace(c) || u_charType(c) == U_SPACE_SEPARATOR || u_charType(c) == U_LINE_SEPARATOR ||
           u_charType(c) == U_PARAGRAPH_SEPARATOR;
}

// No address or name runs this long without a space; on such a run (a blob
// of code or data) the address patterns cost the square of its length.
constexpr size_t MAX_PIECE = 1024;

std::u16string replaceInPieces(const std::u16string& s, const Regex& re, std::u16string_view needs,
                               const ReplacementBuilder& build) {
    if (!anyOf(s, needs)) return s;
    std::u16string out;
    size_t pos = 0, copied = 0;
    while (pos < s.size()) {
        if (spaceAt(s, pos)) {
            pos++;
            continue;
        }
        size_t end = pos;
        while (end < s.size() && !spaceAt(s, end)) end++;
        std::u16string_view view(s.data() + pos, end - pos);
        if (view.size() <= MAX_PIECE && view.find_first_of(needs) != std::u16string_view::npos) {
            std::u16string piece(view);
            std::u16string done = re.replaceAll(piece, build);
            if (done != piece) {
                if (out.empty()) out.reserve(s.size() + 64);
                out.append(s, copied, pos - copied);
                out += done;
                copied = end;
            }
        }
        pos = end;
    }
    if (copied == 0) return s;
    out.append(s, copied);
    return out;
}

std::u16string rewrite(const std::u16string& s, const Rule& r) {
    const Regex& compiled = re(r.pattern);
    if (!r.needs.empty() && !anyOf(s, r.needs)) return s;
    if (!r.has.empty() && s.find(r.has) == std::u16string::npos) return s;
    return compiled.replaceAll(s, r.tmpl);
}

std::u16string rewrite(const std::u16string& s, std::u16string_view pattern, std::u16string_view needs,
                     const ReplacementBuilder& build) {
    const Regex& compiled = re(pattern);
    if (!needs.empty() && !anyOf(s, needs)) return s;
    return compiled.replaceAll(s, build);
}

}  // namespace tovan::Spoken::detail
