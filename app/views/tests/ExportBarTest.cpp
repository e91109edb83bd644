#include "ExportBar.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "TestApp.h"

namespace tovan {
namespace {

TEST(ExportBar, PercentIsTruncatedTowardZero) {
    struct Case {
        double fraction;
        const char* shown;
    };
    const Case cases[] = {{0, "0%"}, {0.009, "0%"}, {0.01, "1%"}, {0.5, "50%"}, {0.999, "99%"}, {1.0, "100%"}};
    for (const Case& c : cases) EXPECT_EQ(ExportBar::percent(c.fraction), c.shown) << c.fraction;
}

TEST(ExportBar, ShowsTheJobAndCancelOnlyRaisesTheFlag) {
    test::widgetApp();
    ExportBar bar;
    int cancels = 0;
    bar.onCancel = [&] { ++cancels; };
    bar.setJob(QStringLiteral("Moby Dick"), 0.426);
    EXPECT_EQ(bar.findChild<QLabel*>("exportTitle")->text(), QString::fromUtf8("Saving \u201CMoby Dick\u201D as audio"));
    EXPECT_EQ(bar.findChild<QLabel*>("exportPercent")->text(), "42%");
    EXPECT_EQ(bar.findChild<QProgressBar*>("exportProgress")->value(), 426);
    EXPECT_LE(bar.findChild<QProgressBar*>("exportProgress")->maximumWidth(), 260);
    auto* cancel = bar.findChild<QPushButton*>("exportCancel");
    cancel->click();
    cancel->click();  // pressed again before the job noticed: the flag again, nothing more
    EXPECT_EQ(cancels, 2);
    EXPECT_EQ(bar.findChild<QLabel*>("exportTitle")->text(), QString::fromUtf8("Saving \u201CMoby Dick\u201D as audio"));
}

}  // namespace
}  // namespace tovan
