#include "DesktopEntry.h"

#include "AtomicFile.h"

#include <cstdlib>
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

std::string text(const std::string& program) {
    const std::string exe = quote(program);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + std::string(kName) + "\n"
           "Comment=Reads books, articles and anything you select aloud\n"
           "Exec=" + exe + " %U\n"
           "Icon=org.tovantts.TovanTTS\n"
           "Terminal=false\n"
           "Categories=Utility;Accessibility;AudioVideo;\n"
           "MimeType=application/pdf;application/epub+zip;text/html;text/plain;text/markdown;"
           "application/vnd.openxmlformats-officedocument.wordprocessingml.document;\n"
           "StartupNotify=false\n"
           "Actions=read-selection;add-selection;read-clipboard;\n"
           "\n"
           "[Desktop Action read-selection]\n"
           "Name=Read with " + std::string(kName) + "\n"
           "Exec=" + exe + " --read-selection\n"
           "\n"
           "[Desktop Action add-selection]\n"
           "Name=Add Selection to " + std::string(kName) + "\n"
           "Exec=" + exe + " --add-selection\n"
           "\n"
           "[Desktop Action read-clipboard]\n"
           "Name=Read Clipboard with " + std::string(kName) + "\n"
           "Exec=" + exe + " --read-clipboard\n";
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
