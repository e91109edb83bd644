#include "Meetings.h"

#include "FakeIntake.h"
#include "Regex.h"

#include <gtest/gtest.h>

namespace tovan {
namespace {

using test::FakeIntake;

class FakeCalendars final : public Calendars {
public:
    bool granted = true;
    std::vector<Event> list;
    bool authorized() override { return granted; }
    void requestAccess(std::function<void(bool)> done) override { done(granted); }
    std::vector<Event> events(double, double) override { return list; }
};

struct Desk {
    FakeIntake fake;
    FakeCalendars cal;
    Meetings meetings{fake.links(), cal};
    Calendars::Event at(double secondsAhead, std::u16string title = u"Design review") {
        Calendars::Event e;
        e.identifier = u"uid-1";
        e.title = std::move(title);
        e.start = fake.now + secondsAhead;
        return e;
    }
};

TEST(Meetings, AnnouncedOnceWhenLessThanFiveAndAHalfMinutesAway) {
    struct Case {
        double ahead;
        std::optional<std::u16string> said;
        bool urgent;
        bool urgentMood;
    };
    const Case cases[] = {
        {320, u"In 5 minutes: Design review.", false, false},
        {340, std::nullopt, false, false},
        {70, u"In a minute: Design review.", true, true},
        {100, u"In 2 minutes: Design review.", false, false},
        {-20, u"Starting now: Design review.", true, true},
        {-40, std::nullopt, false, false},
    };
    for (const auto& c : cases) {
        Desk d;
        d.cal.list = {d.at(c.ahead)};
        d.meetings.check();
        SCOPED_TRACE(c.ahead);
        if (!c.said) {
            EXPECT_TRUE(d.fake.events.empty());
            continue;
        }
        ASSERT_EQ(d.fake.events.size(), 1u);
        const auto& e = d.fake.events[0];
        EXPECT_EQ(u8(e.speech.text()), u8(*c.said));
        EXPECT_EQ(e.kind, Assistant::Event::Kind::meeting);
        EXPECT_EQ(e.app, u"Calendar");
        EXPECT_EQ(e.who, u"Design review");
        EXPECT_EQ(e.urgent, c.urgent);
        EXPECT_EQ(e.speech.parts[0].mood, c.urgentMood ? Expression::URGENT() : d.fake.attentive);
        EXPECT_FALSE(e.away);
        d.meetings.check();  // the next tick: nothing again
        EXPECT_EQ(d.fake.events.size(), 1u);
    }
}

TEST(Meetings, ANearingMeetingIsSaidAtTheFirstTickInRange) {
    Desk d;
    d.cal.list = {d.at(340)};
    d.meetings.check();
    EXPECT_TRUE(d.fake.events.empty());
    d.fake.now += 30;
    d.meetings.check();
    ASSERT_EQ(d.fake.events.size(), 1u);
    EXPECT_EQ(d.fake.events[0].speech.text(), u"In 5 minutes: Design review.");
    auto moved = d.at(300);  // moved to another start: a new meeting
    d.cal.list = {moved};
    d.meetings.check();
    EXPECT_EQ(d.fake.events.size(), 2u);
}

TEST(Meetings, SkipsAllDayCanceledDeclinedAndWhenNotAllowed) {
    Desk d;
    auto allDay = d.at(60, u"Holiday");
    allDay.allDay = true;
    auto canceled = d.at(60, u"Gone");
    canceled.identifier = u"c";
    canceled.canceled = true;
    auto declined = d.at(60, u"No");
    declined.identifier = u"d";
    declined.attendees = {{false, true, u"Other"}, {true, true, u"Me"}};
    auto acceptedByMe = d.at(60, u"Yes");
    acceptedByMe.identifier = u"e";
    acceptedByMe.attendees = {{false, true, u"Other"}, {true, false, u"Me"}};
    d.cal.list = {allDay, canceled, declined, acceptedByMe};
    d.cal.granted = false;
    d.meetings.check();
    d.cal.granted = true;
    d.fake.meetings = false;
    d.meetings.check();
    EXPECT_TRUE(d.fake.events.empty());
    d.fake.meetings = true;
    d.meetings.check();
    ASSERT_EQ(d.fake.events.size(), 1u);
    EXPECT_EQ(d.fake.events[0].who, u"Yes");
}

TEST(Meetings, PhraseNamesPeopleAndTheService) {
    using A = Calendars::Attendee;
    struct Case {
        std::vector<A> attendees;
        std::optional<std::u16string> location, url, notes;
        std::u16string said;
    };
    const Case cases[] = {
        {{{false, false, u"Zenna  Fox"}, {true, false, u"Me"}}, std::nullopt, u"https://zoom.us/j/1", std::nullopt,
         u"In 5 minutes: Sync with Zenna, on Zoom."},
        {{{false, false, u"Ann"}, {false, false, u"Bo Li"}, {false, false, std::nullopt}, {false, false, u""}},
         std::nullopt, std::nullopt, u"join at https://meet.google.com/abc", u"In 5 minutes: Sync with Ann and Bo, on Google Meet."},
        {{{false, false, u"A"}, {false, false, u"B"}, {false, false, u"C"}}, u"Teams.Microsoft.com/x", std::nullopt,
         std::nullopt, u"In 5 minutes: Sync, on Teams."},
        {{}, u"Room 4", std::nullopt, std::nullopt, u"In 5 minutes: Sync, at Room 4."},
        {{}, u"https://example.org/call", std::nullopt, std::nullopt, u"In 5 minutes: Sync."},
        {{}, u"", std::nullopt, std::nullopt, u"In 5 minutes: Sync."},
    };
    for (const auto& c : cases) {
        Calendars::Event e;
        e.title = u"Sync";
        e.attendees = c.attendees;
        e.location = c.location;
        e.url = c.url;
        e.notes = c.notes;
        EXPECT_EQ(u8(Meetings::phrase(e, 5)), u8(c.said));
    }
    Calendars::Event untitled;
    EXPECT_EQ(Meetings::phrase(untitled, 0), u"Starting now: an event.");
    EXPECT_EQ(u8(Meetings::phrase(untitled, 1)).size(), std::string("In a minute: an event.").size());
}

}  // namespace
}  // namespace tovan
