#include "Chips.h"
#include "FlowLayout.h"
#include "TestApp.h"


#include <gtest/gtest.h>

#include <optional>

namespace tovan {
namespace {

TEST(Flow, SizesAndPlacesByTheWrappingRule) {
    struct Case {
        const char* name;
        std::optional<qreal> proposed;
        std::vector<QSizeF> children;
        QSizeF size;
        std::vector<QPointF> at;  // within bounds (0, 0, proposed or size width)
    } cases[] = {
        {"no children, width given", 96.0, {}, {96, 0}, {}},
        {"no children, no width", std::nullopt, {}, {0, 0}, {}},
        {"exactly reaching the edge stays", 96.0, {{50, 20}, {40, 20}}, {96, 20}, {{0, 0}, {56, 0}}},
        {"one past the edge wraps", 95.0, {{50, 20}, {40, 20}}, {95, 46}, {{0, 0}, {0, 26}}},
        {"no width: one row with trailing spacing", std::nullopt, {{50, 20}, {40, 20}}, {102, 20}, {{0, 0}, {56, 0}}},
        {"wider than the width sits alone", 100.0, {{120, 18}}, {100, 18}, {{0, 0}}},
        {"row height is the tallest, tops level", 200.0, {{50, 20}, {40, 30}}, {200, 30}, {{0, 0}, {56, 0}}},
        {"rows after a wide child", 100.0, {{30, 10}, {120, 12}, {30, 10}}, {100, 44}, {{0, 0}, {0, 16}, {0, 34}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Flow::sizeThatFits(c.proposed, c.children, 6), c.size);
        const QRectF bounds(0, 0, c.proposed ? *c.proposed : c.size.width(), 1000);
        EXPECT_EQ(Flow::place(bounds, c.children, 6), c.at);
        // The placed rows end where the reported height says.
        qreal bottom = 0;
        for (size_t i = 0; i < c.at.size(); ++i) bottom = std::max(bottom, c.at[i].y() + c.children[i].height());
        EXPECT_EQ(bottom, c.size.height());
    }
}

TEST(Flow, PlacementIsRelativeToTheBoundsOrigin) {
    const auto at = Flow::place(QRectF(10, 5, 95, 100), {{50, 20}, {40, 20}}, 6);
    EXPECT_EQ(at, (std::vector<QPointF>{{10, 5}, {10, 31}}));
}

// A widget of one fixed ideal size.
class Box : public QWidget {
public:
    Box(QSize s, QWidget* parent) : QWidget(parent), s_(s) {}
    QSize sizeHint() const override { return s_; }

private:
    QSize s_;
};

TEST(Flow, LaysOutRealWidgets) {
    test::widgetApp();
    QWidget host;
    auto* flow = new Flow(6, &host);
    auto* a = new Box({50, 20}, &host);
    auto* hidden = new Box({500, 90}, &host);
    auto* b = new Box({40, 30}, &host);
    flow->addWidget(a);
    flow->addWidget(hidden);
    flow->addWidget(b);
    hidden->hide();
    EXPECT_TRUE(flow->hasHeightForWidth());
    EXPECT_EQ(flow->heightForWidth(96), 30);  // the hidden one takes no room
    EXPECT_EQ(flow->heightForWidth(95), 56);
    EXPECT_EQ(flow->sizeHint(), QSize(102, 30));
    flow->setGeometry(QRect(0, 0, 95, 56));
    EXPECT_EQ(a->geometry(), QRect(0, 0, 50, 20));
    EXPECT_EQ(b->geometry(), QRect(0, 26, 40, 30));
    flow->setGeometry(QRect(0, 0, 96, 30));
    EXPECT_EQ(b->geometry(), QRect(56, 0, 40, 30));
}

TEST(Chip, LookOnOffAndPressed) {
    test::widgetApp();
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, Qt::black);
    light.setColor(QPalette::Base, QColor(250, 250, 250));
    const Chip::Look on = Chip::lookFor(true, false, light);
    EXPECT_EQ(on.text.rgb() & 0xFFFFFF, 0x1A6A55u);
    EXPECT_EQ(on.outline.rgb() & 0xFFFFFF, 0x1A6A55u);
    EXPECT_EQ(on.fill.rgb() & 0xFFFFFF, 0xE1F1EBu);
    EXPECT_EQ(on.opacity, 1.0);
    const Chip::Look off = Chip::lookFor(false, true, light);
    EXPECT_EQ(off.text, QColor(Qt::black));
    EXPECT_EQ(off.fill, QColor(250, 250, 250));
    EXPECT_NE(off.outline.rgb() & 0xFFFFFF, 0x1A6A55u);
    EXPECT_EQ(off.opacity, 0.7);
    Chip chip("Poetry");
    const QFontMetrics fm(chip.font());
    EXPECT_EQ(chip.sizeHint(), QSize(fm.horizontalAdvance("Poetry") + 22, fm.height() + 10));
}

TEST(FlowChips, ShowsSelectionAndPicksEvenTheChosenChip) {
    test::widgetApp();
    QStringList picked;
    FlowChips chips({"Natural", "Calm", "Warm"}, "Gone", [&](const QString& s) { picked << s; });
    ASSERT_EQ(chips.chips().size(), 3u);
    for (Chip* c : chips.chips()) EXPECT_FALSE(c->on()) << c->text().toStdString();
    chips.setSelected("Calm");
    EXPECT_TRUE(chips.findChild<Chip*>("chip:Calm")->on());
    EXPECT_FALSE(chips.findChild<Chip*>("chip:Warm")->on());
    chips.findChild<Chip*>("chip:Calm")->click();
    chips.findChild<Chip*>("chip:Warm")->click();
    EXPECT_EQ(picked, (QStringList{"Calm", "Warm"}));
    // Picking does not change the selection by itself.
    EXPECT_EQ(chips.selected(), "Calm");
    EXPECT_EQ(chips.chips()[0]->text(), "Natural");  // texts unchanged, in order
}

}  // namespace
}  // namespace tovan
