#include "InstalledApp.h"

#include "AtomicFile.h"
#include "Regex.h"

#include <QCollator>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

namespace tovan {
namespace fs = std::filesystem;

namespace {

const std::string SUFFIX = ".desktop";

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// Values may hold \s, \n, \t, \r and \\.
std::string unescape(const std::string& v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        const char c = v[++i];
        switch (c) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: out += '\\'; out += c;
        }
    }
    return out;
}

// The keys of the [Desktop Entry] group, or nothing when the file has none.
std::optional<std::map<std::string, std::string>> entryGroup(const std::string& path) {
    std::string bytes;
    std::error_code ec;
    // Desktop files are small; a huge one is not an application entry.
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > (1u << 20) || ec)
        return std::nullopt;
    if (!AtomicFile::read(path, bytes))
        return std::nullopt;
    std::map<std::string, std::string> keys;
    bool inEntry = false, found = false;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            found = found || inEntry;
            continue;
        }
        if (!inEntry)
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        while (!value.empty() && value.front() == ' ')
            value.erase(value.begin());
        keys.emplace(key, unescape(value));  // the first occurrence counts
    }
    if (!found)
        return std::nullopt;
    return keys;
}

// Locale keys to try for a localised value, most specific first:
// lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang.
std::vector<std::string> localeKeys() {
    std::string loc = env("LC_ALL");
    if (loc.empty()) loc = env("LC_MESSAGES");
    if (loc.empty()) loc = env("LANG");
    if (loc.empty() || loc == "C" || loc == "POSIX")
        return {};
    std::string modifier;
    if (auto at = loc.find('@'); at != std::string::npos) {
        modifier = loc.substr(at + 1);
        loc.erase(at);
    }
    if (auto dot = loc.find('.'); dot != std::string::npos)
        loc.erase(dot);
    std::string lang = loc, country;
    if (auto us = loc.find('_'); us != std::string::npos) {
        lang = loc.substr(0, us);
        country = loc.substr(us + 1);
    }
    std::vector<std::string> keys;
    if (!country.empty() && !modifier.empty()) keys.push_back(lang + "_" + country + "@" + modifier);
    if (!country.empty()) keys.push_back(lang + "_" + country);
    if (!modifier.empty()) keys.push_back(lang + "@" + modifier);
    keys.push_back(lang);
    return keys;
}

std::optional<std::string> localised(const std::map<std::string, std::string>& keys, const std::string& key) {
    for (const auto& l : localeKeys())
        if (auto it = keys.find(key + "[" + l + "]"); it != keys.end())
            return it->second;
    if (auto it = keys.find(key); it != keys.end())
        return it->second;
    return std::nullopt;
}

std::string removeAll(std::string s, const std::string& what) {
    for (auto at = s.find(what); at != std::string::npos; at = s.find(what))
        s.erase(at, what.size());
    return s;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

const std::u16string& InstalledApp::ownID() {
    static const std::u16string id = u"org.tovantts.TovanTTS";
    return id;
}

std::vector<std::string> InstalledApp::folders() {
    std::string dirs = env("XDG_DATA_DIRS");
    if (dirs.empty())
        dirs = "/usr/local/share:/usr/share";
    std::string home = env("XDG_DATA_HOME");
    if (home.empty() || home[0] != '/') {
        const std::string h = env("HOME");
        home = (h.empty() ? std::string("/tmp") : h) + "/.local/share";
    }
    auto bare = [](std::string d) {
        while (d.size() > 1 && d.back() == '/')
            d.pop_back();
        return d;
    };
    std::vector<std::string> system;
    std::stringstream in(dirs);
    for (std::string d; std::getline(in, d, ':');)
        if (!d.empty() && d[0] == '/')
            system.push_back(bare(d));
    // Flatpak's exports, ahead of the rest as its own profile script puts
    // them, also in a session whose variable was set without them.
    for (const std::string& exports : {std::string("/var/lib/flatpak/exports/share"), bare(home) + "/flatpak/exports/share"})
        if (std::find(system.begin(), system.end(), exports) == system.end())
            system.insert(system.begin(), exports);
    std::vector<std::string> out(system.rbegin(), system.rend());
    out.push_back(bare(home));
    for (auto& d : out)
        d += "/applications";
    return out;
}

std::optional<InstalledApp> InstalledApp::load(const std::string& path) {
    const std::string file = fs::path(path).filename().string();
    if (!endsWith(file, SUFFIX))
        return std::nullopt;
    const auto keys = entryGroup(path);
    if (!keys)
        return std::nullopt;
    auto is = [&](const char* key, const char* value) {
        auto it = keys->find(key);
        return it != keys->end() && it->second == value;
    };
    // Only applications that the desktop shows: links, folders, hidden
    // (deleted) and menu-less helper entries are left out.
    if (!is("Type", "Application") || is("Hidden", "true") || is("NoDisplay", "true"))
        return std::nullopt;
    InstalledApp app;
    app.id = u16(file.substr(0, file.size() - SUFFIX.size()));
    if (app.id.empty() || app.id == ownID())
        return std::nullopt;
    if (auto name = localised(*keys, "Name"))
        app.name = u16(*name);  // used as written, even when empty
    else
        app.name = u16(removeAll(file, SUFFIX));
    app.url = path;
    return app;
}

std::vector<InstalledApp> InstalledApp::all() { return all(folders()); }

std::vector<InstalledApp> InstalledApp::all(const std::vector<std::string>& folders) {
    std::map<std::u16string, InstalledApp> byID;
    for (const auto& folder : folders) {
        std::error_code ec;
        std::vector<std::string> entries;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            entries.push_back(it->path().filename().string());
        std::sort(entries.begin(), entries.end());  // listing order is the file system's; make it stable
        for (const auto& e : entries)
            if (auto app = load(folder + "/" + e))
                byID[app->id] = *app;
    }
    std::vector<InstalledApp> out;
    out.reserve(byID.size());
    for (auto& [id, app] : byID)
        out.push_back(std::move(app));
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(out.begin(), out.end(), [&](const InstalledApp& a, const InstalledApp& b) {
        return collator.compare(QString::fromStdU16String(a.name), QString::fromStdU16String(b.name)) < 0;
    });
    return out;
}

std::optional<InstalledApp> InstalledApp::find(const std::u16string& id) { return find(id, folders()); }

std::optional<InstalledApp> InstalledApp::find(const std::u16string& id, const std::vector<std::string>& folders) {
    if (id.empty() || id.find(u'/') != std::u16string::npos)
        return std::nullopt;
    for (auto f = folders.rbegin(); f != folders.rend(); ++f)
        if (auto app = load(*f + "/" + u8(id) + SUFFIX))
            return app;
    return std::nullopt;
}

std::u16string InstalledApp::icon() const {
    const auto keys = entryGroup(url);
    if (!keys)
        return {};
    auto it = keys->find("Icon");
    return it == keys->end() ? std::u16string() : u16(it->second);
}

}  // namespace tovan
