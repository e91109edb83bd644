#include "DesktopLook.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include "Theme.h"

namespace tovan::DesktopLook {

QPalette palette(bool dark) {
    QPalette p;
    if (!dark) {
        QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
        p = fusion ? fusion->standardPalette() : QPalette();
        delete fusion;
    } else {
        const QColor window(0x30, 0x30, 0x30), base(0x24, 0x24, 0x24), button(0x3a, 0x3a, 0x3a);
        const QColor text(0xf2, 0xf2, 0xf2), dim(0x8a, 0x8a, 0x8a);
        p = QPalette(text, button, button.lighter(130), button.darker(150), button.darker(120), text, text, base, window);
        p.setColor(QPalette::AlternateBase, QColor(0x2c, 0x2c, 0x2c));
        p.setColor(QPalette::ToolTipBase, QColor(0x45, 0x45, 0x45));
        p.setColor(QPalette::ToolTipText, text);
        p.setColor(QPalette::PlaceholderText, dim);
        p.setColor(QPalette::BrightText, Qt::white);
        p.setColor(QPalette::Shadow, Qt::black);
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(QPalette::Disabled, role, dim);
        p.setColor(QPalette::Disabled, QPalette::Base, window);
        p.setColor(QPalette::Disabled, QPalette::Button, window);
    }
    // What is chosen shows in the accent's soft fill with accent text, so
    // rows drawn by widgets of their own (whose text keeps the window's
    // colour) stay readable on it, and so do their icons.
    const Appearance look = dark ? Appearance::dark : Appearance::light;
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::Highlight, Theme::accentSoft().resolve(look));
        p.setColor(g, QPalette::HighlightedText, Theme::accent().resolve(look));
    }
    p.setColor(QPalette::Link, Theme::accent().resolve(look));
    p.setColor(QPalette::LinkVisited, p.color(QPalette::Link));
    return p;
}

void apply(bool dark) {
    if (QApplication::style()->name().compare(QStringLiteral("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(palette(dark));
}

}  // namespace tovan::DesktopLook
