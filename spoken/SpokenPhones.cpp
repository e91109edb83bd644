// The phone pass: telephone numbers read digit by digit in short groups.
#include "Spoken.h"

namespace tovan::Spoken {

namespace {

// A written number with an area part and one or two further blocks.
constexpr std::u16string_view WRITTEN =
    uR"((?<![\w.,/:-])(\+\d{1,3}[\s.-]?)?(?:\(\d{2,4}\)[\s.-]?|\d{2,5}[\s.-])\d{3,5}(?:[\s.-]\d{3,5})?(?![\w,/:-]|[.,]\d))";
// An international number without inner separators.
constexpr std::u16string_view INTERNATIONAL = uR"((?<![\w])\+\d{1,3}[\s.-]?\d{6,12}\b)";

std::u16string readWritten(const JMatch& m) {
    std::u16string text = *m.group(0);
    size_t count = rx(uR"(\D)").replaceAll(text, u"").size();
    if (count < 9 || count > 13) return text;
    bool bare = !m.group(1) && text.find(u'(') == std::u16string::npos;
    auto parts = rx(uR"([\s.-]+)").split(jtrim(text));
    if (!bare || parts.size() > 2) return phone(text);
    // Two blocks without a dash are as likely a pair of numbers; only the
    // 5+5 layout is common enough as a phone number to read it as one.
    if (text.find(u'-') != std::u16string::npos ||
        (parts.size() == 2 && parts[0].size() == 5 && parts[1].size() == 5)) {
        return phone(text);
    }
    return text;
}

}  // namespace

std::u16string phone(const std::u16string& s) {
    std::u16string rest = jtrim(s);
    std::u16string out;
    if (!rest.empty() && rest[0] == u'+') {
        out = u"plus ";
        rest.erase(0, 1);
    }
    for (const std::u16string& part : rx(uR"([\s.()-]+)").split(rest)) {
        if (part.empty()) continue;
        if (part.size() < 6) {
            out += digits(part) + u", ";
            continue;
        }
        for (const std::u16string& g : groups(part)) out += digits(g) + u", ";
    }
    out = rx(u", $").replaceFirst(out, u"");
    return u' ' + out + u' ';
}

std::u16string phones(const std::u16string& s) {
    std::u16string t = rx(WRITTEN).replaceAll(s, readWritten);
    return rx(INTERNATIONAL).replaceAll(t, [](const JMatch& m) { return phone(*m.group(0)); });
}

}  // namespace tovan::Spoken
