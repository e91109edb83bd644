// The time pass: clock times, ranges, day ranges and durations.
#include "Spoken.h"

#include <unicode/uchar.h>

namespace tovan::Spoken {

namespace {

// Minutes after an hour: "oh five", "thirty".
std::u16string minutes(int64_t m) {
    return (m <= 9 ? u"oh " : u"") + cardinal(m);
}

int64_t num(const JMatch& m, int g) {
    auto t = m.group(g);
    return t ? plong(*t) : 0;
}

std::u16string plural(int64_t n, std::u16string_view one, std::u16string_view many) {
    return cardinal(n) + std::u16string(n == 1 ? one : many);
}

// Patterns of the time pass, in the order they run. [-–—] is a hyphen, an en
// dash or an em dash.
constexpr std::u16string_view RANGE_MARKED =
    uR"((?<![\d:.,])(1[0-2]|0?[1-9])(?::([0-5]\d))?\s?[-–—]\s?(1[0-2]|0?[1-9])(?::([0-5]\d))?(?:\s?([AaPp])\.?\s?[Mm]\.?(?![A-Za-z])))";
constexpr std::u16string_view HOURS_MINUTES = uR"((?<![\w.])(\d{1,2})\s?h\s?(\d{1,2})\s?m(?:in)?\b)";
constexpr std::u16string_view DASH_AFTER_CLOCK = uR"((\d:\d\d(?:\s?[AaPp]\.?\s?[Mm]\.?)?)\s?[-–—]\s?(?=\d))";
constexpr std::u16string_view DASH_AFTER_HOUR =
    uR"((?<![\d:.])(\d{1,2})\s?[-–—]\s?(?=\d{1,2}(?:[:.]\d\d)?\s?[AaPp]\.?\s?[Mm]\b))";
constexpr std::u16string_view DASH_AFTER_MARKER = uR"(([AaPp]\.?[Mm]\.?)\s?[-–—]\s?(?=\d))";
constexpr std::u16string_view COLON_TIME =
    uR"((?<![\d:.,])([01]?\d|2[0-3]):([0-5]\d)(?::([0-5]\d))?(?![\d:])(?:\s?([AaPp])\.?\s?[Mm]\.?(?![A-Za-z]))?)";
constexpr std::u16string_view DOTTED_TIME =
    uR"((?<![\d:.,])(1[0-2]|0?[1-9])\.([0-5]\d)(?:\s?([AaPp])\.?\s?[Mm]\.?(?![A-Za-z])))";
constexpr std::u16string_view HOUR_MARKED = uR"((?<![\d:.,])(1[0-2]|0?[1-9])(?:\s?([AaPp])\.?\s?[Mm]\.?(?![A-Za-z])))";

std::u16string readRange(const JMatch& m) {
    int64_t m1 = num(m, 2);
    std::u16string out = cardinal(num(m, 1));
    if (m1 != 0) out += u' ' + minutes(m1);
    return out + u" to " + clock(num(m, 3), num(m, 4), m.group(5)) + sentenceStop(m);
}

std::u16string readColon(const JMatch& m) {
    auto marker = m.group(4);
    if (m.group(3) && !marker) return duration(num(m, 1), num(m, 2), num(m, 3));
    // Seconds beside a marker are not said. A zone written onto the time
    // ("9:15PST") is kept apart from the last word.
    const std::u16string& s = m.source();
    size_t end = static_cast<size_t>(m.end(0));
    std::u16string gap = end < s.size() && u_isalpha(s[end]) ? u" " : u"";
    return clock(num(m, 1), num(m, 2), marker) + sentenceStop(m) + gap;
}

}  // namespace

std::u16string clock(int64_t h, int64_t m, const std::optional<std::u16string>& ap) {
    bool pm;
    if (ap) {
        pm = *ap == u"p" || *ap == u"P";
    } else if (h >= 1 && h <= 12) {
        return cardinal(h) + (m == 0 ? u" o'clock" : u' ' + minutes(m));
    } else {
        pm = h > 11;
    }
    int64_t hour = h % 12 == 0 ? 12 : h % 12;
    std::u16string out = cardinal(hour);
    if (m != 0) out += u' ' + minutes(m);
    return out + (pm ? u" pee em" : u" ay em");
}

std::u16string duration(int64_t h, int64_t m, int64_t s) {
    std::u16string out;
    if (h > 0) out = plural(h, u" hour", u" hours");
    if (m > 0) {
        if (!out.empty()) out += u", ";
        out += plural(m, u" minute", u" minutes");
    }
    if (s > 0 || out.empty()) {
        if (!out.empty()) out += u" and ";
        out += plural(s, u" second", u" seconds");
    }
    return out;
}

std::u16string readDayRange(const JMatch& m) {
    return weekday(*m.group(1)) + u" to " + weekday(*m.group(2)) + sentenceStop(m);
}

std::u16string times(const std::u16string& s) {
    std::u16string t = rx(RANGE_MARKED).replaceAll(s, readRange);
    t = rx(DAY_RANGE).replaceAll(t, readDayRange);
    t = rx(HOURS_MINUTES).replaceAll(t, [](const JMatch& m) {
        return plural(num(m, 1), u" hour ", u" hours ") + plural(num(m, 2), u" minute", u" minutes");
    });
    t = rx(DASH_AFTER_CLOCK).replaceAll(t, u"$1 to ");
    t = rx(DASH_AFTER_HOUR).replaceAll(t, u"$1 to ");
    t = rx(DASH_AFTER_MARKER).replaceAll(t, u"$1 to ");
    t = rx(COLON_TIME).replaceAll(t, readColon);
    t = rx(DOTTED_TIME).replaceAll(t, [](const JMatch& m) { return clock(num(m, 1), num(m, 2), m.group(3)) + sentenceStop(m); });
    t = rx(HOUR_MARKED).replaceAll(t, [](const JMatch& m) { return clock(num(m, 1), 0, m.group(2)) + sentenceStop(m); });
    return t;
}

}  // namespace tovan::Spoken
