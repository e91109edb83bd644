#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

namespace {

// The date order is process-wide: each test sets it and puts it back.
class SpokenDates : public ::testing::Test {
protected:
    void SetUp() override { saved = Spoken::dayFirst(); }
    void TearDown() override { Spoken::setDayFirst(saved); }
    bool saved = true;
};

enum Order { Either, DayFirst, MonthFirst };

}  // namespace

TEST_F(SpokenDates, PassReadsDatesAndLeavesTheRest) {
    struct Case {
        Order order;
        const char *in, *out;
    } cases[] = {
        // ISO dates
        {Either, "2024-03-05", "March fifth, twenty twenty four"},
        {Either, "on 2024-02-31.", "on February thirty first, twenty twenty four."},  // no month-length check
        {Either, "2024-13-01", "2024-13-01"},
        {Either, "2024-03-00", "2024-03-00"},
        {Either, "2024-03-05-1", "2024-03-05-1"},
        // numeric dates
        {Either, "12/25/2024", "December twenty fifth, twenty twenty four"},
        {Either, "25/12/24", "December twenty fifth, twenty twenty four"},
        {DayFirst, "05/03/2024", "March fifth, twenty twenty four"},
        {MonthFirst, "05/03/2024", "May third, twenty twenty four"},
        {DayFirst, "3/4/1999", "April third, nineteen ninety nine"},
        {MonthFirst, "3/4/1999", "March fourth, nineteen ninety nine"},
        {MonthFirst, "1-2-05", "January second, two thousand five"},
        {MonthFirst, "1-2-50", "January second, nineteen fifty"},
        {Either, "1.5.24", "1.5.24"},
        {DayFirst, "1.5.2024", "May first, twenty twenty four"},
        {MonthFirst, "born on 5/3/2024.", "born on May third, twenty twenty four."},  // sentence end
        {DayFirst, "on 1.5.2024. Then", "on May first, twenty twenty four. Then"},
        {Either, "5/3/2024.1", "5/3/2024.1"},
        {Either, "5/3/2024/1", "5/3/2024/1"},
        {Either, "13/13/2024", "13/13/2024"},
        {Either, "5/3-2024", "5/3-2024"},  // the separator must repeat
        // weekday with a numeric date
        {MonthFirst, "Tue 3/12", "Tuesday, March twelfth"},
        {DayFirst, "Tue 3/12", "Tuesday, December third"},
        {DayFirst, "Fri, 25/12", "Friday, December twenty fifth"},
        {MonthFirst, "Fri, 25/12", "Friday, December twenty fifth"},
        {Either, "Mon 13/14", "Monday 13/14"},  // no valid month: only the weekday is read
        // month names
        {Either, "March 5th", "March fifth"},
        {Either, "Mar. 5", "March fifth"},
        {Either, "SEPT 22nd", "September twenty second"},
        {Either, "March 5:30", "March 5:30"},
        {Either, "May 12.5", "May 12.5"},
        {Either, "March 32", "March 32"},
        {Either, "march 5", "march 5"},
        {Either, "5th of March", "the fifth of March"},
        {Either, "on the 5th of March", "on the fifth of March"},
        {Either, "5 March", "the fifth of March"},
        {Either, "1.5 March", "1.5 March"},
        {Either, "March 2024", "March 2024"},
        {Either, "Sept 2024", "September 2024"},
        {Either, "Jan. 1999 and Dec 12", "January 1999 and December twelfth"},
        // weekday names
        {Either, "Mon, 5 March", "Monday, the fifth of March"},
        {Either, "Fri at noon", "Friday at noon"},
        {Either, "Thurs the 4th", "Thursday the 4th"},
        {Either, "Sun.", "Sun."},
        {Either, "Sat. 9 am", "Saturday 9 am"},
        {Either, "no dates here, 12 apples", "no dates here, 12 apples"},
    };
    for (const Case& c : cases) {
        for (bool dayFirst : {true, false}) {
            if ((c.order == DayFirst && !dayFirst) || (c.order == MonthFirst && dayFirst)) continue;
            Spoken::setDayFirst(dayFirst);
            EXPECT_EQ(u8(Spoken::dates(u16(c.in))), c.out) << c.in << (dayFirst ? " (day first)" : " (month first)");
        }
    }
}

TEST_F(SpokenDates, MonthAndWeekdayNames) {
    struct Case {
        const char* in;
        int month;
        const char* weekday;
    } cases[] = {
        {"Sept", 9, "Sept"},   {"MAY", 5, "MAY"},     {"Foo", 1, "Foo"},       {"december", 12, "december"},
        {"Tu", 1, "Tuesday"},  {"Thu", 1, "Thursday"}, {"SAT", 1, "Saturday"}, {"Sun", 1, "Sunday"},
        {"Xyz", 1, "Xyz"},     {"Mon", 1, "Monday"},  {"Jun", 6, "Jun"},       {"Ju", 6, "Ju"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Spoken::month(u16(c.in)), c.month) << c.in;
        EXPECT_EQ(u8(Spoken::weekday(u16(c.in))), c.weekday) << c.in;
    }
}

TEST_F(SpokenDates, DayFirstUnlessTheRegionIsUS) {
    struct Case {
        const char* locale;
        bool dayFirst;
    } cases[] = {
        {"en_US.UTF-8", false}, {"en-US", false},      {"es_US", false},    {"en_GB.UTF-8", true},
        {"de_DE@euro", true},   {"C", true},           {"C.UTF-8", true},   {"POSIX", true},
        {"", true},             {"zh_Hant_TW", true},  {"sr_Latn_US", false}, {"es_419", true},
        {"en", true},           {"en_us", false},
    };
    for (const Case& c : cases) EXPECT_EQ(Spoken::defaultDayFirst(c.locale), c.dayFirst) << c.locale;
}

TEST_F(SpokenDates, SetDayFirstSticks) {
    Spoken::setDayFirst(false);
    EXPECT_FALSE(Spoken::dayFirst());
    Spoken::setDayFirst(true);
    EXPECT_TRUE(Spoken::dayFirst());
}
