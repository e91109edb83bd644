#pragma once
// The symbol names the screens use ("book.closed", "text.cursor", …) drawn
// with the desktop's icon theme: each maps to the nearest freedesktop icon
// name, with a plain fallback so a missing theme leaves no hole.

#include <QIcon>
#include <QString>

namespace tovan {

// The freedesktop icon name standing for a symbol name; the symbol name
// itself when there is no mapping.
QString themeIconName(const QString& symbol);
QIcon symbolIcon(const QString& symbol);

}  // namespace tovan
