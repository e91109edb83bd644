// Installing, removing and repairing the Claude Code and zsh hooks in a home
// folder of the test's own.
#include "Integrations.h"

#include "TempDir.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace I = tovan::Integrations;
namespace fs = std::filesystem;
using nlohmann::json;
using tovan::test::TempDir;

namespace {

struct Hooks : ::testing::Test {
    TempDir tmp;
    void SetUp() override {
        I::useHome(tmp.path);
        I::useTool("/A/B/tovan");
    }
    fs::path settings() const { return tmp.path / ".claude" / "settings.json"; }
    fs::path zshrc() const { return tmp.path / ".zshrc"; }
    fs::path zscript() const { return tmp.path / ".tovantts.zsh"; }
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

// The script itself in a real zsh: the hooks are called as zsh would call
// them, with a fake tool that writes down its arguments.
TEST_F(Hooks, ZshHookReportsOnlyLongNonInteractiveCommands) {
    if (std::system("command -v zsh >/dev/null 2>&1") != 0) GTEST_SKIP() << "no zsh";
    const fs::path tool = tmp.path / "bin" / "tovan";
    const fs::path log = tmp.path / "calls";
    write(tool, "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done >> '" + log.string() + "'\necho >> '" +
                    log.string() + "'\n");
    fs::permissions(tool, fs::perms::owner_all);
    write(zscript(), I::script(tool.string()));
    struct Case {
        const char* command;
        double seconds;
        int status;
    };
    const Case cases[] = {{"vim notes.txt", 600, 0}, {"sleep 9", 9.5, 0}, {"git push", 12.5, 3}, {"", 30, 0}};
    // The hooks are called by hand here, so zsh must not call them as well.
    std::string program = "source '" + zscript().string() + "'\n" +
                          "add-zsh-hook -d preexec __tovan_preexec; add-zsh-hook -d precmd __tovan_precmd\n";
    for (const Case& c : cases) {
        program += "__tovan_preexec '" + std::string(c.command) + "'\n";
        program += "__tovan_start=$(( EPOCHREALTIME - " + std::to_string(c.seconds) + " ))\n";
        program += "(exit " + std::to_string(c.status) + "); __tovan_precmd\n";
    }
    program += "wait\n";
    write(tmp.path / "run.zsh", program);
    ASSERT_EQ(std::system(("zsh -f '" + (tmp.path / "run.zsh").string() + "' 2>'" + (tmp.path / "err").string() + "'").c_str()), 0);
    // The tool was started detached: give it a moment to write.
    for (int i = 0; i < 250 && !fs::exists(log); i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string calls = read(log);
    ASSERT_EQ(std::count(calls.begin(), calls.end(), '\n'), 1) << calls << read(tmp.path / "err") << program;
    EXPECT_EQ(calls.rfind("command|--status|3|--seconds|12.", 0), 0u) << calls;
    EXPECT_NE(calls.find("|--|git push|\n"), std::string::npos) << calls;
}
