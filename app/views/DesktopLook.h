#pragma once
// The program's look on any Linux desktop: Qt's Fusion style, in a light or
// a dark palette after the desktop's preference, with the brand accent as
// the selection and link colour.

#include <QPalette>

namespace tovan::DesktopLook {

QPalette palette(bool dark);
// Sets the Fusion style (the first time) and the palette on the application.
void apply(bool dark);

}  // namespace tovan::DesktopLook
