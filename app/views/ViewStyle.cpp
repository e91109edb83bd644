#include "ViewStyle.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

namespace tovan::ViewStyle {
namespace {

QPalette paletteOf(const QWidget* w) { return w ? w->palette() : QApplication::palette(); }

// A dark appearance is one whose window colour is darker than its text.
bool dark(const QWidget* w) {
    const QPalette p = paletteOf(w);
    return p.color(QPalette::Window).lightness() < p.color(QPalette::WindowText).lightness();
}

}  // namespace

QColor accent(const QWidget* w) { return dark(w) ? QColor(0x6F, 0xD8, 0xB8) : QColor(0x1A, 0x6A, 0x55); }
QColor accentSoft(const QWidget* w) { return dark(w) ? QColor(0x1D, 0x3A, 0x31) : QColor(0xE1, 0xF1, 0xEB); }
QColor text(const QWidget* w) { return paletteOf(w).color(QPalette::WindowText); }
QColor secondary(const QWidget* w) {
    QColor c = text(w);
    c.setAlphaF(0.55f);
    return c;
}

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
