// The unit table read after numbers, and the unit pattern built from it.
#include "Spoken.h"

#include <algorithm>

namespace tovan::Spoken {

const std::array<Unit, 84> UNITS = {{
    {u"km/h", u"kilometer per hour", u"kilometers per hour"},
    {u"kmph", u"kilometer per hour", u"kilometers per hour"},
    {u"kph", u"kilometer per hour", u"kilometers per hour"},
    {u"mph", u"mile per hour", u"miles per hour"},
    {u"km", u"kilometer", u"kilometers"},
    {u"kms", u"kilometer", u"kilometers"},
    {u"cm", u"centimeter", u"centimeters"},
    {u"mm", u"millimeter", u"millimeters"},
    {u"micrometers", u"micrometer", u"micrometers"},
    {u"nm", u"nanometer", u"nanometers"},
    {u"kg", u"kilogram", u"kilograms"},
    {u"kgs", u"kilogram", u"kilograms"},
    {u"mg", u"milligram", u"milligrams"},
    {u"gm", u"gram", u"grams"},
    {u"gms", u"gram", u"grams"},
    {u"lb", u"pound", u"pounds"},
    {u"lbs", u"pound", u"pounds"},
    {u"oz", u"ounce", u"ounces"},
    {u"mi", u"mile", u"miles"},
    {u"ft", u"foot", u"feet"},
    {u"sq ft", u"square foot", u"square feet"},
    {u"yd", u"yard", u"yards"},
    {u"ml", u"milliliter", u"milliliters"},
    {u"mL", u"milliliter", u"milliliters"},
    {u"L", u"liter", u"liters"},
    {u"ltr", u"liter", u"liters"},
    {u"hrs", u"hour", u"hours"},
    {u"hr", u"hour", u"hours"},
    {u"h", u"hour", u"hours"},
    {u"mins", u"minute", u"minutes"},
    {u"min", u"minute", u"minutes"},
    {u"secs", u"second", u"seconds"},
    {u"sec", u"second", u"seconds"},
    {u"ms", u"millisecond", u"milliseconds"},
    {u"yrs", u"year", u"years"},
    {u"yr", u"year", u"years"},
    {u"mos", u"month", u"months"},
    {u"wks", u"week", u"weeks"},
    {u"wk", u"week", u"weeks"},
    {u"TB", u"terabyte", u"terabytes"},
    {u"GB", u"gigabyte", u"gigabytes"},
    {u"MB", u"megabyte", u"megabytes"},
    {u"KB", u"kilobyte", u"kilobytes"},
    {u"kB", u"kilobyte", u"kilobytes"},
    {u"Gbps", u"gigabit per second", u"gigabits per second"},
    {u"Mbps", u"megabit per second", u"megabits per second"},
    {u"GHz", u"gigahertz", u"gigahertz"},
    {u"MHz", u"megahertz", u"megahertz"},
    {u"kHz", u"kilohertz", u"kilohertz"},
    {u"Hz", u"hertz", u"hertz"},
    {u"kWh", u"kilowatt hour", u"kilowatt hours"},
    {u"kW", u"kilowatt", u"kilowatts"},
    {u"W", u"watt", u"watts"},
    {u"mAh", u"milliamp hour", u"milliamp hours"},
    {u"V", u"volt", u"volts"},
    {u"pts", u"point", u"points"},
    {u"px", u"pixel", u"pixels"},
    {u"fps", u"frame per second", u"frames per second"},
    {u"bpm", u"beat per minute", u"beats per minute"},
    {u"°C", u"degree Celsius", u"degrees Celsius"},
    {u"°F", u"degree Fahrenheit", u"degrees Fahrenheit"},
    {u"° C", u"degree Celsius", u"degrees Celsius"},
    {u"° F", u"degree Fahrenheit", u"degrees Fahrenheit"},
    {u"°", u"degree", u"degrees"},
    {u"%", u"percent", u"percent"},
    {u"‰", u"per mille", u"per mille"},
    {u"x", u"times", u"times"},
    {u"k", u"thousand", u"thousand"},
    {u"K", u"thousand", u"thousand"},
    {u"M", u"million", u"million"},
    {u"bn", u"billion", u"billion"},
    {u"cr", u"crore", u"crore"},
    // Units a reader meets as often as those above, and the compound and
    // capitalised spellings of some of them.
    {u"m/s", u"meter per second", u"meters per second"},
    {u"mg/kg", u"milligram per kilogram", u"milligrams per kilogram"},
    {u"m2", u"square meter", u"square meters"},
    {u"km2", u"square kilometer", u"square kilometers"},
    {u"m", u"meter", u"meters"},
    {u"s", u"second", u"seconds"},
    {u"g", u"gram", u"grams"},
    {u"ppm", u"part per million", u"parts per million"},
    {u"mbps", u"megabit per second", u"megabits per second"},
    {u"KG", u"kilogram", u"kilograms"},
    {u"Kg", u"kilogram", u"kilograms"},
    {u"KM", u"kilometer", u"kilometers"},
}};

const std::unordered_map<std::u16string_view, Unit>& UNIT_WORDS() {
    static const auto* words = [] {
        auto* w = new std::unordered_map<std::u16string_view, Unit>;
        for (const Unit& u : UNITS) (*w)[u.abbr] = u;
        return w;
    }();
    return *words;
}

namespace {

// The abbreviations of rows (longest first, so "km/h" is tried before
// "km"), escaped and joined with "|", and the set of their first characters.
std::pair<std::u16string, std::u16string> alternation(std::vector<Unit> rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Unit& a, const Unit& b) { return a.abbr.size() > b.abbr.size(); });
    auto escaped = [](char16_t c) {
        std::u16string out;
        if (std::u16string_view(u"\\^$.|?*+()[]{}/-&").find(c) != std::u16string_view::npos) out += u'\\';
        return out + c;
    };
    std::u16string alternatives, firsts;
    for (const Unit& u : rows) {
        if (!alternatives.empty()) alternatives += u'|';
        for (char16_t c : u.abbr) alternatives += escaped(c);
        if (firsts.find(escaped(u.abbr[0])) == std::u16string::npos) firsts += escaped(u.abbr[0]);
    }
    return {alternatives, firsts};
}

}  // namespace

const std::u16string& UNIT() {
    static const std::u16string* pattern = [] {
        auto [alternatives, firsts] = alternation(std::vector<Unit>(UNITS.begin(), UNITS.end()));
        // Matches exactly what the plain form "(?<![\w.,])(-?(?:\d{1,3}(?:,\d{3})+|\d+)(?:\.\d+)?)\s?(units)"
        // matches, at a third of the cost: no unit starts with a digit, a
        // comma, a dot or white space, so backtracking into the number can
        // never help (atomic group), and the look-ahead on the units' first
        // letters spares the 72 alternatives after most numbers.
        return new std::u16string(uR"((?<![\w.,])((?>-?(?:\d{1,3}(?:,\d{3})+|\d+)(?:\.\d+)?))\s?(?=[)" + firsts +
                                  u"])(" + alternatives + uR"()(?![\w°%]))");
    }();
    return *pattern;
}

const std::u16string& SCALED_UNIT() {
    static const std::u16string* pattern = [] {
        // The rows that are units, not multipliers ("x", "k", "M", "bn" ...).
        std::vector<Unit> rows;
        for (const Unit& u : UNITS) {
            std::u16string_view w = u.plural;
            if (w != u"times" && w != u"thousand" && w != u"million" && w != u"billion" && w != u"crore") rows.push_back(u);
        }
        auto [alternatives, firsts] = alternation(rows);
        // Starts at the scale word, which must follow a digit; the number
        // itself is left for the last rule of the number pass.
        return new std::u16string(uR"(\b(?<=\d\s)([Tt]housand|[Mm]illion|[Bb]illion|[Tt]rillion)\s(?=[)" + firsts + u"])(" +
                                  alternatives + uR"()(?![\w°%]))");
    }();
    return *pattern;
}

}  // namespace tovan::Spoken
