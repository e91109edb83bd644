#pragma once
// The applications installed on this machine, as the desktop knows them:
// the .desktop files in the XDG application folders. An application's
// identifier is its desktop file id (the file name without ".desktop"), the
// same name that notifications carry in their "desktop-entry" hint, so the
// chosen-apps setting, the notification intake and the app picker agree.

#include <optional>
#include <string>
#include <vector>

namespace tovan {

struct InstalledApp {
    std::u16string id;    // desktop file id, letter case kept
    std::u16string name;  // what the user sees
    std::string url;      // the .desktop file itself

    bool operator==(const InstalledApp&) const = default;

    // This program's own identifier; it is never listed.
    static const std::u16string& ownID();

    // The application folders, least important first: each of
    // $XDG_DATA_DIRS (default /usr/local/share:/usr/share) in reverse, with
    // Flatpak's system and user exports after them when the variable lacks
    // them, then $XDG_DATA_HOME (default ~/.local/share), each with
    // "/applications".
    static std::vector<std::string> folders();

    // Every application in the folders, sorted by name ignoring letter case
    // under the current locale. An id found in several folders keeps the
    // record of the later folder. Never fails: unreadable folders and files
    // that are not application entries are skipped.
    static std::vector<InstalledApp> all();
    static std::vector<InstalledApp> all(const std::vector<std::string>& folders);

    // The installed application with exactly this id (later folders win).
    static std::optional<InstalledApp> find(const std::u16string& id);
    static std::optional<InstalledApp> find(const std::u16string& id, const std::vector<std::string>& folders);

    // The entry's "Icon" value (a theme icon name or a path), "" when none.
    std::u16string icon() const;

    // One desktop file read, or nothing when it is not an application entry.
    static std::optional<InstalledApp> load(const std::string& path);
};

}  // namespace tovan
