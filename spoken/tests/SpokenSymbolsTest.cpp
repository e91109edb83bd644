#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

TEST(SpokenSymbols, AbbreviationsMarksAndSignsAreReadAsWords) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"", ""},
        {"Nothing to change here.", "Nothing to change here."},
        {"coffee w/o sugar", "coffee without sugar"},
        {"tea w/milk", "tea with milk"},
        {"tea w/ milk", "tea with  milk"},
        {"W/O", "W O"},
        {"late b/c of rain", "late because of rain"},
        {"Lisbon, aka Lisboa", "Lisbon, also known as Lisboa"},
        {"A.K.A. Lisboa", "also known as Lisboa"},
        {"a.k.a Lisboa", "also known as Lisboa"},
        {"cats vs. dogs vs birds", "cats versus dogs versus birds"},
        {"approx. ten", "approximately ten"},
        {"one tsp.", "one teaspoon"},
        {"two tsps sugar", "two teaspoon sugar"},
        {"a tbsp of oil", "a tablespoon of oil"},
        {"Maple St.", "Maple Street."},
        {"Maple St, Springfield", "Maple Street, Springfield"},
        {"Elm Rd;", "Elm Road;"},
        {"Oak Ave\nnext", "Oak Avenue\nnext"},
        {"Sunset Blvd", "Sunset Boulevard"},
        {"Penny Ln", "Penny Lane"},
        {"Maple St is closed", "Maple St is closed"},
        {"St Louis", "St Louis"},
        {"Ox Rd", "Ox Rd"},
        {"NewPort St", "NewPort St"},
        {"Mt. Fuji and Ft. Worth", "Mount Fuji and Fort Worth"},
        {"Mt. fuji", "Mt. fuji"},
        {"A \u2192 B", "A to B"},
        {"A\u2192B", "A to B"},
        {"A \u21D0 B", "A from B"},
        {"\u2022 one \u2022 two", "one, two"},
        {"red | green \u00B7 blue", "red, green, blue"},
        {"a\n\u2022 b", "a, b"},
        {"\u2713 Done", "  Done"},
        {"\u2605\u2605\u2605", "   "},
        {"5 \u00B1 2", "5  plus or minus  2"},
        {"90\u00B0", "90 degrees "},
        {"a\u2260b", "a is not b"},
        {"meet @ noon", "meet at noon"},
        {"@ the end", "at the end"},
        {"me@home", "me at home"},
        {"x + y = z", "x plus y equals z"},
        {"x+y and x=y", "x plus y and x equals y"},
        {"C++ and a+=1", "C++ and a+=1"},
        {"fifty % and % off", "fifty percent and percent off"},
        {"50%", "50%"},
        {"snake_case a__b {x} x^2 back\\slash", "snake case a b  x  x 2 back slash"},
        {"and/or", "and or"},
        {"a / b", "a slash b"},
        {"# Title", " Title"},
        {"a # b", "a  b"},
        {"end #", "end "},
        {"#1 and C#", "#1 and C#"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::symbols(u16(c.in))), c.out) << c.in;
}

TEST(SpokenSymbols, NoStreetMarkerReachesTheOutput) {
    // The marker is written by one rule and consumed by the next, whatever
    // the suffix.
    for (const char* suffix : {"St", "Ave", "Rd", "Blvd", "Ln"}) {
        std::string in = std::string("Main ") + suffix + ".";
        EXPECT_EQ(u8(Spoken::symbols(u16(in))).find("@@"), std::string::npos) << in;
    }
}
