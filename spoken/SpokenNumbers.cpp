// The number pass: Roman numerals, then 26 rules that reshape the signs and
// layouts around numbers, the last of which reads every number left.
#include "SpokenPasses.h"

namespace tovan::Spoken {

using detail::Rule;

namespace {

// Rules 1-5: dots and letters before numbers.
constexpr Rule DOT_BEFORE_CAPITAL{uR"((?<=\b\d{1,3})\.(?=[A-Z]\.?\d))", u" ", u"."};
constexpr Rule DOT_AFTER_CAPITAL{uR"((?<=\b[A-Z])\.(?=\d))", u" ", u"."};
constexpr Rule VERSION_V{uR"((?i)\bversion v(?=\d))", u"version ", u"vV"};
constexpr Rule V_NUMBER{uR"((?<![\w.])v(?=\d+(?:\.\d+)*\b))", u"version ", u"v"};
constexpr Rule CIRCA{uR"(\b(?:c|ca|circa)\.\s?(?=\d{3,4}\b))", u"circa ", u"."};
// Rules 9-13.
constexpr std::u16string_view CENTURY_DECADE = uR"((?<![\w'’])(1[1-9]|20)(\d)0'?s\b)";
constexpr Rule YEAR_APOSTROPHE{uR"((?<=\s|^|\()['’](?=\d\d\b(?!['’])))", u"", u"'’"};
constexpr std::u16string_view DECADE = uR"((?<![\w])['’]?([2-9])0'?s\b)";
// With thousands separators ("2,000th") the whole run is the ordinal.
constexpr std::u16string_view ORDINAL = uR"((?i)(?<![\w.,])(\d{1,3}(?:,\d{3})+|\d+)(st|nd|rd|th)\b)";
constexpr std::u16string_view TIMES = uR"((\d)(\s?)[x×]\s?(\d))";
// A number of three digits or more, or one after a model's letters, written
// with "s" is a plural ("747s", "1000s", "A380s", "MP3s"); after the
// decades, so "1990s" and "80s" keep their readings. A smaller bare number
// is left: "45s" is as often seconds as a plural. A number read as digits
// (a leading zero) is no plural, nor one after a point ("3.5s"). (Each
// branch starts with a character and looks back past it, so the scan only
// stops at digits and capitals.)
constexpr std::u16string_view NUMBER_PLURAL =
    uR"([1-9](?<![\w.,'’$][1-9])\d{2,}s\b|[A-Z](?<![\w.,'’$][A-Z])[A-Z]?-?[1-9]\d*s\b)";
// Numbers joined by signs of which one at least is an operator ("1-2=5",
// "2^10-1", "6/3=2") are an equation: "-" is "minus" and "/" "divided by"
// there, never a range or a date.
constexpr std::u16string_view EQUATION =
    uR"(\d(?<![\w.,/:-]\d)\d*(?:\.\d+)?(?:[ \t]*[-−+=÷^×*/<>≤≥≠≈±][ \t]*-?\d+(?:\.\d+)?)+(?!\w|[.,/:-]\d))";
// Rule 15.
constexpr std::u16string_view SLASHED = uR"((?<![\d/])(?:(\d+) )?(\d{1,2})/(\d{1,2})(?![\d/]))";
// Rules 17-22.
constexpr Rule RANGE{uR"((\d)\s?[-–—]\s?(?=\d))", u"$1 to ", u"-–—"};
constexpr Rule MINUS{uR"((?<![\w.])-(?=\d))", u"minus ", u"-"};
constexpr Rule COLON{uR"((\d):(?=\d))", u"$1 ", u":"};
constexpr Rule LETTER_DASH{uR"((?<=[A-Za-z])-(?=\d)|(?<=\d)-(?=[A-Za-z]))", u" ", u"-"};
// A space at every boundary between an ASCII letter and a digit. The plain
// form "(?<=[A-Za-z])(?=\d)|(?<=\d)(?=[A-Za-z])" tests both look-behinds at
// every position; taking the character before the boundary puts the same
// spaces in the same places at a fraction of the cost.
constexpr Rule LETTER_DIGIT{uR"([A-Za-z](?=\d)|\d(?=[A-Za-z]))", u"$0 ", u""};
constexpr Rule TILDE{uR"(~\s?(?=\d))", u"about ", u"~"};
// Rule 23.
constexpr std::u16string_view NUMBER = uR"((?<![\w.])(\d{1,3}(?:,\d{3})+|\d+)(?:\.(\d+))?(?![\w])|(?<![\w\d])\.(\d+)\b)";
constexpr std::u16string_view THOUSANDS = uR"(\d+000)";

// The last word made plural: "ninety" -> "nineties", "six" -> "sixes".
std::u16string plural(std::u16string words) {
    if (!words.empty() && words.back() == u'y') return words.substr(0, words.size() - 1) + u"ies";
    if (!words.empty() && words.back() == u'x') return words + u"es";
    return words + u's';
}

std::u16string decimal(int64_t n) {
    std::string a = std::to_string(n);
    return std::u16string(a.begin(), a.end());
}

// The words of a number said as a name, made plural: a round hundred or
// thousand alone is its scale word ("hundreds"), three digits are said as
// two parts ("seven forty sevens", "eight oh eights"), four as a year. A
// model's letters before it stay ("A380s": "A three eighties").
std::u16string readNumberPlural(const JMatch& m) {
    const std::u16string all = *m.group(0);
    size_t digit = all.find_first_of(u"123456789");
    std::u16string prefix = digit ? detail::literal(all.substr(0, digit), u"-", u"") + u' ' : u"";
    std::u16string n = all.substr(digit, all.size() - digit - 1);
    int64_t v = plong(n);
    std::u16string words;
    if (n.size() <= 18 && (v == 100 || v == 1000 || v == 1000000)) {
        words = v == 100 ? u"hundred" : v == 1000 ? u"thousand" : u"million";
    } else if (n.size() == 3 && v % 100 != 0) {
        int64_t lo = v % 100;
        words = std::u16string(ONES[v / 100]) + (lo < 10 ? u" oh " + std::u16string(ONES[lo]) : u' ' + cardinal(lo));
    } else if (n.size() == 4) {
        words = year(v);
    } else {
        words = detail::wholeNumber(n);
    }
    return prefix + plural(words);
}

// The signs of an equation as words; its numbers are read by the last rule.
std::u16string readEquation(const JMatch& m) {
    const std::u16string e = *m.group(0);
    if (e.find_first_of(u"+=÷^×*<>≤≥≠≈") == std::u16string::npos) return e;  // "1-2", "3/4": no operator
    std::u16string out;
    bool afterSign = true;
    for (char16_t c : e) {
        if (c == u' ' || c == u'\t') continue;
        bool digit = (c >= u'0' && c <= u'9') || c == u'.';
        if (digit) {
            out += c;
            afterSign = false;
            continue;
        }
        std::u16string word = c == u'-' || c == u'−' ? u"minus"
                              : c == u'*' || c == u'×' ? u"times"
                              : c == u'/'             ? u"divided by"
                                                      : op(std::u16string_view(&c, 1));
        // A "-" right after a sign is the number's own: "3=-2" is "three equals minus two".
        out += afterSign ? word + u' ' : u' ' + word + u' ';
        afterSign = true;
    }
    return out;
}

std::u16string readTimes(const JMatch& m) {
    return *m.group(1) + (m.group(2)->empty() ? u" by " : u" times ") + *m.group(3);
}

std::u16string readSlashed(const JMatch& m) {
    auto w = m.group(1);
    int64_t num = plong(*m.group(2)), den = plong(*m.group(3));
    std::u16string prefix = w ? *w + u" and " : u"";
    if (!w && num == 24 && den == 7) return u"twenty four seven";  // the idiom, never a date
    // A pair of equal numbers is a score ("10/10"), far more often than the
    // one day a year it could also name.
    if (!w && num == den && num >= 2) return cardinal(num) + u" out of " + cardinal(den);
    if (!w && (den > 10 || num >= den)) {
        int64_t month = dayFirst() ? den : num, day = dayFirst() ? num : den;
        if (month >= 1 && month <= 12 && day >= 1 && day <= 31) {
            return std::u16string(MONTHS[month - 1]) + u' ' + ordinal(day);
        }
    }
    if (den >= 2 && num < den) {
        if (num == 1 && den == 2) return prefix.empty() ? u"one half" : prefix + u"a half";
        if (num == 1 && den == 4 && !prefix.empty()) return prefix + u"a quarter";
        if (den <= 10) return prefix + cardinal(num) + u' ' + denominator(den, num != 1);
        // Sixteenths and the like: a fraction that cannot be a date here.
        return prefix + cardinal(num) + u' ' + ordinal(den) + (num != 1 ? u"s" : u"");
    }
    return (w ? *w + u' ' : u"") + decimal(num) + u' ' + decimal(den);
}


// Whether an ASCII letter stands next to a digit anywhere.
bool letterMeetsDigit(const std::u16string& t) {
    auto letter = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
    for (size_t i = 1; i < t.size(); i++) {
        bool a = letter(t[i - 1]), b = letter(t[i]);
        if (a == b) continue;
        // A digit outside ASCII may be two units long: look it up properly.
        if (a ? detail::digitAt(t, i) : (detail::digitAt(t, i - 1) || (i >= 2 && detail::digitAt(t, i - 2)))) {
            return true;
        }
    }
    return false;
}

std::u16string readNumber(const std::u16string& text, const JMatch& m) {
    if (auto point = m.group(3)) return u"point " + digits(*point);
    std::u16string n = *m.group(1);
    if (auto frac = m.group(2)) return detail::wholeNumber(n) + u" point " + digits(*frac);
    if (n.find(u',') != std::u16string::npos) return detail::wholeNumber(n);
    size_t len = n.size();
    if (len >= 2 && n[0] == u'0') return digits(n);
    bool roundThousands = detail::re(THOUSANDS).whole(n);
    if (len >= 7 && !roundThousands) return spaced(n);
    if (len == 4) {
        int64_t v = plong(n);
        if (v >= 1100 && v <= 2099 && yearAt(text, m.end(0))) return year(v);
    }
    return detail::wholeNumber(n);
}

}  // namespace

std::u16string numbers(const std::u16string& text) {
    std::u16string t = roman(text);
    // Without a digit no rule can match; the patterns are still looked up,
    // so the cache is complete after the first call whatever the text.
    bool digit = detail::anyDigit(t);
    auto apply = [&](const Rule& r) {
        if (digit) t = detail::rewrite(t, r);
        else detail::re(r.pattern);
    };
    auto build = [&](std::u16string_view pattern, std::u16string_view needs, const ReplacementBuilder& b) {
        if (digit) t = detail::rewrite(t, pattern, needs, b);
        else detail::re(pattern);
    };

    apply(DOT_BEFORE_CAPITAL);
    apply(DOT_AFTER_CAPITAL);
    apply(VERSION_V);
    apply(V_NUMBER);
    apply(CIRCA);
    build(VERSION, u".", readVersion);
    if (auto windows = digit ? detail::codeWindows(t) : std::nullopt) {
        t = detail::replaceInWindows(t, detail::re(CODE), *windows, [](const JMatch& m, size_t) { return readCode(m); });
    } else {
        build(CODE, u"", readCode);
    }
    build(NUMBERED, u"#Nn", readNumberSign);
    build(CENTURY_DECADE, u"s", [](const JMatch& m) {
        return plural(year(plong(*m.group(1) + *m.group(2) + u"0")));
    });
    apply(YEAR_APOSTROPHE);
    build(DECADE, u"s", [](const JMatch& m) { return plural(cardinal(10 * plong(*m.group(1)))); });
    // The rules of single constructions run only where a screen finds one.
    auto screened = [&](bool maybe, std::u16string_view pattern, const ReplacementBuilder& b) {
        if (digit && maybe) t = detail::rewrite(t, pattern, u"", b);
        else detail::re(pattern);
    };
    screened(detail::maybeNumberPlural(t), NUMBER_PLURAL, readNumberPlural);
    build(ORDINAL, u"sSnNrRtT", [](const JMatch& m) { return ordinal(plong(detail::literal(*m.group(1), u",", u""))); });
    screened(detail::maybeEquation(t), EQUATION, readEquation);
    build(TIMES, u"x×", readTimes);
    screened(detail::maybeScaledUnit(t), SCALED_UNIT(), [](const JMatch& m) {
        // Never one of them: the plural whatever the number.
        return detail::lower(*m.group(1)) + u' ' + std::u16string(UNIT_WORDS().at(*m.group(2)).plural);
    });
    build(UNIT(), u"", readUnit);
    build(SLASHED, u"/", readSlashed);
    build(OPERATOR, u"+=÷^<>≤≥≠≈±", readOperator);
    apply(RANGE);
    apply(MINUS);
    apply(COLON);
    apply(LETTER_DASH);
    if (letterMeetsDigit(t)) {
        apply(LETTER_DIGIT);
    } else {
        detail::re(LETTER_DIGIT.pattern);
    }
    apply(TILDE);
    const std::u16string before23 = t;
    build(NUMBER, u"", [&](const JMatch& m) { return readNumber(before23, m); });
    return t;
}

std::vector<std::u16string_view> detail::numberPatterns() {
    return {DOT_BEFORE_CAPITAL.pattern, DOT_AFTER_CAPITAL.pattern, VERSION_V.pattern, V_NUMBER.pattern,
            CIRCA.pattern,              VERSION,                   CODE,              NUMBERED,
            CENTURY_DECADE,             YEAR_APOSTROPHE.pattern,   DECADE,            ORDINAL,
            TIMES,                      UNIT(),                    SLASHED,           OPERATOR,
            NUMBER_PLURAL,              EQUATION,                  SCALED_UNIT(),
            RANGE.pattern,              MINUS.pattern,             COLON.pattern,     LETTER_DASH.pattern,
            LETTER_DIGIT.pattern,       TILDE.pattern,             NUMBER,            THOUSANDS};
}

// Where a reference code may start: at a keyword followed by nothing but
// joining words, signs and white space before a digit. Each window runs to
// the character after the code's digits and dashes. nullopt: no shortcut.
std::optional<std::vector<detail::Window>> detail::codeWindows(const std::u16string& t) {
    auto lowered = detail::asciiLowered(t);
    if (!lowered) return std::nullopt;
    return detail::keywordWindows(
        *lowered,
        {u"code", u"otp", u"pin", u"passcode", u"password", u"ref", u"reference", u"order", u"tracking", u"confirmation",
         u"booking", u"pnr", u"account", u"a/c", u"acct", u"invoice", u"ticket", u"transaction", u"txn", u"id",
         u"policy", u"member", u"membership", u"card", u"ending in", u"ends in"},
        [](const std::u16string& s, size_t i) -> size_t {
            // Signs and the letters of the joining words: number, no, num,
            // id, is, was, ending in, ends in, ending.
            constexpr std::u16string_view joining = u":#.-numberoidswag";
            while (i < s.size() && (detail::spaceAt(s, i) || joining.find(s[i]) != std::u16string_view::npos)) i++;
            if (!detail::digitAt(s, i)) return std::u16string::npos;
            while (i < s.size() && (s[i] == u'-' || detail::digitAt(s, i))) i = detail::afterChar(s, i);
            return detail::afterChar(s, i);
        });
}

}  // namespace tovan::Spoken
