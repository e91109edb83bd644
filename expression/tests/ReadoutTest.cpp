#include "Readout.h"

#include "Regex.h"
#include "Voices.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tovan;
using Expression::MoodRef;
using OptText = std::optional<std::u16string>;

namespace {

std::u16string rep(char16_t c, size_t n) { return std::u16string(n, c); }
// Letters without runs, which chat clean-up would shorten.
std::u16string cyc(size_t n) {
    std::u16string s;
    for (size_t i = 0; i < n; i++) s += static_cast<char16_t>(u'a' + i % 26);
    return s;
}

struct Want {
    std::u16string text;
    MoodRef mood;  // null: not checked
    int pause;
    OptText voice = std::nullopt;
};

void expectParts(const Speech& s, const std::vector<Want>& want, const std::string& label = "") {
    ASSERT_EQ(s.parts.size(), want.size()) << label << ": " << u8(s.text());
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(s.parts[i].text, want[i].text) << label << " #" << i;
        if (want[i].mood) {
            EXPECT_EQ(s.parts[i].mood, want[i].mood) << label << " #" << i << ": " << u8(s.parts[i].mood->name);
        }
        EXPECT_EQ(s.parts[i].pauseAfterMs, want[i].pause) << label << " #" << i;
        EXPECT_EQ(s.parts[i].voice, want[i].voice) << label << " #" << i;
    }
}

}  // namespace

TEST(ReadoutText, CapCollapsesBlanksAndCutsLongTexts) {
    const std::u16string x290 = rep(u'x', 290);
    struct Case {
        const char* label;
        std::u16string text, expected;
    };
    const Case cases[] = {
        {"blanks collapse", u"  a\t\tb  \n c ", u"a b c"},
        {"exactly 300", rep(u'x', 300), rep(u'x', 300)},
        {"301 with a blank at 290", x290 + u" " + rep(u'y', 10), x290 + u", and more."},
        {"400 without a blank", rep(u'x', 400), rep(u'x', 300) + u", and more."},
        {"blank right at 300", rep(u'x', 300) + u" yy", rep(u'x', 300) + u", and more."},
        // The 300th and 301st units are one character: the cut goes before it.
        {"no half characters", rep(u'x', 299) + u"\U0001F600" + rep(u'x', 100), rep(u'x', 299) + u", and more."},
        {"empty", u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(Readout::cap(c.text), c.expected) << c.label;
}

TEST(ReadoutText, SentenceEndsWithOneMark) {
    struct Case {
        std::u16string text, expected;
    };
    const Case cases[] = {
        {u"", u""},
        {u"Really?", u"Really?"},
        {u"Stop!", u"Stop!"},
        {u"He said “hi”", u"He said “hi”."},
        {u"ok   ", u"ok."},
        {u"lol", u""},  // nothing speakable
    };
    for (const Case& c : cases) EXPECT_EQ(Readout::sentence(c.text), c.expected) << u8(c.text);
}

TEST(ReadoutText, FirstSentenceOfABody) {
    struct Case {
        const char* label;
        OptText body, subject;
        std::u16string expected;
    };
    const Case cases[] = {
        {"absent", std::nullopt, u"Hi", u""},
        {"eleven units", u"Short text.", std::nullopt, u""},
        {"twelve units", u"Short texts.", std::nullopt, u"Short texts."},
        {"first of two", u"We shipped your order today. It arrives Monday.", std::nullopt,
         u"We shipped your order today."},
        {"subject dropped", u"  Lunch plans Shall we meet at noon tomorrow?", u" Lunch plans ",
         u"Shall we meet at noon tomorrow?"},
        {"blank subject ignored", u"Lunch plans are set for noon.", u"  ", u"Lunch plans are set for noon."},
        {"early blank: cut at 140", cyc(30) + u" " + cyc(169), std::nullopt, cyc(30) + u" " + cyc(109) + u"\u2026"},
        {"late blank: cut there", cyc(120) + u" " + cyc(79), std::nullopt, cyc(120) + u"\u2026"},
        {"white space collapsed", u"Meet\n\nme\tat the  gate please", std::nullopt, u"Meet me at the gate please"},
    };
    for (const Case& c : cases) EXPECT_EQ(Readout::firstSentence(c.body, c.subject), c.expected) << c.label;
}

TEST(ReadoutText, SenderNames) {
    struct Case {
        OptText raw;
        std::u16string expected;
    };
    const Case cases[] = {
        {std::nullopt, u""},
        {u"Jane Doe <jane@example.com>", u"Jane Doe"},
        {u"\"Jane Doe\" <jane@example.com>", u"Jane Doe"},
        {u"john.smith@gmail.com", u"John Smith"},
        {u"JOHN.SMITH@GMAIL.COM", u"JOHN SMITH"},
        {u"first_last-x@protonmail.com", u"First Last X"},
        {u"alerts@mail.acme.co.uk", u"Acme"},
        {u"noreply@github.com", u"Github"},
        {u"Bob", u"Bob"},
        {u"  <only@address.com>  ", u""},
        {u"not an address@", u"not an address@"},
    };
    for (const Case& c : cases) EXPECT_EQ(Readout::senderName(c.raw), c.expected) << (c.raw ? u8(*c.raw) : "(absent)");
}

TEST(ReadoutPhrases, NoticesUpdatesAndReminders) {
    expectParts(Readout::notice(std::nullopt, std::nullopt, u"Slack"), {}, "nothing");
    expectParts(Readout::notice(u"", u"  ", u"Slack"), {}, "blank");
    expectParts(Readout::notice(std::nullopt, u"Build finished", u"Slack"),
                {{u"Slack.", Expression::NEUTRAL(), 150}, {u"Build finished.", nullptr, 0}}, "body only");
    expectParts(Readout::notice(u"Deploy", std::nullopt, u"Slack"), {{u"Deploy, on Slack.", Expression::NEUTRAL(), 150}},
                "title only");
    Speech urgent = Readout::notice(u"Ops", u"Urgent: call me asap", u"Slack");
    ASSERT_EQ(urgent.parts.size(), 2u);
    EXPECT_EQ(urgent.parts[1].mood, Expression::of(u"Urgent: call me asap"));

    expectParts(Readout::update(u"Version 2", u"Version 2 is ready to install", u"Updater"),
                {{u"Updater.", Expression::NEUTRAL(), 150}, {u"Version 2.", nullptr, 0}}, "body repeats title");
    expectParts(Readout::update(u"Version 2", u"Restart to finish", u"Updater"),
                {{u"Updater.", Expression::NEUTRAL(), 150}, {u"Version 2. Restart to finish.", nullptr, 0}}, "both");
    expectParts(Readout::update(std::nullopt, u"Restart now", u"Updater"),
                {{u"Updater.", Expression::NEUTRAL(), 150}, {u"Restart now.", nullptr, 0}}, "body only");

    struct R {
        OptText title, body;
        std::u16string expected;
    };
    const R reminders[] = {
        {u"Timer done", std::nullopt, u"Timer done."},
        {u"timer: tea", std::nullopt, u"timer: tea."},
        {u"Alarm", u"Wake up", u"Alarm: Wake up."},
        {u"Buy milk", u"buy MILK", u"Reminder: Buy milk."},
        {u"Call mom", u"at 5", u"Reminder: Call mom: at 5."},
        {std::nullopt, u"Stretch", u"Reminder: Clock: Stretch."},
        {u"Reminder: pay rent", std::nullopt, u"Reminder: pay rent."},
    };
    for (const R& r : reminders) {
        Speech s = Readout::reminder(r.title, r.body, u"Clock");
        ASSERT_EQ(s.parts.size(), 1u);
        EXPECT_EQ(s.parts[0].text, r.expected);
    }
    const MoodRef m = Readout::reminder(u"x", std::nullopt, u"Clock").parts[0].mood;
    EXPECT_EQ(m->name, u"confident");
    EXPECT_EQ(m->why, u"clear; a reminder: clear");
    EXPECT_FLOAT_EQ(m->ctrl.at(u"rate"), -0.1f);
    EXPECT_EQ(m, Readout::reminder(u"y", std::nullopt, u"Clock").parts[0].mood);  // one shared mood
}

TEST(ReadoutPhrases, Emails) {
    expectParts(Readout::email(u"3 New Messages", u"ignored", u"ignored too, this body"),
                {{u"You have 3 new emails.", Expression::NEUTRAL(), 0}}, "summary");
    expectParts(Readout::email(u"Jane <j@example.com>", u"Lunch", u"Lunch Are we still on for noon today?"),
                {{u"Email from Jane.", Expression::NEUTRAL(), 150},
                 {u"Lunch.", nullptr, 120},
                 {u"Are we still on for noon today?", nullptr, 0}},
                "full");
    expectParts(Readout::email(std::nullopt, std::nullopt, u"tiny"), {{u"Email from someone.", Expression::NEUTRAL(), 150}},
                "nothing but a sender");
}

TEST(ReadoutPhrases, ChatMessages) {
    const MoodRef N = Expression::NEUTRAL();
    struct Case {
        const char* label;
        OptText sender, chat;
        std::vector<std::u16string> texts;
        std::vector<Want> want;
    };
    const Case cases[] = {
        {"thumbs up", u"Ann", std::nullopt, {u"\U0001F44D"}, {{u"Ann sent a thumbs up.", N, 0}}},
        {"thumbs up, no sender", std::nullopt, std::nullopt, {u"\U0001F44D"}, {{u"WhatsApp: a thumbs up.", N, 0}}},
        {"two emoji only", u"Ann", std::nullopt, {u"\U0001F44D", u"\U0001F600"}, {}},
        {"emoji among words", u"Ann", std::nullopt, {u"\U0001F44D", u"see you"},
         {{u"Ann on WhatsApp.", N, 180}, {u"see you.", nullptr, 0}}},
        {"sender in a chat", u"Ann", u"Family", {u"dinner at 7", u"bring bread"},
         {{u"Ann in Family on WhatsApp.", N, 180}, {u"dinner at 7. bring bread.", nullptr, 0}}},
        {"no sender", std::nullopt, u"Family", {u"hello all"}, {{u"WhatsApp.", N, 180}, {u"hello all.", nullptr, 0}}},
        {"blank sender counts as none", u"  ", std::nullopt, {u"hello all"},
         {{u"WhatsApp.", N, 180}, {u"hello all.", nullptr, 0}}},
        {"unreadable sender", u"Дмитрий", std::nullopt, {u"hello"},
         {{u"Someone on WhatsApp.", N, 180}, {u"hello.", nullptr, 0}}},
        {"unreadable chat dropped", u"Ann", u"Семья", {u"hello"},
         {{u"Ann on WhatsApp.", N, 180}, {u"hello.", nullptr, 0}}},
        {"named language", u"Ann", std::nullopt, {u"Привет, как дела?"},
         {{u"Ann sent a message on WhatsApp, in Russian. I can't read Russian yet.", N, 0}}},
        {"unnamed language", std::nullopt, std::nullopt, {u"ᚠᚢᚦᚨᚱᚲ"},
         {{u"A message on WhatsApp, in a language I can't read yet.", N, 0}}},
        {"nothing to say", u"Ann", std::nullopt, {u"lol"}, {}},
    };
    for (const Case& c : cases)
        expectParts(Readout::message(c.sender, c.chat, u"WhatsApp", c.texts, false, std::nullopt), c.want, c.label);

    // The body's mood reads every text, emoji included.
    Speech s = Readout::message(u"Ann", std::nullopt, u"WhatsApp", {u"\U0001F602", u"that was it"}, false, std::nullopt);
    ASSERT_EQ(s.parts.size(), 2u);
    EXPECT_EQ(s.parts[1].mood->name, Expression::of(u"\U0001F602 that was it ")->name);

    // A voice of the sender's own, never the announcer's.
    Speech voiced = Readout::message(u"Ann", std::nullopt, u"WhatsApp", {u"hi there"}, true, u"voice_1688");
    ASSERT_EQ(voiced.parts.size(), 2u);
    EXPECT_FALSE(voiced.parts[0].voice);
    EXPECT_EQ(voiced.parts[1].voice, Voices::forPerson(u"Ann", u"voice_1688"));
    EXPECT_NE(voiced.parts[1].voice, u"voice_1688");
    Speech anonymous = Readout::message(std::nullopt, std::nullopt, u"WhatsApp", {u"hi there"}, true, std::nullopt);
    EXPECT_FALSE(anonymous.parts[1].voice);
}

TEST(ReadoutPhrases, ConversationRunsStartWithThen) {
    Speech s = Readout::conversation({{u"A", u"one"}, {u"A", u"two"}, {u"B", u"three"}, {u"A", u"four"}},
                                     u"Team", u"Chat", true, std::nullopt);
    expectParts(s,
                {{u"A in Team on Chat.", Expression::NEUTRAL(), 180},
                 {u"one. two.", nullptr, 0, Voices::forPerson(u"A", std::nullopt)},
                 {u"Then B.", Expression::NEUTRAL(), 180},
                 {u"three.", nullptr, 0, Voices::forPerson(u"B", std::nullopt)},
                 {u"Then A.", Expression::NEUTRAL(), 180},
                 {u"four.", nullptr, 0, Voices::forPerson(u"A", std::nullopt)}});
    // A later run that is one emoji keeps its own phrase.
    Speech e = Readout::conversation({{u"A", u"hi"}, {u"B", u"\U0001F44D"}}, std::nullopt, u"Chat", false, std::nullopt);
    ASSERT_EQ(e.parts.size(), 3u);
    EXPECT_EQ(e.parts[2].text, u"B sent a thumbs up.");
    EXPECT_TRUE(Readout::conversation({}, std::nullopt, u"Chat", false, std::nullopt).isEmpty());

    // A sender whose name cannot be spoken is never heard as "Then .".
    struct Case {
        std::u16string sender, then;
    };
    const Case cases[] = {{u"Дмитрий", u"Then someone."}, {u"王伟", u"Then someone."}, {u"Ann", u"Then Ann."}};
    for (const Case& c : cases) {
        Speech r = Readout::conversation({{u"Bob", u"hi"}, {c.sender, u"hello"}}, std::nullopt, u"Chat", false,
                                         std::nullopt);
        ASSERT_EQ(r.parts.size(), 4u) << u8(c.sender);
        EXPECT_EQ(r.parts[2].text, c.then) << u8(c.sender);
        EXPECT_EQ(r.parts[2].pauseAfterMs, 180);
        EXPECT_EQ(r.parts[3].text, u"hello.");
    }
}

TEST(ReadoutCalls, RingsWithinFifteenMinutes) {
    constexpr int64_t kMin = 60 * 1000;
    EXPECT_EQ(Readout::ringCount(u"Alex Test", 0), 1);
    EXPECT_EQ(Readout::ringCount(u"Alex Test", 10 * kMin), 2);
    EXPECT_EQ(Readout::ringCount(u"Alex Test", 25 * kMin), 2);  // the ring at 0 has aged out

    EXPECT_EQ(Readout::ringCount(u"Bea Test", 1000), 1);
    EXPECT_EQ(Readout::ringCount(u"Bea Test", 1000 + 15 * kMin), 2);  // exactly 15 minutes: still counts
    EXPECT_EQ(Readout::ringCount(u"BEA TEST", 1000 + 15 * kMin + 1), 2);  // same caller, any case

    // Extreme clocks neither overflow nor keep stale rings.
    EXPECT_EQ(Readout::ringCount(u"Cy Test", INT64_MIN), 1);
    EXPECT_EQ(Readout::ringCount(u"Cy Test", INT64_MAX), 1);
}

TEST(ReadoutCalls, ConcurrentRingsAreAllCounted) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([] {
            for (int i = 0; i < 100; i++) Readout::ringCount(u"Many Test", 5000);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(Readout::ringCount(u"Many Test", 5000), 401);
}

TEST(ReadoutCalls, CallWordingFollowsTheRingCount) {
    struct Case {
        OptText kind;
        int rings;
        std::u16string text;
        MoodRef mood;
    };
    const Case cases[] = {
        {u"FaceTime", 1, u"Incoming FaceTime call from Ann.", Expression::CONFIDENT()},
        {std::nullopt, 0, u"Incoming call from Ann.", Expression::CONFIDENT()},
        {u"  ", 1, u"Incoming call from Ann.", Expression::CONFIDENT()},
        {std::nullopt, 3, u"Ann is calling for the third time. It may be urgent.", Expression::URGENT()},
        {std::nullopt, 6, u"Ann is calling for the sixth time. It may be urgent.", Expression::URGENT()},
        {std::nullopt, 8, u"Ann is calling for the 8th time. It may be urgent.", Expression::URGENT()},
        {std::nullopt, 21, u"Ann is calling for the 21th time. It may be urgent.", Expression::URGENT()},
    };
    for (const Case& c : cases)
        expectParts(Readout::call(u"Ann", c.kind, c.rings), {{c.text, c.mood, 0}}, u8(c.text));

    Speech again = Readout::call(u"Ann", u"FaceTime", 2);
    ASSERT_EQ(again.parts.size(), 1u);
    EXPECT_EQ(again.parts[0].text, u"Ann is calling again.");
    const MoodRef& m = again.parts[0].mood;
    EXPECT_EQ(m->name, u"confident");
    EXPECT_EQ(m->why, u"clear; again: more present");
    EXPECT_FLOAT_EQ(m->ctrl.at(u"loud"), Expression::CONFIDENT()->ctrl.at(u"loud") + 0.5f);
    EXPECT_FLOAT_EQ(m->ctrl.at(u"f0_med"), Expression::CONFIDENT()->ctrl.at(u"f0_med") + 0.3f);

    expectParts(Readout::missedCall(std::nullopt), {{u"You missed a call from an unknown number.", Expression::CONFIDENT(), 0}});
    expectParts(Readout::missedCall(u"  "), {{u"You missed a call from an unknown number.", Expression::CONFIDENT(), 0}});
    expectParts(Readout::missedCall(u" Bob "), {{u"You missed a call from Bob.", Expression::CONFIDENT(), 0}});
}

TEST(ReadoutCalls, Battery) {
    expectParts(Readout::battery(100, true), {{u"Your phone is fully charged.", Expression::HAPPY(), 0}});
    Speech low = Readout::battery(100, false);
    expectParts(low, {{u"Battery at 100 percent. Time to charge.", nullptr, 0}});
    EXPECT_EQ(low.parts[0].mood->why, u"clear; low battery: clear");
    expectParts(Readout::battery(12, true), {{u"Battery at 12 percent. Time to charge.", nullptr, 0}});
}
