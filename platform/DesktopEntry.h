#pragma once
// The program's desktop entry: its name in menus, the document types it opens
// and the actions a launcher offers (read the selection, add it to the
// reading list, read the clipboard), each running the program with a switch
// that hands the work to the running instance.
#include <filesystem>
#include <string>

namespace tovan {
namespace DesktopEntry {

inline constexpr const char* kId = "org.tovantts.TovanTTS";
// What the program calls itself to the user: its entry's Name, its window
// title and the player name that media controls show.
inline constexpr const char* kName = "Lumora";

// Exec= quoting of one argument (a program path with spaces, say).
std::string quote(const std::string& arg);

// The entry's text for a program at `program`; `autostart` gives the login
// form, which starts hidden in the tray.
std::string text(const std::string& program);
std::string autostartText(const std::string& program);

// $XDG_DATA_HOME/applications/org.tovantts.TovanTTS.desktop.
std::filesystem::path standardFile();

// Writes the entry (atomically) unless the file already holds exactly it.
// True when the file now holds it.
bool install(const std::filesystem::path& file, const std::string& program, std::string* error = nullptr);

// Whether `entry` is exactly what text() gives for some program.
bool isOurs(const std::string& entry);
// The entry an installed copy ships: <prefix>/share/applications/ beside the program.
std::filesystem::path shipped(const std::filesystem::path& program);
// The user's entry at start-up: an installed copy has its own entry, and an
// entry written earlier by a copy run from elsewhere (which would hide it)
// is removed; any other copy writes its entry with install(). Only an entry
// isOurs() recognises is removed. False with `error` when a write or removal
// failed.
bool refresh(const std::filesystem::path& file, const std::filesystem::path& program, std::string* error = nullptr);

}  // namespace DesktopEntry
}  // namespace tovan
