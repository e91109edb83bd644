#include "IcsCalendars.h"

#include "Regex.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace tovan {
namespace {

using test::TempDir;

// 2024-03-01 10:00:00 UTC
constexpr double T0 = 1709287200;

std::string calendar(const std::string& events) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
           "BEGIN:VTIMEZONE\r\nTZID:Test/Plus2\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
           "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0200\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n" +
           events + "END:VCALENDAR\r\n";
}

TEST(IcsCalendars, ReadsEventsOverlappingTheSpan) {
    const std::string ics = calendar(
        "BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:Design review\r\nDTSTART:20240301T100500Z\r\nDTEND:20240301T110000Z\r\n"
        "LOCATION:Room 4\r\nURL:https://zoom.us/j/1\r\nDESCRIPTION:Agenda\r\n"
        "ATTENDEE;CN=Zenna Fox;PARTSTAT=ACCEPTED:mailto:zenna@x.org\r\n"
        "ATTENDEE;CN=Me;PARTSTAT=DECLINED:mailto:ME@x.org\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:Zoned\r\nDTSTART;TZID=Test/Plus2:20240301T120300\r\n"
        "DTEND;TZID=Test/Plus2:20240301T130000\r\nSTATUS:CANCELLED\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:c\r\nSUMMARY:Later\r\nDTSTART:20240301T140000Z\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:d\r\nSUMMARY:Weekly\r\nDTSTART:20240223T100400Z\r\nDTEND:20240223T103000Z\r\n"
        "RRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nUID:e\r\nSUMMARY:Holiday\r\nDTSTART;VALUE=DATE:20240301\r\nEND:VEVENT\r\n");
    auto events = IcsCalendars::parse(ics, T0, T0 + 360, {u"me@x.org"});
    std::map<std::u16string, Calendars::Event> byID;
    for (const auto& e : events)
        byID[e.identifier.value_or(u"?")] = e;
    ASSERT_TRUE(byID.count(u"a"));
    const auto& a = byID[u"a"];
    EXPECT_EQ(a.start, T0 + 300);
    EXPECT_EQ(a.title, u"Design review");
    EXPECT_EQ(a.location, u"Room 4");
    EXPECT_EQ(a.url, u"https://zoom.us/j/1");
    EXPECT_EQ(a.notes, u"Agenda");
    ASSERT_EQ(a.attendees.size(), 2u);
    EXPECT_EQ(a.attendees[0].name, u"Zenna Fox");
    EXPECT_FALSE(a.attendees[0].currentUser);
    EXPECT_TRUE(a.attendees[1].currentUser);  // the address ignores case
    EXPECT_TRUE(a.attendees[1].declined);
    ASSERT_TRUE(byID.count(u"b"));
    EXPECT_EQ(byID[u"b"].start, T0 + 180);  // 12:03 at +02:00
    EXPECT_TRUE(byID[u"b"].canceled);
    EXPECT_FALSE(byID.count(u"c"));
    ASSERT_TRUE(byID.count(u"d"));  // the second weekly occurrence
    EXPECT_EQ(byID[u"d"].start, T0 + 240);
    EXPECT_FALSE(byID[u"d"].allDay);
    if (byID.count(u"e")) {
        EXPECT_TRUE(byID[u"e"].allDay);
    }
}

TEST(IcsCalendars, BrokenFilesGiveNothing) {
    EXPECT_TRUE(IcsCalendars::parse("", T0, T0 + 360, {}).empty());
    EXPECT_TRUE(IcsCalendars::parse("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:x\r\n", T0, T0 + 360, {}).empty());
    EXPECT_TRUE(IcsCalendars::parse(std::string(5000, '\xff'), T0, T0 + 360, {}).empty());
}

TEST(IcsCalendars, AccessMeansAReadableCalendarFile) {
    TempDir d;
    IcsCalendars none({d.file("missing"), d.path});
    EXPECT_FALSE(none.authorized());
    d.write("work.ics", calendar("BEGIN:VEVENT\r\nUID:z\r\nSUMMARY:Z\r\nDTSTART:20240301T100200Z\r\nEND:VEVENT\r\n"));
    d.write("notes.txt", "not a calendar");
    IcsCalendars some({d.path});
    EXPECT_TRUE(some.authorized());
    auto events = some.events(T0, T0 + 360);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].title, u"Z");
}

}  // namespace
}  // namespace tovan
