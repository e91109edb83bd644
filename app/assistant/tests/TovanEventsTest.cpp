// Tool events into assistant events: moods of "say", Claude Code's hooks
// and transcripts, finished commands with their spoken names and durations.
#include "ClaudeEvents.h"
#include "FakeMachine.h"
#include "Regex.h"
#include "TovanEvents.h"

#include "../../../playback/tests/TestDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThreadPool>

#include <sys/stat.h>

#include <fstream>

using tovan::Assistant;
using tovan::u8;
namespace TovanEvents = tovan::TovanEvents;
namespace ClaudeEvents = tovan::ClaudeEvents;
namespace Expression = tovan::Expression;

namespace {

struct Events : ::testing::Test {
    FakeMachine machine;
    TestDir tmp;
    std::shared_ptr<tovan::MemorySettingsStore> store = std::make_shared<tovan::MemorySettingsStore>();
    tovan::AssistantPrefs prefs{store, [] { return 12; }};
    std::vector<Assistant::Event> got;

    void post(const std::string& json) {
        TovanEvents::handle(json, prefs, [this](const Assistant::Event& e) { got.push_back(e); });
    }
    // The one event posted, as "part | part" and its away sentence.
    std::string spoken(size_t i = 0) const {
        std::string out;
        for (const auto& p : got.at(i).speech.parts) out += (out.empty() ? "" : " | ") + u8(p.text);
        return out;
    }
    std::string away(size_t i = 0) const { return got.at(i).away ? u8(*got.at(i).away) : "(none)"; }
    std::string file(const std::string& name, const std::string& bytes) {
        const auto path = tmp.path / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    static std::string assistantLine(const std::string& contentJson) {
        return R"({"type":"assistant","message":{"role":"assistant","content":)" + contentJson + "}}";
    }
    std::string hook(const std::string& fields, const std::string& eventCwd = "\"/elsewhere\"") {
        return R"({"kind":"claude","cwd":)" + eventCwd + R"(,"time":1.5,"hook":{)" + fields + "}}";
    }
};

}  // namespace

TEST_F(Events, SayUsesTheNamedMoodOrTheTextsOwn) {
    struct Case {
        const char* json;
        Expression::MoodRef mood;
    };
    const Case cases[] = {
        {R"({"kind":"say","text":"Hello"})", Expression::of(std::u16string(u"Hello"))},
        {R"({"kind":"say","text":"Hello","mood":"sad"})", Expression::SAD()},
        {R"({"kind":"say","text":"Hello","mood":"Sad"})", Expression::of(std::u16string(u"Hello"))},
        {R"({"kind":"say","text":"Hello","mood":"grumpy"})", Expression::of(std::u16string(u"Hello"))},
        {R"({"kind":"say","text":"Hello","mood":7})", Expression::of(std::u16string(u"Hello"))},
        {R"({"kind":"say","text":"Hello","mood":"failed"})", ClaudeEvents::failed()},
        {R"({"kind":"say","text":"Hello","mood":"attentive"})", ClaudeEvents::attentive()},
        {R"({"kind":"say","text":"Hello","mood":"excited"})", Expression::EXCITED()},
    };
    for (const Case& c : cases) {
        got.clear();
        post(c.json);
        ASSERT_EQ(got.size(), 1u) << c.json;
        ASSERT_EQ(got[0].speech.parts.size(), 1u);
        EXPECT_EQ(got[0].speech.parts[0].mood->name, c.mood->name) << c.json;
    }
    EXPECT_EQ(got[0].kind, Assistant::Event::Kind::say);
    EXPECT_EQ(got[0].app, u"Script");
    EXPECT_EQ(got[0].who, u"");
    EXPECT_EQ(away(), "Hello");
    EXPECT_FALSE(got[0].urgent);
    EXPECT_FALSE(got[0].bundleID);
}

TEST_F(Events, SayIsNotGatedByTheOtherSwitchesOrTheTerminal) {
    prefs.setClaude(false);
    prefs.setCommands(false);
    machine.front->value = u"com.apple.Terminal";
    machine.idle->value = 5;
    post(R"({"kind":"say","text":"Still here"})");
    EXPECT_EQ(spoken(), "Still here");
}

TEST_F(Events, ClaudeNotificationSentences) {
    struct Case {
        std::string message, spoken, away;
    };
    const Case cases[] = {
        {"Claude needs your permission to use Bash", "Claude needs your permission in web app, to use Bash.",
         "Claude asked for permission in web app."},
        {"Claude needs your PERMISSION TO USE Write.", "Claude needs your permission in web app, to use Write.",
         "Claude asked for permission in web app."},
        {"Claude is waiting for your input", "Claude is waiting for you in web app.",
         "Claude was waiting for you in web app."},
    };
    for (const Case& c : cases) {
        got.clear();
        post(hook(R"("hook_event_name":"Notification","cwd":"/Users/me/web-app","message":")" + c.message + "\""));
        ASSERT_EQ(got.size(), 1u) << c.message;
        EXPECT_EQ(spoken(), c.spoken);
        EXPECT_EQ(away(), c.away);
        EXPECT_EQ(got[0].who, u"web-app");
        EXPECT_EQ(got[0].app, u"Claude Code");
        EXPECT_EQ(got[0].speech.parts[0].mood, ClaudeEvents::attentive());
    }
}

TEST_F(Events, ClaudePlaceComesFromTheHookThenTheTool) {
    struct Case {
        std::string fields, eventCwd, spoken, who;
    };
    const Case cases[] = {
        {R"("cwd":"/Users/me/web-app_beta")", "\"/x\"", "Claude is waiting for you in web app beta.", "web-app_beta"},
        {R"("cwd":"/srv/proj/")", "\"/x\"", "Claude is waiting for you in proj.", "proj"},
        {"", "\"/home/me/site.v2\"", "Claude is waiting for you in site v2.", "site.v2"},
        {"", "null", "Claude is waiting for you.", ""},
        {R"("cwd":"/")", "\"/x\"", "Claude is waiting for you.", ""},
        {R"("cwd":5)", "\"/tool/dir\"", "Claude is waiting for you in dir.", "dir"},
    };
    for (const Case& c : cases) {
        got.clear();
        post(hook(R"("hook_event_name":"Notification")" + (c.fields.empty() ? "" : "," + c.fields), c.eventCwd));
        ASSERT_EQ(got.size(), 1u) << c.fields;
        EXPECT_EQ(spoken(), c.spoken) << c.fields;
        EXPECT_EQ(u8(got[0].who), c.who);
    }
}

TEST_F(Events, ClaudeStopReadsTheLastWords) {
    const std::string t = file("t.jsonl", assistantLine(R"([{"type":"text","text":"Should I also update the docs?"}])") +
                                              "\n");
    post(hook(R"("hook_event_name":"Stop","cwd":"/p/web-app","transcript_path":")" + t + "\""));
    EXPECT_EQ(spoken(), "Claude has a question in web app. | Should I also update the docs?");
    EXPECT_EQ(got[0].speech.parts[0].pauseAfterMs, 150);
    EXPECT_EQ(got[0].speech.parts[1].mood, ClaudeEvents::attentive());
    EXPECT_EQ(away(), "Claude had a question in web app.");

    const std::string d = file("d.jsonl", assistantLine(R"([{"type":"text","text":"**Done.** All tests pass."}])"));
    got.clear();
    post(hook(R"("hook_event_name":"Stop","cwd":"/p/web-app","transcript_path":")" + d + "\""));
    EXPECT_EQ(spoken(), "Claude is done in web app. | Done.");
    EXPECT_EQ(got[0].speech.parts[0].mood, ClaudeEvents::done());
    EXPECT_EQ(away(), "Claude finished in web app.");

    prefs.setReadText(false);
    got.clear();
    post(hook(R"("hook_event_name":"Stop","cwd":"/p/web-app","transcript_path":")" + t + "\""));
    EXPECT_EQ(spoken(), "Claude has a question in web app.");

    got.clear();
    prefs.setReadText(true);
    post(hook(R"("hook_event_name":"Stop","cwd":"/p/web-app","transcript_path":")" + (tmp.path / "gone").string() +
              "\""));
    EXPECT_EQ(spoken(), "Claude is done in web app.");
}

TEST_F(Events, ClaudeSwitchAndTerminalInFront) {
    const std::string n = hook(R"("hook_event_name":"Notification","cwd":"/p/app")");
    prefs.setClaude(false);
    post(n);
    EXPECT_TRUE(got.empty());
    prefs.setClaude(true);
    machine.front->value = u"com.apple.Terminal";
    machine.idle->value = 5;
    post(n);
    EXPECT_TRUE(got.empty()) << "the user is watching already";
    machine.idle->value = 21;
    post(n);
    EXPECT_EQ(got.size(), 1u);
    machine.idle->value = 5;
    prefs.setWhileLooking(true);
    post(n);
    EXPECT_EQ(got.size(), 2u);
}

TEST_F(Events, MalformedEventsAreIgnored) {
    for (const std::string& bad :
         {std::string("not json"), std::string("[]"), std::string("\"say\""), std::string(R"({"text":"x"})"),
          std::string(R"({"kind":"Say","text":"x"})"), std::string(R"({"kind":1})"),
          std::string(R"({"kind":"claude","hook":"text"})"), std::string(R"({"kind":"claude","hook":[1]})"),
          hook(R"("hook_event_name":"PreToolUse")"), hook(R"("hook_event_name":5)"), hook(""),
          std::string("{\"kind\":\"say\",\"text\":\"caf\xE9\"}")})
        post(bad);
    EXPECT_TRUE(got.empty());
}

TEST_F(Events, LastWordsWalkBackToTheNewestAssistantText) {
    const std::string lines =
        assistantLine(R"([{"type":"text","text":"First answer."}])") + "\n" +
        assistantLine(R"([{"type":"text","text":"Here is the plan."},{"type":"tool_use","name":"Bash"},)"
                      R"({"type":"text","text":"Running it now."}])") +
        "\n\n" + assistantLine(R"([{"type":"tool_use","name":"Bash","input":{}}])") + "\n" +
        R"({"type":"user","message":{"content":[{"type":"tool_result","content":"ok \"assistant\""}]}})" + "\n" +
        R"({"type":"assistant","message":{"content":[1,{"type":"text","text":"Malformed content."}]}})" + "\n" +
        "{not json \"assistant\"}\n";
    EXPECT_EQ(TovanEvents::lastWords(file("a.jsonl", lines)), std::u16string(u"Here is the plan."));
    EXPECT_EQ(TovanEvents::lastWords(file("b.jsonl", assistantLine(R"([{"type":"text","text":"  \n "}])"))),
              std::nullopt);
    EXPECT_EQ(TovanEvents::lastWords(file("c.jsonl", "")), std::nullopt);
    EXPECT_EQ(TovanEvents::lastWords((tmp.path / "none").string()), std::nullopt);
}

TEST_F(Events, LastWordsReadOnlyTheTailAndNeedWholeCharacters) {
    const std::string line = assistantLine(R"([{"type":"text","text":"Tail words."}])");
    const std::string old = assistantLine(R"([{"type":"text","text":"Old words."}])");
    // The tail of 400000 bytes begins on the second byte of "é": not UTF-8.
    std::string broken = "\xC3\xA9\n" + line + "\n";
    broken += std::string(400001 - broken.size(), 'a');
    EXPECT_EQ(TovanEvents::lastWords(file("broken.jsonl", broken)), std::nullopt);
    // One byte more at the end: the tail begins at the line break after "é".
    EXPECT_EQ(TovanEvents::lastWords(file("whole.jsonl", broken + "a")), std::u16string(u"Tail words."));
    // What lies before the tail is never read.
    std::string far = old + "\n" + std::string(400000, 'b');
    EXPECT_EQ(TovanEvents::lastWords(file("far.jsonl", far)), std::nullopt);
}

// A hook may name any path: what is not a regular file is never read (a FIFO
// without a writer would hold the open for ever, a device would be read
// until memory runs out).
TEST_F(Events, LastWordsReadOnlyRegularFiles) {
    const auto fifo = tmp.path / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string cases[] = {fifo.string(), "/dev/zero", "/dev/null", tmp.path.string()};
    for (const std::string& path : cases) EXPECT_EQ(TovanEvents::lastWords(path), std::nullopt) << path;

    // A "Stop" naming one is still announced, without words.
    post(hook(R"("hook_event_name":"Stop","cwd":"/w/app","transcript_path":")" + fifo.string() + "\""));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(spoken(), "Claude is done in app.");
}

// The transcript is read away from the thread that handles the event; the
// event follows on that thread once the words are there.
TEST_F(Events, StopWordsAreReadOffTheCallingThread) {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);  // lives for the run
    const std::string path = file("t.jsonl", assistantLine(R"([{"type":"text","text":"Shall I push?"}])"));
    QObject context;
    TovanEvents::handle(hook(R"("hook_event_name":"Stop","cwd":"/w/app","transcript_path":")" + path + "\""),
                        prefs, [this](const Assistant::Event& e) { got.push_back(e); },
                        TovanEvents::backgroundReader(&context));
    EXPECT_TRUE(got.empty()) << "not read on the calling thread";
    QElapsedTimer t;
    t.start();
    while (got.empty() && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(spoken(), "Claude has a question in app. | Shall I push?");

    // The context gone before the words come: nothing arrives.
    got.clear();
    auto gone = std::make_unique<QObject>();
    bool called = false;
    TovanEvents::backgroundReader(gone.get())(path, [&](std::optional<std::u16string>) { called = true; });
    gone.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
}

TEST(TovanEventsText, SummaryMakesOnePlainSentence) {
    const std::u16string s220 = [] {
        std::u16string s;
        for (int i = 0; i < 43; i++) s += u"abcd ";
        return s + u"abcd.";
    }();
    const std::u16string s230 = [] {
        std::u16string s;
        for (int i = 0; i < 45; i++) s += u"abcd ";
        return s + u"abcd.";
    }();
    std::u16string cut;
    for (int i = 0; i < 39; i++) cut += u"abcd ";
    cut += u"abcd…";
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"**Done.** All tests pass.", u"Done."},
        {u"```\nmake\n```\nThe build is *green* now. Next?", u"The build is green now."},
        {u"See [the docs](https://x.y/z) for `make test` details.", u"See the docs for make test details."},
        {u"# Summary\n- fixed the parser\n- added tests", u"Summary fixed the parser added tests"},
        {u"1. First step done", u"First step done"},
        {s220, s220},
        {s230, cut},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(TovanEvents::summary(c.in)), u8(c.out));
    EXPECT_EQ(s220.size(), 220u);
    EXPECT_EQ(s230.size(), 230u);
}

TEST(TovanEventsText, CommandNames) {
    struct Case {
        const char16_t* line;
        const char16_t* name;
    };
    const Case cases[] = {
        {u"npm run test", u"the tests"},        {u"cargo test --release", u"the tests"},
        {u"make -j8", u"the build"},            {u"Make install", u"the build"},
        {u"docker build .", u"the build"},      {u"docker compose up", u"the docker compose"},
        {u"git push origin main", u"the push"}, {u"git clone x", u"the git clone"},
        {u"git fetch --all", u"the git fetch"}, {u"pip3 install numpy", u"the install"},
        {u"kubectl apply -f x.yaml", u"the deploy"}, {u"rsync -a a b", u"the transfer"},
        {u"python3 train.py", u"your script"},  {u"/usr/local/bin/rake db", u"rake command"},
        {u"  sleep 30", u"sleep command"},      {u"", u"your command"},
        {u"///", u"your command"},              {u"cmake --build out", u"the build"}, {u"makefile-lint x", u"makefile-lint command"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(TovanEvents::name(c.line)), u8(c.name)) << u8(c.line);
}

TEST(TovanEventsText, Durations) {
    struct Case {
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 seconds"},      {45, "45 seconds"},   {59.4, "59 seconds"},
        {59.5, "a minute"},    {89, "a minute"},     {90, "2 minutes"},
        {3599, "60 minutes"},  {3600, "an hour"},    {3660, "an hour and a minute"},
        {5400, "an hour and 30 minutes"}, {7230, "2 hours"}, {7320, "2 hours and 2 minutes"},
        {std::numeric_limits<double>::infinity(), "0 seconds"}, {1e300, "0 seconds"},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(TovanEvents::duration(c.seconds)), c.text) << c.seconds;
}

TEST_F(Events, FinishedCommands) {
    struct Case {
        std::string json, spoken, away;
    };
    const Case cases[] = {
        {R"({"kind":"command","status":1,"seconds":25,"command":"npm run test"})",
         "The tests failed, after 25 seconds.", "The tests failed."},
        {R"({"kind":"command","status":0,"seconds":180,"command":"make -j8"})",
         "the build finished, after 3 minutes.", "the build finished."},
        {R"({"kind":"command","seconds":20.0,"command":" git push \n"})", "the push finished, after 20 seconds.",
         "the push finished."},
        {R"({"kind":"command","status":"1","seconds":30,"command":"make"})", "the build finished, after 30 seconds.",
         "the build finished."},
        {R"({"kind":"command","status":2,"seconds":61,"command":"rsync a b"})",
         "the transfer failed, after a minute.", "the transfer failed."},
        {R"({"kind":"command","status":1,"seconds":3600})", "your command failed, after an hour.",
         "your command failed."},
    };
    for (const Case& c : cases) {
        got.clear();
        post(c.json);
        ASSERT_EQ(got.size(), 1u) << c.json;
        EXPECT_EQ(spoken(), c.spoken);
        EXPECT_EQ(away(), c.away);
        EXPECT_EQ(got[0].app, u"Terminal");
        EXPECT_EQ(got[0].speech.parts[0].mood,
                  c.spoken.find("failed") != std::string::npos ? ClaudeEvents::failed() : ClaudeEvents::done());
    }
    EXPECT_EQ(got[0].who, u"your command");
}

TEST_F(Events, CommandsBelowTheThresholdOrSwitchedOffAreDropped) {
    post(R"({"kind":"command","status":0,"seconds":19.9,"command":"make"})");
    post(R"({"kind":"command","status":0,"command":"make"})");
    post(R"({"kind":"command","status":0,"seconds":"60","command":"make"})");
    EXPECT_TRUE(got.empty());
    prefs.setCommandSeconds(60);
    post(R"({"kind":"command","status":0,"seconds":59,"command":"make"})");
    EXPECT_TRUE(got.empty());
    post(R"({"kind":"command","status":0,"seconds":60,"command":"make"})");
    EXPECT_EQ(got.size(), 1u);
    prefs.setCommands(false);
    post(R"({"kind":"command","status":0,"seconds":600,"command":"make"})");
    EXPECT_EQ(got.size(), 1u);
    prefs.setCommands(true);
    machine.front->value = u"kitty";
    machine.idle->value = 3;
    post(R"({"kind":"command","status":0,"seconds":600,"command":"make"})");
    EXPECT_EQ(got.size(), 1u) << "looking at the terminal";
}
