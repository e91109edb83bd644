#pragma once
// The few look-and-feel helpers the reading views share: the accent colours
// (the application theme's, resolved for the widget's palette) and fonts by
// role.

#include <QColor>
#include <QFont>

class QWidget;

namespace tovan::ViewStyle {

QColor accent(const QWidget* w = nullptr);
QColor accentSoft(const QWidget* w = nullptr);
// The ordinary text colour of the widget's palette.
QColor text(const QWidget* w = nullptr);
// The secondary text colour (dimmer than text).
QColor secondary(const QWidget* w = nullptr);

// System-font roles, in pixels like the rest of the reader.
enum class Role { largeTitle, title3, headline, body, callout, caption, caption2 };
QFont font(Role role);
QFont serif(double pixels, QFont::Weight weight = QFont::Normal);
// Digits all the same width, for figures that change while shown.
QFont monospacedDigits(QFont f);

}  // namespace tovan::ViewStyle
