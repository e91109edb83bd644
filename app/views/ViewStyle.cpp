#include "ViewStyle.h"

#include "Theme.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

namespace tovan::ViewStyle {
namespace {

QPalette paletteOf(const QWidget* w) { return w ? w->palette() : QApplication::palette(); }

}  // namespace

QColor accent(const QWidget* w) { return Theme::accent().resolve(paletteOf(w)); }
QColor accentSoft(const QWidget* w) { return Theme::accentSoft().resolve(paletteOf(w)); }
QColor text(const QWidget* w) { return paletteOf(w).color(QPalette::WindowText); }
QColor secondary(const QWidget* w) { return Theme::secondary(paletteOf(w)); }

QFont font(Role role) {
    QFont f = QApplication::font();
    int px = 13;
    switch (role) {
        case Role::largeTitle: px = 26; f.setWeight(QFont::DemiBold); break;
        case Role::title3: px = 15; break;
        case Role::headline: px = 13; f.setWeight(QFont::Bold); break;
        case Role::body: px = 13; break;
        case Role::callout: px = 12; break;
        case Role::caption: px = 10; break;
        case Role::caption2: px = 10; break;
    }
    f.setPixelSize(px);
    return f;
}

QFont serif(double pixels, QFont::Weight weight) {
    QFont f(QStringLiteral("serif"));
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    f.setWeight(weight);
    return f;
}

QFont monospacedDigits(QFont f) {
    // Qt 6.4 cannot ask a font for tabular figures; the fixed font has them.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(f.pixelSize() > 0 ? f.pixelSize() : 11);
    fixed.setWeight(f.weight());
    return fixed;
}

}  // namespace tovan::ViewStyle
