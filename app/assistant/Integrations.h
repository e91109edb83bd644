#pragma once
// Installs, removes and repairs the outside hooks that run the tool
// `tovan`: Claude Code's "Notification" and "Stop" hooks in
// ~/.claude/settings.json, and the shell hooks that report long commands:
// ~/.tovantts.zsh sourced by one line in zsh's .zshrc (in ZDOTDIR when set),
// and ~/.tovantts.bash sourced by one line in ~/.bashrc.
//
// Only these files are touched, each written whole and atomically (the
// settings only when nobody changed them since they were read, and never
// when a hook value is in a form not understood); an
// edited file that is a symbolic link is written where it points. Before its
// first edit by a connect, settings.json and each start-up file are copied
// once to "<name>.tovantts-backup", which is never overwritten. A start-up
// file that cannot be read whole as text is refused, and then none is
// changed. Whether a hook is
// installed is always read from the files. Main thread only.

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovan::Integrations {

// What went wrong, in words for the user (a path and what failed).
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user's home folder (taken once) and the tool's absolute path (beside
// the running program); tests point both elsewhere.
const std::filesystem::path& home();
const std::string& tovan();
// The tool that belongs to `program`: beside it, symbolic links resolved,
// so a copy run from the build tree, an installed copy and a moved one each
// write hooks that run their own tool.
std::string toolFor(const std::filesystem::path& program);
void useHome(std::filesystem::path home);
void useTool(std::string path);
// For tests: runs after the new settings are written beside the file and
// before the file is compared and replaced.
void useBeforeReplace(std::function<void(const std::filesystem::path&)> hook);

// The hook events handled, in order.
const std::vector<std::string>& events();

bool claudeConnected();
bool shellConnected();
// Each throws Failure; nothing is half-written.
void connectClaude();
void disconnectClaude();
void connectShell();
void disconnectShell();
// Points installed hooks at the tool's current path; never fails.
void repairPaths();

// The zsh hook script for a tool path, and the line the zsh start-up file
// gets.
std::string script(const std::string& toolPath);
const std::string& sourceLine();
// The same for bash: ~/.tovantts.bash, sourced from ~/.bashrc.
std::string bashScript(const std::string& toolPath);
const std::string& bashSourceLine();

// zsh's start-up file: .zshrc in ZDOTDIR when the user sets one (in the
// environment, or in ~/.zshenv as zsh itself reports), else in the home
// folder. Tests fix ZDOTDIR with useZdotdir (nothing: the home folder).
std::filesystem::path zshrcFile();
void useZdotdir(std::optional<std::filesystem::path> dir);
// The command Claude Code runs: the quoted path and "hook".
std::string command(const std::string& toolPath);

}  // namespace tovan::Integrations
