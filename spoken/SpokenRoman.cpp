// Roman numerals, read only where the context shows they are numbers.
#include "SpokenPasses.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace tovan::Spoken {

namespace {

// Capital words that rule 8 never reads as numerals.
constexpr std::array<std::u16string_view, 38> NOT_ROMAN = {
    u"CD", u"DC", u"CV", u"MD", u"DM", u"LCD", u"CLI", u"MIX", u"MIDI", u"DIV", u"XL", u"XXL", u"XXX",
    u"LI", u"MI", u"DL", u"ML", u"CC", u"CI", u"DI", u"LL", u"MM", u"MC", u"VC", u"IC", u"CM",
    u"DIL", u"MIL", u"CIV", u"LCM", u"XXXL", u"MCC", u"MLC", u"VL", u"IL", u"ID", u"IM", u"DV"};

// The well-formed numerals up to 3999 appear inside the patterns as
// M{0,3}(?:CM|CD|D?C{0,3})(?:XC|XL|L?X{0,3})(?:IX|IV|V?I{0,3}).
constexpr std::u16string_view WW2 = uR"(\bWW ?(II|2)\b)";
constexpr std::u16string_view WW1 = uR"(\bWW ?(I|1)\b)";
constexpr std::u16string_view FINAL_STOP = uR"(\.$)";
constexpr std::u16string_view ALONE = uR"([IVXLC]{1,7})";
constexpr std::u16string_view HEADING =
    uR"((?i)\b(chapter|chap\.|ch\.|part|book|volume|vol\.|act|scene|section|article|phase|season|episode|level|stage|round|appendix|canto|psalm|stave|lesson|unit|world war|series|clause|schedule|plate|figure|table|chapitre)\s+(?=[ivxlcdm]+\b)(M{0,3}(?:CM|CD|D?C{0,3})(?:XC|XL|L?X{0,3})(?:IX|IV|V?I{0,3}))\b(?!['’]))";
constexpr std::u16string_view NUMBERED_LINE =
    uR"(^(\s*)(?=[IVXLC]+\.)(M{0,3}(?:CM|CD|D?C{0,3})(?:XC|XL|L?X{0,3})(?:IX|IV|V?I{0,3}))\.(?=\s+["“‘'A-Z(]|\s*$))";
constexpr std::u16string_view REGNAL =
    uR"re(\b(King|Queen|Pope|Emperor|Empress|Tsar|Czar|Tsarina|Prince|Princess|Duke|Duchess|Sultan|Louis|Henry|Charles|Elizabeth|George|Edward|William|Richard|James|John|Paul|Pius|Leo|Benedict|Gregory|Innocent|Clement|Urban|Boniface|Napoleon|Peter|Catherine|Mary|Philip|Frederick|Ludwig|Alexander|Nicholas|Ivan|Ramesses|Ptolemy|Constantine|Justinian|Otto|Rudolf|Ferdinand|Wilhelm|Gustav|Gustavus|Carl|Harald|Olav|Haakon|Christian|Felipe|Juan Carlos|Willem|Rama|Amenhotep|Thutmose|Selim|Mehmed|Suleiman|Murad|Victor Emmanuel|Stephen)\s+(?=[IVXL]+\b)(M{0,3}(?:CM|CD|D?C{0,3})(?:XC|XL|L?X{0,3})(?:IX|IV|V?I{0,3}))\b(?=['’]s\b|\s*(?:$|[,.;:!?)"”—–-])|\s+[a-z]))re";
constexpr std::u16string_view TITLE =
    uR"(\b(?:King|Queen|Pope|Emperor|Empress|Tsar|Czar|Tsarina|Prince|Princess|Duke|Duchess|Sultan)(?:\s+[A-Z][a-z]+)?$)";
constexpr std::u16string_view REIGN_VERB =
    uR"(^\s+(?:was|had|ruled|reigned|died|became|succeeded|married|founded|conquered|signed|abdicated)\b)";
constexpr std::u16string_view SUFFIX =
    uR"(\b([A-Z][a-z]+\s+[A-Z][a-z]+),?\s+(II|III|IV|V|VI)\b(?=\s*(?:$|[,.;:!?)]|\s+[a-z])))";
constexpr std::u16string_view AFTER_NAME =
    uR"(\b([A-Z][a-z]+)\s+(?=[IVXL]{2,}\b)(M{0,3}(?:CM|CD|D?C{0,3})(?:XC|XL|L?X{0,3})(?:IX|IV|V?I{0,3}))\b(?!['’]))";


std::u16string upper(std::u16string s) {
    for (char16_t& c : s) c = static_cast<char16_t>(u_toupper(c));
    return s;
}

}  // namespace

std::u16string roman(const std::u16string& s) {
    const Regex& ww2 = detail::re(WW2);
    const Regex& ww1 = detail::re(WW1);
    const Regex& finalStop = detail::re(FINAL_STOP);
    const Regex& alone = detail::re(ALONE);
    const Regex& heading = detail::re(HEADING);
    const Regex& numberedLine = detail::re(NUMBERED_LINE);
    const Regex& regnal = detail::re(REGNAL);
    const Regex& suffix = detail::re(SUFFIX);
    const Regex& afterName = detail::re(AFTER_NAME);
    // Every rule needs a capital numeral letter, or a small one after a
    // heading word.
    if (!detail::anyOf(s, u"IVXLCDMivxlcdm")) return s;

    std::u16string t = s;
    if (t.find(u"WW") != std::u16string::npos) {
        t = ww2.replaceAll(t, u"World War two");
        t = ww1.replaceAll(t, u"World War one");
    }

    std::u16string bare = finalStop.replaceFirst(jtrim(t), u"");
    if (alone.whole(bare)) {
        int64_t v = romanValue(bare);
        if (v > 0) return capital(cardinal(v)) + u'.';
    }

    const std::u16string before4 = t;
    auto readHeading = [&](const JMatch& m, size_t offset) {
        std::u16string word = *m.group(1), numeral = *m.group(2);
        // "Appendix C", "Table L": a heading numbered one hundred or fifty is
        // far less likely than one lettered so.
        if (numeral.size() == 1 && std::u16string_view(u"CDLMcdlm").find(numeral[0]) != std::u16string_view::npos) {
            return *m.group(0);
        }
        if (numeral.size() == 1 && (numeral[0] == u'i' || numeral[0] == u'I')) {
            if (u_islower(word[0]) || followedByWord(before4, static_cast<int>(offset) + m.end(0))) return *m.group(0);
        }
        int64_t v = romanValue(upper(numeral));
        return v > 0 ? word + u' ' + cardinal(v) : *m.group(0);
    };
    if (auto windows = detail::headingWindows(t)) {
        t = detail::replaceInWindows(t, heading, *windows, readHeading);
    } else {
        t = heading.replaceAll(t, [&](const JMatch& m) { return readHeading(m, 0); });
    }

    t = numberedLine.replaceAll(t, [](const JMatch& m) {
        // A lone C, D, L or M before a stop is an initial ("C. D. Smith") or
        // a lettered item, not a line numbered one hundred.
        if (m.group(2)->size() == 1 && std::u16string_view(u"CDLM").find((*m.group(2))[0]) != std::u16string_view::npos) {
            return *m.group(0);
        }
        int64_t v = romanValue(m.group(2));
        return v > 0 ? *m.group(1) + capital(cardinal(v)) + u'.' : *m.group(0);
    });

    const std::u16string before6 = t;
    // "I" after a name and before a word is the pronoun ("Then Paul I
    // thought"), unless a title stands before it or the word is one that
    // only a ruler's numeral takes ("Elizabeth I ruled", "Charles I was").
    const Regex& title = detail::re(TITLE);
    const Regex& reignVerb = detail::re(REIGN_VERB);
    t = regnal.replaceAll(t, [&](const JMatch& m) {
        std::u16string numeral = *m.group(2);
        if (numeral == u"I" && followedByWord(before6, m.end(0)) && before6.compare(m.end(0), 4, u" of ") != 0 &&
            !title.find(jsub(before6, std::max(0, m.start(0) - 16), m.end(1))) &&
            !reignVerb.atStart(jsub(before6, m.end(0), m.end(0) + 16))) {
            return *m.group(0);
        }
        int64_t v = romanValue(numeral);
        return v > 0 ? *m.group(1) + u" the " + ordinal(v) : *m.group(0);
    });

    t = suffix.replaceAll(t, [](const JMatch& m) {
        int64_t v = romanValue(m.group(2));
        return v > 0 ? *m.group(1) + u" the " + ordinal(v) : *m.group(0);
    });

    return afterName.replaceAll(t, [](const JMatch& m) {
        std::u16string numeral = *m.group(2);
        int64_t v = romanValue(numeral);
        bool excluded = std::find(NOT_ROMAN.begin(), NOT_ROMAN.end(), numeral) != NOT_ROMAN.end();
        return v >= 2 && !excluded ? *m.group(1) + u' ' + cardinal(v) : *m.group(0);
    });
}

std::vector<std::u16string_view> detail::romanPatterns() {
    return {WW2, WW1, FINAL_STOP, ALONE, HEADING, NUMBERED_LINE, REGNAL, TITLE, REIGN_VERB, SUFFIX, AFTER_NAME};
}

// Where a numeral after a heading word may start: at the word, then white
// space and numeral letters. Each window runs to the character after those
// letters. nullopt: no shortcut.
std::optional<std::vector<detail::Window>> detail::headingWindows(const std::u16string& t) {
    auto lowered = detail::asciiLowered(t);
    if (!lowered) return std::nullopt;
    return detail::keywordWindows(
        *lowered,
        {u"chap", u"ch.", u"part", u"book", u"vol", u"act", u"scene", u"section", u"article", u"phase", u"season",
         u"episode", u"level", u"stage", u"round", u"appendix", u"canto", u"psalm", u"stave", u"lesson", u"unit",
         u"world war", u"series", u"clause", u"schedule", u"plate", u"figure", u"table"},
        [](const std::u16string& s, size_t i) -> size_t {
            // The word's own tail ("chapter", "volume") may come first.
            while (i < s.size() && s[i] >= u'a' && s[i] <= u'z') i++;
            if (i < s.size() && s[i] == u'.') i++;
            if (!detail::spaceAt(s, i)) return std::u16string::npos;
            while (detail::spaceAt(s, i)) i++;
            size_t start = i;
            while (i < s.size() && std::u16string_view(u"ivxlcdm").find(s[i]) != std::u16string_view::npos) i++;
            if (i == start) return std::u16string::npos;
            return detail::afterChar(s, i);
        });
}

}  // namespace tovan::Spoken
