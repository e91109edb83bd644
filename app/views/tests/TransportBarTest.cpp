#include "TransportBar.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QToolButton>

#include "RoutePicker.h"
#include "ViewModelFixture.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"

namespace tovan {
namespace {

TEST(TransportBarText, TimeLeftBySeconds) {
    struct Case {
        double seconds;
        const char* shown;
    };
    const Case cases[] = {{59.9, "59 s left"},      {60, "1 min left"},        {3599, "59 min left"},
                          {3600, "1 h 0 min left"}, {7325, "2 h 2 min left"}, {0, "0 s left"}};
    for (const Case& c : cases) EXPECT_EQ(TransportBar::timeLeft(c.seconds), c.shown) << c.seconds;
}

TEST(TransportBarText, SpeedLabelsKeepOnlyTheDecimalsTheyNeed) {
    float twice = 1.0f;
    twice += 0.1f;
    twice += 0.1f;  // 1.2 in single precision is not one decimal
    struct Case {
        float speed;
        const char* shown;
    };
    const Case cases[] = {{1.0f, "1\u00D7"},    {2.0f, "2\u00D7"},     {1.5f, "1.5\u00D7"}, {1.75f, "1.75\u00D7"},
                          {0.75f, "0.75\u00D7"}, {0.9f, "0.9\u00D7"},  {1.15f, "1.15\u00D7"}, {1.3f, "1.3\u00D7"},
                          {twice, "1.20\u00D7"}, {1.004f, "1.00\u00D7"}};
    for (const Case& c : cases) EXPECT_EQ(TransportBar::speedLabel(c.speed), QString::fromUtf8(c.shown)) << c.speed;
}

TEST(TransportBarText, SliderRunsAtLeastToOne) {
    EXPECT_EQ(TransportBar::sliderTop(0), 1);
    EXPECT_EQ(TransportBar::sliderTop(1), 1);
    EXPECT_EQ(TransportBar::sliderTop(2), 1);
    EXPECT_EQ(TransportBar::sliderTop(3), 2);
}

class TransportBarTest : public test::ViewModelFixture {
protected:
    void SetUp() override {
        ViewModelFixture::SetUp();
        doc = Doc::create(u"The Title", u"text", std::nullopt, {u"One. Two. Three."});
        bar = std::make_unique<TransportBar>(*app, reading);
    }
    QString statusText() const { return bar->findChild<QLabel*>("transportStatus")->text(); }
    QToolButton* button(const char* name) const { return bar->findChild<QToolButton*>(name); }

    std::shared_ptr<Doc> doc;
    std::unique_ptr<TransportBar> bar;
};

TEST_F(TransportBarTest, HiddenWithoutADocument) {
    QWidget window;
    bar->setParent(&window);
    window.show();
    EXPECT_FALSE(bar->isVisible());
    reading.doc_ = doc;
    emit reading.changed();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->findChild<QLabel*>("transportTitle")->text(), "The Title");
    reading.doc_.reset();
    emit reading.changed();
    EXPECT_FALSE(bar->isVisible());
    bar->setParent(nullptr);
}

TEST_F(TransportBarTest, StatusLinePrecedence) {
    reading.doc_ = doc;
    // No author and no voice chosen: the first featured voice's name.
    const QString voiceLine = QString::fromStdU16String(app->voices.nameOf(std::nullopt)) + " reading";
    emit reading.changed();
    EXPECT_EQ(statusText(), voiceLine);

    reading.preparing_ = true;  // preparing while paused: not the getting-ready line
    emit reading.changed();
    EXPECT_EQ(statusText(), voiceLine);

    reading.playing_ = true;
    emit reading.changed();
    EXPECT_EQ(statusText(), QString::fromUtf8("Getting the voice ready\u2026"));

    reading.problem_ = "The voice could not read this: boom";
    emit reading.changed();
    EXPECT_EQ(statusText(), "The voice could not read this: boom");

    reading.problem_.reset();
    reading.playing_ = false;
    reading.doc_ = Doc::create(u"Book", u"epub", std::nullopt, {u"Some text."});
    const_cast<std::u16string&>(reading.doc_->author) = u"Jane Austen";
    emit reading.changed();
    EXPECT_EQ(statusText(), "Jane Austen");
}

TEST_F(TransportBarTest, ButtonsCallTheReadingAndFollowPlaying) {
    reading.doc_ = doc;
    emit reading.changed();
    EXPECT_EQ(button("transportPlay")->property("symbol").toString(), "play.circle.fill");
    EXPECT_EQ(button("transportPlay")->toolTip(), "Play (Space)");
    reading.playing_ = true;
    emit reading.changed();
    EXPECT_EQ(button("transportPlay")->property("symbol").toString(), "pause.circle.fill");
    EXPECT_EQ(button("transportPlay")->toolTip(), "Pause (Space)");
    button("transportPrevious")->click();
    button("transportPlay")->click();
    button("transportNext")->click();
    EXPECT_EQ(reading.calls, (std::vector<std::string>{"previous", "toggle", "next"}));
}

TEST_F(TransportBarTest, ScrubSeeksOnlyWhenTheDragEnds) {
    reading.doc_ = doc;  // 3 sentences: the slider runs 0 … 2
    emit reading.changed();
    auto* slider = bar->findChild<QSlider*>("transportScrub");
    EXPECT_EQ(slider->maximum(), 2000);

    bar->endDrag();  // pressed and released without a move
    EXPECT_TRUE(reading.calls.empty());

    bar->dragTo(1.6);
    bar->dragTo(1.7);
    EXPECT_TRUE(reading.calls.empty());
    bar->endDrag();
    EXPECT_EQ(reading.calls, std::vector<std::string>{"seek 1"});
    EXPECT_FALSE(bar->scrub());

    // Driven through the slider itself, as a user's drag arrives.
    reading.calls.clear();
    slider->setSliderDown(true);
    slider->setSliderPosition(1999);
    slider->setSliderDown(false);
    EXPECT_EQ(reading.calls, std::vector<std::string>{"seek 1"});
}

TEST_F(TransportBarTest, OneSentenceDocumentSeeksToOneAndLeavesClampingToTheReading) {
    reading.doc_ = Doc::create(u"Short", u"text", std::nullopt, {u"Only one."});
    emit reading.changed();
    EXPECT_EQ(bar->findChild<QSlider*>("transportScrub")->maximum(), 1000);
    EXPECT_EQ(bar->findChild<QLabel*>("transportPercent")->text(), "0%");
    bar->dragTo(1.0);
    bar->endDrag();
    EXPECT_EQ(reading.calls, std::vector<std::string>{"seek 1"});
}

TEST_F(TransportBarTest, FiguresComeFromTheReading) {
    reading.doc_ = doc;
    reading.progress_ = 0.666;
    reading.secondsLeft_ = 125.9;
    emit reading.changed();
    EXPECT_EQ(bar->findChild<QLabel*>("transportPercent")->text(), "66%");
    EXPECT_EQ(bar->findChild<QLabel*>("transportLeft")->text(), "2 min left");
}

TEST_F(TransportBarTest, SpeedMenuTicksTheNearEntryAndSetsSpeed) {
    Style plain = app->style();
    plain.pace = 1.0f;  // the heard rate is the reading speed itself
    app->setStyle(plain);
    reading.doc_ = doc;
    reading.speed_ = 1.004f;
    emit reading.changed();
    EXPECT_EQ(button("speedMenu")->text(), QString::fromUtf8("1.00\u00D7"));
    auto* menu = bar->findChild<QMenu*>("speedMenuItems");
    QStringList ticked;
    for (QAction* a : menu->actions())
        if (a->text().endsWith(QString::fromUtf8("  \u2713"))) ticked << a->text();
    EXPECT_EQ(ticked, QStringList{QString::fromUtf8("1\u00D7  \u2713")});
    EXPECT_EQ(menu->actions().size(), 8);
    menu->actions()[5]->trigger();
    EXPECT_EQ(reading.speed_, 1.5f);
    EXPECT_EQ(button("speedMenu")->text(), QString::fromUtf8("1.5\u00D7"));
}

// The bar shows the rate the reading is heard at (speed times the voice's
// pace), the figure the Voices screen shows too; choosing an entry sets the
// reading speed that gives that rate.
TEST_F(TransportBarTest, SpeedMenuShowsAndSetsTheHeardRate) {
    reading.doc_ = doc;
    ASSERT_FLOAT_EQ(app->style().pace, 1.1f);
    emit reading.changed();
    EXPECT_EQ(button("speedMenu")->text(), QString::fromUtf8("1.1\u00D7"));
    auto* menu = bar->findChild<QMenu*>("speedMenuItems");
    menu->actions()[5]->trigger();  // 1.5×
    EXPECT_FLOAT_EQ(reading.speed_ * app->style().pace, 1.5f);
    EXPECT_EQ(button("speedMenu")->text(), QString::fromUtf8("1.5\u00D7"));
    QStringList ticked;
    for (QAction* a : menu->actions())
        if (a->text().endsWith(QString::fromUtf8("  \u2713"))) ticked << a->text();
    EXPECT_EQ(ticked, QStringList{QString::fromUtf8("1.5\u00D7  \u2713")});
}

TEST_F(TransportBarTest, SleepMenuShowsTheTimer) {
    reading.doc_ = doc;
    emit reading.changed();
    auto* sleep = button("sleepMenu");
    auto* menu = bar->findChild<QMenu*>("sleepMenuItems");
    EXPECT_EQ(sleep->toolTip(), "Sleep timer");
    menu->findChild<QAction*>("sleepOff", Qt::FindDirectChildrenOnly);
    QAction* off = nullptr;
    QAction* fifteen = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->objectName() == "sleepOff") off = a;
        if (a->objectName() == "sleep15") fifteen = a;
    }
    ASSERT_TRUE(off && fifteen);
    EXPECT_EQ(fifteen->text(), "In 15 minutes");
    off->trigger();  // with no timer running: nothing changes
    EXPECT_EQ(sleep->toolTip(), "Sleep timer");
    EXPECT_EQ(sleep->property("symbol").toString(), "moon.zzz");
    fifteen->trigger();
    EXPECT_TRUE(sleep->toolTip().startsWith("Stops at "));
    EXPECT_EQ(sleep->property("symbol").toString(), "moon.zzz.fill");
    off->trigger();
    EXPECT_EQ(sleep->toolTip(), "Sleep timer");
    EXPECT_EQ(reading.calls, (std::vector<std::string>{"sleep off", "sleep 15", "sleep off"}));
}

}  // namespace
}  // namespace tovan

namespace tovan {
namespace {

// The output picker moves the reading: its entries are live and the one in
// use is ticked.
TEST_F(TransportBarTest, OutputPickerChoosesWhereTheReadingIsHeard) {
    VirtualClock clock;
    VirtualAudioOutput output(clock);
    reading.doc_ = doc;
    emit reading.changed();
    auto* picker = bar->findChild<RoutePicker*>("routePicker");
    ASSERT_NE(picker, nullptr);
    picker->setOutput(&output);
    picker->fill();
    QAction* fallback = picker->menu()->findChild<QAction*>("route:");
    ASSERT_NE(fallback, nullptr);
    EXPECT_TRUE(fallback->isEnabled());
    EXPECT_TRUE(fallback->isChecked()) << "the virtual output follows the default";
    fallback->trigger();
    ASSERT_FALSE(reading.calls.empty());
    EXPECT_EQ(reading.calls.back(), "output ");
}

}  // namespace
}  // namespace tovan
