// Installing, removing and repairing the Claude Code and zsh hooks in a home
// folder of the test's own.
#include "Integrations.h"

#include "Install.h"

#include "../../../playback/tests/TestDir.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace I = tovan::Integrations;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct Hooks : ::testing::Test {
    TestDir tmp;
    void SetUp() override {
        I::useHome(tmp.path);
        I::useTool("/A/B/tovan");
        I::useZdotdir(std::nullopt);
    }
    fs::path settings() const { return tmp.path / ".claude" / "settings.json"; }
    fs::path zshrc() const { return tmp.path / ".zshrc"; }
    fs::path zscript() const { return tmp.path / ".tovantts.zsh"; }
    fs::path bashrc() const { return tmp.path / ".bashrc"; }
    fs::path bscript() const { return tmp.path / ".tovantts.bash"; }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void write(const fs::path& p, const std::string& bytes) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }
    json settingsJson() const { return json::parse(read(settings())); }
    static json ours(const std::string& tool = "/A/B/tovan") {
        return {{"hooks", json::array({{{"type", "command"}, {"command", "\"" + tool + "\" hook"}}})}};
    }
};

}  // namespace

TEST(HookScript, IsTheFixedHeadThePathAndTheFixedTail) {
    const std::string s = I::script("/A/B/tovan");
    EXPECT_EQ(s.size(), 748u + 10u + 214u);
    EXPECT_EQ(s.substr(748, 10), "/A/B/tovan");
    EXPECT_EQ(s.substr(736, 12), "         ( \"");
    EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 21);
    EXPECT_EQ(s.back(), '\n');
    EXPECT_EQ(I::sourceLine(),
              "[ -f ~/.tovantts.zsh ] && source ~/.tovantts.zsh   # Lumora: say when a long command finishes\n");
    EXPECT_EQ(I::command("/A/B/tovan"), "\"/A/B/tovan\" hook");
}

TEST(HookScript, OddPathsCannotBreakOutOfTheirQuotes) {
    EXPECT_EQ(I::command("/x/$(rm -rf ~)/\"q\"/tovan"), "\"/x/\\$(rm -rf ~)/\\\"q\\\"/tovan\" hook");
    const std::string s = I::script("/x/`id`/tovan");
    EXPECT_NE(s.find("( \"/x/\\`id\\`/tovan\" command"), std::string::npos);
}

TEST_F(Hooks, ConnectWithoutClaudeFolderMakesOnlyOurHooks) {
    EXPECT_FALSE(I::claudeConnected());
    I::connectClaude();
    EXPECT_EQ(settingsJson(), json({{"hooks", {{"Notification", {ours()}}, {"Stop", {ours()}}}}}));
    EXPECT_FALSE(fs::exists(settings().string() + ".tovantts-backup")) << "nothing to copy";
    EXPECT_TRUE(I::claudeConnected());
    EXPECT_NE(read(settings()).find("\"\\\"/A/B/tovan\\\" hook\""), std::string::npos) << "slashes not escaped";
}

TEST_F(Hooks, ConnectKeepsOthersAndStaysSingle) {
    const json other = {{"matcher", ""}, {"hooks", json::array({{{"type", "command"}, {"command", "notify-send hi"}}})}};
    write(settings(), json({{"zeta", 1},
                            {"model", "x"},
                            {"hooks", {{"Notification", {other, ours("/Old/Place/tovan")}},
                                       {"PreToolUse", {other}}}}})
                          .dump());
    const std::string original = read(settings());
    EXPECT_TRUE(I::claudeConnected()) << "an older place counts";
    I::connectClaude();
    I::connectClaude();
    const json s = settingsJson();
    EXPECT_EQ(s["hooks"]["Notification"], json({other, ours()}));
    EXPECT_EQ(s["hooks"]["Stop"], json({ours()}));
    EXPECT_EQ(s["hooks"]["PreToolUse"], json({other}));
    EXPECT_EQ(s["zeta"], 1);
    EXPECT_EQ(s["model"], "x");
    const std::string text = read(settings());
    EXPECT_LT(text.find("\"hooks\""), text.find("\"model\""));
    EXPECT_LT(text.find("\"model\""), text.find("\"zeta\"")) << "keys sorted";
    EXPECT_EQ(read(settings().string() + ".tovantts-backup"), original) << "the first connect's copy";

    write(settings(), json({{"hooks", json::object()}, {"edited", true}}).dump());
    I::connectClaude();
    EXPECT_EQ(read(settings().string() + ".tovantts-backup"), original) << "never overwritten";
}

TEST_F(Hooks, DisconnectRemovesOnlyOurs) {
    I::connectClaude();
    I::disconnectClaude();
    EXPECT_EQ(settingsJson(), json::object()) << "events and hooks themselves go when empty";

    const json other = {{"hooks", json::array({{{"type", "command"}, {"command", "say done"}}})}};
    const json handWritten = {{"hooks", json::array({{{"type", "command"}, {"command", "/A/B/tovan hook"}}})}};
    write(settings(), json({{"hooks", {{"Stop", {other, ours()}}, {"Notification", {handWritten, ours()}}}},
                            {"keep", "me"}})
                          .dump());
    I::disconnectClaude();
    const json s = settingsJson();
    EXPECT_EQ(s["hooks"]["Stop"], json({other}));
    EXPECT_EQ(s["hooks"]["Notification"], json({handWritten})) << "not recognised as ours";
    EXPECT_EQ(s["keep"], "me");
    EXPECT_TRUE(I::claudeConnected()) << "the hand-written line still counts as installed";
    EXPECT_FALSE(fs::exists(settings().string() + ".tovantts-backup")) << "disconnect makes no backup";
}

TEST_F(Hooks, DisconnectWithoutSettingsWritesNothing) {
    I::disconnectClaude();
    EXPECT_FALSE(fs::exists(settings()));
    write(settings(), "{\"a\":1}");
    I::disconnectClaude();
    EXPECT_EQ(read(settings()), "{\"a\":1}");
}

TEST_F(Hooks, BadSettingsFailAndStayUntouched) {
    struct Case {
        std::string bytes, message;
    };
    const Case cases[] = {
        {"[1,2]", settings().string() + " is not a JSON object."},
        {"{\"hooks\": ", ""},
        {"\"text\"", settings().string() + " is not a JSON object."},
    };
    for (const Case& c : cases) {
        write(settings(), c.bytes);
        for (auto op : {&I::connectClaude, &I::disconnectClaude}) {
            try {
                op();
                ADD_FAILURE() << "no failure for " << c.bytes;
            } catch (const I::Failure& e) {
                if (!c.message.empty()) {
                    EXPECT_EQ(e.what(), c.message);
                }
            }
        }
        EXPECT_EQ(read(settings()), c.bytes);
        EXPECT_FALSE(fs::exists(settings().string() + ".tovantts-backup"));
    }
    write(settings(), "");
    I::connectClaude();
    EXPECT_EQ(settingsJson()["hooks"]["Stop"], json({ours()})) << "an empty file is an empty object";
}

TEST_F(Hooks, HookValuesNotUnderstoodAreRefusedNeverReplaced) {
    const json other = {{"hooks", json::array({{{"type", "command"}, {"command", "say done"}}})}};
    struct Case {
        json settings;
        std::string what;          // named in the refusal
        json afterDisconnect;      // what disconnect leaves
    };
    const Case cases[] = {
        {{{"hooks", "run-this"}}, "\"hooks\" value", {{"hooks", "run-this"}}},
        {{{"hooks", json::array({other})}}, "\"hooks\" value", {{"hooks", json::array({other})}}},
        {{{"hooks", {{"Notification", "notify-send hi"}}}}, "\"Notification\" hooks value",
         {{"hooks", {{"Notification", "notify-send hi"}}}}},
        {{{"hooks", {{"Stop", other}, {"Notification", {ours()}}}}}, "\"Stop\" hooks value",
         {{"hooks", {{"Stop", other}}}}},
        {{{"hooks", {{"Stop", 7}, {"Notification", {other, ours()}}}}, {"keep", true}}, "\"Stop\" hooks value",
         {{"hooks", {{"Stop", 7}, {"Notification", {other}}}}, {"keep", true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.dump());
        fs::remove_all(tmp.path / ".claude");
        const std::string bytes = c.settings.dump();
        write(settings(), bytes);
        try {
            I::connectClaude();
            ADD_FAILURE() << "connect replaced a value it does not understand";
        } catch (const I::Failure& e) {
            // The assistant screen shows this text on the card.
            const std::string said = e.what();
            EXPECT_EQ(said.rfind(settings().string() + ": its " + c.what, 0), 0u) << said;
            EXPECT_NE(said.find("left as it is"), std::string::npos) << said;
        }
        EXPECT_EQ(read(settings()), bytes);
        EXPECT_FALSE(fs::exists(settings().string() + ".tovantts-backup"));
        // Disconnect takes out only our entries and never drops what it
        // does not understand.
        I::disconnectClaude();
        EXPECT_EQ(settingsJson(), c.afterDisconnect);
    }
}

TEST_F(Hooks, SettingsChangedWhileEditingAreNotOverwritten) {
    struct Case {
        const char* what;
        std::optional<std::string> before;  // none: no file at first
        void (*op)();
    };
    const std::string theirs = "{\"hooks\": {}, \"written\": \"meanwhile\"}";
    const Case cases[] = {
        {"connect over a file", std::string("{\"model\": \"x\"}"), &I::connectClaude},
        {"connect over an empty file", std::string(""), &I::connectClaude},
        {"connect where there was none", std::nullopt, &I::connectClaude},
        {"disconnect", json({{"hooks", {{"Stop", {ours()}}}}}).dump(), &I::disconnectClaude},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(tmp.path / ".claude");
        if (c.before) write(settings(), *c.before);
        int calls = 0;
        I::useBeforeReplace([&](const fs::path&) {
            calls++;
            write(settings(), theirs);
        });
        EXPECT_THROW(c.op(), I::Failure);
        I::useBeforeReplace(nullptr);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(read(settings()), theirs) << "the other writer's edit stands";
        std::set<std::string> left;
        for (auto& e : fs::directory_iterator(settings().parent_path())) left.insert(e.path().filename().string());
        left.erase("settings.json.tovantts-backup");
        EXPECT_EQ(left, std::set<std::string>{"settings.json"}) << "no temporary file is left";
        // Unchanged, the same edit goes through.
        c.op();
        EXPECT_NE(read(settings()), theirs);
    }
}

TEST_F(Hooks, ShellConnectAppendsOneLineOnce) {
    write(zshrc(), "export A=1\nalias l=ls");
    I::connectShell();
    EXPECT_EQ(read(zshrc()), "export A=1\nalias l=ls\n" + I::sourceLine());
    EXPECT_EQ(read(zscript()), I::script("/A/B/tovan"));
    EXPECT_EQ(read(zshrc().string() + ".tovantts-backup"), "export A=1\nalias l=ls");
    EXPECT_TRUE(I::shellConnected());
    I::useTool("/New/tovan");
    I::connectShell();
    EXPECT_EQ(read(zshrc()), "export A=1\nalias l=ls\n" + I::sourceLine()) << "no second line";
    EXPECT_EQ(read(zscript()), I::script("/New/tovan"));
}

TEST_F(Hooks, ShellConnectRespectsAnyMention) {
    write(zshrc(), "# source ~/.tovantts.zsh (disabled)\n");
    I::connectShell();
    EXPECT_EQ(read(zshrc()), "# source ~/.tovantts.zsh (disabled)\n");
    EXPECT_FALSE(fs::exists(zshrc().string() + ".tovantts-backup"));
    EXPECT_TRUE(fs::exists(zscript()));
}

TEST_F(Hooks, ShellConnectWithoutZshrcOrWithAnUnreadableOne) {
    I::connectShell();
    EXPECT_EQ(read(zshrc()), I::sourceLine());
    fs::remove(zshrc());
    write(zshrc(), "caf\xE9\n");  // not UTF-8
    EXPECT_THROW(I::connectShell(), I::Failure);
    EXPECT_EQ(read(zshrc()), "caf\xE9\n") << "never replaced by the line alone";
}

TEST_F(Hooks, ShellConnectWritesThroughALinkedZshrc) {
    write(tmp.path / "dotfiles" / "zshrc", "export B=2\n");
    fs::create_symlink(tmp.path / "dotfiles" / "zshrc", zshrc());
    I::connectShell();
    EXPECT_TRUE(fs::is_symlink(zshrc())) << "the link stays";
    EXPECT_EQ(read(tmp.path / "dotfiles" / "zshrc"), "export B=2\n" + I::sourceLine());
}

TEST_F(Hooks, ShellDisconnectDropsEveryLineNamingTheScript) {
    write(zshrc(), "a\r\n\n# my .tovantts.zsh note\r\nb\n" + I::sourceLine() + "\nc");
    write(zscript(), "x");
    I::disconnectShell();
    EXPECT_EQ(read(zshrc()), "a\r\n\nb\n\nc");
    EXPECT_FALSE(fs::exists(zscript()));
    EXPECT_FALSE(I::shellConnected());
    I::disconnectShell();  // the script is gone already: fine
    fs::remove(zshrc());
    I::disconnectShell();
    EXPECT_FALSE(fs::exists(zshrc())) << "nothing to edit";
}

TEST_F(Hooks, ShellConnectedNeedsBothFiles) {
    write(zshrc(), I::sourceLine());
    EXPECT_FALSE(I::shellConnected());
    write(zscript(), "x");
    EXPECT_TRUE(I::shellConnected());
}

TEST_F(Hooks, RepairFollowsTheToolToItsNewPlace) {
    write(zshrc(), "export A=1\n");
    I::connectShell();
    I::connectClaude();
    const std::string rc = read(zshrc());
    I::useTool("/Moved/tovan");
    I::repairPaths();
    EXPECT_EQ(settingsJson()["hooks"]["Stop"], json({ours("/Moved/tovan")}));
    EXPECT_EQ(settingsJson()["hooks"]["Notification"], json({ours("/Moved/tovan")}));
    EXPECT_EQ(read(zscript()), I::script("/Moved/tovan"));
    EXPECT_EQ(read(zshrc()), rc) << "~/.zshrc is not touched";

    write(settings(), "[broken");
    I::repairPaths();  // never fails
    EXPECT_EQ(read(settings()), "[broken");
}

TEST_F(Hooks, RepairLeavesWhatIsNotInstalled) {
    I::repairPaths();
    EXPECT_FALSE(fs::exists(settings()));
    EXPECT_FALSE(fs::exists(zscript()));
}

namespace {

// Lines the fake tool writes into a pipe, read as they come: the tool runs
// detached, so the test waits on the pipe instead of on a clock.
struct ToolPipe {
    fs::path fifo;
    int readEnd = -1, keepOpen = -1;
    explicit ToolPipe(fs::path at) : fifo(std::move(at)) {
        ::mkfifo(fifo.c_str(), 0600);
        readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        keepOpen = ::open(fifo.c_str(), O_WRONLY);  // no end of file between two writers
    }
    ~ToolPipe() {
        ::close(readEnd);
        ::close(keepOpen);
    }
    // A fake tool that writes its arguments, '|'-separated, as one line.
    std::string tool() const {
        return "#!/bin/sh\nline=''\nfor a in \"$@\"; do line=\"$line$a|\"; done\nprintf '%s\\n' \"$line\" > '" +
               fifo.string() + "'\n";
    }
    // The next `count` lines; fewer when none comes within a generous bound.
    std::vector<std::string> lines(size_t count) {
        std::vector<std::string> out;
        std::string buf;
        while (out.size() < count) {
            pollfd p{readEnd, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) break;
            char chunk[512];
            const ssize_t n = ::read(readEnd, chunk, sizeof chunk);
            if (n <= 0) continue;
            buf.append(chunk, size_t(n));
            for (size_t nl; (nl = buf.find('\n')) != std::string::npos; buf.erase(0, nl + 1)) out.push_back(buf.substr(0, nl));
        }
        return out;
    }
};

// A shell hook installed with a fake tool that writes into a pipe; the
// shell run with `arguments`; the `expected` calls the tool got, sorted (the
// tool runs detached, so two calls may come in either order).
std::vector<std::string> hookCalls(Hooks& h, const std::string& shell, const fs::path& script,
                                   std::string (*scriptFor)(const std::string&), const std::string& arguments,
                                   size_t expected) {
    ToolPipe pipe(h.tmp.path / "calls");
    const fs::path tool = h.tmp.path / "bin" / "tovan";
    Hooks::write(tool, pipe.tool());
    fs::permissions(tool, fs::perms::owner_all);
    Hooks::write(script, scriptFor(tool.string()));
    const fs::path err = h.tmp.path / "err";
    // The test's home: an interactive shell writes its history there.
    const std::string run = "HOME='" + h.tmp.path.string() + "' " + shell + " " + arguments + " 2>'" + err.string() + "'";
    EXPECT_EQ(std::system(run.c_str()), 0) << Hooks::read(err);
    std::vector<std::string> calls = pipe.lines(expected);
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls.size(), expected) << Hooks::read(err);
    return calls;
}

std::vector<std::string> bashCalls(Hooks& h, const std::string& arguments, size_t expected) {
    return hookCalls(h, "bash", h.bscript(), I::bashScript, arguments, expected);
}

// Commands as the prompt hooks see them: what ran, for how long, how it
// ended. Only "git push" and the last one are reported; the last one stands
// for the wait that shows nothing was said for the cases before it.
struct HookCase {
    const char* command;
    double seconds;
    int status;
};
constexpr HookCase hookCases[] = {{"vim notes.txt", 600, 0}, {"sleep 9", 9.5, 0}, {"git push", 12.5, 3},
                                  {"", 30, 0},               {"make -j8 all", 75.25, 0}};

}  // namespace

// The script itself in a real zsh: the hooks are called as zsh would call
// them, with a fake tool that writes down its arguments.
TEST_F(Hooks, ZshHookReportsOnlyLongNonInteractiveCommands) {
    if (std::system("command -v zsh >/dev/null 2>&1") != 0) GTEST_SKIP() << "no zsh";
    // The hooks are called by hand here, so zsh must not call them as well.
    std::string program = "source '" + zscript().string() + "'\n" +
                          "add-zsh-hook -d preexec __tovan_preexec; add-zsh-hook -d precmd __tovan_precmd\n";
    for (const HookCase& c : hookCases) {
        program += "__tovan_preexec '" + std::string(c.command) + "'\n";
        program += "__tovan_start=$(( EPOCHREALTIME - " + std::to_string(c.seconds) + " ))\n";
        program += "(exit " + std::to_string(c.status) + "); __tovan_precmd\n";
    }
    write(tmp.path / "run.zsh", program);
    const auto calls =
        hookCalls(*this, "zsh", zscript(), I::script, "-f '" + (tmp.path / "run.zsh").string() + "'", 2);
    ASSERT_EQ(calls.size(), 2u) << program;
    EXPECT_EQ(calls[0].rfind("command|--status|0|--seconds|75.", 0), 0u) << calls[0];
    EXPECT_NE(calls[0].find("|--|make -j8 all|"), std::string::npos) << calls[0];
    EXPECT_EQ(calls[1].rfind("command|--status|3|--seconds|12.", 0), 0u) << calls[1];
    EXPECT_NE(calls[1].find("|--|git push|"), std::string::npos) << calls[1];
}

TEST(HookScript, BothShellsQuoteOddPathsAndKeepTheirSourceLines) {
    struct Case {
        const char* shell;
        std::string (*script)(const std::string&);
        std::string line;
    };
    const Case cases[] = {{"zsh", I::script, I::sourceLine()}, {"bash", I::bashScript, I::bashSourceLine()}};
    for (const Case& c : cases) {
        const std::string s = c.script("/a b/$(x)`y`\\\"q/tovan");
        EXPECT_NE(s.find("\"/a b/\\$(x)\\`y\\`\\\\\\\"q/tovan\" command --status"), std::string::npos) << c.shell << s;
        EXPECT_EQ(c.line.back(), '\n') << c.shell;
        EXPECT_NE(c.line.find(std::string("source ~/.tovantts.") + c.shell), std::string::npos) << c.shell;
    }
}

TEST_F(Hooks, ShellConnectInstallsBashAndZshWithTheSameRules) {
    struct Rc {
        fs::path rc, script;
        std::string line, body;
    };
    write(bashrc(), "# ~/.bashrc\nalias ll='ls -l'");
    write(zshrc(), "export A=1\n");
    const Rc rcs[] = {{bashrc(), bscript(), I::bashSourceLine(), I::bashScript("/A/B/tovan")},
                      {zshrc(), zscript(), I::sourceLine(), I::script("/A/B/tovan")}};
    const std::string before[] = {read(bashrc()), read(zshrc())};
    I::connectShell();
    I::connectShell();
    for (size_t i = 0; i < 2; ++i) {
        const Rc& r = rcs[i];
        std::string expected = before[i];
        if (expected.back() != '\n') expected += '\n';
        EXPECT_EQ(read(r.rc), expected + r.line) << r.rc << ": one line, once";
        EXPECT_EQ(read(r.rc.string() + ".tovantts-backup"), before[i]);
        EXPECT_EQ(read(r.script), r.body);
    }
    EXPECT_TRUE(I::shellConnected());
    I::disconnectShell();
    EXPECT_FALSE(I::shellConnected());
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read(rcs[i].rc), before[i] + (i == 0 ? "\n" : "")) << rcs[i].rc;
        EXPECT_FALSE(fs::exists(rcs[i].script));
    }
}

TEST_F(Hooks, ShellConnectRefusesAnUnreadableStartupFileAndChangesNeither) {
    struct Case {
        fs::path bad, other;
    };
    const Case cases[] = {{bashrc(), zshrc()}, {zshrc(), bashrc()}};
    for (const Case& c : cases) {
        fs::remove(bashrc());
        fs::remove(zshrc());
        write(c.bad, "caf\xE9\n");  // not UTF-8
        write(c.other, "export B=2\n");
        EXPECT_THROW(I::connectShell(), I::Failure) << c.bad;
        EXPECT_EQ(read(c.bad), "caf\xE9\n");
        EXPECT_EQ(read(c.other), "export B=2\n") << "nothing is half-done";
        EXPECT_FALSE(fs::exists(zscript()));
        EXPECT_FALSE(fs::exists(bscript()));
    }
}

TEST_F(Hooks, ZshHookGoesIntoZdotdirWhenTheUserHasOne) {
    const fs::path zdot = tmp.path / ".config" / "zsh";
    I::useZdotdir(zdot);
    write(zdot / ".zshrc", "setopt autocd\n");
    I::connectShell();
    EXPECT_EQ(read(zdot / ".zshrc"), "setopt autocd\n" + I::sourceLine());
    EXPECT_EQ(read((zdot / ".zshrc").string() + ".tovantts-backup"), "setopt autocd\n");
    EXPECT_FALSE(fs::exists(zshrc())) << "the home folder's .zshrc is not zsh's here";
    EXPECT_TRUE(fs::exists(zscript()));
    I::disconnectShell();
    EXPECT_EQ(read(zdot / ".zshrc"), "setopt autocd\n");
}

TEST_F(Hooks, BashRepairRewritesTheScriptOnly) {
    write(bashrc(), "x=1\n");
    I::connectShell();
    const std::string rc = read(bashrc());
    I::useTool("/Moved/tovan");
    I::repairPaths();
    EXPECT_EQ(read(bscript()), I::bashScript("/Moved/tovan"));
    EXPECT_EQ(read(bashrc()), rc);
}

// The bash hook in a real bash, its functions called as the prompt would.
TEST_F(Hooks, BashHookReportsOnlyLongNonInteractiveCommands) {
    if (std::system("command -v bash >/dev/null 2>&1") != 0) GTEST_SKIP() << "no bash";
    std::string program = "source '" + bscript().string() + "'\ntrap - DEBUG\n";
    for (const HookCase& c : hookCases) {
        char start[64];
        std::snprintf(start, sizeof start, "%.6f", 1000.0);
        char end[64];
        std::snprintf(end, sizeof end, "%.6f", 1000.0 + c.seconds);
        program += "EPOCHREALTIME=" + std::string(start) + "; __tovan_begin '" + c.command + "'\n";
        program += "EPOCHREALTIME=" + std::string(end) + "; (exit " + std::to_string(c.status) + "); __tovan_precmd\n";
    }
    // EPOCHREALTIME loses its special meaning once unset, so the test sets the clock.
    program = "unset EPOCHREALTIME\n" + program;
    write(tmp.path / "run.bash", program);
    const auto calls = bashCalls(*this, "--norc --noprofile '" + (tmp.path / "run.bash").string() + "'", 2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "command|--status|0|--seconds|75.250000|--|make -j8 all|");
    EXPECT_EQ(calls[1], "command|--status|3|--seconds|12.500000|--|git push|");
}

// The trap and the prompt hooks themselves, in an interactive bash fed a
// session: each line is reported once, whole, with its status; an empty
// line and the prompt's own commands are not.
TEST_F(Hooks, BashHookFollowsAnInteractiveSession) {
    if (std::system("command -v bash >/dev/null 2>&1") != 0) GTEST_SKIP() << "no bash";
    // A clock the commands move: each "take N" makes the line last N seconds.
    write(tmp.path / "rc",
          "unset EPOCHREALTIME; EPOCHREALTIME=1000.000000\n"
          "PROMPT_COMMAND='mine=1'\n"
          "take() { EPOCHREALTIME=$(( ${EPOCHREALTIME%.*} + $1 )).000000; return ${2:-0}; }\n"
          "vim() { take 50; }\n"
          "source '" + bscript().string() + "'\n");
    const std::string session =
        "take 3\n"
        "\n"
        "take 20 4; echo after\n"
        "vim notes\n"
        "take 11 && true\n"
        "exit\n";
    write(tmp.path / "session", session);
    const auto calls = bashCalls(*this,
                                 "--noprofile --rcfile '" + (tmp.path / "rc").string() + "' -i < '" +
                                     (tmp.path / "session").string() + "' >/dev/null",
                                 2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "command|--status|0|--seconds|11.000000|--|take 11 && true|");
    EXPECT_EQ(calls[1], "command|--status|0|--seconds|20.000000|--|take 20 4; echo after|");
}

// The path the hooks are written with, for each way the program can be laid
// out: the tool is the one beside the running program, links resolved.
TEST_F(Hooks, HooksRunTheToolOfTheCopyThatWroteThem) {
    struct Case {
        const char* layout;
        fs::path program;  // as started
        fs::path tool;     // what the hooks run
    };
    const fs::path t = tmp.path;
    const Case cases[] = {
        {"build tree", t / "src/build/bin/tovantts", t / "src/build/bin/tovan"},
        {"installed", t / "usr/bin/tovantts", t / "usr/bin/tovan"},
        {"unpacked elsewhere", t / "unpacked/usr/bin/tovantts", t / "unpacked/usr/bin/tovan"},
        {"started through a link", t / "home/.local/bin/tovantts", t / "opt/tovantts/bin/tovan"},
        {"folder with a blank", t / "My Apps/bin/tovantts", t / "My Apps/bin/tovan"},
    };
    write(t / "opt/tovantts/bin/tovantts", "");
    write(t / "opt/tovantts/bin/tovan", "");
    fs::create_directories(t / "home/.local/bin");
    fs::create_symlink(t / "opt/tovantts/bin/tovantts", t / "home/.local/bin/tovantts");
    for (const Case& c : cases) {
        if (!fs::exists(c.program)) {
            write(c.program, "");
            write(c.tool, "");
        }
        fs::remove(settings());
        I::useTool(I::toolFor(c.program));
        I::connectClaude();
        I::connectShell();
        EXPECT_EQ(settingsJson()["hooks"]["Stop"], json({ours(c.tool.string())})) << c.layout;
        EXPECT_EQ(read(zscript()), I::script(c.tool.string())) << c.layout;
    }

    // Moved after connecting: the next start of the moved copy re-points both hooks.
    I::useTool(I::toolFor(cases[0].program));
    I::connectClaude();
    I::connectShell();
    fs::rename(t / "src/build", t / "elsewhere");
    I::useTool(I::toolFor(t / "elsewhere/bin/tovantts"));
    I::repairPaths();
    EXPECT_EQ(settingsJson()["hooks"]["Notification"], json({ours((t / "elsewhere/bin/tovan").string())}));
    EXPECT_EQ(read(zscript()), I::script((t / "elsewhere/bin/tovan").string()));
}

// This test program sits in the build tree's bin/ like the application: the
// tool its hooks would run is there.
TEST(HookTool, TheBuildTreesToolIsBesideItsPrograms) {
    const fs::path tool = I::toolFor(tovan::Install::self());
    EXPECT_EQ(tool.filename(), "tovan");
    EXPECT_TRUE(fs::exists(tool)) << tool;
}
