#pragma once
// The tray icon: the single-colour brand mark in a 20 x 16 frame, drawn at
// twice that in pixels and marked as a mask so the panel can tint it.
#include <QIcon>
#include <QImage>

namespace tovan {

struct MenuBarIcon {
    // Made on first use.
    static const QIcon& image();
    // The 40 x 32 bitmap behind it (device pixel ratio 2).
    static QImage render();
};

}  // namespace tovan
