// The spoken-form pipeline: say() with and without markup, and unspoken(),
// which names the language of a text the engine cannot read.
#include "SpokenPasses.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>

namespace tovan::Spoken {

namespace {

constexpr std::u16string_view MARKUP = uR"(\[[^\]\n]{1,40}\]|</?[a-z]+[^<>\n]{0,40}>)";
constexpr std::u16string_view SPACES = uR"( {2,})";

// The clean-up after the passes, in order.
constexpr detail::Rule TIDY[] = {
    {uR"([ \t]{2,})", u" ", u""},
    {uR"( +([,.;:!?]))", u"$1", u""},
    {uR"(([,;:])(?:\s*[,;:])+)", u"$1", u",;:"},
    {uR"(^[\s,;:.]+)", u"", u""},
};

}  // namespace

const std::array<ScriptRow, 99> SCRIPTS = {{
    {u"Common", u""}, {u"Latin", u""}, {u"Greek", u"Greek"}, {u"Cyrillic", u"Russian"}, {u"Armenian", u""},
    {u"Hebrew", u"Hebrew"}, {u"Arabic", u"Arabic"}, {u"Syriac", u""}, {u"Thaana", u""},
    {u"Devanagari", u"Hindi"}, {u"Bengali", u"Bengali"}, {u"Gurmukhi", u"Punjabi"}, {u"Gujarati", u"Gujarati"},
    {u"Oriya", u"Odia"}, {u"Tamil", u"Tamil"}, {u"Telugu", u"Telugu"}, {u"Kannada", u"Kannada"},
    {u"Malayalam", u"Malayalam"}, {u"Sinhala", u""}, {u"Thai", u"Thai"}, {u"Lao", u""}, {u"Tibetan", u""},
    {u"Myanmar", u""}, {u"Georgian", u""}, {u"Hangul", u"Korean"}, {u"Ethiopic", u""}, {u"Cherokee", u""},
    {u"Canadian_Aboriginal", u""}, {u"Ogham", u""}, {u"Runic", u""}, {u"Khmer", u""}, {u"Mongolian", u""},
    {u"Hiragana", u"Japanese"}, {u"Katakana", u"Japanese"}, {u"Bopomofo", u""}, {u"Han", u"Chinese"},
    {u"Yi", u""}, {u"Inherited", u""}, {u"Tagalog", u""}, {u"Hanunoo", u""}, {u"Buhid", u""},
    {u"Tagbanwa", u""}, {u"Limbu", u""}, {u"Tai_Le", u""}, {u"Linear_B", u""}, {u"Ugaritic", u""},
    {u"Shavian", u""}, {u"Osmanya", u""}, {u"Cypriot", u""}, {u"Braille", u""}, {u"Buginese", u""},
    {u"Coptic", u""}, {u"New_Tai_Lue", u""}, {u"Glagolitic", u""}, {u"Tifinagh", u""},
    {u"Syloti_Nagri", u""}, {u"Old_Persian", u""}, {u"Kharoshthi", u""}, {u"Balinese", u""},
    {u"Cuneiform", u""}, {u"Phoenician", u""}, {u"Phags_Pa", u""}, {u"Nko", u""}, {u"Sundanese", u""},
    {u"Batak", u""}, {u"Lepcha", u""}, {u"Ol_Chiki", u""}, {u"Vai", u""}, {u"Saurashtra", u""},
    {u"Kayah_Li", u""}, {u"Rejang", u""}, {u"Lycian", u""}, {u"Carian", u""}, {u"Lydian", u""},
    {u"Cham", u""}, {u"Tai_Tham", u""}, {u"Tai_Viet", u""}, {u"Avestan", u""},
    {u"Egyptian_Hieroglyphs", u""}, {u"Samaritan", u""}, {u"Mandaic", u""}, {u"Lisu", u""}, {u"Bamum", u""},
    {u"Javanese", u""}, {u"Meetei_Mayek", u""}, {u"Imperial_Aramaic", u""}, {u"Old_South_Arabian", u""},
    {u"Inscriptional_Parthian", u""}, {u"Inscriptional_Pahlavi", u""}, {u"Old_Turkic", u""}, {u"Brahmi", u""},
    {u"Kaithi", u""}, {u"Meroitic_Hieroglyphs", u""}, {u"Meroitic_Cursive", u""}, {u"Sora_Sompeng", u""},
    {u"Chakma", u""}, {u"Sharada", u""}, {u"Takri", u""}, {u"Miao", u""},
}};

std::u16string scriptPattern(const ScriptRow& row) {
    return u"\\p{Script=" + std::u16string(row.script) + u"}";
}

namespace {

// Row of SCRIPTS for each ICU script code, built once from the rows' own
// patterns: a scalar has exactly one Script value, so the first row whose
// pattern matches it is the row of its script code. -1: no row (key 99).
const std::vector<int>& rowOfScript() {
    static const std::vector<int>* table = [] {
        auto* t = new std::vector<int>(USCRIPT_CODE_LIMIT, -1);
        for (size_t i = 0; i < SCRIPTS.size(); i++) {
            const Regex& compiled = detail::re(scriptPattern(SCRIPTS[i]));  // every script pattern compiles
            (void)compiled;
            std::string name = u8(SCRIPTS[i].script);
            int32_t code = u_getPropertyValueEnum(UCHAR_SCRIPT, name.c_str());
            if (code >= 0 && code < USCRIPT_CODE_LIMIT && (*t)[code] < 0) (*t)[code] = static_cast<int>(i);
        }
        return t;
    }();
    return *table;
}

bool isLetter(UChar32 c) {
    int8_t type = u_charType(c);
    return type == U_UPPERCASE_LETTER || type == U_LOWERCASE_LETTER || type == U_TITLECASE_LETTER ||
           type == U_MODIFIER_LETTER || type == U_OTHER_LETTER;
}

// Whether anything would be left of s once every character that is neither
// a letter nor a number is deleted.
bool anyLetterOrNumber(const std::u16string& s) {
    size_t i = 0;
    while (i < s.size()) {
        UChar32 c;
        U16_NEXT(s.data(), i, s.size(), c);
        if (isLetter(c)) return true;
        int8_t type = u_charType(c);
        if (type == U_DECIMAL_DIGIT_NUMBER || type == U_LETTER_NUMBER || type == U_OTHER_NUMBER) return true;
    }
    return false;
}

std::u16string tidy(std::u16string t) {
    for (const detail::Rule& r : TIDY) t = detail::rewrite(t, r);
    return jtrim(t);
}

// Texts longer than this are read in chunks of at most CHUNK units.
constexpr size_t WHOLE = 8192;
constexpr size_t CHUNK = 4096;

// Where to end the chunk that starts at `from`: after the last line break in
// the second half of the chunk, else after the last full stop, question or
// exclamation mark before white space, else at the last white space, else
// at CHUNK units (never inside a surrogate pair).
size_t chunkEnd(const std::u16string& s, size_t from) {
    if (s.size() - from <= CHUNK) return s.size();
    size_t lo = from + CHUNK / 2, hi = from + CHUNK;
    for (size_t i = hi; i > lo; i--) {
        if (s[i - 1] == u'\n') return i;
    }
    for (size_t i = hi; i > lo; i--) {
        char16_t c = s[i - 1];
        if ((c == u'.' || c == u'?' || c == u'!') && i < s.size() && (s[i] == u' ' || s[i] == u'\t')) return i + 1;
    }
    for (size_t i = hi; i > lo; i--) {
        if (s[i - 1] == u' ' || s[i - 1] == u'\t') return i;
    }
    return U16_IS_TRAIL(s[hi]) && U16_IS_LEAD(s[hi - 1]) ? hi - 1 : hi;
}

std::u16string pipeline(const std::u16string& text) {
    std::u16string t = letters(text);
    t = links(t);
    t = phones(t);
    t = dates(t);
    t = times(t);
    t = amounts(t);
    t = numbers(t);
    t = symbols(t);
    return tidy(std::move(t));
}

}  // namespace

std::u16string say(const std::optional<std::u16string>& text) {
    if (!text || text->empty()) return u"";
    if (text->size() <= WHOLE) return pipeline(*text);
    // A long text is read in chunks cut between sentences or words: every
    // rule still sees whole sentences, and no rule's cost on one huge text
    // (some grow with the square of a run without spaces) or the matcher's
    // stack limit comes into play.
    std::u16string out;
    size_t from = 0;
    while (from < text->size()) {
        size_t end = chunkEnd(*text, from);
        std::u16string piece = pipeline(text->substr(from, end - from));
        if (!piece.empty()) {
            if (!out.empty()) out += (*text)[from - 1] == u'\n' ? u'\n' : u' ';
            out += piece;
        }
        from = end;
    }
    return out;
}

std::u16string say(const std::optional<std::u16string>& text, bool markup) {
    if (!text || text->empty()) return u"";
    if (!markup) return say(text);
    const Regex& spans = detail::re(MARKUP);
    const Regex& spaces = detail::re(SPACES);
    const Regex& lead = detail::re(TIDY[3].pattern);
    // The clean-up strips punctuation at the start of a text; after a span
    // that would drop the full stop of "<emph>now</emph>.", so a piece that
    // follows a span keeps its leading marks.
    auto piece = [&](const std::u16string& p, bool afterSpan) {
        auto m = afterSpan ? lead.atStart(p) : std::nullopt;
        if (!m) return say(p);
        return jtrim(*m->group(0)) + u' ' + say(p.substr(m->end(0)));
    };
    std::u16string out;
    size_t pos = 0;
    bool afterSpan = false;
    for (const JMatch& m : spans.all(*text)) {
        size_t start = m.start(0), end = m.end(0);
        out += piece(text->substr(pos, start - pos), afterSpan);
        out += u' ';
        out.append(*text, start, end - start);
        out += u' ';
        pos = end;
        afterSpan = true;
    }
    out += piece(text->substr(pos), afterSpan);
    return jtrim(spaces.replaceAll(out, u" "));
}

std::optional<std::u16string> unspoken(const std::optional<std::u16string>& text) {
    if (!text || jtrim(*text).empty()) return std::nullopt;
    if (anyLetterOrNumber(say(text))) return std::nullopt;

    const std::vector<int>& rows = rowOfScript();
    std::array<int64_t, SCRIPTS.size() + 1> counts{};
    bool any = false;
    const std::u16string& s = *text;
    size_t i = 0;
    while (i < s.size()) {
        UChar32 c;
        U16_NEXT(s.data(), i, s.size(), c);
        if (!isLetter(c)) continue;
        UErrorCode status = U_ZERO_ERROR;
        UScriptCode code = uscript_getScript(c, &status);
        int row = U_SUCCESS(status) && code >= 0 && code < static_cast<int>(rows.size()) ? rows[code] : -1;
        counts[row < 0 ? SCRIPTS.size() : static_cast<size_t>(row)]++;
        any = true;
    }
    if (!any) return std::nullopt;
    size_t best = 0;
    for (size_t k = 1; k < counts.size(); k++) {
        if (counts[k] > counts[best]) best = k;  // ties: the earlier row
    }
    if (best < SCRIPTS.size() && !SCRIPTS[best].language.empty()) return std::u16string(SCRIPTS[best].language);
    return u"another language";
}

const std::vector<std::u16string>& patterns() {
    static const std::vector<std::u16string>* all = [] {
        auto* out = new std::vector<std::u16string>;
        auto add = [out](const std::vector<std::u16string_view>& list) {
            for (std::u16string_view p : list) out->emplace_back(p);
        };
        add(detail::letterPatterns());
        add(detail::linkPatterns());
        add({VERSION, CODE, NUMBERED, OPERATOR, DAY_RANGE});
        add(detail::amountPatterns());
        add(detail::romanPatterns());
        add(detail::numberPatterns());
        add(detail::symbolPatterns());
        for (const detail::Rule& r : TIDY) out->emplace_back(r.pattern);
        add({MARKUP, SPACES});
        for (const ScriptRow& row : SCRIPTS) out->push_back(scriptPattern(row));
        return out;
    }();
    return *all;
}

}  // namespace tovan::Spoken
