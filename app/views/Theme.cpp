#include "Theme.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace tovan {

Appearance appearanceOf(const QPalette& palette) {
    const int back = palette.color(QPalette::Active, QPalette::Window).lightness();
    const int fore = palette.color(QPalette::Active, QPalette::WindowText).lightness();
    if (back > fore) return Appearance::light;
    if (back < fore) return Appearance::dark;
    return Appearance::other;
}

Appearance currentAppearance() {
    return appearanceOf(QGuiApplication::palette());
}

QColor Color::rgb(uint32_t packed) {
    return QColor::fromRgb(static_cast<int>((packed >> 16) & 0xFF), static_cast<int>((packed >> 8) & 0xFF),
                           static_cast<int>(packed & 0xFF));
}

QColor Color::resolve(Appearance appearance) const {
    return rgb(appearance == Appearance::dark ? dark_ : light_);
}

namespace Theme {

const Color& accent() {
    static const Color c(0x1A6A55, 0x6FD8B8);
    return c;
}
const Color& accentSoft() {
    static const Color c(0xE1F1EB, 0x1D3A31);
    return c;
}
const Color& red() {
    static const Color c(0xF14E52, 0xFF7A7E);
    return c;
}
const Color& mint() {
    static const Color c(0xACEDDC, 0xACEDDC);
    return c;
}

QFont font(TextStyle style) {
    QFont f = QGuiApplication::font();
    const qreal base = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    switch (style) {
    case TextStyle::title2:
        f.setPointSizeF(base * 1.6);
        f.setWeight(QFont::DemiBold);
        break;
    case TextStyle::headline:
        f.setPointSizeF(base);
        f.setWeight(QFont::DemiBold);
        break;
    case TextStyle::body:
        break;
    case TextStyle::callout:
        f.setPointSizeF(base * 0.92);
        break;
    case TextStyle::caption:
        f.setPointSizeF(base * 0.82);
        break;
    }
    return f;
}

static QColor mix(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(a.redF() * (1 - t) + b.redF() * t, a.greenF() * (1 - t) + b.greenF() * t,
                            a.blueF() * (1 - t) + b.blueF() * t);
}

QColor secondary(const QPalette& palette) {
    return mix(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.45);
}

QColor controlBackground(const QPalette& palette) {
    return palette.color(QPalette::Base);
}

QColor separator(const QPalette& palette) {
    return mix(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.8);
}

QColor quaternary(const QPalette& palette) {
    return mix(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.9);
}

QColor orange(const QPalette& palette) {
    return appearanceOf(palette) == Appearance::dark ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xFF, 0x95, 0x00);
}

}  // namespace Theme
}  // namespace tovan
