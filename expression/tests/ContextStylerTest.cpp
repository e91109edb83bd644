#include "ContextStyler.h"
#include "Regex.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace tovan;
using namespace tovan::ContextStyler;

namespace {

constexpr size_t RATE = 0, LOUD = 1, F0_MED = 2, F0_IQR = 3, F0_END = 4, PAUSE = 5, TILT = 6, H1H2 = 11;

std::array<float, 12> offsets(std::initializer_list<std::pair<size_t, float>> list) {
    std::array<float, 12> z{};
    for (auto [i, v] : list) z[i] += v;
    return z;
}

const std::array<float, 12> ALERT = offsets({{RATE, 0.8f}, {LOUD, 1.2f}, {F0_MED, 0.5f}, {TILT, 0.8f}, {PAUSE, -0.5f}});

} // namespace

TEST(ContextStyler, ReasonsFromTextCallerAndDevice) {
    struct Case {
        const char* label;
        std::u16string text;
        std::optional<std::u16string> caller;
        DeviceState device;
        std::optional<bool> cues;
        std::u16string reason;
    };
    const DeviceState day{14, false, false};
    const DeviceState allQuiet{22, true, true};
    const Case cases[] = {
        {"alert wins over night", u"Wake up", std::nullopt, {23, true, true}, std::nullopt,
         u"alert: faster, louder, brighter"},
        {"double exclamation alerts", u"Great news!!", std::nullopt, day, std::nullopt,
         u"alert: faster, louder, brighter"},
        {"good news", u"Congrats on the new job", std::nullopt, day, std::nullopt, u"good news: livelier"},
        {"good news asked", u"Congrats?", std::nullopt, day, std::nullopt, u"good news: livelier; question: rising end"},
        {"night skips the ringer", u"Are you home?", std::nullopt, allQuiet, std::nullopt,
         u"question: rising end; night: softer; battery low: calmer"},
        {"hour 21 is day", u"Are you home?", std::nullopt, {21, true, true}, std::nullopt,
         u"question: rising end; ringer off: softer; battery low: calmer"},
        {"hour 6 is night", u"Hi", std::nullopt, {6, false, false}, std::nullopt, u"night: softer"},
        {"hour 7 is day", u"Hi", std::nullopt, {7, false, false}, std::nullopt, u"neutral: your settings"},
        {"navigation stops the device rules", u"Turn left", std::u16string(MAPS), allQuiet, std::nullopt,
         u"navigation: clear"},
        {"second navigation app", u"Turn left", std::u16string(WAZE), allQuiet, std::nullopt, u"navigation: clear"},
        {"screen reader ignores wording", u"Urgent: call me?", std::u16string(TALKBACK), day, std::nullopt,
         u"screen reader: brisk"},
        {"screen reader at night", u"Urgent: call me?", std::u16string(TALKBACK), allQuiet, std::nullopt,
         u"screen reader: brisk; night: softer; battery low: calmer"},
        {"screen reader with cues on", u"Urgent: call me?", std::u16string(TALKBACK), day, true,
         u"alert: faster, louder, brighter; question: rising end; screen reader: brisk"},
        {"alarm caller alerts without cues", u"7:00", u"com.android.alarmclock", allQuiet, false,
         u"alert: faster, louder, brighter"},
        {"clock caller alerts", u"Timer", u"com.google.android.deskclock", day, std::nullopt,
         u"alert: faster, louder, brighter"},
        {"cues off hide the wording", u"Congrats?", std::nullopt, day, false, u"neutral: your settings"},
        {"plain", u"Lunch is ready", std::nullopt, {12, false, false}, std::nullopt, u"neutral: your settings"},
        {"capital alert words", u"LOW BATTERY", std::nullopt, day, std::nullopt, u"alert: faster, louder, brighter"},
        {"word boundaries", u"Dangerous curves", std::nullopt, day, std::nullopt, u"neutral: your settings"},
        {"other caller adds nothing", u"Hello", u"org.example.chat", day, std::nullopt, u"neutral: your settings"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Style s = decide(Style(), c.text, c.caller, c.device, c.cues);
        EXPECT_EQ(u8(s.reason), u8(c.reason));
    }
}

TEST(ContextStyler, OffsetsAreAddedToACopy) {
    Style user;
    user.z[LOUD] = 2.5f;
    user.tag = u"serenity";
    user.pace = 1.3f;
    user.voice = u"voice_0010";
    Style s = decide(user, u"Wake up", std::nullopt, {23, false, false});
    std::array<float, 12> expected = ALERT;
    expected[LOUD] = 3.0f;  // clamped
    EXPECT_EQ(s.z, expected);
    EXPECT_EQ(s.tag, u"serenity");
    EXPECT_EQ(s.pace, 1.3f);
    EXPECT_EQ(s.voice, u"voice_0010");
    EXPECT_EQ(user.z[LOUD], 2.5f);
    EXPECT_EQ(user.reason, u"");

    struct Case {
        std::u16string text;
        std::optional<std::u16string> caller;
        DeviceState device;
        std::array<float, 12> z;
    };
    const Case cases[] = {
        {u"Congrats?", std::nullopt, {12, false, false}, offsets({{F0_IQR, 1.2f}, {F0_MED, 0.4f}, {LOUD, 0.3f}, {F0_END, 1.5f}})},
        {u"Hi", std::nullopt, {2, true, true}, offsets({{LOUD, -1.2f}, {H1H2, 0.6f}, {RATE, -0.3f}})},
        {u"Hi", std::nullopt, {12, true, false}, offsets({{LOUD, -0.8f}})},
        {u"Go", std::u16string(MAPS), {12, true, true}, offsets({{RATE, 0.3f}, {LOUD, 0.6f}})},
        {u"Menu", std::u16string(TALKBACK), {12, false, false}, offsets({{RATE, 1.0f}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.text));
        EXPECT_EQ(decide(Style(), c.text, c.caller, c.device).z, c.z);
    }
}

TEST(ContextStyler, StyleWithContextOffIsOnlyCopied) {
    Style user;
    user.applyPreset(u"Sad");
    user.contextual = false;
    user.pace = 0.9f;
    for (const char* text : {"Wake up!!", "Congrats?", "hello"}) {
        Style s = decide(user, u16(text), std::u16string(u"com.android.alarm"), {2, true, true}, true);
        EXPECT_EQ(s.z, user.z);
        EXPECT_EQ(s.tag, user.tag);
        EXPECT_EQ(s.pace, user.pace);
        EXPECT_EQ(s.reason, u"your settings (context styling off)");
    }
}

TEST(ContextStyler, NowReadsTheClockInTheLocalZone) {
    // Zones twelve hours ahead of and eleven behind UTC: an hour read in
    // UTC matches neither.
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
    struct Case {
        const char* tz;
        int offset;
    };
    for (const Case& c : {Case{"TVA-12", 12}, Case{"TVB+11", -11}}) {
        ::setenv("TZ", c.tz, 1);
        ::tzset();
        for (int attempt = 0; attempt < 3; attempt++) {
            const std::time_t t0 = std::time(nullptr);
            const DeviceState d = DeviceState::now(false, true);
            const std::time_t t1 = std::time(nullptr);
            std::tm a{}, b{};
            gmtime_r(&t0, &a);
            gmtime_r(&t1, &b);
            if (a.tm_hour != b.tm_hour) continue;  // an hour turned meanwhile
            EXPECT_EQ(d.hour, ((a.tm_hour + c.offset) % 24 + 24) % 24) << c.tz;
            EXPECT_TRUE(d.lowBattery);
            break;
        }
    }
    if (saved)
        ::setenv("TZ", before.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(ContextStyler, NowTakesTheLocalHour) {
    DeviceState d = DeviceState::now(true, false);
    EXPECT_GE(d.hour, 0);
    EXPECT_LE(d.hour, 23);
    EXPECT_TRUE(d.quietRinger);
    EXPECT_FALSE(d.lowBattery);
}
