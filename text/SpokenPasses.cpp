// Helpers shared by the passes of the second group.
#include "SpokenPasses.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <limits>

namespace tovan::Spoken::detail {

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

std::u16string rewrite(const std::u16string& s, const Rule& r) {
    const Regex& re = rx(r.pattern);
    if (!r.needs.empty() && !anyOf(s, r.needs)) return s;
    return re.replaceAll(s, r.tmpl);
}

std::u16string rewrite(const std::u16string& s, std::u16string_view pattern, std::u16string_view needs,
                     const JBuilder& build) {
    const Regex& re = rx(pattern);
    if (!needs.empty() && !anyOf(s, needs)) return s;
    return re.replaceAll(s, build);
}

}  // namespace tovan::Spoken::detail
