#include "Integrations.h"

#include "AtomicFile.h"
#include "Install.h"

#include <nlohmann/json.hpp>
#include <unicode/ustring.h>

#include <QProcess>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>

namespace tovan::Integrations {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

std::optional<fs::path>& homeOverride() {
    static std::optional<fs::path> h;
    return h;
}
std::optional<std::string>& toolOverride() {
    static std::optional<std::string> t;
    return t;
}

fs::path settingsFile() { return home() / ".claude" / "settings.json"; }

std::optional<std::optional<fs::path>>& zdotdirOverride() {
    static std::optional<std::optional<fs::path>> z;
    return z;
}

bool validUtf8(const std::string& bytes) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t needed = 0;
    u_strFromUTF8(nullptr, 0, &needed, bytes.data(), int32_t(bytes.size()), &err);
    return err == U_BUFFER_OVERFLOW_ERROR || err == U_ZERO_ERROR || err == U_STRING_NOT_TERMINATED_WARNING;
}

// The file's text when it can be read as UTF-8.
std::optional<std::string> readText(const fs::path& file) {
    std::string bytes;
    if (!AtomicFile::read(file, bytes) || !validUtf8(bytes)) return std::nullopt;
    return bytes;
}

// Where an edit of `file` lands: the file a symbolic link points to, so a
// linked dotfile keeps its link.
fs::path target(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        fs::path real = fs::weakly_canonical(file, ec);
        if (!ec) return real;
    }
    return file;
}

void writeFile(const fs::path& file, const std::string& bytes) {
    std::string error;
    if (!AtomicFile::write(target(file), bytes, &error))
        throw Failure(file.string() + " could not be written: " + error);
}

bool present(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

// A path inside double quotes in a shell command: the characters that keep
// their meaning there are escaped, so an odd folder name cannot run code.
std::string quotedPath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') out += '\\';
        out += c;
    }
    return out;
}

// The settings as read, and the bytes they came from (none when there was
// no file), so that the write can tell whether someone changed the file
// in between.
struct Read {
    json value;
    std::optional<std::string> bytes;
};

std::function<void(const fs::path&)>& beforeReplace() {
    static std::function<void(const fs::path&)> hook;
    return hook;
}

Read readJSON(const fs::path& file) {
    if (!present(file)) return {json::object(), std::nullopt};
    std::string bytes;
    if (!AtomicFile::read(file, bytes)) throw Failure(fs::absolute(file).string() + " could not be read.");
    if (bytes.empty()) return {json::object(), bytes};
    json value;
    try {
        value = json::parse(bytes);
    } catch (const json::exception& e) {
        throw Failure(fs::absolute(file).string() + " is not valid JSON: " + e.what());
    }
    if (!value.is_object()) throw Failure(fs::absolute(file).string() + " is not a JSON object.");
    return {std::move(value), std::move(bytes)};
}

// Writes the new settings beside the file, then replaces the file only when
// it still holds what was read: an edit made meanwhile (by Claude Code, an
// editor, another copy of the program) is never overwritten.
void writeJSON(const json& value, const fs::path& file, const std::optional<std::string>& before) {
    const fs::path real = target(file);
    std::error_code ec;
    fs::create_directories(real.parent_path(), ec);
    if (ec) throw Failure(file.parent_path().string() + " could not be made: " + ec.message());
    // Keys come out sorted (the object keeps them so) and slashes are never
    // escaped, so the tool's path stands in the text as it is.
    const std::string text = value.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
    fs::path next = real;
    next += ".tovantts-new";
    std::string error;
    if (!AtomicFile::write(next, text, &error)) throw Failure(file.string() + " could not be written: " + error);
    if (before) fs::permissions(next, fs::status(real, ec).permissions(), ec);
    if (beforeReplace()) beforeReplace()(file);
    std::string now;
    const bool exists = present(real);
    if (exists != bool(before) || (exists && (!AtomicFile::read(real, now) || now != *before))) {
        fs::remove(next, ec);
        throw Failure(fs::absolute(file).string() +
                      " changed while TovanTTS was editing it; it was left as it is. Try again.");
    }
    fs::rename(next, real, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(next, ignored);
        throw Failure(file.string() + " could not be written: " + ec.message());
    }
}

// A value under "hooks" that is there but is not what Claude Code documents
// is the user's to mend: replacing it would lose it.
void refuseUnknown(const fs::path& file, const std::string& what) {
    throw Failure(fs::absolute(file).string() + ": " + what +
                  " is not in a form TovanTTS understands, so it was left as it is.");
}

bool isOurs(const json& entry) {
    if (!entry.is_object()) return false;
    auto hooks = entry.find("hooks");
    if (hooks == entry.end() || !hooks->is_array()) return false;
    bool ours = false;
    for (const json& h : *hooks) {
        if (!h.is_object()) return false;
        auto c = h.find("command");
        if (c != h.end() && c->is_string() && c->get_ref<const std::string&>().find("/tovan\" hook") != std::string::npos)
            ours = true;
    }
    return ours;
}

void backup(const fs::path& file) {
    fs::path copy = file;
    copy += ".tovantts-backup";
    if (!present(file) || present(copy)) return;
    std::error_code ec;
    fs::copy_file(file, copy, ec);  // a failed copy does not stop the edit
}

// The event's entries without ours; a value that is no array gives none.
json others(const json& hooks, const std::string& event) {
    json kept = json::array();
    auto it = hooks.find(event);
    if (it == hooks.end() || !it->is_array()) return kept;
    for (const json& entry : *it)
        if (!isOurs(entry)) kept.push_back(entry);
    return kept;
}

}  // namespace

const fs::path& home() {
    if (homeOverride()) return *homeOverride();
    static const fs::path h = [] {
        const char* env = std::getenv("HOME");
        if (env && *env) return fs::path(env);
        const passwd* pw = ::getpwuid(::getuid());
        return fs::path(pw && pw->pw_dir ? pw->pw_dir : "/");
    }();
    return h;
}

const std::string& tovan() {
    if (toolOverride()) return *toolOverride();
    static const std::string t = toolFor(Install::self());
    return t;
}

std::string toolFor(const fs::path& program) { return Install::beside(program, Install::kTool).string(); }

void useHome(fs::path h) { homeOverride() = std::move(h); }
void useTool(std::string path) { toolOverride() = std::move(path); }
void useBeforeReplace(std::function<void(const fs::path&)> hook) { beforeReplace() = std::move(hook); }

const std::vector<std::string>& events() {
    static const std::vector<std::string> e{"Notification", "Stop"};
    return e;
}

std::string command(const std::string& toolPath) { return "\"" + quotedPath(toolPath) + "\" hook"; }

const std::string& sourceLine() {
    static const std::string line =
        "[ -f ~/.tovantts.zsh ] && source ~/.tovantts.zsh   # Lumora: say when a long command finishes\n";
    return line;
}

std::string script(const std::string& toolPath) {
    static const std::string head =
        "# TovanTTS: says when a long command finishes (\"The build finished, after 4 minutes\"; \"The tests "
        "failed\").\n"
        "# Installed and removed by TovanTTS > Assistant > Terminal commands. The app decides how long counts as "
        "long.\n"
        "zmodload zsh/datetime 2>/dev/null\n"
        "typeset -g __tovan_cmd=\"\" __tovan_start=0\n"
        "__tovan_preexec() { __tovan_cmd=\"$1\"; __tovan_start=$EPOCHREALTIME }\n"
        "__tovan_precmd() {\n"
        "  local st=$?\n"
        "  [[ -z \"$__tovan_cmd\" ]] && return\n"
        "  local secs=$(( EPOCHREALTIME - __tovan_start ))\n"
        "  local first=${${(z)__tovan_cmd}[1]}\n"
        "  case \"$first\" in\n"
        "    vim|nvim|vi|nano|emacs|less|more|man|ssh|mosh|top|htop|btop|tmux|screen|claude|python|python3|"
        "ipython|node|irb|psql|mysql|sqlite3|watch|tail|fzf|lazygit|tig) ;;\n"
        "    *) if (( secs >= 10 )); then\n"
        "         ( \"";
    static const std::string tail =
        "\" command --status $st --seconds $secs -- \"$__tovan_cmd\" >/dev/null 2>&1 & )\n"
        "       fi ;;\n"
        "  esac\n"
        "  __tovan_cmd=\"\"\n"
        "}\n"
        "autoload -Uz add-zsh-hook\n"
        "add-zsh-hook preexec __tovan_preexec\n"
        "add-zsh-hook precmd __tovan_precmd\n";
    return head + quotedPath(toolPath) + tail;
}

const std::string& bashSourceLine() {
    static const std::string line =
        "[ -f ~/.tovantts.bash ] && source ~/.tovantts.bash   # Lumora: say when a long command finishes\n";
    return line;
}

std::string bashScript(const std::string& toolPath) {
    // bash has no preexec hook: a DEBUG trap armed by the last step of
    // PROMPT_COMMAND catches the first command of each line, and the first
    // step reports it with its status. With bash-preexec loaded, its hooks
    // are used instead of a trap of our own. Times are in microseconds.
    static const std::string head =
        "# TovanTTS: says when a long command finishes (\"The build finished, after 4 minutes\"; \"The tests "
        "failed\").\n"
        "# Installed and removed by TovanTTS > Assistant > Long commands. The app decides how long counts as "
        "long.\n"
        "[ -n \"${__tovan_loaded:-}\" ] && return 0\n"
        "__tovan_loaded=1 __tovan_cmd=\"\" __tovan_start=0 __tovan_armed=\"\" __tovan_hist=\"\"\n"
        "__tovan_now() { __tovan_t=${EPOCHREALTIME:-$SECONDS.000000}; __tovan_t=${__tovan_t//[.,]/}; }\n"
        "__tovan_begin() { __tovan_cmd=$1; __tovan_armed=\"\"; __tovan_now; __tovan_start=$__tovan_t; }\n"
        "__tovan_preexec() {\n"
        "  [[ -n \"$__tovan_armed\" ]] || return 0\n"
        "  if [[ $BASH_COMMAND == __tovan_precmd* ]]; then __tovan_armed=\"\"; return 0; fi\n"
        "  local line cmd=$BASH_COMMAND\n"
        "  line=$(HISTTIMEFORMAT= builtin history 1 2>/dev/null)\n"
        "  if [[ $line =~ ^[[:space:]]*([0-9]+)[*]?[[:space:]]+(.*)$ ]] && [[ ${BASH_REMATCH[1]} != "
        "\"$__tovan_hist\" ]]; then\n"
        "    __tovan_hist=${BASH_REMATCH[1]} cmd=${BASH_REMATCH[2]}\n"
        "  fi\n"
        "  __tovan_begin \"$cmd\"\n"
        "}\n"
        "__tovan_precmd() {\n"
        "  local st=$?\n"
        "  if [[ -z \"$__tovan_armed\" && -n \"$__tovan_cmd\" ]]; then\n"
        "    __tovan_now\n"
        "    local us=$(( 10#$__tovan_t - 10#$__tovan_start )) secs first=${__tovan_cmd%%[[:space:]]*}\n"
        "    printf -v secs '%d.%06d' $(( us / 1000000 )) $(( us % 1000000 ))\n"
        "    case \"$first\" in\n"
        "      vim|nvim|vi|nano|emacs|less|more|man|ssh|mosh|top|htop|btop|tmux|screen|claude|python|python3|"
        "ipython|node|irb|psql|mysql|sqlite3|watch|tail|fzf|lazygit|tig) ;;\n"
        "      *) if (( us >= 10000000 )); then\n"
        "           ( \"";
    static const std::string tail =
        "\" command --status $st --seconds $secs -- \"$__tovan_cmd\" >/dev/null 2>&1 & )\n"
        "         fi ;;\n"
        "    esac\n"
        "  fi\n"
        "  __tovan_cmd=\"\"\n"
        "}\n"
        "__tovan_arm() { __tovan_armed=1; }\n"
        "if [[ -n \"${bash_preexec_imported:-}${__bp_imported:-}\" ]]; then\n"
        "  preexec_functions+=(__tovan_begin)\n"
        "  precmd_functions+=(__tovan_precmd)\n"
        "elif [[ -z \"$(trap -p DEBUG)\" ]]; then\n"
        "  trap '__tovan_preexec' DEBUG\n"
        "  if (( BASH_VERSINFO[0] > 5 || (BASH_VERSINFO[0] == 5 && BASH_VERSINFO[1] >= 1) )); then\n"
        "    PROMPT_COMMAND=(__tovan_precmd \"${PROMPT_COMMAND[@]}\" __tovan_arm)\n"
        "  else\n"
        "    PROMPT_COMMAND=\"__tovan_precmd${PROMPT_COMMAND:+; $PROMPT_COMMAND}; __tovan_arm\"\n"
        "  fi\n"
        "fi\n";
    return head + quotedPath(toolPath) + tail;
}

bool claudeConnected() {
    const auto text = readText(settingsFile());
    if (!text) return false;
    return text->find("/tovan\\\" hook") != std::string::npos || text->find("/tovan hook") != std::string::npos ||
           text->find("tovan\" hook") != std::string::npos;
}

void connectClaude() {
    const fs::path file = settingsFile();
    Read read = readJSON(file);
    json& settings = read.value;
    auto h = settings.find("hooks");
    if (h != settings.end() && !h->is_object()) refuseUnknown(file, "its \"hooks\" value");
    json hooks = h != settings.end() ? *h : json::object();
    for (const std::string& event : events())
        if (auto it = hooks.find(event); it != hooks.end() && !it->is_array())
            refuseUnknown(file, "its \"" + event + "\" hooks value");
    backup(file);
    const json entry = {{"hooks", json::array({{{"type", "command"}, {"command", command(tovan())}}})}};
    for (const std::string& event : events()) {
        json list = others(hooks, event);
        list.push_back(entry);
        hooks[event] = std::move(list);
    }
    settings["hooks"] = std::move(hooks);
    writeJSON(settings, file, read.bytes);
}

void disconnectClaude() {
    const fs::path file = settingsFile();
    Read read = readJSON(file);
    json& settings = read.value;
    auto h = settings.find("hooks");
    if (settings.empty() || h == settings.end() || !h->is_object()) return;
    json hooks = *h;
    for (const std::string& event : events()) {
        auto it = hooks.find(event);
        // Our entry only ever lives in an array; anything else is left alone.
        if (it == hooks.end() || !it->is_array()) continue;
        json list = others(hooks, event);
        if (list.empty())
            hooks.erase(event);
        else
            hooks[event] = std::move(list);
    }
    if (hooks.empty())
        settings.erase("hooks");
    else
        settings["hooks"] = std::move(hooks);
    writeJSON(settings, file, read.bytes);
}

namespace {

// One shell's hook: a script in the home folder, sourced by one line of the
// shell's start-up file. Both shells share every rule of editing.
struct ShellHook {
    const char* scriptName;  // in the home folder
    fs::path (*rcFile)();
    std::string (*scriptFor)(const std::string& toolPath);
    const std::string& (*line)();

    fs::path script() const { return home() / scriptName; }
    bool mentioned(const std::string& text) const { return text.find(scriptName) != std::string::npos; }
    bool connected() const {
        const std::string text = readText(rcFile()).value_or("");
        return mentioned(text) && present(script());
    }
};

fs::path zshrc() { return zshrcFile(); }
fs::path bashrc() { return home() / ".bashrc"; }

const ShellHook& zshHook() {
    static const ShellHook h{".tovantts.zsh", zshrc, script, sourceLine};
    return h;
}
const ShellHook& bashHook() {
    static const ShellHook h{".tovantts.bash", bashrc, bashScript, bashSourceLine};
    return h;
}
std::vector<const ShellHook*> shellHooks() { return {&zshHook(), &bashHook()}; }

// The start-up file's text, or nothing when it does not exist yet; a file
// that cannot be read whole as text is never replaced, so it fails here.
std::string rcText(const fs::path& rc) {
    if (!present(rc)) return {};
    auto read = readText(rc);
    if (!read) throw Failure(rc.string() + " could not be read as text.");
    return std::move(*read);
}

}  // namespace

fs::path zshrcFile() {
    std::optional<fs::path> dir;
    if (zdotdirOverride()) {
        dir = *zdotdirOverride();
    } else if (const char* env = std::getenv("ZDOTDIR"); env && *env) {
        dir = fs::path(env);
    } else {
        // Usually set in ~/.zshenv, which only zsh itself reads: ask it once.
        static const std::optional<fs::path> asked = []() -> std::optional<fs::path> {
            const QString zsh = QStandardPaths::findExecutable(QStringLiteral("zsh"));
            if (zsh.isEmpty()) return std::nullopt;
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("HOME"), QString::fromStdString(home().string()));
            p.setProcessEnvironment(env);
            p.start(zsh, {QStringLiteral("-c"), QStringLiteral("printf %s \"$ZDOTDIR\"")});
            if (!p.waitForFinished(2000)) {
                p.kill();
                p.waitForFinished(500);
                return std::nullopt;
            }
            const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
            if (p.exitCode() != 0 || out.isEmpty() || !out.startsWith('/')) return std::nullopt;
            return fs::path(out.toStdString());
        }();
        dir = asked;
    }
    return (dir ? *dir : home()) / ".zshrc";
}

void useZdotdir(std::optional<fs::path> dir) { zdotdirOverride() = std::move(dir); }

bool shellConnected() {
    for (const ShellHook* h : shellHooks())
        if (h->connected()) return true;
    return false;
}

void connectShell() {
    // Every start-up file is read first, so a refusal leaves all of them as
    // they were.
    std::vector<std::string> texts;
    for (const ShellHook* h : shellHooks()) texts.push_back(rcText(h->rcFile()));
    size_t i = 0;
    for (const ShellHook* h : shellHooks()) {
        std::string& text = texts[i++];
        writeFile(h->script(), h->scriptFor(tovan()));
        if (h->mentioned(text)) continue;
        const fs::path rc = h->rcFile();
        backup(rc);
        if (!text.empty() && text.back() != '\n') text += '\n';
        text += h->line();
        std::error_code ec;
        fs::create_directories(target(rc).parent_path(), ec);
        writeFile(rc, text);
    }
}

void disconnectShell() {
    for (const ShellHook* h : shellHooks()) {
        const fs::path rc = h->rcFile();
        if (auto text = readText(rc)) {
            std::string out;
            size_t start = 0;
            bool first = true;
            while (true) {
                const size_t nl = text->find('\n', start);
                const std::string line = text->substr(start, nl == std::string::npos ? std::string::npos : nl - start);
                if (!h->mentioned(line)) {
                    if (!first) out += '\n';
                    out += line;
                    first = false;
                }
                if (nl == std::string::npos) break;
                start = nl + 1;
            }
            if (out != *text) writeFile(rc, out);
        }
        std::error_code ec;
        fs::remove(h->script(), ec);
    }
}

void repairPaths() {
    if (claudeConnected()) {
        if (auto text = readText(settingsFile()); text && text->find(tovan()) == std::string::npos) {
            try {
                connectClaude();
            } catch (const std::exception&) {
                // The launch goes on whatever the hooks' state.
            }
        }
    }
    for (const ShellHook* h : shellHooks()) {
        if (!h->connected()) continue;
        if (auto text = readText(h->script()); text && text->find(tovan()) == std::string::npos) {
            std::string ignored;
            AtomicFile::write(target(h->script()), h->scriptFor(tovan()), &ignored);
        }
    }
}

}  // namespace tovan::Integrations
