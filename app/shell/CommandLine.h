#pragma once
// The program's arguments:
//   TovanTTS [--hidden] [--read-selection | --add-selection | --read-clipboard] [FILE | URL]…
// --hidden starts in the tray without the main window (login, the command-line
// tool). The service switches are what the desktop entry's actions run.
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

namespace tovan {

struct CommandLine {
    enum class Service { readSelection, addSelection, readClipboard };
    bool hidden = false;
    std::optional<Service> service;
    std::vector<QUrl> urls;
    // An unknown switch: the message to print; the rest is still parsed.
    QStringList problems;

    // `args` without the program name; relative paths from `cwd`.
    static CommandLine parse(const QStringList& args, const QString& cwd);
};

}  // namespace tovan
