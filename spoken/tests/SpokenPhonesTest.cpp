#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

TEST(SpokenPhones, PassReadsPhoneNumbersInDigitGroups) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"(555) 123-4567", " five five five, one two three, four five six seven "},
        {"555-123-4567", " five five five, one two three, four five six seven "},
        {"555.123.4567", " five five five, one two three, four five six seven "},
        {"98765 43210", " nine eight seven six five, four three two one zero "},
        {"1234 56789", "1234 56789"},
        {"1234-56789", " one two three four, five six seven eight nine "},
        {"555 1234", "555 1234"},
        {"2024-2025", "2024-2025"},
        {"+91 9876543210", " plus nine one, nine eight seven, six five four, three two one zero "},
        {"+4915112345678", " plus four nine one, five one one, two three four, five six seven eight "},
        {"+44 20 7946 0958", " plus four four, two zero, seven nine four six, zero nine five eight "},
        {"1 800 555 0199", "1  eight zero zero, five five five, zero one nine nine "},
        {"call 555-123-4567.", "call  five five five, one two three, four five six seven ."},
        {"555-123-4567.5", "555-123-4567.5"},       // a decimal after it: not a phone number
        {"x555-123-4567", "x555-123-4567"},
        {"12345 678901234", "12345 678901234"},     // a block longer than five digits
        {"(1234) 56789-56789", "(1234) 56789-56789"},  // 14 digits
        {"no phone, 12 apples", "no phone, 12 apples"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::phones(u16(c.in))), c.out) << c.in;
}

TEST(SpokenPhones, PhoneReadsOneNumber) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {" +1 (555) 123-4567\n", " plus one, five five five, one two three, four five six seven "},
        {"0123456789", " zero one two, three four five, six seven eight nine "},
        {"12", " one two "},
        {"", "  "},
        {"+", " plus  "},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::phone(u16(c.in))), c.out) << c.in;
}
