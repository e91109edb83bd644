#pragma once
// Spoken: turns display text into the words the speech engine reads.
//
// A namespace of pure functions spread over several source files, one per
// group of passes (SpokenWords, SpokenDates, SpokenTimes, SpokenPhones,
// SpokenHelpers, SpokenUnits, ...). Every position is a UTF-16 offset;
// number words are English, lower case, single-spaced, without hyphens and
// without "and"; the morning and afternoon markers are written "ay em" and
// "pee em". Nothing here fails: input a rule cannot read is left as written.
// The only shared state is the pattern cache of Regex.h and `dayFirst`.

#include "Regex.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tovan::Spoken {

using tovan::jtrim;

// ---- Tables shared by the passes ----

inline constexpr std::array<std::u16string_view, 20> ONES = {
    u"zero", u"one", u"two", u"three", u"four", u"five", u"six", u"seven", u"eight", u"nine", u"ten",
    u"eleven", u"twelve", u"thirteen", u"fourteen", u"fifteen", u"sixteen", u"seventeen", u"eighteen",
    u"nineteen"};

inline constexpr std::array<std::u16string_view, 12> MONTHS = {
    u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August", u"September",
    u"October", u"November", u"December"};

inline constexpr std::array<std::u16string_view, 7> DAYS = {
    u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday", u"Sunday"};

// Nouns that, right after a four-digit number, show it counts things rather
// than naming a year.
inline constexpr std::array<std::u16string_view, 33> COUNTED = {
    u"people", u"men", u"women", u"children", u"persons", u"feet", u"times", u"words", u"pages",
    u"users", u"votes", u"points", u"students", u"copies", u"items", u"employees", u"jobs", u"deaths",
    u"cases", u"homes", u"acres", u"calories", u"steps", u"meters", u"metres", u"miles", u"dollars",
    u"rupees", u"euros", u"pounds", u"km", u"kilometers", u"of"};

// One unit: abbreviation as written, singular and plural words.
struct Unit {
    std::u16string_view abbr, singular, plural;
};
// The units read after a number, in their fixed order.
extern const std::array<Unit, 84> UNITS;
// Abbreviation -> row of UNITS (a later row with the same abbreviation wins).
const std::unordered_map<std::u16string_view, Unit>& UNIT_WORDS();
// The unit pattern built from UNITS (longest abbreviations first): group 1
// the number, group 2 the abbreviation.
const std::u16string& UNIT();
// A scale word after a number, and a unit ("5 million km"): group 1 the
// scale word, group 2 the abbreviation.
const std::u16string& SCALED_UNIT();

// ---- Number words ----

std::u16string cardinal(int64_t n);  // 105 -> "one hundred five"
std::u16string ordinal(int64_t n);   // 21 -> "twenty first"
std::u16string year(int64_t n);      // 1984 -> "nineteen eighty four"

// ---- Digits ----

// Each ASCII digit as its word, single-spaced; other characters skipped.
std::u16string digits(const std::u16string& s);
// A digit run cut into reading groups: 5 -> 3+2, 8 -> 4+4, 11 -> 3+4+4.
std::vector<std::u16string> groups(const std::u16string& s);
// The decimal digits of s (any script) read as one number, saturating at
// INT64_MAX; every other character is skipped.
int64_t plong(const std::u16string& s);
// A digit run read digit by digit in groups joined by ", ".
std::u16string spaced(const std::u16string& s);

// ---- Dates ----

// Whether an ambiguous numeric date (03/04) is read day first. Its first
// value comes from the locale of the environment (LC_ALL, LC_TIME, LANG);
// tests and callers may set it.
bool dayFirst();
void setDayFirst(bool on);
// False when the locale's region is US, true for any other region and for a
// locale without one. Takes a POSIX or BCP 47 identifier ("en_US.UTF-8",
// "en-GB", "C").
bool defaultDayFirst(std::string_view locale);
// Month number 1-12 of a name or abbreviation (first three letters); 1 when
// none fits.
int month(const std::u16string& s);
// Full weekday name of a name or abbreviation (first two letters); s itself
// when none fits.
std::u16string weekday(const std::u16string& s);
// The date pass: ISO and numeric dates, month and weekday names.
std::u16string dates(const std::u16string& s);

// ---- Times ----

// One clock reading; ap is the marker letter ("a"/"p", any case) if any.
std::u16string clock(int64_t h, int64_t m, const std::optional<std::u16string>& ap);
// Hours, minutes and seconds as a duration ("one hour and five seconds").
std::u16string duration(int64_t h, int64_t m, int64_t s);
// The time pass: ranges, clock times, day ranges, hour-minute durations.
std::u16string times(const std::u16string& s);

// ---- Phone numbers ----

// The phone pass.
std::u16string phones(const std::u16string& s);
// One phone number read in digit groups, with one space at each end.
std::u16string phone(const std::u16string& s);

// ---- Small helpers of the passes ----

// Scale word of a money scale token: "k" -> "thousand", "bn" -> "billion";
// anything unknown -> "crore".
std::u16string scaleWord(const std::u16string& s);
// Value of an upper-case Roman numeral, 0 when absent, empty or holding any
// other character. Form is not checked (IIII -> 4).
int64_t romanValue(const std::optional<std::u16string>& s);
// Whether s from `at` begins with white space and a lower-case ASCII letter.
bool followedByWord(const std::u16string& s, int at);
// s with its first UTF-16 unit upper-cased.
std::u16string capital(const std::u16string& s);
// Fraction word for 2-10 ("half", "third", ...); plural: "halves", "thirds".
// Empty for other values.
std::u16string denominator(int64_t n, bool plural);
// Words of an arithmetic or comparison sign ("+" -> "plus").
std::u16string op(std::u16string_view sign);
// Whether the four-digit number ending at `at` reads as a year: false when a
// counted noun follows it ("1990 people").
bool yearAt(const std::u16string& text, int at);

// ---- Per-match readings used by the number and time passes ----
// Each pattern below goes with the reading after it.

// Dotted versions: "2.10.1" -> " 2 point 10 point 1 " (digits stay).
inline constexpr std::u16string_view VERSION = uR"((?<![\w.])[vV]?(\d+(?:\.\d+){2,})(?![\w]))";
std::u16string readVersion(const JMatch& m);

// Reference codes after a keyword: "OTP: 123456" -> "OTP: one two three, four five six".
inline constexpr std::u16string_view CODE =
    uR"((?i)\b(code|otp|pin|passcode|password|ref(?:erence)?|order|tracking|confirmation|booking|pnr|account|a/c|acct|invoice|ticket|transaction|txn|id|policy|member(?:ship)?|card|ending in|ends in)\b((?:\s*(?:[\:#.-]|number|no\.?|num|id|is|was|ending in|ends in|ending))*\s*)(\d(?:[\d-]*\d)?)\b)";
std::u16string readCode(const JMatch& m);

// Numbered items: "#7" -> "number 7", "No. 1234" -> "number one two three four".
inline constexpr std::u16string_view NUMBERED = uR"((?:#|\bNo\.\s?|\bno\.\s?|\bNos?\.\s?)(\d+)\b)";
std::u16string readNumberSign(const JMatch& m);

// A number with a unit, for the pattern UNIT(): "5 km" -> "5 kilometers".
std::u16string readUnit(const JMatch& m);

// Signs between numbers: "2+2" -> "2 plus 2".
inline constexpr std::u16string_view OPERATOR = uR"((\d)\s*([+=÷^<>≤≥≠≈±])\s*(?=-?\d))";
std::u16string readOperator(const JMatch& m);
// "." when the match took a full stop that also ends a sentence (the text
// ends after it, or white space and then a capital or a line break), so the
// reading that replaces the match can give the stop back; else "".
std::u16string sentenceStop(const JMatch& m);

// Day ranges: "Mon-Fri" -> "Monday to Friday".
inline constexpr std::u16string_view DAY_RANGE =
    uR"(\b(Mon(?:day)?|Tue(?:s(?:day)?)?|Wed(?:nesday)?|Thu(?:r(?:s(?:day)?)?)?|Fri(?:day)?|Sat(?:urday)?|Sun(?:day)?|MON|TUE|WED|THU|FRI|SAT|SUN)\.?\s?[-–—]\s?(Mon(?:day)?|Tue(?:s(?:day)?)?|Wed(?:nesday)?|Thu(?:r(?:s(?:day)?)?)?|Fri(?:day)?|Sat(?:urday)?|Sun(?:day)?|MON|TUE|WED|THU|FRI|SAT|SUN)\b\.?)";
std::u16string readDayRange(const JMatch& m);

// ---- The remaining passes and the pipeline ----

// The first pass: invisible characters dropped, spaces and digits of every
// kind made plain, symbols and Greek letters spelt out, accents stripped,
// letters of scripts other than Latin replaced by a space. (SpokenLetters)
std::u16string letters(const std::u16string& s);

// The second pass: web and e-mail addresses, bare domains, handles,
// hashtags and "$" variables read as words; a web address is said as its
// host and its path. (SpokenLinks)
std::u16string links(const std::u16string& s);
// One host name said: lower case, "www." and then "m." dropped, "-" as a
// space, "." as " dot ".
std::u16string host(const std::u16string& s);

// Sums of money with a currency symbol or code: "$5.25" -> "five dollars and
// twenty five cents". (SpokenAmounts)
std::u16string amounts(const std::u16string& s);

// Roman numerals where the context shows they are numbers: "Chapter IV" ->
// "Chapter four", "Henry VIII" -> "Henry the eighth". (SpokenRoman)
std::u16string roman(const std::u16string& s);

// The number pass: roman(), then the signs and layouts around numbers, then
// every number left read as words. (SpokenNumbers)
std::u16string numbers(const std::u16string& text);

// The last pass: abbreviations, arrows, bullets, marks and signs as words;
// spacing is left for the clean-up of say(). (SpokenSymbols)
std::u16string symbols(const std::u16string& s);

// The whole pipeline over plain text: letters, links, phones, dates, times,
// amounts, numbers, symbols, then the clean-up of spaces and punctuation.
// Absent or empty text gives "". (SpokenSay)
std::u16string say(const std::optional<std::u16string>& text);
// With markup on, cues ("[...]", 1-40 characters) and tags ("<emph>",
// "</emph>") are kept exactly as written, with one space each side, and
// only the text between them goes through the pipeline.
std::u16string say(const std::optional<std::u16string>& text, bool markup);

// One row of SCRIPTS: a Unicode script name as the pattern syntax writes it
// (\p{Script=...}) and the language read out for it (empty: none).
struct ScriptRow {
    std::u16string_view script, language;
};
// The scripts unspoken() names, in a fixed order: the index is the key and
// ties go to the earlier row.
extern const std::array<ScriptRow, 99> SCRIPTS;
// The pattern of one row: "\p{Script=" + script + "}".
std::u16string scriptPattern(const ScriptRow& row);
// nullopt when the engine has something to read in the text (or the text is
// absent or blank); otherwise the language of its letters, or "another
// language" for a script without one.
std::optional<std::u16string> unspoken(const std::optional<std::u16string>& text);

// Every constant pattern of the passes declared above, of the header's
// readings and of the pipeline (unit and script patterns included). The
// passes of dates, times and phones compile all of theirs on every call.
const std::vector<std::u16string>& patterns();

}  // namespace tovan::Spoken
