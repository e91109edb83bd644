#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

namespace {

// The number pass leaves doubled and outer spaces for the pipeline's
// clean-up; results are compared as they read after it.
std::string read(const char* in) {
    return u8(jtrim(rx(u" {2,}").replaceAll(Spoken::numbers(u16(in)), u" ")));
}

class SpokenNumbers : public ::testing::Test {
protected:
    void TearDown() override { Spoken::setDayFirst(true); }
};

}  // namespace

TEST_F(SpokenNumbers, EveryNumberLeftIsReadAsWords) {
    Spoken::setDayFirst(false);
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"3.14", "three point one four"},
        {".5", "point five"},
        {"0.25", "zero point two five"},
        {"1,234,567", "one million two hundred thirty four thousand five hundred sixty seven"},
        {"1,234.5", "one thousand two hundred thirty four point five"},
        {"1,23", "one,twenty three"},
        {"007", "zero zero seven"},
        {"0", "zero"},
        {"1234567", "one two three, four five six seven"},
        {"5000000", "five million"},
        {"123456", "one hundred twenty three thousand four hundred fifty six"},
        {"In 1984.", "In nineteen eighty four."},
        {"1984 people", "one thousand nine hundred eighty four people"},
        {"2099", "twenty ninety nine"},
        {"2100", "two thousand one hundred"},
        {"1099", "one thousand ninety nine"},
        {"c. 1850", "circa eighteen fifty"},
        {"the 1990s", "the nineteen nineties"},
        {"the 1900s", "the nineteen hundreds"},
        {"the 2000s", "the two thousands"},
        {"the 1800's", "the eighteen hundreds"},
        {"the '80s and the 80s", "the eighties and the eighties"},
        {"'99", "ninety nine"},
        {"the 60s", "the sixties"},
        {"21st", "twenty first"},
        {"3RD", "third"},
        {"22th", "twenty second"},
        {"3x4", "three by four"},
        {"3 x 4", "three times four"},
        {"3 \u00D74", "three times four"},
        {"1/2", "one half"},
        {"2 1/2", "two and a half"},
        {"1 1/4", "one and a quarter"},
        {"1/4", "one quarter"},
        {"3/4", "three quarters"},
        {"9/10", "nine tenths"},
        {"2/3", "two thirds"},
        {"0/5", "zero fifths"},
        {"5 2/3", "five and two thirds"},
        {"12/25", "December twenty fifth"},
        {"7/3", "July third"},
        {"13/40", "thirteen fortieths"},  // no date: a fraction past tenths
        {"3 13/40", "three and thirteen fortieths"},
        {"40/13", "forty thirteen"},  // neither a date nor a fraction
        {"2+2=4", "two plus two equals four"},
        {"5 \u2264 7", "five is at most seven"},
        {"5-10", "five to ten"},
        {"5 \u2013 10", "five to ten"},
        {"-5", "minus five"},
        {"F-16", "F sixteen"},
        {"A4", "A four"},
        {"~5", "about five"},
        {"16:9", "sixteen nine"},
        {"v2.1", "version two point one"},
        {"v1.2.3", "version one point two point three"},
        {"version v3", "version three"},
        {"invoice 12345678", "invoice one two three four, five six seven eight"},
        {"code 12", "code twelve"},
        {"#7", "number seven"},
        {"No. 12345", "number one two three, four five"},
        {"3.A.2", "three A two"},
        {"5 km", "five kilometers"},
        {"1 km", "one kilometer"},
        {"20\u00B0C", "twenty degrees Celsius"},
        {"50%", "fifty percent"},
        {"60 km/h", "sixty kilometers per hour"},
        {"Chapter IV, page 12", "Chapter four, page twelve"},
        {"no digits here", "no digits here"},
    };
    for (const Case& c : cases) EXPECT_EQ(read(c.in), c.out) << c.in;
}

TEST_F(SpokenNumbers, SlashedDayAndMonthFollowTheDateOrder) {
    Spoken::setDayFirst(true);
    EXPECT_EQ(read("25/12"), "December twenty fifth");
    EXPECT_EQ(read("7/3"), "March seventh");
    EXPECT_EQ(read("12/25"), "twelve twenty fifths");  // no date in this order: a fraction
    EXPECT_EQ(read("1/2"), "one half");  // a fraction either way
}

TEST_F(SpokenNumbers, LongDigitRunsAreReadInGroupsNotSaturated) {
    // 20 digits and more do not fit one value: read digit by digit in
    // groups rather than as nine quintillion and so on.
    EXPECT_EQ(read("10000000000000000000000"),
              "one zero zero, zero zero zero, zero zero zero, zero zero zero, zero zero zero, zero zero zero zero, zero "
              "zero zero zero");
    EXPECT_EQ(read("1000000000000000000"), "one quintillion");
    EXPECT_EQ(read("9000000000000000000"), "nine quintillion");
    EXPECT_EQ(read("99999999999999999999999.5").substr(0, 20), "nine nine nine, nine");
}
