#include <gtest/gtest.h>

#include <string>

#include "Utf16.h"

namespace tovan {
namespace {

TEST(Utf16, ClassifiesOneUnit) {
    struct Case {
        char16_t c;
        bool space, digit, letter;
    };
    const Case cases[] = {
        {u' ', true, false, false},      {u'\t', true, false, false},     {u'\x1C', true, false, false},
        {u'\x1F', true, false, false},   {u'\u00A0', false, false, false}, {u'\u2007', false, false, false},
        {u'\u202F', false, false, false}, {u'\u2003', true, false, false},  {u'\u2029', true, false, false},
        {u'\u0085', false, false, false}, {u'7', false, true, false}, {u'\u0663', false, true, false},
        {u'\u00BD', false, false, false}, {u'a', false, false, true},      {u'\u02B0', false, false, true},
        {u'\u05D0', false, false, true},  {u'\u01C5', false, false, true}, {char16_t(0xD83D), false, false, false},
        {char16_t(0xDE00), false, false, false}, {u'\uE000', false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16::isWhitespace(c.c), c.space) << std::hex << int(c.c);
        EXPECT_EQ(Utf16::isDigit(c.c), c.digit) << std::hex << int(c.c);
        EXPECT_EQ(Utf16::isLetter(c.c), c.letter) << std::hex << int(c.c);
    }
    EXPECT_EQ(Utf16::trim(u"\x01 \t a b \n\x7F "), u"a b \n\x7F");
    EXPECT_EQ(Utf16::trim(u"\u00A0x\u2003"), u"\u00A0x\u2003");  // only units up to U+0020 go
    EXPECT_EQ(Utf16::trim(u"   "), u"");
}

TEST(Utf16, CaseMappingIsFullAndGrowsPastItsFirstGuess) {
    struct Case {
        std::u16string in, lower, upper;
    };
    const Case cases[] = {
        {u"", u"", u""},
        {u"Mr.", u"mr.", u"MR."},
        {u"\u00C9T\u00C9 \u03A3\u03A3", u"\u00E9t\u00E9 \u03C3\u03C2", u"\u00C9T\u00C9 \u03A3\u03A3"},
        {u"stra\u00DFe", u"stra\u00DFe", u"STRASSE"},
        // Twelve sharp s grow by twelve units: more than the first buffer holds.
        {std::u16string(12, u'\u00DF'), std::u16string(12, u'\u00DF'), std::u16string(24, u'S')},
        {u"\U0001D400\U0001D41A", u"\U0001D400\U0001D41A", u"\U0001D400\U0001D41A"},
        {u"\U00010400x", u"\U00010428x", u"\U00010400X"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16::lowercased(c.in), c.lower) << c.in.size();
        EXPECT_EQ(Utf16::uppercased(c.in), c.upper) << c.in.size();
    }
}

}  // namespace
}  // namespace tovan
