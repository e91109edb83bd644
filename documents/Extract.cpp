#include "Extract.h"

#include <unicode/utf16.h>

#include "Charset.h"
#include "Regex.h"
#include "Utf16.h"
#include "TextClean.h"

namespace tovan::Extract {

Unsupported::Unsupported(std::u16string_view message) : message_(message), utf8_(u8(message_)) {}

ExtractedDoc fromText(const std::u16string& text, const std::optional<std::u16string>& title) {
    ExtractedDoc d;
    d.paragraphs = TextClean::clean(std::vector<std::u16string>{text});
    d.title = title ? *title : firstWords(d.paragraphs);
    d.kind = u"text";
    return d;
}

std::u16string firstWords(const std::vector<std::u16string>& paragraphs) {
    const std::u16string s = paragraphs.empty() ? u"Text" : paragraphs.front();
    if (s.size() < 49) return s;
    const size_t blank = std::u16string_view(s).substr(0, 49).rfind(u' ');
    size_t cut = blank != std::u16string::npos && blank > 0 ? blank : 48;
    // Never keep half of a surrogate pair.
    if (U16_IS_LEAD(s[cut - 1]) && U16_IS_TRAIL(s[cut])) --cut;
    return s.substr(0, cut) + u"\u2026";
}

namespace {

// Every occurrence, left to right, in one pass that does not look again at
// what it put in.
std::u16string replaceLiteral(const std::u16string& s, std::u16string_view from, std::u16string_view to) {
    size_t at = s.find(from);
    if (at == std::u16string::npos) return s;
    std::u16string out;
    out.reserve(s.size());
    size_t last = 0;
    for (; at != std::u16string::npos; at = s.find(from, last)) {
        out.append(s, last, at - last);
        out += to;
        last = at + from.size();
    }
    out.append(s, last, std::u16string::npos);
    return out;
}

// Digits of one radix into a 64-bit value; nothing for another digit or an
// overflow.
std::optional<std::int64_t> parseRadix(const std::u16string& digits, int radix) {
    std::int64_t v = 0;
    for (char16_t c : digits) {
        int d;
        if (c >= u'0' && c <= u'9') d = c - u'0';
        else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
        else return std::nullopt;
        if (d >= radix) return std::nullopt;
        if (v > (INT64_MAX - d) / radix) return std::nullopt;
        v = v * radix + d;
    }
    return v;
}

}  // namespace

std::u16string decode(const std::u16string& s) {
    // "&amp;" comes last among the names, so that an escaped entity name
    // ("&amp;lt;") stays the literal text it stands for.
    static constexpr std::pair<std::u16string_view, std::u16string_view> steps[] = {
        {u"&nbsp;", u" "},         {u"&rsquo;", u"\u2019"},   {u"&lt;", u"<"},         {u"&gt;", u">"},
        {u"&quot;", u"\""},        {u"&#39;", u"'"},          {u"&apos;", u"'"},       {u"&lsquo;", u"\u2018"},
        {u"&rdquo;", u"\u201D"},   {u"&ldquo;", u"\u201C"},   {u"&ndash;", u"\u2013"}, {u"&mdash;", u"\u2014"},
        {u"&amp;", u"&"},          {u"&hellip;", u"\u2026"},
    };
    std::u16string out = s;
    for (const auto& [from, to] : steps) out = replaceLiteral(out, from, to);
    return htmlNumericEntities(out);
}

std::u16string htmlNumericEntities(const std::u16string& s) {
    return rx(u"&#(x?)([0-9a-fA-F]+);").replaceAll(s, [](const JMatch& m) -> std::u16string {
        const int radix = m.group(1).value_or(u"").empty() ? 10 : 16;
        const auto value = parseRadix(m.group(2).value_or(u""), radix);
        if (!value || *value >= 0x110000) return u" ";
        if (*value >= 0xD800 && *value <= 0xDFFF) return u"\uFFFD";
        const auto c = static_cast<UChar32>(*value);
        if (c < 0x10000) return std::u16string(1, static_cast<char16_t>(c));
        return {static_cast<char16_t>(U16_LEAD(c)), static_cast<char16_t>(U16_TRAIL(c))};
    });
}

std::optional<std::u16string> clean(const std::optional<std::u16string>& s) {
    if (!s) return std::nullopt;
    std::u16string t = replaceAll(*s, u"<[^>]*>", u" ");
    t = decode(t);
    t = replaceAll(t, u"\\s+", u" ");
    return Utf16::trim(t);
}

std::optional<std::u16string> first(const std::optional<std::u16string>& text, std::u16string_view pattern) {
    if (!text) return std::nullopt;
    const auto m = rx(pattern).find(*text, 0);
    if (!m) return std::nullopt;
    return m->group(1);
}

std::u16string str(std::optional<std::string_view> data) {
    if (!data) return u"";
    return Charset::decode(*data);
}

}  // namespace tovan::Extract
