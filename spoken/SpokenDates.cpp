// The date pass and the day and month name helpers.
#include "Spoken.h"

#include <unicode/uchar.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>

namespace tovan::Spoken {

namespace {

std::u16string lower(std::u16string s) {
    for (char16_t& c : s) c = static_cast<char16_t>(u_tolower(c));
    return s;
}

bool startsWith(const std::u16string& s, const std::u16string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool validDate(int64_t month, int64_t day) {
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

std::u16string monthName(int64_t month) {
    return std::u16string(MONTHS[month - 1]);
}

std::atomic<bool> dayFirstFlag{true};
std::once_flag dayFirstOnce;

void initDayFirst() {
    std::call_once(dayFirstOnce, [] {
        // The date order follows the locale of dates, in POSIX precedence.
        const char* id = nullptr;
        for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
            const char* v = std::getenv(var);
            if (v && *v) {
                id = v;
                break;
            }
        }
        dayFirstFlag.store(defaultDayFirst(id ? id : ""));
    });
}

// Patterns of the date pass, in the order they run.
constexpr std::u16string_view ISO = uR"(\b(\d{4})-(\d{1,2})-(\d{1,2})(?![\d-]))";
// A full stop after the year ends the sentence; only a digit after it (a
// version or a decimal) makes the run something other than a date.
constexpr std::u16string_view NUMERIC = uR"((?<![\d/.])(\d{1,2})([/.-])(\d{1,2})\2(\d{4}|\d{2})(?![\d/]|\.\d))";
constexpr std::u16string_view WEEKDAY_NUMERIC =
    uR"(\b(Mon(?:day)?|Tue(?:s(?:day)?)?|Wed(?:nesday)?|Thu(?:r(?:s(?:day)?)?)?|Fri(?:day)?|Sat(?:urday)?|Sun(?:day)?|MON|TUE|WED|THU|FRI|SAT|SUN)\.?,?\s+(\d{1,2})/(\d{1,2})(?![\d/]))";
constexpr std::u16string_view MONTH_DAY =
    uR"(\b(Jan(?:uary)?|Feb(?:ruary)?|Mar(?:ch)?|Apr(?:il)?|May|June?|July?|Aug(?:ust)?|Sep(?:t(?:ember)?)?|Oct(?:ober)?|Nov(?:ember)?|Dec(?:ember)?|JANUARY|FEBRUARY|MARCH|APRIL|AUGUST|SEPTEMBER|OCTOBER|NOVEMBER|DECEMBER|JAN|FEB|MAR|APR|MAY|JUNE?|JULY?|AUG|SEPT?|OCT|NOV|DEC)\.?\s+(\d{1,2})(?:st|nd|rd|th)?(?![\d:.]\d|\d|:)\b)";
// A month name in small letters is read only with a day and a year after
// it: "march 3" alone may be a verb and a count.
constexpr std::u16string_view SMALL_MONTH_DAY =
    uR"(\b(january|february|march|april|june|july|august|september|october|november|december)\s+(\d{1,2})(?:st|nd|rd|th)?(?=,?\s+\d{4}\b))";
constexpr std::u16string_view DAY_MONTH =
    uR"((?<![\d.,/])(\d{1,2})(?:st|nd|rd|th)?\s+(?:of\s+)?(Jan(?:uary)?|Feb(?:ruary)?|Mar(?:ch)?|Apr(?:il)?|May|June?|July?|Aug(?:ust)?|Sep(?:t(?:ember)?)?|Oct(?:ober)?|Nov(?:ember)?|Dec(?:ember)?|JAN|FEB|MAR|APR|MAY|JUNE?|JULY?|AUG|SEPT?|OCT|NOV|DEC)\b\.?)";
constexpr std::u16string_view MONTH_YEAR =
    uR"(\b(Jan(?:uary)?|Feb(?:ruary)?|Mar(?:ch)?|Apr(?:il)?|May|June?|July?|Aug(?:ust)?|Sep(?:t(?:ember)?)?|Oct(?:ober)?|Nov(?:ember)?|Dec(?:ember)?|JAN|FEB|MAR|APR|MAY|JUNE?|JULY?|AUG|SEPT?|OCT|NOV|DEC)\.?\s+(?=\d{4}\b))";
// "the 21st June" became "the the twenty first of June": a day may be two words.
constexpr std::u16string_view DOUBLE_THE = uR"((?i)\b(the) the (?=\w+(?: \w+)? of ))";
constexpr std::u16string_view WEEKDAY =
    uR"(\b(Mon(?:day)?|Tue(?:s(?:day)?)?|Wed(?:nesday)?|Thu(?:r(?:s(?:day)?)?)?|Fri(?:day)?|Sat(?:urday)?|Sun(?:day)?|MON|TUE|WED|THU|FRI|SAT|SUN)\b\.?(?=,?\s+(?:\d|(Jan(?:uary)?|Feb(?:ruary)?|Mar(?:ch)?|Apr(?:il)?|May|June?|July?|Aug(?:ust)?|Sep(?:t(?:ember)?)?|Oct(?:ober)?|Nov(?:ember)?|Dec(?:ember)?|JAN|FEB|MAR|APR|MAY|JUNE?|JULY?|AUG|SEPT?|OCT|NOV|DEC)|the\b|at\b)))";

std::u16string readIso(const JMatch& m) {
    int64_t y = plong(*m.group(1)), mo = plong(*m.group(2)), d = plong(*m.group(3));
    if (!validDate(mo, d)) return *m.group(0);
    return monthName(mo) + u' ' + ordinal(d) + u", " + year(y);
}

std::u16string readNumeric(const JMatch& m) {
    std::u16string sep = *m.group(2), yearText = *m.group(4);
    // 1.5.24 reads better as a version or a list of numbers than as a date.
    if (sep == u"." && yearText.size() == 2) return *m.group(0);
    int64_t a = plong(*m.group(1)), b = plong(*m.group(3)), y = plong(yearText);
    if (yearText.size() == 2) y += y < 50 ? 2000 : 1900;
    int64_t mo, d;
    if (a > 12) {
        d = a;
        mo = b;
    } else if (b > 12) {
        mo = a;
        d = b;
    } else if (dayFirst()) {
        d = a;
        mo = b;
    } else {
        mo = a;
        d = b;
    }
    if (!validDate(mo, d)) return *m.group(0);
    return monthName(mo) + u' ' + ordinal(d) + u", " + year(y);
}

std::u16string readWeekdayNumeric(const JMatch& m) {
    int64_t a = plong(*m.group(2)), b = plong(*m.group(3));
    int64_t preferred = dayFirst() ? b : a, other = dayFirst() ? a : b;
    int64_t mo = preferred <= 12 ? preferred : other;
    int64_t d = preferred <= 12 ? other : preferred;
    if (!validDate(mo, d)) return *m.group(0);
    return weekday(*m.group(1)) + u", " + monthName(mo) + u' ' + ordinal(d);
}

std::u16string readMonthDay(const JMatch& m) {
    int mo = month(*m.group(1));
    int64_t d = plong(*m.group(2));
    if (!validDate(mo, d)) return *m.group(0);
    return monthName(mo) + u' ' + ordinal(d);
}

std::u16string readDayMonth(const JMatch& m) {
    int64_t d = plong(*m.group(1));
    int mo = month(*m.group(2));
    if (!validDate(mo, d)) return *m.group(0);
    return u"the " + ordinal(d) + u" of " + monthName(mo) + sentenceStop(m);
}

// Whether a month name in small letters occurs: most texts have none, and
// a search for eleven words costs far less than the pattern's scan.
bool anySmallMonth(const std::u16string& t) {
    for (std::u16string_view name : {u"january", u"february", u"march", u"april", u"june", u"july", u"august",
                                     u"september", u"october", u"november", u"december"}) {
        if (t.find(name) != std::u16string::npos) return true;
    }
    return false;
}

}  // namespace

bool dayFirst() {
    initDayFirst();
    return dayFirstFlag.load();
}

void setDayFirst(bool on) {
    initDayFirst();  // so a later first read cannot overwrite what was set
    dayFirstFlag.store(on);
}

bool defaultDayFirst(std::string_view locale) {
    // language[_-]Script?[_-]REGION, then .charset or @modifier.
    std::string_view id = locale.substr(0, locale.find_first_of(".@"));
    size_t pos = id.find_first_of("_-");
    while (pos != std::string_view::npos) {
        size_t next = id.find_first_of("_-", pos + 1);
        std::string_view part = id.substr(pos + 1, next == std::string_view::npos ? std::string_view::npos : next - pos - 1);
        bool alpha2 = part.size() == 2 && std::isalpha(static_cast<unsigned char>(part[0])) &&
                      std::isalpha(static_cast<unsigned char>(part[1]));
        bool digit3 = part.size() == 3 && std::isdigit(static_cast<unsigned char>(part[0])) &&
                      std::isdigit(static_cast<unsigned char>(part[1])) && std::isdigit(static_cast<unsigned char>(part[2]));
        if (alpha2 || digit3) {
            return !(alpha2 && std::toupper(static_cast<unsigned char>(part[0])) == 'U' &&
                     std::toupper(static_cast<unsigned char>(part[1])) == 'S');
        }
        if (part.size() != 4) break;  // only a script may stand before the region
        pos = next;
    }
    return true;
}

int month(const std::u16string& s) {
    std::u16string key = lower(s.substr(0, 3));
    for (size_t i = 0; i < MONTHS.size(); i++) {
        if (startsWith(lower(std::u16string(MONTHS[i])), key)) return static_cast<int>(i) + 1;
    }
    return 1;
}

std::u16string weekday(const std::u16string& s) {
    std::u16string key = lower(s.substr(0, 2));
    for (std::u16string_view day : DAYS) {
        if (startsWith(lower(std::u16string(day)), key)) return std::u16string(day);
    }
    return s;
}

std::u16string dates(const std::u16string& s) {
    std::u16string t = rx(ISO).replaceAll(s, readIso);
    t = rx(NUMERIC).replaceAll(t, readNumeric);
    t = rx(WEEKDAY_NUMERIC).replaceAll(t, readWeekdayNumeric);
    t = rx(MONTH_DAY).replaceAll(t, readMonthDay);
    const Regex& smallMonthDay = rx(SMALL_MONTH_DAY);
    if (anySmallMonth(t)) t = smallMonthDay.replaceAll(t, readMonthDay);
    t = rx(DAY_MONTH).replaceAll(t, readDayMonth);
    t = rx(MONTH_YEAR).replaceAll(t, [](const JMatch& m) { return monthName(month(*m.group(1))) + u' '; });
    t = rx(DOUBLE_THE).replaceAll(t, u"$1 ");
    t = rx(WEEKDAY).replaceAll(t, [](const JMatch& m) { return weekday(*m.group(1)); });
    return t;
}

}  // namespace tovan::Spoken
