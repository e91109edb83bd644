// Which recording streams count, and how their programs are named.
#include "PulseAudioInputUsers.h"

#include <gtest/gtest.h>

using tovan::PulseAudioInputUsers;

TEST(PulseAudioInputUsers, NamesRunningStreamsByTheirBestIdentifier) {
    struct Case {
        const char* json;
        std::vector<std::u16string> expected;
    };
    const Case cases[] = {
        {R"([{"corked":false,"properties":{"application.name":"ZOOM VoiceEngine","application.process.binary":"zoom",
              "pipewire.access.portal.app_id":"us.zoom.Zoom"}}])",
         {u"us.zoom.Zoom"}},
        {R"([{"corked":false,"properties":{"application.name":"Chromium","application.process.binary":"chromium"}}])",
         {u"chromium"}},
        {R"([{"properties":{"application.name":"Slack"}}])", {u"Slack"}},
        {R"([{"properties":{"application.id":"com.slack.Slack","application.name":"Slack"}}])", {u"com.slack.Slack"}},
        // A paused stream records nothing.
        {R"([{"corked":true,"properties":{"application.process.binary":"zoom"}}])", {}},
        // Empty names do not count; the next property is taken.
        {R"([{"properties":{"application.id":"","application.process.binary":"teams"}}])", {u"teams"}},
        // Malformed streams are skipped, the rest kept in order, repeats kept.
        {R"([1,{"properties":[]},{"properties":{"application.name":"A"}},{"properties":{"application.name":"A"}}])",
         {u"A", u"A"}},
        {R"([{"properties":{"media.name":"no program"}}])", {}},
        {"", {}},
        {"not json", {}},
        {R"({"properties":{"application.name":"A"}})", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(PulseAudioInputUsers::parse(c.json), c.expected) << c.json;
}

TEST(PulseAudioInputUsers, AsksPactlForSourceOutputsInJson) {
    std::vector<std::string> seen;
    PulseAudioInputUsers users([&](const std::vector<std::string>& args) {
        seen = args;
        return std::string(R"([{"properties":{"application.process.binary":"discord"}}])");
    });
    EXPECT_EQ(users.apps(), std::vector<std::u16string>{u"discord"});
    EXPECT_EQ(seen, (std::vector<std::string>{"--format=json", "list", "source-outputs"}));

    PulseAudioInputUsers failing([](const std::vector<std::string>&) { return std::string(); });
    EXPECT_TRUE(failing.apps().empty());
}
