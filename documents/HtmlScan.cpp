#include "HtmlScan.h"

#include <algorithm>

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace tovan::HtmlScan {

namespace {

constexpr size_t npos = std::u16string::npos;

bool isWordChar(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || (U_GET_GC_MASK(c) & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)) ||
           c == 0x200C || c == 0x200D;
}

// The first '>' at or after a position, for positions that never go back.
class NextGt {
public:
    explicit NextGt(const std::u16string& s) : s_(s) {}
    size_t at(size_t pos) {
        if (pos < from_ || pos > found_) {
            from_ = pos;
            found_ = s_.find(u'>', pos);
        }
        return found_;
    }

private:
    const std::u16string& s_;
    size_t from_ = npos;   // the last query that searched
    size_t found_ = npos;  // its answer (npos: none)
};

}  // namespace

bool boundaryAfterWord(const std::u16string& s, size_t pos) {
    if (pos >= s.size()) return true;
    UChar32 c;
    size_t i = pos;
    U16_NEXT(s.data(), i, s.size(), c);
    if (u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND) || u_charType(c) == U_FORMAT_CHAR) return false;
    return !isWordChar(c);
}

bool nameAt(const std::u16string& s, size_t pos, std::u16string_view name, bool icase) {
    if (pos > s.size() || s.size() - pos < name.size()) return false;
    for (size_t k = 0; k < name.size(); ++k) {
        const char16_t c = s[pos + k];
        if (c == name[k]) continue;
        if (!icase || U16_IS_SURROGATE(c) || u_foldCase(c, U_FOLD_CASE_DEFAULT) != UChar32(name[k])) return false;
    }
    return true;
}

std::vector<Element> elements(const std::u16string& s, const ElementPattern& p, size_t most) {
    std::vector<Element> out;
    const size_t n = s.size();
    if (most == 0 || n > size_t(INT32_MAX)) return out;
    const size_t names = p.names.size();
    const bool skipTag = p.opening && p.tagEnd && names == 1;

    // Closing tags of each name, in text order; the pointers only move on,
    // because the content of each candidate starts later than the last.
    std::vector<std::vector<size_t>> closes(names);
    for (size_t at = s.find(u"</"); at != npos; at = s.find(u"</", at + 1)) {
        for (size_t k = 0; k < names; ++k) {
            const size_t len = p.names[k].size();
            if (nameAt(s, at + 2, p.names[k], p.icase) && at + 2 + len < n && s[at + 2 + len] == u'>') closes[k].push_back(at);
        }
    }
    std::vector<size_t> next(names, 0);
    NextGt gt(s);

    size_t i = s.find(u'<');
    while (i != npos) {
        size_t resume = i + 1;
        for (size_t k = 0; k < names; ++k) {
            const std::u16string_view name = p.names[k];
            const size_t nameEnd = i + 1 + name.size();
            if (!nameAt(s, i + 1, name, p.icase) || (p.boundary && !boundaryAfterWord(s, nameEnd))) continue;
            size_t openEnd = nameEnd;
            if (p.tagEnd) {
                const size_t g = gt.at(i + 1);
                if (g == npos) return out;  // no later tag can end either
                openEnd = g + 1;
            }
            bool opened = true;
            if (p.opening) opened = p.opening->whole(s.substr(i, openEnd - i));
            if (opened) {
                auto& list = closes[k];
                size_t& at = next[k];
                while (at < list.size() && list[at] < openEnd) ++at;
                if (at < list.size()) {
                    const size_t c = list[at];
                    out.push_back({int(i), int(openEnd), int(c), int(c + 3 + name.size()), int(k)});
                    if (out.size() >= most) return out;
                    resume = c + 3 + name.size();
                    break;
                }
            }
            // Every later candidate inside this tag sees a part of what this
            // one saw, and the same closing tags after it: it fails as well.
            if (skipTag) resume = openEnd;
            break;  // names are distinct: no other one matches here
        }
        i = s.find(u'<', resume);
    }
    return out;
}

std::optional<Element> firstElement(const std::u16string& s, const ElementPattern& p) {
    auto found = elements(s, p, 1);
    if (found.empty()) return std::nullopt;
    return found.front();
}

std::u16string replaceElements(const std::u16string& s, const ElementPattern& p,
                               const std::function<std::u16string(const Element&)>& build) {
    const auto found = elements(s, p);
    if (found.empty()) return s;
    std::u16string out;
    out.reserve(s.size());
    size_t pos = 0;
    for (const Element& e : found) {
        out.append(s, pos, size_t(e.start) - pos);
        out += build(e);
        pos = size_t(e.end);
    }
    out.append(s, pos, npos);
    return out;
}

std::u16string replaceTags(const std::u16string& s, std::u16string_view pattern, const ReplacementBuilder& build) {
    const size_t last = s.rfind(u'>');
    if (last == npos) return s;
    if (last + 1 == s.size()) return rx(pattern).replaceAll(s, build);
    std::u16string out = rx(pattern).replaceAll(s.substr(0, last + 1), build);
    out.append(s, last + 1, npos);
    return out;
}

std::u16string replaceTags(const std::u16string& s, std::u16string_view pattern, std::u16string_view tmpl) {
    const Regex& re = rx(pattern);
    return replaceTags(s, pattern, [&](const JMatch& m) { return re.expand(m, tmpl); });
}

std::vector<TagMatch> tagMatches(const std::u16string& s, const TagPattern& p, size_t most) {
    std::vector<TagMatch> out;
    const size_t n = s.size();
    if (most == 0 || n > size_t(INT32_MAX)) return out;
    NextGt gt(s);
    size_t quote = 0;  // the first quote at or after `quoteFrom`
    size_t quoteFrom = npos;
    size_t i = s.find(u'<');
    while (i != npos) {
        size_t resume = i + 1;
        if (nameAt(s, i + 1, p.prefix, p.icase) && (!p.boundary || boundaryAfterWord(s, i + 1 + p.prefix.size()))) {
            const size_t g = gt.at(i + 1);
            size_t end = g == npos ? n : g + 1;
            if (p.scope == TagScope::quotedValue && g != npos) {
                if (quoteFrom == npos || g < quoteFrom || g > quote) {
                    quoteFrom = g;
                    quote = s.find_first_of(u"\"'", g);
                }
                end = quote == npos ? n : quote + 1;
            }
            if (auto m = p.re.atStart(s.substr(i, end - i))) {
                TagMatch t;
                t.start = int(i) + m->start(0);
                t.end = int(i) + m->end(0);
                for (int k = 0; k < m->rangeCount(); ++k) t.groups.push_back(m->group(k));
                out.push_back(std::move(t));
                if (out.size() >= most) return out;
                resume = std::max(resume, size_t(out.back().end));
            } else if (g == npos) {
                return out;  // the rest is one unterminated tag: every later candidate sees less of it
            } else {
                resume = g + 1;  // later candidates in this tag see a part of what this one saw
            }
        }
        i = s.find(u'<', resume);
    }
    return out;
}

}  // namespace tovan::HtmlScan
