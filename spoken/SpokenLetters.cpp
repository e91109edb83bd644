// The letters pass: folds display text down to plain Latin letters, ASCII
// digits and ordinary punctuation, the characters the engine can read.
#include "SpokenPasses.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <iterator>

namespace tovan::Spoken {

using detail::anyOf;
using detail::rewrite;
using detail::literal;
using detail::Rule;

namespace {

struct Fold {
    char16_t from;
    std::u16string_view to;
};

// Symbols spelt out and letters that have no decomposition of their own, in
// the order they are applied ("§§" is handled before this table).
constexpr Fold BEFORE_FOLD[] = {
    {u'™', u""},        {u'®', u""},       {u'©', u" copyright "}, {u'℠', u""},     {u'№', u" number "},
    {u'§', u" section "}, {u'¶', u" "},    {u'ß', u"ss"},          {u'ẞ', u"SS"},   {u'Æ', u"Ae"},
    {u'æ', u"ae"},      {u'Œ', u"Oe"},     {u'œ', u"oe"},          {u'Ø', u"O"},    {u'ø', u"o"},
    {u'Đ', u"D"},       {u'đ', u"d"},      {u'Ł', u"L"},           {u'ł', u"l"},    {u'Þ', u"Th"},
    {u'þ', u"th"},      {u'Ð', u"D"},      {u'ð', u"d"},           {u'ı', u"i"},    {u'Ŋ', u"Ng"},
    {u'ŋ', u"ng"},      {u'ſ', u"s"},      {u'∶', u":"},           {u'꞉', u":"},    {u'⁄', u"/"},
    {u'∕', u"/"},       {u'−', u"-"},      {u'‐', u"-"},           {u'‑', u"-"},    {u'‒', u"–"},
    {u'―', u"—"},       {u'′', u"'"},      {u'″', u"\""},
    // Compatibility decomposition would leave "<" and ">" once the slash
    // mark is stripped, the opposite reading; there is no operator word
    // for them later, so they are spelt out here.
    {u'≮', u" is not less than "}, {u'≯', u" is not greater than "},
};

// Greek letters read by name; the capitals that look like Latin letters and
// omicron have no row.
constexpr Fold GREEK[] = {
    {u'α', u" alpha "}, {u'β', u" beta "},    {u'γ', u" gamma "}, {u'δ', u" delta "}, {u'ε', u" epsilon "},
    {u'ζ', u" zeta "},  {u'η', u" eta "},     {u'θ', u" theta "}, {u'ι', u" iota "},  {u'κ', u" kappa "},
    {u'λ', u" lambda "}, {u'μ', u" mu "},     {u'ν', u" nu "},    {u'ξ', u" xi "},    {u'π', u" pi "},
    {u'ρ', u" rho "},   {u'σ', u" sigma "},   {u'ς', u" sigma "}, {u'τ', u" tau "},   {u'υ', u" upsilon "},
    {u'φ', u" phi "},   {u'χ', u" chi "},     {u'ψ', u" psi "},   {u'ω', u" omega "}, {u'Γ', u" gamma "},
    {u'Δ', u" delta "}, {u'Θ', u" theta "},   {u'Λ', u" lambda "}, {u'Π', u" pi "},   {u'Σ', u" sigma "},
    {u'Φ', u" phi "},   {u'Ψ', u" psi "},     {u'Ω', u" omega "},
};
static_assert(std::size(GREEK) == 33);

constexpr Fold FRACTIONS[] = {{u'½', u" 1/2"}, {u'¼', u" 1/4"}, {u'¾', u" 3/4"}, {u'⅓', u" 1/3"}, {u'⅔', u" 2/3"}};

constexpr Rule SQUARED{uR"((?<=[0-9a-zA-Z\p{Script=Greek}])²)", u" squared", u"²"};
constexpr Rule CUBED{uR"((?<=[0-9a-zA-Z\p{Script=Greek}])³)", u" cubed", u"³"};
// Two or more Greek letters in a row are a Greek word, not symbols: spelling
// it letter by letter is nonsense, and leaving it out lets unspoken() name
// the language of a text that is all Greek.
constexpr std::u16string_view GREEK_WORD = uR"((?:[\p{Script=Greek}&&\p{L}]\p{M}*){2,})";
constexpr Rule MICRO{uR"([µμ](?=(m|g|s|l|L)\b))", u"micro", u"µμ"};
constexpr Rule OHMS{uR"((?<=\d)\s?Ω)", u" ohms", u"Ω"};
constexpr std::u16string_view MARKS = uR"(\p{M}+)";
// Character references copied out of web pages: the common named ones and
// every numeric one. Other names are left as written.
constexpr std::u16string_view ENTITY =
    uR"(&(?:(amp|lt|gt|quot|apos|nbsp|ndash|mdash|hellip|lsquo|rsquo|ldquo|rdquo|copy|reg|trade|euro|pound|deg|eacute|egrave|aacute|agrave|ouml|uuml|auml|ccedil|ntilde)|#([0-9]{1,7})|#[xX]([0-9A-Fa-f]{1,6}));)";

struct Entity {
    std::u16string_view name, text;
};
constexpr Entity ENTITIES[] = {
    {u"amp", u"&"},      {u"lt", u"<"},       {u"gt", u">"},       {u"quot", u"\""},    {u"apos", u"'"},
    {u"nbsp", u" "},     {u"ndash", u"–"},    {u"mdash", u"—"},    {u"hellip", u"…"},   {u"lsquo", u"‘"},
    {u"rsquo", u"’"},    {u"ldquo", u"“"},    {u"rdquo", u"”"},    {u"copy", u"©"},     {u"reg", u"®"},
    {u"trade", u"™"},    {u"euro", u"€"},     {u"pound", u"£"},    {u"deg", u"°"},      {u"eacute", u"é"},
    {u"egrave", u"è"},   {u"aacute", u"á"},   {u"agrave", u"à"},   {u"ouml", u"ö"},     {u"uuml", u"ü"},
    {u"auml", u"ä"},     {u"ccedil", u"ç"},   {u"ntilde", u"ñ"},
};

std::u16string readEntity(const JMatch& m) {
    if (auto name = m.group(1)) {
        for (const Entity& e : ENTITIES) {
            if (e.name == *name) return std::u16string(e.text);
        }
        return *m.group(0);
    }
    int64_t code = 0;
    const bool decimal = m.group(2).has_value();
    const std::u16string number = decimal ? *m.group(2) : *m.group(3);
    for (char16_t c : number) {
        int d = c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
        code = code * (decimal ? 10 : 16) + d;
    }
    // Controls, surrogates and what lies past the last scalar are no text.
    if (code < 0x20 || (code >= 0x7F && code < 0xA0) || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return u" ";
    }
    std::u16string out;
    if (code > 0xFFFF) {
        out += static_cast<char16_t>(0xD7C0 + (code >> 10));
        out += static_cast<char16_t>(0xDC00 | (code & 0x3FF));
    } else {
        out += static_cast<char16_t>(code);
    }
    return out;
}
constexpr std::u16string_view OTHER_SCRIPTS = uR"([\p{L}&&[^\p{Script=Latin}]]+)";
// Underscores of emphasis go; those inside a handle, a hashtag, a "$"
// variable, a path after a slash or the user part of an e-mail address are
// left for the links pass (or the symbols pass) to read as spaces.
constexpr Rule UNDERSCORES{
    uR"((?=_)(?<![@#$]\{?[A-Za-z0-9_]{0,40})(?<!/[\w.~%+-]{0,60})(?![A-Za-z0-9._%+-]*@[A-Za-z0-9])(?:(?<=[\w?!.,;:’'])_+|_+(?=[\w“‘'"])))", u"",
    u"_"};

// Invisible characters that are dropped outright.
bool invisible(UChar32 c) {
    return c == 0x200B || c == 0x200C || c == 0x200D || c == 0x00AD || c == 0xFE0F || c == 0xFEFF;
}

// Step 1: one walk over the scalars.
std::u16string filtered(const std::u16string& s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        char16_t u = s[i];
        if (u >= 0x20 && u < 0x7F) {  // printable ASCII stays
            out += u;
            i++;
            continue;
        }
        UChar32 c;
        U16_NEXT(s.data(), i, s.size(), c);
        if (c > 0xFFFF || U_IS_SURROGATE(c)) {
            // Emoji and all else outside the BMP; a lone surrogate is no
            // character at all and would reach the engine as garbage.
            out += u' ';
        } else if (invisible(c)) {
            continue;
        } else if (c == u'\n' || c == u'\r') {
            out += static_cast<char16_t>(c);
        } else if (u_charType(c) == U_CONTROL_CHAR) {
            // Tab, and every other control: a NUL would end the text where
            // it crosses to the engine as a C string.
            out += u' ';
        } else if (u_charType(c) == U_DECIMAL_DIGIT_NUMBER) {
            int32_t d = u_charDigitValue(c);
            out += d >= 0 && d <= 9 ? static_cast<char16_t>(u'0' + d) : static_cast<char16_t>(c);
        } else {
            int8_t type = u_charType(c);
            if (type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR) {
                out += u' ';
            } else {
                out += static_cast<char16_t>(c);
            }
        }
    }
    return out;
}

// Replaces single units by table rows in one walk. Equivalent to applying the
// rows one after another, since no row writes a unit another row reads.
template <size_t N>
std::u16string folded(const std::u16string& s, const Fold (&table)[N], char16_t lo, char16_t hi) {
    std::u16string out;
    bool changed = false;
    for (size_t i = 0; i < s.size(); i++) {
        char16_t c = s[i];
        const Fold* row = nullptr;
        if (c >= lo && c <= hi) {
            for (const Fold& f : table) {
                if (f.from == c) {
                    row = &f;
                    break;
                }
            }
        }
        if (!row) {
            if (changed) out += c;
            continue;
        }
        if (!changed) {
            out.reserve(s.size() + 16);
            out.assign(s, 0, i);
            changed = true;
        }
        out += row->to;
    }
    return changed ? out : s;
}

template <size_t N>
constexpr char16_t lowest(const Fold (&table)[N]) {
    char16_t lo = 0xFFFF;
    for (const Fold& f : table) lo = f.from < lo ? f.from : lo;
    return lo;
}

template <size_t N>
constexpr char16_t highest(const Fold (&table)[N]) {
    char16_t hi = 0;
    for (const Fold& f : table) hi = f.from > hi ? f.from : hi;
    return hi;
}

bool allAscii(const std::u16string& s) {
    for (char16_t c : s) {
        if (c >= 0x80) return false;
    }
    return true;
}

std::u16string nfkd(const std::u16string& s) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFKDInstance(status);
    if (U_FAILURE(status) || !n) return s;
    icu::UnicodeString in(false, s.data(), static_cast<int32_t>(s.size()));
    if (n->isNormalized(in, status) && U_SUCCESS(status)) return s;
    status = U_ZERO_ERROR;
    icu::UnicodeString out = n->normalize(in, status);
    if (U_FAILURE(status)) return s;
    return std::u16string(out.getBuffer(), out.length());
}

}  // namespace

std::u16string letters(const std::u16string& s) {
    // Every pattern is looked up on every call, so the cache is complete
    // after the first one whatever the text.
    const Regex& marks = detail::re(MARKS);
    const Regex& scripts = detail::re(OTHER_SCRIPTS);
    const Regex& greekWords = detail::re(GREEK_WORD);

    std::u16string t = detail::rewrite(s, ENTITY, u"&", readEntity);
    t = filtered(t);
    t = literal(std::move(t), u"§§", u" sections ");
    t = folded(t, BEFORE_FOLD, lowest(BEFORE_FOLD), highest(BEFORE_FOLD));
    t = rewrite(t, SQUARED);
    t = rewrite(t, CUBED);
    t = rewrite(t, MICRO);
    t = rewrite(t, OHMS);
    if (!allAscii(t)) t = greekWords.replaceAll(t, u" ");
    t = folded(t, GREEK, lowest(GREEK), highest(GREEK));
    t = folded(t, FRACTIONS, lowest(FRACTIONS), highest(FRACTIONS));
    if (!allAscii(t)) {
        // ASCII text has nothing to decompose and no letter of another script.
        t = nfkd(t);
        // "≠" decomposes to "=" and a slash mark: put it back whole, so the
        // later passes read "is not" rather than "equals".
        t = literal(std::move(t), u"=\u0338", u"≠");
        t = marks.replaceAll(t, u"");
        t = scripts.replaceAll(t, u" ");
    }
    t = rewrite(t, UNDERSCORES);
    return literal(std::move(t), u"⁄", u"/");
}

std::vector<std::u16string_view> detail::letterPatterns() {
    return {ENTITY, SQUARED.pattern, CUBED.pattern, MICRO.pattern, OHMS.pattern, GREEK_WORD, MARKS, OTHER_SCRIPTS, UNDERSCORES.pattern};
}

}  // namespace tovan::Spoken
