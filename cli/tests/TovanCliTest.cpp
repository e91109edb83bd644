// From arguments, standard input and environment to the event the tool posts.
#include "TovanCli.h"

#include <gtest/gtest.h>

using nlohmann::json;
using tovan::TovanCli::Inputs;
using tovan::TovanCli::plan;

namespace {

Inputs inputs(std::vector<std::string> args, std::string stdinText = "", std::optional<std::string> term = std::nullopt) {
    Inputs in;
    in.args = std::move(args);
    in.readStdin = [stdinText] { return stdinText; };
    in.termProgram = std::move(term);
    in.cwd = "/home/me/web-app";
    in.now = 1700000000.25;
    return in;
}

}  // namespace

TEST(TovanCli, UsageIsThreeExactLines) {
    EXPECT_EQ(tovan::TovanCli::usage().size(), 190u);
    EXPECT_EQ(tovan::TovanCli::usage().substr(0, 69),
              "usage: tovan say TEXT [--mood happy|sad|urgent|calm|excited]\n       t");
    EXPECT_NE(tovan::TovanCli::usage().find("tovan hook                      (Claude Code hooks: JSON on stdin)\n"),
              std::string::npos);
}

TEST(TovanCli, NoArgumentsOrAnUnknownSubCommandShowUsage) {
    auto none = plan(inputs({}));
    EXPECT_TRUE(none.usage);
    EXPECT_EQ(none.status, 0);
    EXPECT_FALSE(none.event);
    auto unknown = plan(inputs({"speak", "hi"}));
    EXPECT_TRUE(unknown.usage);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_FALSE(unknown.event);
    EXPECT_EQ(plan(inputs({"SAY", "hi"})).status, 2) << "compared exactly";
}

TEST(TovanCli, EventsCarryTheirKindsFields) {
    struct Case {
        std::vector<std::string> args;
        json expected;  // besides cwd and time
    };
    const Case cases[] = {
        {{"say"}, {{"kind", "say"}, {"text", ""}}},
        {{"say", "Hello", "--mood", "sad"}, {{"kind", "say"}, {"text", "Hello"}, {"mood", "sad"}}},
        {{"say", "--mood", "sad", "Hello"}, {{"kind", "say"}, {"text", "sad"}, {"mood", "sad"}}},
        {{"say", "--mood"}, {{"kind", "say"}, {"text", ""}}},
        {{"say", "Hello", "world"}, {{"kind", "say"}, {"text", "Hello"}}},
        {{"say", "Hi", "--mood", "grumpy"}, {{"kind", "say"}, {"text", "Hi"}, {"mood", "grumpy"}}},
        {{"command", "--status", "1", "--seconds", "42.5", "--", "make", "-j8"},
         {{"kind", "command"}, {"status", 1}, {"seconds", 42.5}, {"command", "make -j8"}, {"terminal", ""}}},
        {{"command", "--status", "2", "--seconds", "1e2"},
         {{"kind", "command"}, {"status", 2}, {"seconds", 100.0}, {"terminal", ""}}},
        {{"command", "--", "make"}, {{"kind", "command"}, {"status", 0}, {"seconds", 0.0}, {"command", "make"},
                                     {"terminal", ""}}},
        {{"command", "--status", "0", "--"}, {{"kind", "command"}, {"status", 0}, {"seconds", 0.0}, {"command", ""},
                                              {"terminal", ""}}},
        {{"command", "--status", "-3", "--", "ls"},
         {{"kind", "command"}, {"status", -3}, {"seconds", 0.0}, {"command", "ls"}, {"terminal", ""}}},
        {{"command", "--seconds", "30", "--", "grep", "--status", "3"},
         {{"kind", "command"}, {"status", 3}, {"seconds", 30.0}, {"command", "grep --status 3"}, {"terminal", ""}}},
        {{"command", "--seconds", "-0.5", "--status", "+7"},
         {{"kind", "command"}, {"status", 7}, {"seconds", -0.5}, {"terminal", ""}}},
    };
    for (const Case& c : cases) {
        auto p = plan(inputs(c.args));
        ASSERT_TRUE(p.event) << c.args[0];
        json got = *p.event;
        EXPECT_EQ(got["cwd"], "/home/me/web-app");
        EXPECT_EQ(got["time"], 1700000000.25);
        got.erase("cwd");
        got.erase("time");
        EXPECT_EQ(got, c.expected) << json(c.args).dump();
    }
}

// A status or a duration that is not a number is refused with a message and
// nothing is posted; before, it was reported as a success after 0 seconds.
TEST(TovanCli, BadStatusOrSecondsAreRefused) {
    struct Case {
        std::vector<std::string> args;
        std::string problem;
    };
    const Case cases[] = {
        {{"command", "--status", "x", "--seconds", "1e2"}, "--status wants a whole number, not \"x\""},
        {{"command", "--seconds", "3", "--status", "99999999999999999999"},
         "--status wants a whole number, not \"99999999999999999999\""},
        {{"command", "--seconds", "1", "--status"}, "--status wants a whole number after it"},
        {{"command", "--status", "--", "ls"}, "--status wants a whole number, not \"--\""},
        {{"command", "--status", "", "--seconds", "1"}, "--status wants a whole number, not \"\""},
        {{"command", "--status", "1", "--seconds", "12s"}, "--seconds wants a number of seconds, not \"12s\""},
        {{"command", "--seconds", "inf", "--status", "1"}, "--seconds wants a number of seconds, not \"inf\""},
        {{"command", "--seconds", "nan", "--status", "+7"}, "--seconds wants a number of seconds, not \"nan\""},
        {{"command", "--status", "0", "--seconds"}, "--seconds wants a number of seconds after it"},
        {{"command", "--seconds", "4", "--", "grep", "--status", "x"}, "--status wants a whole number, not \"x\""},
    };
    for (const Case& c : cases) {
        auto p = plan(inputs(c.args));
        EXPECT_EQ(p.problem, c.problem) << json(c.args).dump();
        EXPECT_EQ(p.status, 2) << json(c.args).dump();
        EXPECT_FALSE(p.usage);
        EXPECT_FALSE(p.event) << "nothing is posted";
    }
    for (const char* sub : {"say", "hook"})
        EXPECT_TRUE(plan(inputs({sub, "--status", "x"})).problem.empty()) << sub << " takes no status";
}

TEST(TovanCli, HookPassesStandardInputOn) {
    const std::string hook = R"({"hook_event_name":"Stop","cwd":"/p","transcript_path":"/t.jsonl","x":[1,2.5]})";
    auto p = plan(inputs({"hook"}, hook, "iTerm.app"));
    ASSERT_TRUE(p.event);
    EXPECT_EQ((*p.event)["kind"], "claude");
    EXPECT_EQ((*p.event)["hook"], json::parse(hook));
    EXPECT_EQ((*p.event)["terminal"], "iTerm.app");
    for (const char* bad : {"", "not json", "42", "\"text\"", "{\"a\":"})
        EXPECT_EQ((*plan(inputs({"hook"}, bad)).event)["hook"], json::object()) << bad;
    EXPECT_EQ((*plan(inputs({"hook"}, "[1,2]")).event)["hook"], json::array({1, 2}));
}

TEST(TovanCli, NumbersAreReadWhole) {
    using tovan::TovanCli::integer;
    using tovan::TovanCli::number;
    EXPECT_EQ(integer("42"), 42);
    EXPECT_EQ(integer("+42"), 42);
    EXPECT_EQ(integer("-42"), -42);
    EXPECT_EQ(integer("9223372036854775807"), INT64_MAX);
    for (const char* bad : {"", "+", "-", "4 2", " 42", "42 ", "4x", "++4", "+-4", "9223372036854775808", "1.0"})
        EXPECT_EQ(integer(bad), std::nullopt) << bad;
    EXPECT_EQ(number("42.5"), 42.5);
    EXPECT_EQ(number("1e2"), 100.0);
    EXPECT_EQ(number("+0.5"), 0.5);
    EXPECT_EQ(number("-3"), -3.0);
    for (const char* bad : {"", "x", "1.5s", " 1", "1 ", "++1", "+-1", "1e999"})
        EXPECT_EQ(number(bad), std::nullopt) << bad;
}

TEST(TovanCli, EncodingKeepsAnEventWithBrokenText) {
    json e = {{"kind", "command"}, {"command", std::string("ls caf\xE9")}};
    const std::string text = tovan::TovanCli::encode(e);
    EXPECT_EQ(json::parse(text)["kind"], "command");
    EXPECT_EQ(text.find('\n'), std::string::npos) << "compact";
}
