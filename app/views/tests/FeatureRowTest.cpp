#include "FeatureRow.h"
#include "TestApp.h"
#include "Theme.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tovan {
namespace {

using State = Feature::State;

TEST(Feature, BadgeFollowsTheState) {
    test::WidgetAppFirst appFirst;
    Feature f("text.cursor", "Read what you select", std::nullopt, "Detail.", State::ready(), nullptr);
    f.show();
    EXPECT_FALSE(f.badge()->isVisible());
    EXPECT_FALSE(f.findChild<QLabel*>("keys"));  // no key hint
    EXPECT_FALSE(f.footer());
    f.setState(State::needs("Needs access"));
    ASSERT_TRUE(f.badge()->isVisible());
    EXPECT_EQ(f.badge()->text(), "Needs access");
    const QColor needsColour = f.badge()->palette().color(QPalette::WindowText);
    EXPECT_EQ(needsColour, Theme::orange(f.palette()));
    EXPECT_EQ(f.badge()->font().weight(), QFont::Medium);
    f.setState(State::off("Needs access"));
    EXPECT_EQ(f.badge()->text(), "Needs access");
    EXPECT_EQ(f.badge()->palette().color(QPalette::WindowText), Theme::secondary(f.palette()));
    EXPECT_NE(f.badge()->palette().color(QPalette::WindowText), needsColour);
    EXPECT_EQ(f.badge()->font().weight(), QFont::Normal);
    f.setState(State::ready());
    EXPECT_FALSE(f.badge()->isVisible());
}

TEST(Feature, LongDetailWrapsAndTheTrailingControlStaysAtTheTop) {
    test::WidgetAppFirst appFirst;
    auto* button = new QPushButton("Allow…");
    QString detail;
    for (int i = 0; i < 40; ++i) detail += "A long explanation that goes on. ";
    auto* footer = new QLabel("footer");
    Feature f("text.cursor", "Title", QString("Ctrl+Alt+R"), detail, State::ready(), button, footer);
    f.resize(420, f.heightForWidth(420) > 0 ? f.heightForWidth(420) : 600);
    f.show();
    f.layout()->activate();
    auto* d = f.findChild<QLabel*>("detail");
    EXPECT_TRUE(d->wordWrap());
    EXPECT_GT(d->height(), 3 * d->fontMetrics().lineSpacing());  // several lines
    EXPECT_EQ(f.findChild<QLabel*>("keys")->text(), "Ctrl+Alt+R");
    // Trailing control and tile both start at the top of the card's content.
    auto* tile = f.findChild<QWidget*>("tile");
    EXPECT_EQ(tile->geometry().top(), Feature::padding);
    EXPECT_EQ(button->geometry().top(), Feature::padding);
    EXPECT_EQ(button->parentWidget(), &f);
    // The footer starts under the text column.
    ASSERT_TRUE(f.footer());
    EXPECT_EQ(footer->mapTo(&f, QPoint(0, 0)).x(), Feature::padding + Feature::footerIndent);
    EXPECT_EQ(f.findChild<QLabel*>("title")->mapTo(&f, QPoint(0, 0)).x(), Feature::padding + Feature::footerIndent);
}

TEST(Feature, NoTrailingControlKeepsIconAndText) {
    test::WidgetAppFirst appFirst;
    Feature f("playpause", "Title", std::nullopt, "Detail.", State::ready(), nullptr);
    f.resize(500, 120);
    f.show();
    f.layout()->activate();
    EXPECT_EQ(f.findChild<QWidget*>("tile")->geometry().topLeft(), QPoint(Feature::padding, Feature::padding));
    EXPECT_FALSE(f.trailing());
}

}  // namespace
}  // namespace tovan
