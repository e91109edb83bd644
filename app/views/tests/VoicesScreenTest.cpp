#include "Chips.h"
#include "ScreensTestApp.h"
#include "SliderRow.h"
#include "VoicesScreen.h"
#include "Regex.h"

#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <gtest/gtest.h>

namespace tovan {
namespace {

const char* catalogue = R"({"voices":[
  {"name":"voice_1688","gender":"female","pitch_register":"low","pace":"slow"},
  {"name":"voice_3000","gender":"male","pitch_register":"high","pace":"slow"},
  {"name":"voice_2500","gender":"male","pitch_register":"mid","pace":"fast"},
  {"name":"voice_3001","gender":"other","pitch_register":"mid","pace":"fast"},
  {"name":"voice_0010","gender":"female","pitch_register":"high","pace":"average"},
  {"name":"voice_3002","gender":"female"}
]})";

std::vector<std::u16string> ids(const std::vector<Voices::Voice>& vs) {
    std::vector<std::u16string> out;
    for (const auto& v : vs) out.push_back(v.id);
    return out;
}

TEST(VoicesList, FiltersAndSections) {
    const Voices voices = Voices::fromData(catalogue, std::make_shared<MemoryVoicesStore>());
    using Ids = std::vector<std::u16string>;
    struct Case {
        std::u16string filter;
        std::set<std::u16string> favs;
        Ids ids;
    } cases[] = {
        {u"Female", {}, {u"voice_1688", u"voice_0010", u"voice_3002"}},  // by label: "other" is not female
        {u"Male", {}, {u"voice_3000", u"voice_2500"}},                   // gender exactly "male"
        {u"Favourites", {}, {}},
        {u"Favourites", {u"voice_2500", u"voice_9"}, {u"voice_2500"}},
        {u"Deep", {}, {u"voice_1688"}},
        {u"Warm", {}, {u"voice_2500", u"voice_3001", u"voice_3002"}},
        {u"Bright", {}, {u"voice_3000", u"voice_0010"}},
        {u"Relaxed", {}, {u"voice_1688", u"voice_3000"}},
        {u"Brisk", {}, {u"voice_2500", u"voice_3001"}},
        {u"Unknown", {}, {u"voice_1688", u"voice_3000", u"voice_2500", u"voice_3001", u"voice_0010", u"voice_3002"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(u8(c.filter));
        const auto sections = VoicesView::voiceList(voices, c.filter, c.favs);
        ASSERT_EQ(sections.size(), 1u);
        EXPECT_EQ(sections[0].title, u"");  // no heading
        EXPECT_EQ(ids(sections[0].voices), c.ids);
    }
    // "All": featured ones once, in featured order, then the rest in catalogue order.
    const auto all = VoicesView::voiceList(voices, u"All", {});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].title, u"Featured");
    EXPECT_EQ(ids(all[0].voices), (Ids{u"voice_1688", u"voice_2500", u"voice_0010"}));
    EXPECT_EQ(all[1].title, u"All voices");
    EXPECT_EQ(ids(all[1].voices), (Ids{u"voice_3000", u"voice_3001", u"voice_3002"}));
}

TEST(VoicesList, ValueTextsAndRounding) {
    EXPECT_EQ(VoicesView::controlText(0), "Natural");
    EXPECT_EQ(VoicesView::controlText(0.5f), "+0.5");
    EXPECT_EQ(VoicesView::controlText(-1.2f), "-1.2");
    EXPECT_EQ(VoicesView::controlText(3), "+3.0");
    EXPECT_EQ(VoicesView::speedText(1.1f), QString::fromUtf16(u"1.10\u00D7"));
    EXPECT_EQ(VoicesView::speedText(1.234f), QString::fromUtf16(u"1.23\u00D7"));
    struct Case {
        double in;
        float out;
    } cases[] = {{0.04, 0}, {2.96, 3.0f}, {1.25, 1.3f}, {-1.25, -1.3f}, {-0.04, 0}, {0.05, 0.1f}};
    for (const Case& c : cases) EXPECT_EQ(VoicesView::roundControl(c.in), c.out) << c.in;
    // The two tables name every control once.
    std::set<std::u16string_view> seen;
    for (const auto& r : VoicesView::MAIN_ROWS) seen.insert(r.control);
    for (const auto& r : VoicesView::ADVANCED_ROWS) seen.insert(r.control);
    EXPECT_EQ(seen, std::set<std::u16string_view>(Style::CONTROLS.begin(), Style::CONTROLS.end()));
}

class VoicesScreen : public ::testing::Test {
protected:
    VoicesScreen() : voices(Voices::fromData(catalogue, std::make_shared<MemoryVoicesStore>())) {
        VoicesView::Host host;
        host.style = [this] { return style; };
        host.setStyle = [this](const Style& s) {
            style = s;
            ++saves;
        };
        host.voices = &voices;
        host.readerPlaying = [this] { return playing; };
        host.heard = [] { return int64_t(7); };
        host.renderFrom = [this](int64_t i) { renders.push_back(i); };
        host.say = [this](const std::u16string& text, const Style& s) { said.emplace_back(text, s); };
        host.readerSpeed = [this] { return readerSpeed; };
        view = std::make_unique<VoicesView>(std::move(host));
        view->resize(1000, 800);
        view->show();
    }
    QWidget* row(const char* id) { return view->findChild<QWidget*>(QString("voice:") + id); }
    bool checked(const char* id) { return row(id)->findChild<QLabel*>("check")->property("selected").toBool(); }
    QToolButton* star(const char* id) { return row(id)->findChild<QToolButton*>("star"); }
    SliderRow* slider(const char* name) { return view->findChild<SliderRow*>(QString("slider:") + name); }
    void click(QWidget* w) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(w, &press);
        QCoreApplication::sendEvent(w, &release);
    }

    screenstest::AppFirst appFirst;
    Voices voices;
    Style style;
    int saves = 0;
    float readerSpeed = 1.0f;
    bool playing = false;
    std::vector<int64_t> renders;
    std::vector<std::pair<std::u16string, Style>> said;
    std::unique_ptr<VoicesView> view;
};

TEST_F(VoicesScreen, ClickingAVoiceRerendersWhilePlayingElsePreviews) {
    EXPECT_TRUE(checked("voice_1688"));  // no voice: the first featured
    playing = true;
    click(row("voice_3000"));
    EXPECT_EQ(style.voice, u"voice_3000");
    EXPECT_EQ(renders, std::vector<int64_t>{7});
    EXPECT_TRUE(said.empty());
    EXPECT_TRUE(checked("voice_3000"));
    EXPECT_FALSE(checked("voice_1688"));
    playing = false;
    click(row("voice_0010"));
    EXPECT_EQ(renders.size(), 1u);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].first, VoicesView::defaultSample);
    EXPECT_EQ(said[0].second.voice, u"voice_0010");
    EXPECT_EQ(saves, 2);
}

TEST_F(VoicesScreen, CheckFollowsTheGenderWords) {
    style.voice = u"male";
    view->styleChanged();
    EXPECT_TRUE(checked("voice_2500"));
    EXPECT_EQ(view->findChild<QLabel*>("voiceLine")->text(),
              QString::fromStdU16String(voices.nameOf(u"voice_2500") + u" \u00B7 Natural"));
}

TEST_F(VoicesScreen, StarTogglesTheFavouriteOnly) {
    EXPECT_EQ(star("voice_2500")->toolTip(), "Add to favourites");
    star("voice_2500")->click();
    EXPECT_EQ(voices.favourites(), std::set<std::u16string>{u"voice_2500"});
    EXPECT_EQ(star("voice_2500")->toolTip(), "Remove from favourites");
    EXPECT_FALSE(style.voice);
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(said.empty());
    view->findChild<Chip*>("filter:Favourites")->click();
    EXPECT_EQ(view->filter(), u"Favourites");
    EXPECT_TRUE(view->findChild<Chip*>("filter:Favourites")->on());
    EXPECT_FALSE(view->findChild<Chip*>("filter:All")->on());
    EXPECT_EQ(view->findChild<Chip*>("filter:Favourites")->text(), QString::fromUtf16(u"\u2605 Favourites"));
    EXPECT_TRUE(row("voice_2500"));
    EXPECT_FALSE(row("voice_1688"));
    star("voice_2500")->click();
    screenstest::spinUntil([&] { return row("voice_2500") == nullptr; }, 1000);
    EXPECT_FALSE(row("voice_2500"));
    EXPECT_EQ(view->findChild<QListWidget*>("voices")->count(), 0);
}

TEST_F(VoicesScreen, ControlSlidersCommitRoundedOnRelease) {
    SliderRow* pitch = slider("f0_med");
    EXPECT_EQ(pitch->shownText(), "Natural");
    pitch->dragTo(2.96);
    EXPECT_EQ(saves, 0);  // nothing while dragging
    EXPECT_EQ(pitch->shownText(), "Natural");
    pitch->release();
    EXPECT_EQ(style.z[2], 3.0f);
    EXPECT_EQ(pitch->shownText(), "+3.0");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(said.size(), 1u);
    pitch->dragTo(0.04);
    pitch->release();
    EXPECT_EQ(style.z[2], 0.0f);
    EXPECT_EQ(pitch->shownText(), "Natural");
    // Pressed and let go without moving: nothing.
    pitch->release();
    EXPECT_EQ(saves, 2);
    SliderRow* speed = slider("speed");
    EXPECT_EQ(speed->shownText(), QString::fromUtf16(u"1.10\u00D7"));
    speed->dragTo(1.234);
    speed->release();
    EXPECT_EQ(style.pace, 1.234f);
    EXPECT_EQ(speed->shownText(), QString::fromUtf16(u"1.23\u00D7"));
}

// One figure for how fast the reading goes: the row shows the pace at the
// player bar's reading speed, and a release sets the pace that gives it.
TEST_F(VoicesScreen, SpeedRowShowsTheRateTheReadingIsHeardAt) {
    SliderRow* speed = slider("speed");
    struct Case {
        float readerSpeed, pace;
        const char16_t* shown;
    } cases[] = {{1.0f, 1.1f, u"1.10\u00D7"}, {2.0f, 0.75f, u"1.50\u00D7"}, {0.75f, 1.2f, u"0.90\u00D7"}};
    for (const Case& c : cases) {
        readerSpeed = c.readerSpeed;
        style.pace = c.pace;
        view->styleChanged();
        EXPECT_EQ(speed->shownText(), QString::fromUtf16(c.shown)) << c.readerSpeed;
    }
    readerSpeed = 1.25f;
    speed->dragTo(1.5);
    speed->release();
    EXPECT_FLOAT_EQ(style.pace, 1.2f) << "1.5 heard at speed 1.25";
    EXPECT_EQ(speed->shownText(), QString::fromUtf16(u"1.50\u00D7"));
}

TEST_F(VoicesScreen, OneDragOfTheRealSliderMakesOneChange) {
    QSlider* s = slider("loud")->slider();
    s->setSliderDown(true);
    for (int p : {60000, 70000, 80000, 75000}) s->setSliderPosition(p);
    EXPECT_EQ(saves, 0);
    s->setSliderDown(false);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(said.size(), 1u);
    EXPECT_EQ(style.z[1], 1.5f);  // 75% of -3…3
}

TEST_F(VoicesScreen, AdvancedRowsHideUntilExpanded) {
    EXPECT_FALSE(slider("cpps")->isVisible());
    view->findChild<QToolButton*>("advanced")->click();
    EXPECT_TRUE(slider("cpps")->isVisible());
    slider("cpps")->dragTo(-1.22);
    slider("cpps")->release();
    EXPECT_EQ(style.z[10], -1.2f);
}

TEST_F(VoicesScreen, PresetsAndResetDelivery) {
    style.voice = u"voice_3000";
    style.pace = 1.4f;
    view->styleChanged();
    view->findChild<Chip*>("chip:Whisper")->click();
    Style whisper;
    whisper.applyPreset(u"Whisper");
    EXPECT_EQ(style.preset, u"Whisper");
    EXPECT_EQ(style.tag, whisper.tag);
    EXPECT_EQ(style.z, whisper.z);
    EXPECT_EQ(style.pace, 1.4f);  // the speed stays
    EXPECT_EQ(style.voice, u"voice_3000");
    EXPECT_TRUE(view->findChild<Chip*>("chip:Whisper")->on());
    // Moving a control keeps the preset chip on.
    slider("f0_end")->dragTo(1);
    slider("f0_end")->release();
    EXPECT_EQ(style.preset, u"Whisper");
    EXPECT_TRUE(view->findChild<Chip*>("chip:Whisper")->on());
    playing = true;
    view->findChild<QPushButton*>("resetDelivery")->click();
    for (float z : style.z) EXPECT_EQ(z, 0.0f);
    EXPECT_EQ(style.pace, 1.1f);
    EXPECT_EQ(style.tag, whisper.tag);
    EXPECT_EQ(style.preset, u"Whisper");
    EXPECT_EQ(style.voice, u"voice_3000");
    EXPECT_EQ(slider("f0_end")->shownText(), "Natural");
    EXPECT_EQ(slider("speed")->shownText(), QString::fromUtf16(u"1.10\u00D7"));
    EXPECT_EQ(renders.size(), 1u);  // re-rendered instead of a preview
}

TEST_F(VoicesScreen, PlayPreviewsTheTypedSampleEvenWhileReading) {
    playing = true;
    view->findChild<QPlainTextEdit*>("sample")->setPlainText("Hello, world.");
    view->findChild<QPushButton*>("play")->click();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].first, u"Hello, world.");
    EXPECT_EQ(saves, 0);
}

}  // namespace
}  // namespace tovan
