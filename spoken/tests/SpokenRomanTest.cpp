#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

TEST(SpokenRoman, NumeralsAreReadWhereTheContextShowsANumber) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"WWII ended", "World War two ended"},
        {"WW2 and WW II", "World War two and World War two"},
        {"WW I", "World War one"},
        {"WWIII", "WWIII"},
        {"I", "One."},
        {"XII.", "Twelve."},
        {" IV. ", "Four."},
        {"MMXXIV", "MMXXIV"},
        {"Chapter IV", "Chapter four"},
        {"Chapter XII.", "Chapter twelve."},
        {"vol. xii", "vol. twelve"},
        {"chapter iv begins", "chapter four begins"},
        {"World War II began", "World War two began"},
        {"In part I think so", "In part I think so"},
        {"Part I was long", "Part I was long"},
        {"This is Part I.", "This is Part one."},
        {"Chapter IV's end", "Chapter IV's end"},
        {"IV. The Return", "Four. The Return"},
        {"  II. \"Next\"", "  Two. \"Next\""},
        {"Henry VIII had", "Henry the eighth had"},
        {"Louis XIV's reign", "Louis the fourteenth's reign"},
        {"Charles I.", "Charles the first."},
        {"Charles I was king", "Charles the first was king"},  // only a ruler's numeral takes "was" here
        {"Charles I of England", "Charles the first of England"},
        {"King Charles III said", "King Charles the third said"},
        {"Pope Francis spoke", "Pope Francis spoke"},
        {"John Smith III.", "John Smith the third."},
        {"Davis Love, III said", "Davis Love the third said"},
        {"Star Wars IV", "Star Wars the fourth"},
        {"I watched Rocky II.", "I watched Rocky two."},
        {"Super Bowl LVIII tonight", "Super Bowl fifty eight tonight"},
        {"Size XL and Size XXL", "Size XL and Size XXL"},
        {"Then Paul I thought", "Then Paul I thought"},
        {"Rocky II's fight", "Rocky II's fight"},
        {"Apple iPhone and MIDI", "Apple iPhone and MIDI"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::roman(u16(c.in))), c.out) << c.in;
}

TEST(SpokenRoman, LettersThatOnlyLookLikeNumeralsStayLetters) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"Appendix C lists them", "Appendix C lists them"},
        {"see Part D and Table L", "see Part D and Table L"},
        {"Section M.", "Section M."},
        {"C. D. Smith wrote", "C. D. Smith wrote"},
        {"D. The last item", "D. The last item"},
        {"Appendix X lists them", "Appendix ten lists them"},  // V and X stay numerals
        {"Part V", "Part five"},
        {"Elizabeth I ruled", "Elizabeth the first ruled"},
        {"Peter I died in 1725", "Peter the first died in 1725"},
        {"Queen Mary I said so", "Queen Mary the first said so"},
        {"Then Paul I thought", "Then Paul I thought"},  // the pronoun
        {"Mary I think so", "Mary I think so"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::roman(u16(c.in))), c.out) << c.in;
}
