#include "LoginItem.h"

#include "AtomicFile.h"
#include "DesktopEntry.h"

#include <cstdlib>
#include <sstream>
#include <system_error>

namespace tovan {

XdgAutostart::XdgAutostart(std::filesystem::path file, std::string program)
    : file_(std::move(file)), program_(std::move(program)) {}

std::filesystem::path XdgAutostart::standardFile() {
    const char* v = getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (v && v[0] == '/') base = v;
    else {
        const char* home = getenv("HOME");
        base = std::filesystem::path(home && *home ? home : "/tmp") / ".config";
    }
    return base / "autostart" / (std::string(DesktopEntry::kId) + ".desktop");
}

bool XdgAutostart::enabled() const {
    std::string text;
    if (!AtomicFile::read(file_, text)) return false;
    std::istringstream in(text);
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') inEntry = line == "[Desktop Entry]";
        if (!inEntry) continue;
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return false;
    }
    return true;
}

bool XdgAutostart::enable(std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (ec) {
        if (error) *error = "cannot make " + file_.parent_path().string() + ": " + ec.message();
        return false;
    }
    return AtomicFile::write(file_, DesktopEntry::autostartText(program_), error);
}

bool XdgAutostart::disable(std::string* error) {
    std::error_code ec;
    std::filesystem::remove(file_, ec);
    if (ec) {
        if (error) *error = "cannot remove " + file_.string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace tovan
