#include "AppPickerSheet.h"

#include "SettingsStore.h"
#include "TestApp.h"

#include <QCheckBox>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace tovan {
namespace {

std::vector<InstalledApp> apps() {
    return {{u"org.gnome.Calls", u"Calls", "/x/a.desktop"},
            {u"com.slack.Slack", u"Slack", "/x/b.desktop"},
            {u"org.telegram.desktop", u"Telegram Desktop", "/x/c.desktop"}};
}

struct Sheet {
    std::shared_ptr<SettingsStore> store = std::make_shared<MemorySettingsStore>();
    AssistantPrefs prefs{store};
    std::vector<Notifications::SeenApp> seen;
    std::unique_ptr<AppPickerSheet> sheet;
    explicit Sheet(std::vector<Notifications::SeenApp> s = {}) : seen(std::move(s)) {
        test::widgetApp();
        prefs.setApps({u"ORG.TELEGRAM.DESKTOP", u"not.installed"});
        sheet = std::make_unique<AppPickerSheet>(apps(), prefs, [this] { return seen; });
    }
    std::vector<std::pair<QString, std::vector<std::u16string>>> shown() const {
        std::vector<std::pair<QString, std::vector<std::u16string>>> out;
        for (const auto& s : sheet->sections()) {
            std::vector<std::u16string> ids;
            for (const auto& a : s.apps)
                ids.push_back(a.id);
            out.push_back({s.title, ids});
        }
        return out;
    }
    QCheckBox* toggle(const QString& id) const {
        return sheet->findChild<QCheckBox*>(QStringLiteral("appSwitch:") + id);
    }
};

using Shown = std::vector<std::pair<QString, std::vector<std::u16string>>>;

TEST(AppPickerSheet, AppsThatSentNotificationsComeFirst) {
    Sheet none;
    EXPECT_EQ(none.shown(), (Shown{{QStringLiteral("Apps"), {u"org.gnome.Calls", u"com.slack.Slack", u"org.telegram.desktop"}}}));
    Sheet some(std::vector<Notifications::SeenApp>{{u"COM.SLACK.SLACK", u"Slack"}, {u"uninstalled.app", u"X"}});
    EXPECT_EQ(some.shown(), (Shown{{QStringLiteral("Sends notifications"), {u"com.slack.Slack"}},
                                   {QStringLiteral("Other apps"), {u"org.gnome.Calls", u"org.telegram.desktop"}}}));
    // Many Linux apps name themselves in a notification only by the name the
    // user sees, under an id that is no desktop id.
    Sheet named(std::vector<Notifications::SeenApp>{{u"telegram-desktop", u"TELEGRAM DESKTOP"}});
    EXPECT_EQ(named.shown(), (Shown{{QStringLiteral("Sends notifications"), {u"org.telegram.desktop"}},
                                    {QStringLiteral("Other apps"), {u"org.gnome.Calls", u"com.slack.Slack"}}}));
}

TEST(AppPickerSheet, SearchLooksAtNamesOnlyAndKeepsTheCount) {
    Sheet s(std::vector<Notifications::SeenApp>{{u"com.slack.Slack", u"Slack"}});
    EXPECT_EQ(s.sheet->countText(), QStringLiteral("1 apps chosen"));  // the uninstalled id is not counted
    s.sheet->search()->setText(QStringLiteral("DESK"));
    EXPECT_EQ(s.shown(), (Shown{{QStringLiteral("Apps"), {u"org.telegram.desktop"}}}));
    s.sheet->search()->setText(QStringLiteral("gnome"));  // in an id, not a name
    EXPECT_EQ(s.shown(), (Shown{{QStringLiteral("Apps"), {}}}));
    EXPECT_EQ(s.sheet->countText(), QStringLiteral("1 apps chosen"));
}

TEST(AppPickerSheet, SwitchesChangeTheSettingAtOnce) {
    Sheet s;
    QCheckBox* telegram = s.toggle(QStringLiteral("org.telegram.desktop"));
    ASSERT_TRUE(telegram);
    EXPECT_TRUE(telegram->isChecked());  // stored in another letter case
    telegram->click();
    EXPECT_EQ(s.prefs.apps(), (std::set<std::u16string>{u"not.installed"}));
    telegram = s.toggle(QStringLiteral("org.telegram.desktop"));
    ASSERT_TRUE(telegram);
    telegram->click();  // back on: the bundle's own spelling
    EXPECT_EQ(s.prefs.apps(), (std::set<std::u16string>{u"not.installed", u"org.telegram.desktop"}));
    s.toggle(QStringLiteral("com.slack.Slack"))->click();
    EXPECT_EQ(s.sheet->countText(), QStringLiteral("2 apps chosen"));
    EXPECT_TRUE(s.toggle(QStringLiteral("com.slack.Slack"))->isChecked());
}

}  // namespace
}  // namespace tovan
