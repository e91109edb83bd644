#include "VoiceMenu.h"

#include <gtest/gtest.h>

#include <QMenu>

#include "Style.h"
#include "ViewModelFixture.h"

namespace tovan {
namespace {

class VoiceMenuTest : public test::ViewModelFixture {
protected:
    QStringList titles(VoiceMenu& menu) {
        QStringList out;
        for (QAction* a : menu.items()->actions())
            if (!a->isSeparator()) out << a->text();
        return out;
    }
    QAction* item(VoiceMenu& menu, const QString& name) {
        for (QAction* a : menu.items()->actions())
            if (a->objectName() == name) return a;
        return nullptr;
    }
    void setVoice(std::optional<std::u16string> v) {
        Style s = app->style();
        s.voice = std::move(v);
        app->setStyle(s);
    }
};

TEST_F(VoiceMenuTest, ListsFeaturedVoicesWithTheirLinesAndTicksOnlyAnExactId) {
    setVoice(u"voice_2500");
    VoiceMenu menu(*app, reading);
    const QString f = QString::fromStdU16String(app->voices.voice(u"voice_1688")->name);
    const QString m = QString::fromStdU16String(app->voices.voice(u"voice_2500")->name);
    const QString n = QString::fromStdU16String(app->voices.voice(u"voice_0010")->name);
    EXPECT_EQ(titles(menu), (QStringList{f + QString::fromUtf8(" \u00B7 Female, warm, steady"),
                                         m + QString::fromUtf8(" \u00B7 Male, deep, relaxed  \u2713"),
                                         n + QString::fromUtf8(" \u00B7 Male, bright, brisk"),
                                         QString::fromUtf8("More Voices\u2026")}));
    EXPECT_TRUE(menu.text().endsWith(m));
}

TEST_F(VoiceMenuTest, GenderWordsAndAbsenceNameAFeaturedVoiceButTickNone) {
    struct Case {
        std::optional<std::u16string> voice;
        std::u16string named;
    };
    const Case cases[] = {{std::nullopt, u"voice_1688"}, {u"female", u"voice_1688"}, {u"male", u"voice_2500"}};
    for (const Case& c : cases) {
        setVoice(c.voice);
        VoiceMenu menu(*app, reading);
        EXPECT_TRUE(menu.text().endsWith(QString::fromStdU16String(app->voices.voice(c.named)->name)));
        for (const QString& t : titles(menu)) EXPECT_FALSE(t.contains(QChar(0x2713))) << t.toStdString();
    }
    setVoice(u"voice_unknown");
    VoiceMenu menu(*app, reading);
    EXPECT_TRUE(menu.text().endsWith("voice_unknown"));
}

TEST_F(VoiceMenuTest, ChoosingStoresAFreshStyleAndRestartsOnlyWhilePlaying) {
    VoiceMenu menu(*app, reading);
    const Style before = app->style();
    item(menu, "voice:voice_2500")->trigger();
    EXPECT_EQ(app->style().voice, std::u16string(u"voice_2500"));
    EXPECT_EQ(before.voice, std::nullopt);
    EXPECT_TRUE(reading.calls.empty());  // paused: no audio
    EXPECT_TRUE(titles(menu)[1].endsWith(QString::fromUtf8("\u2713")));
    auto saved = Style::load(app->support / "style.json");
    EXPECT_EQ(saved.voice, std::u16string(u"voice_2500"));

    reading.playing_ = true;
    reading.heard_ = 7;
    item(menu, "voice:voice_2500")->trigger();  // the same voice again still restarts
    EXPECT_EQ(reading.calls, std::vector<std::string>{"render 7"});
}

TEST_F(VoiceMenuTest, MoreVoicesSwitchesTheSectionOnly) {
    VoiceMenu menu(*app, reading);
    reading.playing_ = true;
    item(menu, "moreVoices")->trigger();
    EXPECT_EQ(app->section(), AppModel::Section::voices);
    EXPECT_TRUE(reading.calls.empty());
}

}  // namespace
}  // namespace tovan
