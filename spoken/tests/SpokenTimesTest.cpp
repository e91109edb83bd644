#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

TEST(SpokenTimes, PassReadsClockTimesRangesAndDurations) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"9:30 pm", "nine thirty pee em"},
        {"9-11am", "nine to eleven ay em"},
        {"9:30-11:45 pm", "nine thirty to eleven forty five pee em"},
        {"9:05–11 P.M.", "nine oh five to eleven pee em."},  // a last stop ends the sentence
        {"Mon-Fri", "Monday to Friday"},
        {"TUE – THU", "Tuesday to Thursday"},
        {"Thurs.—Sat.", "Thursday to Saturday."},
        {"Thurs.—Sat. only", "Thursday to Saturday only"},
        {"2h 30m", "two hours thirty minutes"},
        {"1 h 1 min", "one hour one minute"},
        {"9:00-17:00", "nine o'clock to five pee em"},
        {"10-11:30 am", "ten to eleven thirty ay em"},
        {"10am-2pm", "ten ay em to two pee em"},
        {"0:45", "twelve forty five ay em"},
        {"00:15", "twelve fifteen ay em"},
        {"12:05", "twelve oh five"},
        {"12:00", "twelve o'clock"},
        {"13:00", "one pee em"},
        {"18:45", "six forty five pee em"},
        {"23:59", "eleven fifty nine pee em"},
        {"9:05", "nine oh five"},
        {"1:02:03", "one hour, two minutes and three seconds"},
        {"1:00:05", "one hour and five seconds"},
        {"0:02:03", "two minutes and three seconds"},
        {"0:00:00", "zero seconds"},
        {"10:30:15 pm", "ten thirty pee em"},
        {"7.30pm", "seven thirty pee em"},
        {"3pm", "three pee em"},
        {"3 PM", "three pee em"},
        {"3 P.M.", "three pee em."},
        {"3 P.M. sharp", "three pee em sharp"},
        {"11 a.m.", "eleven ay em."},
        {"12am", "twelve ay em"},
        {"12 pm", "twelve pee em"},
        {"at 3pmx", "at 3pmx"},
        {"24:00", "24:00"},
        {"7:60", "7:60"},
        {"3.5 pm", "3.5 pm"},
        {"1.9:30", "1.9:30"},
        {"x9:30", "xnine thirty"},         // a letter before does not stop it
        {"v1:2:3", "v1:2:3"},
        {"no times, 12 apples", "no times, 12 apples"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::times(u16(c.in))), c.out) << c.in;
}

TEST(SpokenTimes, ClockAndDuration) {
    struct Case {
        int64_t h, m;
        const char* ap;  // nullptr: no marker
        const char* out;
    } cases[] = {
        {9, 5, nullptr, "nine oh five"},   {12, 0, nullptr, "twelve o'clock"}, {0, 15, nullptr, "twelve fifteen ay em"},
        {13, 0, nullptr, "one pee em"},    {12, 0, "a", "twelve ay em"},      {12, 30, "P", "twelve thirty pee em"},
        {7, 9, "p", "seven oh nine pee em"}, {11, 10, "A", "eleven ten ay em"},
    };
    for (const Case& c : cases) {
        auto ap = c.ap ? std::optional<std::u16string>(u16(c.ap)) : std::nullopt;
        EXPECT_EQ(u8(Spoken::clock(c.h, c.m, ap)), c.out) << c.h << ":" << c.m;
    }
    EXPECT_EQ(u8(Spoken::duration(0, 0, 0)), "zero seconds");
    EXPECT_EQ(u8(Spoken::duration(1, 1, 1)), "one hour, one minute and one second");
    EXPECT_EQ(u8(Spoken::duration(2, 0, 0)), "two hours");
    EXPECT_EQ(u8(Spoken::duration(0, 5, 0)), "five minutes");
}
