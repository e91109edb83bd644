#pragma once
// The symbol names the screens use ("book.closed", "text.cursor", …) drawn as
// one-colour icons: the desktop theme's symbolic icon of the nearest
// freedesktop name when the theme has one, else the program's own drawing
// (compiled in), so no control is ever left without its picture. Either is
// painted in the palette's text colour, or in a colour the caller asks for,
// so the icons follow a light or a dark palette.

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <optional>

namespace tovan {

// The freedesktop icon name standing for a symbol name; empty for a name
// the program does not know.
QString themeIconName(const QString& symbol);
// Every symbol name the program draws, sorted.
QStringList symbolNames();
// The resource path of the program's own drawing of a symbol.
QString symbolResource(const QString& symbol);

// A null icon for an unknown symbol name, so a misspelt name shows up in the
// tests instead of as a stand-in picture.
QIcon symbolIcon(const QString& symbol, std::optional<QColor> colour = std::nullopt);

// The application's icon, and the coloured tray icon that reads on light
// and dark panels.
QIcon applicationIcon();
QIcon trayIcon();

}  // namespace tovan
