#include "AssistantScreen.h"

#include "SettingsStore.h"
#include "FeatureRow.h"
#include "TestApp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace tovan {
namespace {

// The shared objects the screen shows, played by the test.
struct World {
    std::shared_ptr<SettingsStore> store = std::make_shared<MemorySettingsStore>();
    int hourNow = 12;
    AssistantPrefs prefs{store, [this] { return hourNow; }};
    std::vector<AssistantScreen::Line> recent;
    int waiting = 0, samples = 0, catchUps = 0, stops = 0, checks = 0;
    std::optional<std::u16string> speaking;
    bool access = true, claude = false, shell = false, calendar = false, grant = true;
    std::string failWith;
    std::function<void()> changed;

    AssistantScreen::Host host() {
        AssistantScreen::Host h;
        h.prefs = &prefs;
        h.recent = [this] { return recent; };
        h.waiting = [this] { return waiting; };
        h.sample = [this] { ++samples; };
        h.catchUp = [this] { ++catchUps; };
        h.speaking = [this] { return speaking; };
        h.stop = [this] { ++stops; speaking.reset(); };
        h.notesAccess = [this] { return access; };
        h.checkAgain = [this] { ++checks; };
        h.claudeConnected = [this] { return claude; };
        h.shellConnected = [this] { return shell; };
        auto hook = [this](bool& flag, bool to) {
            return [this, &flag, to] {
                if (!failWith.empty())
                    throw std::runtime_error(failWith);
                flag = to;
            };
        };
        h.connectClaude = hook(claude, true);
        h.disconnectClaude = hook(claude, false);
        h.connectShell = hook(shell, true);
        h.disconnectShell = hook(shell, false);
        h.calendarOn = [this] { return calendar; };
        h.requestCalendar = [this](std::function<void(bool)> done) { done(grant); };
        h.observe = [this](std::function<void()> f) { changed = std::move(f); };
        h.scan = [] { return std::vector<InstalledApp>(); };
        h.seen = [] { return std::vector<Notifications::SeenApp>(); };
        return h;
    }
};

struct Screen {
    World w;
    std::unique_ptr<AssistantScreen> s;
    Screen() {
        test::widgetApp();
        s = std::make_unique<AssistantScreen>(w.host());
    }
    template <class T>
    T* get(const char* name) const {
        T* t = s->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(t) << name;
        return t;
    }
    Feature::State state(const char* row) const { return get<Feature>(row)->state(); }
    void update() {
        if (w.changed)
            w.changed();
    }
};

TEST(AssistantScreen, HeaderFollowsWhatIsWaitingAndBeingSaid) {
    Screen t;
    auto* catchUp = t.get<QPushButton>("catchUp");
    EXPECT_EQ(catchUp->text(), QStringLiteral("Catch Me Up"));
    EXPECT_FALSE(catchUp->isEnabled());
    EXPECT_TRUE(t.get<QPushButton>("stopSpeaking")->isHidden());
    EXPECT_TRUE(t.get<QLabel>("saying")->isHidden());

    t.w.waiting = 3;
    t.w.speaking = u"Zenna on WhatsApp.";
    t.update();
    EXPECT_EQ(catchUp->text(), QStringLiteral("Catch Me Up \u00B7 3"));
    EXPECT_TRUE(catchUp->isEnabled());
    catchUp->click();
    t.get<QPushButton>("hearExample")->click();
    EXPECT_EQ(t.w.catchUps, 1);
    EXPECT_EQ(t.w.samples, 1);
    EXPECT_FALSE(t.get<QLabel>("saying")->isHidden());
    EXPECT_EQ(t.get<QLabel>("saying")->text(), QStringLiteral("Saying: Zenna on WhatsApp."));
    t.get<QPushButton>("stopSpeaking")->click();
    t.update();
    EXPECT_EQ(t.w.stops, 1);
    EXPECT_TRUE(t.get<QPushButton>("stopSpeaking")->isHidden());
    EXPECT_TRUE(t.get<QLabel>("saying")->isHidden());
}

TEST(AssistantScreen, QuietNowShowsOnlyWhileTheAssistantIsOn) {
    Screen t;
    t.w.prefs.setQuietHours(true);
    t.w.prefs.setQuietFrom(9);
    t.w.prefs.setQuietTo(17);
    t.s->refresh();
    auto* quiet = t.get<QLabel>("quietNow");
    EXPECT_FALSE(quiet->isHidden());
    EXPECT_EQ(quiet->text(), QStringLiteral("Quiet now: quiet hours"));
    t.w.prefs.setOn(false);
    t.s->refresh();
    EXPECT_EQ(t.s->quietNow(), QStringLiteral("the assistant is off"));
    EXPECT_TRUE(quiet->isHidden());
    EXPECT_FALSE(t.get<QCheckBox>("speakSwitch")->isChecked());
}

TEST(AssistantScreen, RowStates) {
    using S = Feature::State;
    struct Case {
        const char* what;
        std::function<void(World&)> set;
        S messages, claude, terminal, meetings;
    };
    const Case cases[] = {
        {"fresh", [](World&) {}, S::ready(), S::needs("Claude Code not connected"), S::needs("Terminal not connected"),
         S::needs("Needs your calendar")},
        {"no access, hooks in, calendar", [](World& w) { w.access = false; w.claude = w.shell = w.calendar = true; },
         S::needs("Can't see notifications"), S::ready(), S::ready(), S::ready()},
        {"switches off", [](World& w) {
             w.claude = w.shell = w.calendar = true;
             w.prefs.setClaude(false);
             w.prefs.setCommands(false);
             w.prefs.setMeetings(false);
         },
         S::ready(), S::off("Off"), S::off("Off"), S::off("Off")},
        {"meetings off without a calendar", [](World& w) { w.prefs.setMeetings(false); }, S::ready(),
         S::needs("Claude Code not connected"), S::needs("Terminal not connected"), S::needs("Needs your calendar")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Screen t;
        c.set(t.w);
        t.s->refresh();
        EXPECT_EQ(t.state("messagesRow"), c.messages);
        EXPECT_EQ(t.state("claudeRow"), c.claude);
        EXPECT_EQ(t.state("terminalRow"), c.terminal);
        EXPECT_EQ(t.state("meetingsRow"), c.meetings);
    }
}

TEST(AssistantScreen, MessagesRowOffersCheckAgainWithoutAccessAndAppsWithIt) {
    Screen t;
    t.s->show();
    EXPECT_TRUE(t.get<QWidget>("chosenApps")->isVisible());
    EXPECT_FALSE(t.get<QPushButton>("checkAgain")->isVisible());
    t.w.access = false;
    t.update();
    EXPECT_FALSE(t.get<QWidget>("chosenApps")->isVisible());
    EXPECT_TRUE(t.get<QPushButton>("checkAgain")->isVisible());
    EXPECT_FALSE(t.get<QPushButton>("allowNotes")->isVisible());  // no place to grant it on this desktop
    t.w.access = true;
    t.get<QPushButton>("checkAgain")->click();
    EXPECT_EQ(t.w.checks, 1);
    EXPECT_TRUE(t.get<QWidget>("chosenApps")->isVisible());
}

TEST(AssistantScreen, ControlsWriteTheSettings) {
    Screen t;
    struct Box {
        const char* name;
        std::function<bool(const AssistantPrefs&)> read;
    };
    const Box boxes[] = {
        {"readText", [](const AssistantPrefs& p) { return p.readText(); }},
        {"personVoices", [](const AssistantPrefs& p) { return p.personVoices(); }},
        {"whileLooking", [](const AssistantPrefs& p) { return p.whileLooking(); }},
        {"downloads", [](const AssistantPrefs& p) { return p.downloads(); }},
        {"battery", [](const AssistantPrefs& p) { return p.battery(); }},
        {"devices", [](const AssistantPrefs& p) { return p.devices(); }},
        {"quietInCalls", [](const AssistantPrefs& p) { return p.quietInCalls(); }},
        {"respectFocus", [](const AssistantPrefs& p) { return p.respectFocus(); }},
        {"welcomeBack", [](const AssistantPrefs& p) { return p.welcomeBack(); }},
        {"quietHours", [](const AssistantPrefs& p) { return p.quietHours(); }},
        {"speakSwitch", [](const AssistantPrefs& p) { return p.on(); }},
    };
    for (const auto& b : boxes) {
        auto* c = t.get<QCheckBox>(b.name);
        const bool before = b.read(t.w.prefs);
        EXPECT_EQ(c->isChecked(), before) << b.name;
        c->click();
        EXPECT_EQ(b.read(t.w.prefs), !before) << b.name;
        EXPECT_EQ(c->isChecked(), !before) << b.name;
    }

    auto* seconds = t.get<QComboBox>("commandSeconds");
    ASSERT_EQ(seconds->count(), 6);
    QStringList labels;
    for (int i = 0; i < seconds->count(); ++i)
        labels << seconds->itemText(i);
    EXPECT_EQ(labels, (QStringList{"10 s", "20 s", "30 s", "1 min", "2 min", "5 min"}));
    EXPECT_EQ(seconds->currentText(), QStringLiteral("20 s"));
    emit seconds->activated(4);
    EXPECT_EQ(t.w.prefs.commandSeconds(), 120.0);

    auto* from = t.get<QComboBox>("quietFrom");
    EXPECT_EQ(from->count(), 24);
    EXPECT_EQ(from->currentIndex(), 22);
    EXPECT_TRUE(from->isEnabled());  // quiet hours were switched on above
    emit from->activated(20);
    EXPECT_EQ(t.w.prefs.quietFrom(), 20);
    t.get<QCheckBox>("quietHours")->click();
    EXPECT_FALSE(from->isEnabled());
    EXPECT_FALSE(t.get<QComboBox>("quietTo")->isEnabled());
    EXPECT_EQ(t.w.prefs.quietFrom(), 20);  // kept while disabled
}

TEST(AssistantScreen, HookButtonsConnectAndReportFailures) {
    Screen t;
    auto* claude = t.get<QPushButton>("claudeHook");
    auto* shell = t.get<QPushButton>("shellHook");
    EXPECT_EQ(claude->text(), QStringLiteral("Connect Claude Code"));
    EXPECT_EQ(shell->text(), QStringLiteral("Connect bash and zsh"));
    claude->click();
    EXPECT_TRUE(t.w.claude);
    EXPECT_EQ(claude->text(), QStringLiteral("Disconnect Claude Code"));
    shell->click();
    EXPECT_EQ(shell->text(), QStringLiteral("Disconnect"));

    t.w.failWith = "Permission denied";
    shell->click();
    EXPECT_EQ(t.s->problem(), QStringLiteral("The shell's start-up file could not be changed: Permission denied"));
    EXPECT_EQ(shell->text(), QStringLiteral("Disconnect"));  // until a refresh finds a change
    auto* alert = t.s->findChild<QMessageBox*>(QStringLiteral("problemAlert"));
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("Lumora"));
    alert->accept();
    EXPECT_FALSE(t.s->problem());
    claude->click();
    EXPECT_EQ(t.s->problem(), QStringLiteral("Claude Code's settings could not be changed: Permission denied"));
}

TEST(AssistantScreen, CalendarAllowShowsTheSwitchWhenGranted) {
    Screen t;
    t.s->show();
    EXPECT_TRUE(t.get<QPushButton>("allowCalendar")->isVisible());
    EXPECT_FALSE(t.get<QCheckBox>("meetingsSwitch")->isVisible());
    t.w.grant = false;
    t.get<QPushButton>("allowCalendar")->click();
    EXPECT_FALSE(t.s->calendarOn());
    t.w.grant = true;
    t.get<QPushButton>("allowCalendar")->click();
    EXPECT_TRUE(t.s->calendarOn());
    EXPECT_TRUE(t.get<QCheckBox>("meetingsSwitch")->isVisible());
    EXPECT_FALSE(t.get<QPushButton>("allowCalendar")->isVisible());
}

TEST(AssistantScreen, RecentListShowsTwelveLinesWithoutTheWords) {
    Screen t;
    auto lines = [&] { return t.s->findChildren<QWidget*>(QStringLiteral("recentLine")); };
    EXPECT_TRUE(lines().empty());
    EXPECT_FALSE(t.get<QLabel>("recentEmpty")->isHidden());
    for (int i = 0; i < 30; ++i)
        t.w.recent.push_back({std::to_string(i), 1700000000000 + i, u"WhatsApp", i == 0 ? u"" : u"Zenna",
                              u"not read: quiet hours", i % 2 == 0});
    t.update();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(lines().size(), 12);
    EXPECT_TRUE(t.get<QLabel>("recentEmpty")->isHidden());
    EXPECT_EQ(lines()[0]->findChild<QLabel*>(QStringLiteral("lineName"))->text(), QStringLiteral("WhatsApp"));
    EXPECT_EQ(lines()[1]->findChild<QLabel*>(QStringLiteral("lineName"))->text(),
              QStringLiteral("WhatsApp \u00B7 Zenna"));
    EXPECT_EQ(lines()[1]->findChild<QLabel*>(QStringLiteral("lineOutcome"))->text(),
              QStringLiteral("not read: quiet hours"));
}

TEST(AssistantScreen, Labels) {
    EXPECT_EQ(AssistantScreen::secondsLabel(59.9), QStringLiteral("59 s"));
    EXPECT_EQ(AssistantScreen::secondsLabel(90), QStringLiteral("1 min"));
    EXPECT_EQ(AssistantScreen::catchUpLabel(0), QStringLiteral("Catch Me Up"));
    EXPECT_FALSE(AssistantScreen::hour(13).isEmpty());
    EXPECT_EQ(AssistantScreen::hour(25), QStringLiteral("25"));
}

}  // namespace
}  // namespace tovan
