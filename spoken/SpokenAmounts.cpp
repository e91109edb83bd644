// The amounts pass: sums of money written with a currency symbol or code.
#include "SpokenPasses.h"

namespace tovan::Spoken {

using detail::anyDigit;

namespace {

struct Currency {
    std::u16string_view one, many, minorOne, minorMany;  // empty minor: not read in minor units
};

const std::unordered_map<std::u16string_view, Currency>& CURRENCY() {
    static const auto* table = [] {
        auto* t = new std::unordered_map<std::u16string_view, Currency>;
        auto add = [t](std::initializer_list<std::u16string_view> keys, Currency row) {
            for (std::u16string_view k : keys) (*t)[k] = row;
        };
        add({u"$", u"US$", u"USD", u"A$", u"AU$", u"AUD", u"C$", u"CA$", u"CAD", u"NZ$", u"S$", u"SGD", u"HK$"},
            {u"dollar", u"dollars", u"cent", u"cents"});
        add({u"€", u"EUR"}, {u"euro", u"euros", u"cent", u"cents"});
        add({u"£", u"GBP"}, {u"pound", u"pounds", u"penny", u"pence"});
        add({u"₹", u"Rs.", u"Rs", u"INR", u"rs.", u"₨"}, {u"rupee", u"rupees", u"paisa", u"paise"});
        add({u"¥", u"JPY"}, {u"yen", u"yen", u"", u""});
        add({u"₩"}, {u"won", u"won", u"", u""});
        add({u"₽"}, {u"ruble", u"rubles", u"kopek", u"kopeks"});
        add({u"₱"}, {u"peso", u"pesos", u"centavo", u"centavos"});
        add({u"₺"}, {u"lira", u"lira", u"kurus", u"kurus"});
        add({u"₦"}, {u"naira", u"naira", u"kobo", u"kobo"});
        add({u"₿"}, {u"bitcoin", u"bitcoin", u"", u""});
        add({u"¢"}, {u"cent", u"cents", u"", u""});
        return t;
    }();
    return *table;
}

// Symbol or code before the number. The full stop after a scale word is
// taken only when the sentence goes on after it ("$5 mn. in sales"), so a
// sum that ends a sentence keeps its full stop.
// The whole part may be left out ("$.25"); a comma before exactly two
// digits is a decimal comma ("€5,50", group 4); a range end after a hyphen
// or dash is group 5 ("$10-20"); the scale word is group 6.
constexpr std::u16string_view BEFORE =
    uR"((US\$|AU?\$|CA?\$|NZ\$|S\$|HK\$|\$|€|£|₹|₨|¥|₩|₽|₱|₺|₦|₿|\bRs\.?|\b(?:USD|EUR|GBP|INR|JPY|AUD|CAD|SGD)\b)\s?(?=\.?\d)(\d{1,3}(?:,\d{3})+(?!\d)|\d*)(?:\.(\d+)|,(\d{2})(?![\d,]))?(?:[-–—](\d+)(?![\d.,]))?(?:\s?(k|K|m|M|mn|bn|b|B|million|billion|trillion|thousand|lakh|lakhs|crore|crores|cr)\b(?:\.(?=\s+[a-z0-9]))?)?)";
// Number before a code, "¢" or "€".
constexpr std::u16string_view AFTER =
    uR"((?<![\w.])(\d{1,3}(?:,\d{3})+|\d+)(?:\.(\d+))?(?:\s?(k|K|m|M|mn|bn|b|B|million|billion|trillion|thousand|lakh|lakhs|crore|crores|cr)\b\.?)?\s?(USD|EUR|GBP|INR|JPY|AUD|CAD|SGD|¢|€)(?![\w]))";

// A rate after a sum ("$20/mo", "€3 / kg"): the slash is "per" and the
// abbreviation its word, singular. (The match starts at the slash and looks
// back for the currency, so the scan only stops at slashes.)
constexpr std::u16string_view PER =
    uR"(/(?<=\b(?:dollars?|cents?|euros?|pounds?|penny|pence|rupees?|paisa|paise|yen|won|rubles?|kopeks?|pesos?|centavos?|lira|kurus|naira|kobo|bitcoin)\s?/)\s?(mo|mos|mth|month|yr|year|hr|h|hour|wk|week|day|night|min|minute|person|head|user|seat|share|unit|item|page|dozen|kg|lb|oz|g|L|l|gal|km|mi|ft|sq ft|GB|TB)\b(?![/\w]))";

std::u16string perWord(const std::u16string& abbr) {
    static const std::pair<std::u16string_view, std::u16string_view> words[] = {
        {u"mo", u"month"}, {u"mos", u"month"}, {u"mth", u"month"}, {u"yr", u"year"},        {u"hr", u"hour"},
        {u"h", u"hour"},   {u"wk", u"week"},   {u"min", u"minute"}, {u"kg", u"kilogram"},   {u"lb", u"pound"},
        {u"oz", u"ounce"}, {u"g", u"gram"},    {u"L", u"liter"},    {u"l", u"liter"},       {u"gal", u"gallon"},
        {u"km", u"kilometer"}, {u"mi", u"mile"}, {u"ft", u"foot"},  {u"sq ft", u"square foot"},
        {u"GB", u"gigabyte"}, {u"TB", u"terabyte"}};
    for (const auto& [a, w] : words) {
        if (abbr == a) return std::u16string(w);
    }
    return abbr;  // already a word: "month", "day", "person" ...
}

std::u16string money(const std::u16string& cur, const std::u16string& num, const std::optional<std::u16string>& frac,
                     const std::optional<std::u16string>& scale) {
    const auto& table = CURRENCY();
    auto it = table.find(cur);
    const Currency& row = it != table.end() ? it->second : table.at(u"$");
    int64_t n = plong(num);
    std::u16string words = detail::wholeNumber(num);
    auto major = [&](bool one) { return std::u16string(one ? row.one : row.many); };
    if (scale) {
        std::u16string out = words;
        if (frac) out += u" point " + digits(*frac);
        return out + u' ' + scaleWord(*scale) + u' ' + major(false);
    }
    if (!frac) return words + u' ' + major(n == 1);
    if (!row.minorOne.empty() && frac->size() == 2) {
        int64_t c = plong(*frac);
        std::u16string minor = cardinal(c) + u' ' + std::u16string(c == 1 ? row.minorOne : row.minorMany);
        if (n != 0) {
            std::u16string out = words + u' ' + major(n == 1);
            return c == 0 ? out : out + u" and " + minor;
        }
        return minor;
    }
    return words + u" point " + digits(*frac) + u' ' + major(false);
}

// Whether one of the currency codes, or one of `signs`, occurs.
bool anyCurrency(const std::u16string& s, std::u16string_view signs) {
    if (detail::anyOf(s, signs)) return true;
    for (std::u16string_view code : {u"USD", u"EUR", u"GBP", u"INR", u"JPY", u"AUD", u"CAD", u"SGD"}) {
        if (s.find(code) != std::u16string::npos) return true;
    }
    return false;
}

}  // namespace

std::u16string amounts(const std::u16string& s) {
    const Regex& before = detail::re(BEFORE);
    const Regex& after = detail::re(AFTER);
    detail::re(PER);
    if (!anyDigit(s)) return s;
    std::u16string t = s;
    if (anyCurrency(t, u"$€£₹₨¥₩₽₱₺₦₿") || t.find(u"Rs") != std::u16string::npos) {
        t = before.replaceAll(t, [](const JMatch& m) {
            std::u16string num = m.group(2)->empty() ? u"0" : *m.group(2);
            auto frac = m.group(3) ? m.group(3) : m.group(4);
            if (auto upTo = m.group(5)) {
                // "$10-20": both ends are sums; the unit is said once, after the second.
                return detail::wholeNumber(num) + u" to " + money(*m.group(1), *upTo, std::nullopt, m.group(6));
            }
            return money(*m.group(1), num, frac, m.group(6));
        });
    }
    if (anyCurrency(t, u"¢€")) {
        t = after.replaceAll(t, [](const JMatch& m) { return money(*m.group(4), *m.group(1), m.group(2), m.group(3)); });
    }
    if (!detail::maybeRate(t)) return t;
    return detail::rewrite(t, PER, u"/", [](const JMatch& m) { return u" per " + perWord(*m.group(1)); });
}

bool detail::maybeRate(const std::u16string& s) {
    // Every currency word PER looks back for.
    static constexpr std::u16string_view words[] = {
        u"dollar", u"dollars", u"cent", u"cents", u"euro", u"euros", u"pound", u"pounds", u"penny", u"pence",
        u"rupee", u"rupees", u"paisa", u"paise", u"yen", u"won", u"ruble", u"rubles", u"kopek", u"kopeks",
        u"peso", u"pesos", u"centavo", u"centavos", u"lira", u"kurus", u"naira", u"kobo", u"bitcoin"};
    for (size_t i = s.find(u'/'); i != std::u16string::npos; i = s.find(u'/', i + 1)) {
        size_t j = i;
        if (j > 0 && spaceAt(s, j - 1)) j--;
        size_t w = j;
        while (w > 0 && s[w - 1] >= u'a' && s[w - 1] <= u'z') w--;
        std::u16string_view word(s.data() + w, j - w);
        for (std::u16string_view c : words) {
            if (word.size() >= c.size() && word.substr(word.size() - c.size()) == c) return true;
        }
    }
    return false;
}

std::vector<std::u16string_view> detail::amountPatterns() {
    return {BEFORE, AFTER, PER};
}

}  // namespace tovan::Spoken
