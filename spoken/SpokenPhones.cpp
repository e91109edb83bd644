// The phone pass: telephone numbers read digit by digit in short groups.
#include "SpokenPasses.h"

namespace tovan::Spoken {

namespace {

// A written number with an area part and one or two further blocks.
constexpr std::u16string_view WRITTEN =
    uR"((?<![\w.,/:-])(\+\d{1,3}[\s.-]?)?(?:\(\d{2,4}\)[\s.-]?|\d{2,5}[\s.-])\d{3,5}(?:[\s.-]\d{3,5})?(?![\w,/:-]|[.,]\d))";
// An international number without inner separators.
constexpr std::u16string_view INTERNATIONAL = uR"((?<![\w])\+\d{1,3}[\s.-]?\d{6,12}\b)";
// An international number written in short blocks ("+33 1 23 45 67 89").
constexpr std::u16string_view INTERNATIONAL_BLOCKS = uR"(\+(?<![\w+]\+)\d{1,3}(?:[\s.-]\d{1,4}){3,}(?![\w,/:-]|[.,]\d))";
// Four or more blocks of digits joined by hyphens: a toll-free number, a
// serial or a book number, never a range ("1-800-273-8255",
// "978-3-16-148410-0"); or a local number of three and four digits
// ("555-0147", group 1 the four digits). One pattern, so the text is walked
// once. The new patterns here start with what they match and look back
// after it, so the matcher only stops where a match can start.
constexpr std::u16string_view HYPHEN_BLOCKS =
    uR"(\d(?<![\w.,/:$€£+-]\d)(?:\d*(?:-\d+){3,}|\d{2}-(\d{4}))(?![\w-]|[.,]\d))";
// A national number with a trunk zero and a six-digit block ("07700 900123").
constexpr std::u16string_view TRUNK = uR"(0(?<![\w.,/:-]0)\d{3,4} \d{6}(?![\w,/:-]|[.,]\d))";

// "555-0147" is a phone number; "100-1000" a range. A range's ends are
// round numbers, and no range ends on a number written with a leading zero.
std::u16string readHyphenBlocks(const JMatch& m) {
    if (!m.group(1)) return phone(*m.group(0));
    std::u16string right = *m.group(1);
    int64_t a = plong(m.group(0)->substr(0, 3)), b = plong(right);
    if (right[0] != u'0' && a % 10 == 0 && b % 50 == 0) return *m.group(0);
    return phone(*m.group(0));
}

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
    auto read = [](const JMatch& m) { return phone(*m.group(0)); };
    std::u16string t = detail::rewrite(s, INTERNATIONAL_BLOCKS, u"+", read);
    t = detail::rewrite(t, TRUNK, u"0", read);
    t = rx(WRITTEN).replaceAll(t, readWritten);
    t = detail::rewrite(t, HYPHEN_BLOCKS, u"-", readHyphenBlocks);
    return rx(INTERNATIONAL).replaceAll(t, read);
}

}  // namespace tovan::Spoken
