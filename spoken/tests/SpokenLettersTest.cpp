#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

TEST(SpokenLetters, FoldsTextToWhatTheEngineReads) {
    struct Case {
        std::u16string in;
        const char* out;
    } cases[] = {
        // Outside the BMP (emoji, its skin-tone modifier) each scalar is a space.
        {u"good \U0001F44D\U0001F3FD job", "good    job"},
        {u"I \u2764\uFE0F it", "I \u2764 it"},
        {u"\u0663 and \uFF13", "3 and 3"},
        {u"m\u00B2 and 2\u00B3", "m squared and 2 cubed"},
        {u"\u00B2 alone", "2 alone"},
        {u"10\u00A0km, thin\u2009space\u3000wide", "10 km, thin space wide"},
        {u"in\u00ADcred\u00ADible zero\u200Bwidth \uFEFFmark", "incredible zerowidth mark"},
        {u"tab\there\nline\r\nbreak", "tab here\nline\r\nbreak"},
        {u"M\u00FCller Stra\u00DFe \u00D8resund \uFB01nal", "Muller Strasse Oresund final"},
        {u"Brand\u2122 Co\u00AE \u00A9 2024", "Brand Co  copyright  2024"},
        {u"\u00A7\u00A7 4-5 and \u00A7 3 and \u2116 9", " sections  4-5 and  section  3 and  number  9"},
        {u"\u00C6sir \u0153uvre \u0141\u00F3d\u017A \u00DEor", "Aesir oeuvre Lodz Thor"},
        {u"3\u22122 \u2012 x\u2032 y\u2033", "3-2 \u2013 x' y\""},
        {u"5 \u00B5s and 10 \u03BCm", "5 micros and 10 microm"},
        {u"\u00B5x", " x"},
        {u"220\u03A9 and 220 \u03A9, \u03A9", "220 ohms and 220 ohms,  omega "},
        {u"\u03C0 r", " pi  r"},
        {u"\u0394t", " delta t"},
        {u"2\u00BD cups", "2 1/2 cups"},
        {u"\u215B", "1/8"},
        {u"\u041F\u0440\u0438\u0432\u0435\u0442, world", " , world"},
        {u"\u4E2D\u6587\u5B57 ok", "  ok"},
        {u"\uFF57\uFF57\uFF57\uFF0E\uFF45\uFF58\uFF41\uFF4D\uFF50\uFF4C\uFF45\uFF0E\uFF43\uFF4F\uFF4D", "www.example.com"},
        {u"_really_ snake_case _ alone", "really snakecase _ alone"},
        {u"plain ASCII text stays", "plain ASCII text stays"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::letters(c.in)), c.out) << u8(c.in);
}

TEST(SpokenLetters, BrokenAndControlUnitsBecomeSpaces) {
    // A lone surrogate is no character, and a NUL would end the text where it
    // crosses to the engine as a C string.
    std::u16string in = u"a";
    in += char16_t(0xD800);
    in += u"b";
    in += char16_t(0xDC00);
    in += u"c";
    in += char16_t(0);
    in += u"d\x1B" u"e\x7F" u"f";
    EXPECT_EQ(Spoken::letters(in), u"a b c d e f");
    std::u16string pair = u"x\U0001F600y";
    EXPECT_EQ(Spoken::letters(pair), u"x y");
}
