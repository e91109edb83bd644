#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

TEST(SpokenAmounts, SumsOfMoneyAreReadInTheirCurrency) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"$5.25", "five dollars and twenty five cents"},
        {"$1,234.56", "one thousand two hundred thirty four dollars and fifty six cents"},
        {"$1", "one dollar"},
        {"$0", "zero dollars"},
        {"$5.00", "five dollars"},
        {"$1.01", "one dollar and one cent"},
        {"$0.99", "ninety nine cents"},
        {"$0.00", "zero cents"},
        {"$0.5", "zero point five dollars"},
        {"$1.999", "one point nine nine nine dollars"},
        {"US$20 and AU$20", "twenty dollars and twenty dollars"},
        {"Rs. 500 or \u20B9500", "five hundred rupees or five hundred rupees"},
        {"\u20B910 lakh", "ten lakh rupees"},
        {"\u20AC1.01", "one euro and one cent"},
        {"\u00A30.01", "one penny"},
        {"\u00A33.50", "three pounds and fifty pence"},
        {"\u00A51500 and \u00A52.25", "one thousand five hundred yen and two point two five yen"},
        {"\u20BF0.5", "zero point five bitcoin"},
        {"\u20A91000", "one thousand won"},
        {"$2.5m raised", "two point five million dollars raised"},
        {"$1m", "one million dollars"},
        {"$2.5bn", "two point five billion dollars"},
        {"$5 M", "five million dollars"},
        {"$5 Mbps", "five dollars Mbps"},
        {"50\u00A2", "fifty cents"},
        {"100 USD and 100USD", "one hundred dollars and one hundred dollars"},
        {"5 EUR", "five euros"},
        {"5 eur", "5 eur"},
        {"3 million GBP", "three million pounds"},
        {"EUR 20", "twenty euros"},
        {"5 km at 3.5", "5 km at 3.5"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::amounts(u16(c.in))), c.out) << c.in;
}

TEST(SpokenAmounts, AScaleWordKeepsTheFullStopThatEndsASentence) {
    // The dot after a scale word is an abbreviation's only when the sentence
    // goes on; at the end of one it is the sentence's.
    EXPECT_EQ(u8(Spoken::amounts(u"It raised $5m.")), "It raised five million dollars.");
    EXPECT_EQ(u8(Spoken::amounts(u"It raised $5m. Then it fell.")), "It raised five million dollars. Then it fell.");
    EXPECT_EQ(u8(Spoken::amounts(u"$5 mn. in sales")), "five million dollars in sales");
}

TEST(SpokenAmounts, DigitRunsTooLongForOneValueAreNotSaturated) {
    EXPECT_EQ(u8(Spoken::amounts(u"$12345678901234567890")),
              "one two three, four five six, seven eight nine, zero one two, three four five six, seven eight nine zero "
              "dollars");
}
