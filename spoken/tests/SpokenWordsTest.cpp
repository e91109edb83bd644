#include "Spoken.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tovan;

TEST(SpokenWords, CardinalOrdinalAndYear) {
    struct Case {
        int64_t n;
        const char *cardinal, *ordinal, *year;
    } cases[] = {
        {0, "zero", "zeroth", "zero"},
        {-7, "minus seven", "minus seventh", "minus seven"},
        {-2, "minus two", "minus second", "minus two"},
        {1, "one", "first", "one"},
        {11, "eleven", "eleventh", "eleven"},
        {12, "twelve", "twelfth", "twelve"},
        {22, "twenty two", "twenty second", "twenty two"},
        {40, "forty", "fortieth", "forty"},
        {90, "ninety", "ninetieth", "ninety"},
        {100, "one hundred", "one hundredth", "one hundred"},
        {105, "one hundred five", "one hundred fifth", "one hundred five"},
        {121, "one hundred twenty one", "one hundred twenty first", "one hundred twenty one"},
        {999, "nine hundred ninety nine", "nine hundred ninety ninth", "nine hundred ninety nine"},
        {1000, "one thousand", "one thousandth", "one thousand"},
        {1001, "one thousand one", "one thousand first", "ten oh one"},
        {1066, "one thousand sixty six", "one thousand sixty sixth", "ten sixty six"},
        {1900, "one thousand nine hundred", "one thousand nine hundredth", "nineteen hundred"},
        {1905, "one thousand nine hundred five", "one thousand nine hundred fifth", "nineteen oh five"},
        {1984, "one thousand nine hundred eighty four", "one thousand nine hundred eighty fourth",
         "nineteen eighty four"},
        {2000, "two thousand", "two thousandth", "two thousand"},
        {2009, "two thousand nine", "two thousand ninth", "two thousand nine"},
        {2010, "two thousand ten", "two thousand tenth", "twenty ten"},
        {2024, "two thousand twenty four", "two thousand twenty fourth", "twenty twenty four"},
        {3000, "three thousand", "three thousandth", "three thousand"},
        {1100, "one thousand one hundred", "one thousand one hundredth", "eleven hundred"},
        {10000, "ten thousand", "ten thousandth", "ten thousand"},
        {12345, "twelve thousand three hundred forty five", "twelve thousand three hundred forty fifth",
         "twelve thousand three hundred forty five"},
        {1000001, "one million one", "one million first", "one million one"},
        {1000100, "one million one hundred", "one million one hundredth", "one million one hundred"},
        {2000000, "two million", "two millionth", "two million"},
        {1000000000, "one billion", "one billionth", "one billion"},
        {1000000000000000, "one quadrillion", "one quadrillionth", "one quadrillion"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(u8(Spoken::cardinal(c.n)), c.cardinal) << c.n;
        EXPECT_EQ(u8(Spoken::ordinal(c.n)), c.ordinal) << c.n;
        EXPECT_EQ(u8(Spoken::year(c.n)), c.year) << c.n;
    }
}

TEST(SpokenWords, CardinalReadsTheWholeInt64Range) {
    // Nothing is silently dropped above 10^18.
    EXPECT_EQ(u8(Spoken::cardinal(std::numeric_limits<int64_t>::max())),
              "nine quintillion two hundred twenty three quadrillion three hundred seventy two trillion "
              "thirty six billion eight hundred fifty four million seven hundred seventy five thousand "
              "eight hundred seven");
    EXPECT_EQ(u8(Spoken::cardinal(std::numeric_limits<int64_t>::min())),
              u8(u"minus " + Spoken::cardinal(std::numeric_limits<int64_t>::max())));
    EXPECT_EQ(u8(Spoken::cardinal(1000000000000000000)), "one quintillion");
}

TEST(SpokenWords, DigitGroupsAndValues) {
    struct Case {
        const char* in;
        const char* digits;
        std::vector<std::string> groups;
        const char* spaced;
    } cases[] = {
        {"", "", {}, ""},
        {"7", "seven", {"7"}, "seven"},
        {"1234", "one two three four", {"1234"}, "one two three four"},
        {"12345", "one two three four five", {"123", "45"}, "one two three, four five"},
        {"123456", "one two three four five six", {"123", "456"}, "one two three, four five six"},
        {"1234567", "one two three four five six seven", {"123", "4567"}, "one two three, four five six seven"},
        {"12345678", "one two three four five six seven eight", {"1234", "5678"},
         "one two three four, five six seven eight"},
        {"123456789", "one two three four five six seven eight nine", {"123", "456", "789"},
         "one two three, four five six, seven eight nine"},
        {"1234567890", "one two three four five six seven eight nine zero", {"123", "456", "7890"},
         "one two three, four five six, seven eight nine zero"},
        {"12345678901", "one two three four five six seven eight nine zero one", {"123", "4567", "8901"},
         "one two three, four five six seven, eight nine zero one"},
        {"007", "zero zero seven", {"007"}, "zero zero seven"},
        {"4-2", "four two", {"4-2"}, "four two"},
        {"abc", "", {"abc"}, ""},
        {"٣4", "four", {"٣4"}, "four"},  // other scripts' digits are not read aloud
    };
    for (const Case& c : cases) {
        EXPECT_EQ(u8(Spoken::digits(u16(c.in))), c.digits) << c.in;
        std::vector<std::string> got;
        for (const auto& g : Spoken::groups(u16(c.in))) got.push_back(u8(g));
        EXPECT_EQ(got, c.groups) << c.in;
        EXPECT_EQ(u8(Spoken::spaced(u16(c.in))), c.spaced) << c.in;
    }
    std::vector<size_t> sizes;
    for (const auto& g : Spoken::groups(u"1234567890123")) sizes.push_back(g.size());
    EXPECT_EQ(sizes, (std::vector<size_t>{3, 3, 3, 4}));
}

TEST(SpokenWords, PlongReadsDecimalDigitsOfAnyScriptAndSaturates) {
    struct Case {
        const char* in;
        int64_t value;
    } cases[] = {
        {"2,500", 2500},
        {"1.2.3", 123},
        {"", 0},
        {"abc", 0},
        {"٣٤", 34},           // Arabic-Indic digits
        {"१२", 12},           // Devanagari digits
        {"𝟗𝟗", 99},           // mathematical bold digits, outside the BMP
        {"½", 0},             // a number, but not a decimal digit
        {"9223372036854775807", std::numeric_limits<int64_t>::max()},
        {"9223372036854775808", std::numeric_limits<int64_t>::max()},
        {"99999999999999999999", std::numeric_limits<int64_t>::max()},
    };
    for (const Case& c : cases) EXPECT_EQ(Spoken::plong(u16(c.in)), c.value) << c.in;
}

TEST(SpokenWords, YearAtLooksForACountedNounAfterTheNumber) {
    struct Case {
        const char* text;
        int at;
        bool year;
    } cases[] = {
        {"1990 was", 4, true},
        {"1990 people", 4, false},
        {"1990 of them", 4, false},
        {"1990 PEOPLE came", 4, false},
        {"1990", 4, true},
        {"in 1990, people", 7, true},          // the comma comes first
        {"1990 km", 4, false},
        {"1990 peoplesque", 4, true},           // a longer word is not the noun
        {"1990                         people", 4, true},  // beyond the 24-unit window
        {"1990", 9, true},                      // past the end
    };
    for (const Case& c : cases) EXPECT_EQ(Spoken::yearAt(u16(c.text), c.at), c.year) << c.text;
}
