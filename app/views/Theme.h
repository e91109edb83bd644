#pragma once
// The application's own colours and text styles. Each colour has a light and
// a dark value; which one shows is decided again whenever it is resolved
// against the palette in effect, so widgets that resolve while painting follow
// a change of appearance without being rebuilt.

#include <QColor>
#include <QFont>
#include <QPalette>

#include <cstdint>

namespace tovan {

// The appearance a palette stands for. A palette that is neither clearly
// light nor clearly dark (foreground as light as background) is `other`.
enum class Appearance { light, dark, other };

Appearance appearanceOf(const QPalette& palette);
// The application palette's appearance.
Appearance currentAppearance();

// A colour with a value per appearance, each given as 0xRRGGBB (sRGB, opaque).
class Color {
public:
    constexpr Color(uint32_t light, uint32_t dark) : light_(light), dark_(dark) {}

    // The dark value for a dark appearance, otherwise (also for `other`) the
    // light value.
    QColor resolve(Appearance appearance) const;
    QColor resolve(const QPalette& palette) const { return resolve(appearanceOf(palette)); }
    QColor current() const { return resolve(currentAppearance()); }

    uint32_t light() const { return light_; }
    uint32_t dark() const { return dark_; }

    static QColor rgb(uint32_t packed);

private:
    uint32_t light_;
    uint32_t dark_;
};

namespace Theme {

// Text and outline of a selected chip; the accent of every screen.
const Color& accent();
// A pale tint of the accent: selected chips, icon tiles, highlights.
const Color& accentSoft();
// The centre bar of the mark.
const Color& red();
// The dot of the mark; one value for both appearances.
const Color& mint();

// The badge's gradient, the same in both appearances.
inline constexpr uint32_t badgeTop = 0x268A71;
inline constexpr uint32_t badgeBottom = 0x124E3F;

// Named text sizes, relative to the application font, so they follow the
// user's font setting.
enum class TextStyle { title2, headline, body, callout, caption };
QFont font(TextStyle style);

// Muted text: the palette's text colour at reduced strength.
QColor secondary(const QPalette& palette);
// The fill of a control at rest (text fields, chips that are off).
QColor controlBackground(const QPalette& palette);
// Hairlines and outlines of controls.
QColor separator(const QPalette& palette);
// The faint fill of key-hint chips and card outlines.
QColor quaternary(const QPalette& palette);
// The standard orange of warning badges.
QColor orange(const QPalette& palette);

}  // namespace Theme
}  // namespace tovan
