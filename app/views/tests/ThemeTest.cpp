#include "BrandMark.h"
#include "Theme.h"
#include "TestApp.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace tovan {
namespace {

QPalette paletteOf(QColor window, QColor text) {
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    return p;
}

TEST(Theme, ColoursResolvePerAppearance) {
    struct Case {
        const char* name;
        const Color& colour;
        uint32_t light, dark;
    } cases[] = {
        {"accent", Theme::accent(), 0x1A6A55, 0x6FD8B8},
        {"accentSoft", Theme::accentSoft(), 0xE1F1EB, 0x1D3A31},
        {"red", Theme::red(), 0xF14E52, 0xFF7A7E},
        {"mint", Theme::mint(), 0xACEDDC, 0xACEDDC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.colour.resolve(Appearance::light).rgb() & 0xFFFFFF, c.light);
        EXPECT_EQ(c.colour.resolve(Appearance::dark).rgb() & 0xFFFFFF, c.dark);
        // An appearance that is neither takes the light value.
        EXPECT_EQ(c.colour.resolve(Appearance::other).rgb() & 0xFFFFFF, c.light);
        EXPECT_EQ(c.colour.resolve(Appearance::dark).alpha(), 255);
    }
}

TEST(Theme, SharedColoursAreMadeOnce) {
    EXPECT_EQ(&Theme::accent(), &Theme::accent());
    EXPECT_EQ(&Theme::mint(), &Theme::mint());
}

TEST(Theme, AppearanceFollowsThePalette) {
    EXPECT_EQ(appearanceOf(paletteOf(Qt::white, Qt::black)), Appearance::light);
    EXPECT_EQ(appearanceOf(paletteOf(QColor(30, 30, 30), QColor(230, 230, 230))), Appearance::dark);
    EXPECT_EQ(appearanceOf(paletteOf(Qt::gray, Qt::gray)), Appearance::other);
    EXPECT_EQ(Theme::accent().resolve(paletteOf(QColor(30, 30, 30), Qt::white)).rgb() & 0xFFFFFF, 0x6FD8B8u);
}

// Renders a mark into a transparent image.
QImage markImage(int w, int h, bool mono, QColor fg = Qt::black, Appearance a = Appearance::light) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    Mark::paint(p, QRectF(0, 0, w, h), mono, fg, a);
    return img;
}

TEST(Mark, NonSquareAreaIsCentredAtTheShorterSide) {
    const auto shapes = Mark::shapes(QRectF(0, 0, 200, 100));
    ASSERT_EQ(shapes.size(), 8u);
    const qreal s = 100.0 / 62;
    // First bar: left 0.58, top 32.45, 6.84 x 8.10 units, 50 points in.
    EXPECT_NEAR(shapes[0].rect.left(), 50 + 0.58 * s, 1e-9);
    EXPECT_NEAR(shapes[0].rect.top(), 32.45 * s, 1e-9);
    EXPECT_NEAR(shapes[0].rect.width(), 6.84 * s, 1e-9);
    EXPECT_NEAR(shapes[0].rect.height(), 8.10 * s, 1e-9);
    EXPECT_NEAR(shapes[0].radius, 3.42 * s, 1e-9);
    // The centre bar is drawn last of the bars and is red.
    EXPECT_EQ(shapes[6].fill, Mark::Fill::red);
    EXPECT_NEAR(shapes[6].rect.left(), 50 + 27.58 * s, 1e-9);
    // The dot is a circle of radius 3.78 units around (31, 15.62).
    EXPECT_TRUE(shapes[7].circle);
    EXPECT_EQ(shapes[7].fill, Mark::Fill::mint);
    EXPECT_NEAR(shapes[7].rect.center().x(), 50 + 31 * s, 1e-9);
    EXPECT_NEAR(shapes[7].rect.center().y(), 15.62 * s, 1e-9);
    EXPECT_NEAR(shapes[7].rect.width(), 2 * 3.78 * s, 1e-9);
    // Every bar is centred at y = 36.5 units.
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(shapes[i].rect.center().y(), 36.5 * s, 1e-9) << i;
    for (const auto& sh : shapes) {
        EXPECT_GE(sh.rect.left(), 50.0);
        EXPECT_LE(sh.rect.right(), 150.0);
    }
}

TEST(Mark, ColoursAndEmptyMarginsInTheImage) {
    const QImage img = markImage(200, 100, false, Qt::black, Appearance::light);
    const qreal s = 100.0 / 62;
    for (int y = 0; y < 100; y += 3)
        for (int x : {0, 20, 48, 152, 180, 199}) ASSERT_EQ(qAlpha(img.pixel(x, y)), 0) << x << "," << y;
    auto at = [&](qreal ux, qreal uy) { return QColor(img.pixel(int(50 + ux * s), int(uy * s))); };
    EXPECT_EQ(at(31, 36.5).rgb() & 0xFFFFFF, 0xF14E52u);   // centre bar
    EXPECT_EQ(at(22, 36.5).rgb() & 0xFFFFFF, 0xFFFFFFu);   // third bar
    EXPECT_EQ(at(31, 15.62).rgb() & 0xFFFFFF, 0xACEDDCu);  // dot
    EXPECT_EQ(qAlpha(img.pixel(int(50 + 31 * s), int(5 * s))), 0);  // above the dot
    // Dark appearance switches the red, not the mint.
    const QImage dark = markImage(200, 100, false, Qt::white, Appearance::dark);
    EXPECT_EQ(QColor(dark.pixel(int(50 + 31 * s), int(36.5 * s))).rgb() & 0xFFFFFF, 0xFF7A7Eu);
    EXPECT_EQ(QColor(dark.pixel(int(50 + 31 * s), int(15.62 * s))).rgb() & 0xFFFFFF, 0xACEDDCu);
}

TEST(Mark, MonoUsesOnlyTheForeground) {
    const QColor fg(0x20, 0x40, 0xC0);
    const QImage img = markImage(124, 124, true, fg);
    int painted = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            if (qAlpha(px) == 0) continue;
            ++painted;
            // Anti-aliased edges are the foreground at partial coverage.
            const QColor c = img.pixelColor(x, y);
            if (c.alpha() < 64) continue;  // too faint to carry its colour exactly
            if (qAlpha(px) == 255) {
                ASSERT_EQ(c.rgb() & 0xFFFFFF, fg.rgb() & 0xFFFFFF) << x << "," << y;
            }
            ASSERT_LE(std::abs(c.red() - fg.red()), 4) << x << "," << y;
            ASSERT_LE(std::abs(c.blue() - fg.blue()), 4);
        }
    EXPECT_GT(painted, 500);
}

TEST(AppBadge, GeometryAtSize100) {
    EXPECT_DOUBLE_EQ(AppBadge::cornerRadius(100), 22.5);
    EXPECT_EQ(AppBadge::markArea(100), QRectF(20, 20, 60, 60));
    const auto shapes = Mark::shapes(AppBadge::markArea(100));
    EXPECT_NEAR(shapes[0].rect.left(), 20 + 0.58 * 60 / 62, 1e-9);
}

TEST(AppBadge, PaintsGradientSquareWithTheMark) {
    test::widgetApp();
    AppBadge badge(100);
    EXPECT_EQ(badge.size(), 100);
    EXPECT_EQ(badge.sizeHint(), QSize(100, 100));
    QImage img(100, 100, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        AppBadge::paint(p, QPointF(0, 0), 100, Appearance::light);
    }
    EXPECT_EQ(qAlpha(img.pixel(1, 1)), 0);  // outside the rounded corner
    const QColor top(img.pixel(50, 1)), bottom(img.pixel(50, 98));
    EXPECT_NEAR(top.green(), 0x8A, 4);
    EXPECT_NEAR(bottom.green(), 0x4E, 4);
    // The red centre bar sits in the middle of the badge.
    EXPECT_EQ(QColor(img.pixel(50, int(20 + 36.5 * 60 / 62))).rgb() & 0xFFFFFF, 0xF14E52u);
}

}  // namespace
}  // namespace tovan
