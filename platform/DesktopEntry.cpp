#include "DesktopEntry.h"

#include "AtomicFile.h"
#include "DesktopEntryTemplate.h"
#include "Install.h"

#include <cstdlib>
#include <string_view>
#include <system_error>

namespace tovan {
namespace DesktopEntry {
namespace {

std::filesystem::path xdg(const char* var, const char* fallback) {
    const char* v = getenv(var);
    if (v && v[0] == '/') return v;
    const char* home = getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/tmp") / fallback;
}

}  // namespace

std::string quote(const std::string& arg) {
    bool plain = !arg.empty();
    for (char ch : arg)
        if (!(isalnum(static_cast<unsigned char>(ch)) || ch == '/' || ch == '.' || ch == '-' || ch == '_' ||
              ch == '+' || ch == ','))
            plain = false;
    if (plain) return arg;
    std::string out = "\"";
    for (char ch : arg) {
        if (ch == '"' || ch == '`' || ch == '$' || ch == '\\') out += '\\';
        out += ch;
    }
    out += '"';
    // In a desktop file a backslash itself is escaped once more, and a literal % is doubled.
    std::string escaped;
    for (char ch : out) {
        if (ch == '\\') escaped += "\\\\";
        else if (ch == '%') escaped += "%%";
        else escaped += ch;
    }
    return escaped;
}

namespace {

constexpr std::string_view kExec = "@EXEC@";

std::string withExec(const std::string& exec) {
    std::string out = kTemplate;
    for (size_t at = out.find(kExec); at != std::string::npos; at = out.find(kExec, at + exec.size()))
        out.replace(at, kExec.size(), exec);
    return out;
}

}  // namespace

std::string text(const std::string& program) { return withExec(quote(program)); }

bool isOurs(const std::string& entry) {
    const std::string key = "\nExec=", open = " %U\n";
    const size_t from = entry.find(key);
    if (from == std::string::npos) return false;
    const size_t begin = from + key.size();
    const size_t end = entry.find(open, begin);
    if (end == std::string::npos || entry.find('\n', begin) < end) return false;
    return entry == withExec(entry.substr(begin, end - begin));
}

std::string autostartText(const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + std::string(kName) + "\n"
           "Exec=" + quote(program) + " --hidden\n"
           "Icon=org.tovantts.TovanTTS\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::filesystem::path standardFile() {
    return xdg("XDG_DATA_HOME", ".local/share") / "applications" / (std::string(kId) + ".desktop");
}

std::filesystem::path shipped(const std::filesystem::path& program) {
    return Install::shared(program, std::filesystem::path("applications") / (std::string(kId) + ".desktop"));
}

bool refresh(const std::filesystem::path& file, const std::filesystem::path& program, std::string* error) {
    std::error_code ec;
    if (!std::filesystem::exists(shipped(program), ec)) return install(file, program.string(), error);
    std::string have;
    if (AtomicFile::read(file, have) && isOurs(have) && !std::filesystem::remove(file, ec)) {
        if (error) *error = file.string() + ": " + ec.message();
        return false;
    }
    return true;
}

bool install(const std::filesystem::path& file, const std::string& program, std::string* error) {
    const std::string want = text(program);
    std::string have;
    if (AtomicFile::read(file, have) && have == want) return true;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    return AtomicFile::write(file, want, error);
}

}  // namespace DesktopEntry
}  // namespace tovan
