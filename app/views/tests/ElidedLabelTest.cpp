// Labels that end in an ellipsis instead of being cut mid-word, and the
// light and dark palettes of the desktop look.
#include "DesktopLook.h"
#include "ElidedLabel.h"
#include "TestApp.h"
#include "Theme.h"

#include <gtest/gtest.h>

namespace tovan {
namespace {

TEST(ElidedLabel, BreaksBetweenWordsAndElidesTheLastLine) {
    test::widgetApp();
    const QString title = QStringLiteral("The Extraordinary Adventures of a Title Far Too Long for Its Place");
    struct Case {
        int lines, width;
        bool elided;
    };
    const Case cases[] = {{1, 2000, false}, {1, 120, true}, {2, 120, true}, {3, 2000, false}, {2, 40, true}};
    for (const Case& c : cases) {
        ElidedLabel label(title, nullptr, c.lines);
        label.resize(c.width, 200);
        const QStringList shown = label.shownLines();
        EXPECT_LE(shown.size(), c.lines) << c.lines << "x" << c.width;
        EXPECT_EQ(label.elided(), c.elided) << c.lines << "x" << c.width;
        EXPECT_EQ(label.text(), title) << "the whole text stays";
        const QFontMetrics fm(label.font());
        for (const QString& line : shown) EXPECT_LE(fm.horizontalAdvance(line), c.width) << line.toStdString();
        if (c.elided) {
            EXPECT_TRUE(shown.last().endsWith(QChar(0x2026))) << shown.join('|').toStdString();
            // Lines before the last end on whole words.
            for (qsizetype i = 0; i + 1 < shown.size(); ++i)
                EXPECT_TRUE(title.contains(shown[i] + ' ')) << shown[i].toStdString();
        } else {
            EXPECT_EQ(shown.join(' '), title);
        }
    }
}

TEST(DesktopLook, PalettesFollowThePreferenceAndKeepTheAccent) {
    test::widgetApp();
    const QPalette light = DesktopLook::palette(false), dark = DesktopLook::palette(true);
    EXPECT_EQ(appearanceOf(light), Appearance::light);
    EXPECT_EQ(appearanceOf(dark), Appearance::dark);
    struct Case {
        const QPalette& palette;
        uint32_t soft, accent;
    };
    for (const Case& c : {Case{light, 0xE1F1EB, 0x1A6A55}, Case{dark, 0x1D3A31, 0x6FD8B8}}) {
        EXPECT_EQ(c.palette.color(QPalette::Highlight), Color::rgb(c.soft));
        EXPECT_EQ(c.palette.color(QPalette::HighlightedText), Color::rgb(c.accent));
        EXPECT_EQ(c.palette.color(QPalette::Link), Color::rgb(c.accent));
        // Disabled text is still told apart from the background.
        EXPECT_NE(c.palette.color(QPalette::Disabled, QPalette::WindowText), c.palette.color(QPalette::Window));
    }
}

}  // namespace
}  // namespace tovan
