// The probes' own rules over the platform layers: which recording programs
// are calls, and when the user counts as looking at a terminal.
#include "FakeMachine.h"

#include <gtest/gtest.h>

using tovan::Machine::callApps;
using tovan::Machine::looking;
using tovan::Machine::terminals;

TEST(Machine, CallAppsAreRecordersWithACallFragment) {
    FakeMachine m;
    m.audio->value = {u"us.zoom.Zoom", u"org.gnome.SoundRecorder", u"ZoomMeetings", u"com.slack.Slack",
                      u"us.zoom.Zoom", u"obs", u"Telegram-Desktop"};
    // Identifiers come back as reported (mixed case kept), in order, repeats kept.
    EXPECT_EQ(callApps(), (std::vector<std::u16string>{u"us.zoom.Zoom", u"ZoomMeetings", u"com.slack.Slack",
                                                        u"us.zoom.Zoom", u"Telegram-Desktop"}));
    m.audio->value = {u"audacity"};
    EXPECT_TRUE(callApps().empty());
}

TEST(Machine, LookingNeedsTheAppInFrontAndRecentInput) {
    FakeMachine m;
    struct Case {
        std::optional<std::u16string> front;
        double idle;
        bool expected;
    };
    const Case cases[] = {
        {u"com.apple.Terminal", 19, true},
        {u"com.apple.Terminal", 19.99, true},
        {u"com.apple.Terminal", 20, false},
        {u"com.apple.Terminal", 21, false},
        {u"kitty", 5, true},
        {u"org.gnome.Terminal", 5, true},
        {u"KITTY", 5, false},  // exact comparison
        {u"firefox", 5, false},
        {std::nullopt, 0, false},
    };
    for (const Case& c : cases) {
        m.front->value = c.front;
        m.idle->value = c.idle;
        EXPECT_EQ(looking(terminals()), c.expected)
            << (c.front ? std::string(c.front->begin(), c.front->end()) : "none") << " idle " << c.idle;
    }
}

TEST(Machine, TerminalsHoldTheKnownTerminalsAndEditors) {
    for (const char16_t* id : {u"com.apple.Terminal", u"com.googlecode.iterm2", u"com.microsoft.VSCode",
                               u"com.mitchellh.ghostty", u"net.kovidgoyal.kitty", u"com.github.wez.wezterm",
                               u"com.apple.dt.Xcode", u"konsole", u"Code"})
        EXPECT_TRUE(terminals().count(id)) << std::string(id, id + std::char_traits<char16_t>::length(id));
    EXPECT_FALSE(terminals().count(u"firefox"));
}
