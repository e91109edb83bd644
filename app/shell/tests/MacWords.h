#pragma once
// Words of a Mac that a Linux user should never read in this program: Mac
// places, devices and keys, each with the Linux counterpart the program
// uses instead.
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace tovan::test {

inline QStringList macWords(const QString& text) {
    static const QRegularExpression words(QStringLiteral(
        "\\b(Mac|macOS|iPhone|iPad|FaceTime|AirPods|AirPlay|HomePod|Apple TV|iCloud|iTerm|Safari|Finder|Spotlight|"
        "Control Center|Notification Center|Services menu|Services >|Focus|Full Disk Access|Accessibility access|"
        "Accessibility permission|System Settings|System Preferences|menu bar|Menu bar|Command-|Option-|"
        "Control-Option)\\b|[\\x{2318}\\x{2325}\\x{2303}]"));
    QStringList found;
    for (auto it = words.globalMatch(text); it.hasNext();) found << it.next().captured(0);
    return found;
}

}  // namespace tovan::test
