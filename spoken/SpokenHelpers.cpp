// Small helpers and per-match readings shared by the number, time, amount and
// Roman-numeral passes.
#include "Spoken.h"

#include <unicode/uchar.h>

namespace tovan::Spoken {

namespace {

std::u16string replaced(std::u16string s, std::u16string_view what, std::u16string_view with) {
    size_t pos = 0;
    while ((pos = s.find(what, pos)) != std::u16string::npos) {
        s.replace(pos, what.size(), with);
        pos += with.size();
    }
    return s;
}

}  // namespace

std::u16string scaleWord(const std::u16string& s) {
    std::u16string w = s;
    for (char16_t& c : w) c = static_cast<char16_t>(u_tolower(c));
    if (w == u"k" || w == u"thousand") return u"thousand";
    if (w == u"m" || w == u"mn" || w == u"million") return u"million";
    if (w == u"b" || w == u"bn" || w == u"billion") return u"billion";
    if (w == u"trillion") return u"trillion";
    if (w == u"lakh" || w == u"lakhs") return u"lakh";
    return u"crore";
}

int64_t romanValue(const std::optional<std::u16string>& s) {
    if (!s || s->empty()) return 0;
    auto value = [](char16_t c) -> int64_t {
        switch (c) {
            case u'I': return 1;
            case u'V': return 5;
            case u'X': return 10;
            case u'L': return 50;
            case u'C': return 100;
            case u'D': return 500;
            case u'M': return 1000;
            default: return 0;
        }
    };
    int64_t total = 0;
    for (size_t i = 0; i < s->size(); i++) {
        int64_t v = value((*s)[i]);
        if (v == 0) return 0;
        int64_t next = i + 1 < s->size() ? value((*s)[i + 1]) : 0;
        total += next > v ? -v : v;
    }
    return total;
}

bool followedByWord(const std::u16string& s, int at) {
    return rx(uR"((?s)\s+[a-z].*)").whole(jsub(s, at));
}

std::u16string capital(const std::u16string& s) {
    if (s.empty()) return s;
    std::u16string out = s;
    out[0] = static_cast<char16_t>(u_toupper(out[0]));
    return out;
}

std::u16string readVersion(const JMatch& m) {
    return u' ' + replaced(*m.group(1), u".", u" point ") + u' ';
}

std::u16string readCode(const JMatch& m) {
    std::u16string code = *m.group(3);
    if (replaced(code, u"-", u"").size() < 4) return *m.group(0);
    std::u16string spoken;
    for (const std::u16string& part : rx(u"-").split(code)) {
        if (!spoken.empty()) spoken += u", ";
        spoken += spaced(part);
    }
    std::u16string joiner = replaced(*m.group(2), u"#", u" number ");
    joiner = rx(uR"((?i)\bno\b\.?)").replaceAll(joiner, u"number");
    return *m.group(1) + joiner + spoken;
}

std::u16string readNumberSign(const JMatch& m) {
    std::u16string n = *m.group(1);
    return u"number " + (n.size() < 4 ? n : spaced(n));
}

std::u16string readUnit(const JMatch& m) {
    auto number = m.group(1);
    auto abbr = m.group(2);
    if (!number || !abbr) return m.group(0).value_or(u"");
    const auto& words = UNIT_WORDS();
    auto row = words.find(*abbr);
    if (row == words.end()) return *m.group(0);  // not a unit match: leave it
    // A bare "s" or "g" written onto the number is a plural or a grade
    // ("747s", "5g"), not seconds or grams.
    if ((*abbr == u"s" || *abbr == u"g") && m.end(1) == m.start(2)) return *m.group(0);
    bool one = *number == u"1" || *number == u"-1";
    return *number + u' ' + std::u16string(one ? row->second.singular : row->second.plural);
}

std::u16string sentenceStop(const JMatch& m) {
    const std::u16string& s = m.source();
    size_t end = static_cast<size_t>(m.end(0));
    if (end == 0 || s[end - 1] != u'.') return u"";
    size_t i = end;
    if (i == s.size()) return u".";
    if (s[i] != u' ' && s[i] != u'\t' && s[i] != u'\n' && s[i] != u'\r') return u"";
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) i++;
    return i == s.size() || s[i] == u'\n' || s[i] == u'\r' || u_isupper(s[i]) ? u"." : u"";
}

std::u16string readOperator(const JMatch& m) {
    return *m.group(1) + u' ' + op(*m.group(2)) + u' ';
}

}  // namespace tovan::Spoken
