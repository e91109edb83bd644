// Decisions, the recent log, the away watch and the welcome-back summary.
#include "AnnouncerRig.h"
#include "Assistant.h"
#include "FakeMachine.h"

#include <gtest/gtest.h>

using tovan::Assistant;
using Kind = tovan::Assistant::Event::Kind;

namespace {

struct AssistantFixture : ::testing::Test {
    FakeMachine machine;
    AnnouncerRig rig;
    std::shared_ptr<tovan::MemorySettingsStore> store = std::make_shared<tovan::MemorySettingsStore>();
    int hour = 12;
    tovan::AssistantPrefs prefs{store, [this] { return hour; }};
    std::unique_ptr<Assistant> assistant;

    void SetUp() override {
        assistant = std::make_unique<Assistant>(rig.assistantHost(prefs));
    }
    void TearDown() override { assistant.reset(); }

    static Assistant::Event event(Kind kind, std::u16string who, std::u16string app, std::u16string text,
                                  std::optional<std::u16string> away = std::nullopt) {
        Assistant::Event e;
        e.kind = kind;
        e.who = std::move(who);
        e.app = std::move(app);
        e.speech = tovan::Speech::of(text);
        e.away = std::move(away);
        return e;
    }
    static Assistant::Event message(std::u16string who, std::u16string app = u"WhatsApp") {
        return event(Kind::message, who, app, who + u" says hi.");
    }
    std::string outcome(size_t i = 0) const { return tovan::u8(assistant->recent().at(i).outcome); }
    std::string speaking() const { return rig.speaking(); }
    void quiet() { rig.playOut(); }
};

}  // namespace

TEST(AssistantEvent, KindNamesAreExact) {
    for (Kind k : {Kind::message, Kind::call, Kind::claude, Kind::command, Kind::download, Kind::meeting,
                   Kind::battery, Kind::device, Kind::system, Kind::say})
        EXPECT_EQ(Assistant::Event::kindNamed(Assistant::Event::kindName(k)), k);
    EXPECT_EQ(Assistant::Event::kindName(Kind::download), u"download");
    for (const char16_t* bad : {u"Message", u"", u"calls", u" say"})
        EXPECT_EQ(Assistant::Event::kindNamed(bad), std::nullopt);
}

TEST_F(AssistantFixture, PresentAndQuietMeansSpoken) {
    assistant->handle(message(u"Ann"));
    EXPECT_EQ(speaking(), "Ann says hi.");
    ASSERT_EQ(assistant->recent().size(), 1u);
    EXPECT_EQ(outcome(), "spoken");
    EXPECT_TRUE(assistant->recent()[0].spoken);
    EXPECT_EQ(assistant->recent()[0].app, u"WhatsApp");
    EXPECT_EQ(assistant->recent()[0].who, u"Ann");
    EXPECT_EQ(assistant->recent()[0].timeMs, 1700000000000);
    EXPECT_EQ(assistant->recent()[0].id.size(), 36u);
}

TEST_F(AssistantFixture, OnlyACallInterrupts) {
    assistant->handle(message(u"Ann"));
    assistant->handle(message(u"Bob"));
    const int64_t g = rig.announcer->generation();
    assistant->handle(event(Kind::call, u"Cleo", u"FaceTime", u"Incoming call from Cleo."));
    EXPECT_EQ(speaking(), "Incoming call from Cleo.");
    EXPECT_EQ(rig.announcer->generation(), g + 1);
    EXPECT_EQ(rig.announcer->waiting(), 0u) << "Bob's message is dropped too";
}

TEST_F(AssistantFixture, DecisionsWhenNotNow) {
    struct Case {
        const char* name;
        bool on = true, locked = false, quietHours = false, welcomeBack = true;
        Kind kind = Kind::message;
        bool away = false;
        const char* outcome;
    };
    const Case cases[] = {
        {.name = "off", .on = false, .outcome = "not read: the assistant is off"},
        {.name = "away message", .locked = true, .outcome = "kept for when you're back"},
        {.name = "away download with a later sentence", .locked = true, .kind = Kind::download, .away = true,
         .outcome = "kept for when you're back"},
        {.name = "away download without one", .locked = true, .kind = Kind::download,
         .outcome = "not read: you're away"},
        {.name = "quiet hours, welcome back off", .quietHours = true, .welcomeBack = false,
         .outcome = "not read: quiet hours"},
        {.name = "quiet hours message", .quietHours = true, .outcome = "kept for when you're back"},
        {.name = "off is never kept", .on = false, .locked = true, .outcome = "not read: the assistant is off"},
    };
    hour = 23;
    for (const Case& c : cases) {
        prefs.setOn(c.on);
        prefs.setQuietHours(c.quietHours);
        prefs.setWelcomeBack(c.welcomeBack);
        tovan::Machine::locked = c.locked;
        const size_t kept = assistant->waiting().size();
        assistant->handle(event(c.kind, u"Ann", u"App", u"Something.",
                                c.away ? std::optional<std::u16string>(u"Later.") : std::nullopt));
        EXPECT_EQ(outcome(), c.outcome) << c.name;
        EXPECT_FALSE(assistant->recent()[0].spoken) << c.name;
        EXPECT_EQ(assistant->waiting().size() - kept, std::string(c.outcome) == "kept for when you're back" ? 1u : 0u)
            << c.name;
        EXPECT_EQ(speaking(), "(idle)") << c.name;
    }
}

TEST_F(AssistantFixture, KeptWhileLockedAndSummedUpAfterUnlock) {
    assistant->screenLocked();
    EXPECT_TRUE(tovan::Machine::locked);
    assistant->handle(message(u"Ann"));
    EXPECT_EQ(outcome(), "kept for when you're back");
    assistant->screenUnlocked();
    EXPECT_FALSE(tovan::Machine::locked);
    rig.clock.advance(1.9);
    EXPECT_EQ(speaking(), "(idle)");
    rig.clock.advance(0.2);
    EXPECT_EQ(speaking(), "Welcome back. While you were away: Ann sent a message on WhatsApp.");
    EXPECT_TRUE(assistant->waiting().empty());
    EXPECT_EQ(assistant->recent()[0].app, u"Lumora");
    EXPECT_EQ(outcome(), "caught up on 1");
    EXPECT_TRUE(assistant->recent()[0].spoken);
}

TEST_F(AssistantFixture, SummaryCountsMessagesPerSenderThenOtherNews) {
    tovan::Machine::locked = true;
    assistant->handle(message(u"Ann"));
    assistant->handle(event(Kind::download, u"", u"Downloads", u"x", u"Your download finished."));
    assistant->handle(message(u"Ann"));
    assistant->handle(message(u"Bob"));
    assistant->handle(message(u"", u"Signal"));
    assistant->handle(message(u"Ann"));
    assistant->handle(message(u"Ann", u"Slack"));
    assistant->handle(event(Kind::battery, u"", u"Battery", u"x"));  // nothing to say later: dropped
    assistant->handle(event(Kind::claude, u"web", u"Claude Code", u"x", u"Claude finished in web."));
    EXPECT_EQ(assistant->waiting().size(), 8u);
    tovan::Machine::locked = false;
    assistant->catchUp(false);
    EXPECT_EQ(speaking(),
              "While you were away: Ann sent 3 messages on WhatsApp. Bob sent a message on WhatsApp. "
              "Someone sent a message on Signal. Ann sent a message on Slack. Your download finished. "
              "Claude finished in web.");
    EXPECT_EQ(outcome(), "caught up on 8");
}

TEST_F(AssistantFixture, SummaryWaitsOutQuietHoursUnlessAskedFor) {
    prefs.setQuietHours(true);
    hour = 23;
    assistant->screenLocked();
    assistant->handle(message(u"Ann"));
    assistant->screenUnlocked();
    rig.clock.advance(3);
    EXPECT_EQ(speaking(), "(idle)");
    EXPECT_EQ(assistant->waiting().size(), 1u) << "kept for the next return";
    assistant->catchUp(false);
    EXPECT_EQ(speaking(), "While you were away: Ann sent a message on WhatsApp.");
}

TEST_F(AssistantFixture, NothingWaitingSaysSoOnlyWhenAsked) {
    assistant->catchUp(true);
    EXPECT_EQ(speaking(), "(idle)");
    assistant->catchUp(false);
    EXPECT_EQ(speaking(), "Nothing new while you were away.");
    EXPECT_TRUE(assistant->recent().empty()) << "nothing is logged";
}

TEST_F(AssistantFixture, AwayWatchFollowsIdleTime) {
    machine.idle->value = 301;
    rig.clock.advance(5.0);
    EXPECT_TRUE(assistant->wasAway());
    assistant->handle(message(u"Ann"));
    EXPECT_EQ(outcome(), "kept for when you're back");
    machine.idle->value = 2;
    rig.clock.advance(5.0);
    EXPECT_FALSE(assistant->wasAway());
    EXPECT_EQ(speaking(), "(idle)") << "the summary comes half a second later";
    rig.clock.advance(0.5);
    EXPECT_EQ(speaking(), "Welcome back. While you were away: Ann sent a message on WhatsApp.");
}

TEST_F(AssistantFixture, ReturnWithNothingWaitingOrWelcomeBackOffSaysNothing) {
    assistant->screenLocked();
    assistant->screenUnlocked();
    EXPECT_FALSE(assistant->wasAway());
    rig.clock.advance(3);
    EXPECT_EQ(speaking(), "(idle)");

    assistant->screenLocked();
    assistant->handle(message(u"Ann"));
    prefs.setWelcomeBack(false);
    assistant->screenUnlocked();
    rig.clock.advance(3);
    EXPECT_EQ(speaking(), "(idle)");
    EXPECT_EQ(assistant->waiting().size(), 1u);
}

TEST_F(AssistantFixture, LogKeepsTheNewestThirty) {
    for (int i = 0; i < 31; i++) {
        assistant->handle(message(u"P" + std::u16string(1, char16_t(u'A' + i % 26)) + (i >= 26 ? u"2" : u"")));
        quiet();
    }
    ASSERT_EQ(assistant->recent().size(), 30u);
    EXPECT_EQ(assistant->recent().front().who, u"PE2") << "the newest first";
    EXPECT_EQ(assistant->recent().back().who, u"PB") << "the oldest row is gone";
}

TEST_F(AssistantFixture, SampleSkipsTheRulesAndTheLog) {
    prefs.setOn(false);
    assistant->sample();
    EXPECT_EQ(speaking(),
              "Zenna on WhatsApp. Running ten minutes late, so sorry! Claude is done in tovan-tts. "
              "The app builds and all tests pass.");
    EXPECT_TRUE(assistant->recent().empty());
}

TEST_F(AssistantFixture, ToolEventsArriveAsText) {
    assistant->eventText(R"({"kind":"say","text":"Hello there"})");
    EXPECT_EQ(speaking(), "Hello there");
    EXPECT_EQ(assistant->recent()[0].app, u"Script");
    assistant->eventText("not json at all");
    assistant->eventText(R"(["kind","say"])");
    EXPECT_EQ(assistant->recent().size(), 1u);
}
