// Number words and digit readings shared by every pass that says numbers.
#include "Spoken.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <limits>

namespace tovan::Spoken {

namespace {

constexpr std::array<std::u16string_view, 10> TENS = {
    u"", u"", u"twenty", u"thirty", u"forty", u"fifty", u"sixty", u"seventy", u"eighty", u"ninety"};

// Scale of each group of three digits, counted from the lowest.
constexpr std::array<std::u16string_view, 6> BIG = {
    u"", u" thousand", u" million", u" billion", u" trillion", u" quadrillion"};

// Words for 0 to 1999 (callers pass 0-999; year passes 10-99).
std::u16string below1000(int64_t n) {
    if (n < 20) return std::u16string(ONES[n]);
    if (n < 100) {
        std::u16string out(TENS[n / 10]);
        if (n % 10) {
            out += u' ';
            out += ONES[n % 10];
        }
        return out;
    }
    std::u16string out(ONES[n / 100]);
    out += u" hundred";
    if (n % 100) {
        out += u' ';
        out += below1000(n % 100);
    }
    return out;
}

}  // namespace

std::u16string cardinal(int64_t n) {
    if (n < 0) {
        int64_t mag = n == std::numeric_limits<int64_t>::min() ? std::numeric_limits<int64_t>::max() : -n;
        return u"minus " + cardinal(mag);
    }
    if (n < 1000) return below1000(n);
    std::u16string out;
    int64_t rest = n;
    for (int i = 0; i < 6; i++) {
        int64_t g = rest % 1000;
        if (g) {
            std::u16string piece = below1000(g);
            piece += BIG[i];
            out = out.empty() ? piece : piece + u' ' + out;
        }
        if (rest < 1000) return out;
        rest /= 1000;
    }
    // 10^18 and above: one more scale (rest is at most 9 here) rather than
    // silently dropping the highest digits.
    std::u16string piece = below1000(rest) + u" quintillion";
    return out.empty() ? piece : piece + u' ' + out;
}

std::u16string ordinal(int64_t n) {
    std::u16string words = cardinal(n);
    size_t space = words.rfind(u' ');
    std::u16string head = space == std::u16string::npos ? u"" : words.substr(0, space + 1);
    std::u16string last = space == std::u16string::npos ? words : words.substr(space + 1);
    static const std::pair<std::u16string_view, std::u16string_view> irregular[] = {
        {u"one", u"first"}, {u"two", u"second"}, {u"three", u"third"}, {u"five", u"fifth"},
        {u"eight", u"eighth"}, {u"nine", u"ninth"}, {u"twelve", u"twelfth"}};
    for (const auto& [word, ord] : irregular) {
        if (last == word) return head + std::u16string(ord);
    }
    if (!last.empty() && last.back() == u'y') return head + last.substr(0, last.size() - 1) + u"ieth";
    return head + last + u"th";
}

std::u16string year(int64_t n) {
    if (n < 1000 || n > 9999) return cardinal(n);
    if (n >= 2000 && n <= 2009) return cardinal(n);
    int64_t hi = n / 100, lo = n % 100;
    if (lo) {
        std::u16string out = cardinal(hi) + u' ';
        if (lo >= 10) return out + below1000(lo);
        return out + u"oh " + std::u16string(ONES[lo]);
    }
    if (hi % 10 == 0) return cardinal(n);
    return cardinal(hi) + u" hundred";
}

std::u16string digits(const std::u16string& s) {
    std::u16string out;
    for (char16_t c : s) {
        if (c < u'0' || c > u'9') continue;
        if (!out.empty()) out += u' ';
        out += ONES[c - u'0'];
    }
    return out;
}

std::vector<std::u16string> groups(const std::u16string& s) {
    std::vector<std::u16string> out;
    size_t n = s.size();
    if (n == 0) return out;
    size_t pos = 0;
    while (n - pos > 4) {
        size_t take = n - pos == 8 ? 4 : 3;
        out.push_back(s.substr(pos, take));
        pos += take;
    }
    out.push_back(s.substr(pos));
    return out;
}

int64_t plong(const std::u16string& s) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t v = 0;
    size_t i = 0;
    while (i < s.size()) {
        UChar32 c;
        U16_NEXT(s.data(), i, s.size(), c);
        if (u_charType(c) != U_DECIMAL_DIGIT_NUMBER) continue;
        int32_t d = u_charDigitValue(c);
        if (d < 0) continue;
        if (v > (kMax - d) / 10) return kMax;
        v = v * 10 + d;
    }
    return v;
}

std::u16string spaced(const std::u16string& s) {
    if (s.size() < 5) return digits(s);
    std::u16string out;
    for (const std::u16string& g : groups(s)) {
        if (!out.empty()) out += u", ";
        out += digits(g);
    }
    return out;
}

std::u16string denominator(int64_t n, bool plural) {
    static constexpr std::array<std::u16string_view, 11> words = {
        u"", u"", u"half", u"third", u"quarter", u"fifth", u"sixth", u"seventh", u"eighth", u"ninth", u"tenth"};
    if (n < 2 || n > 10) return u"";
    if (!plural) return std::u16string(words[n]);
    if (n == 2) return u"halves";
    return std::u16string(words[n]) + u's';
}

std::u16string op(std::u16string_view sign) {
    static const std::pair<std::u16string_view, std::u16string_view> words[] = {
        {u"+", u"plus"}, {u"=", u"equals"}, {u"÷", u"divided by"}, {u"^", u"to the power of"},
        {u"<", u"is less than"}, {u">", u"is greater than"}, {u"≤", u"is at most"},
        {u"≥", u"is at least"}, {u"≠", u"is not"}, {u"≈", u"is about"}};
    for (const auto& [s, w] : words) {
        if (sign == s) return std::u16string(w);
    }
    return u"plus or minus";
}

bool yearAt(const std::u16string& text, int at) {
    std::u16string window = jsub(text, at, at < 0 ? 24 : at + 24);
    auto m = rx(uR"(^\s+([A-Za-z]+))").find(window);
    if (!m) return true;
    std::u16string word = *m->group(1);
    for (char16_t& c : word) c = static_cast<char16_t>(u_tolower(c));
    return std::find(COUNTED.begin(), COUNTED.end(), word) == COUNTED.end();
}

}  // namespace tovan::Spoken
