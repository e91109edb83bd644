#include "ChosenApps.h"

#include "AppPickerSheet.h"
#include "Chips.h"
#include "SettingsStore.h"
#include "TestApp.h"

#include <QToolButton>

#include <gtest/gtest.h>

namespace tovan {
namespace {

std::vector<InstalledApp> apps() {
    return {{u"com.slack.Slack", u"Slack", "/x/com.slack.Slack.desktop"},
            {u"org.telegram.desktop", u"Telegram", "/x/org.telegram.desktop.desktop"},
            {u"org.gnome.Calls", u"Calls", "/x/org.gnome.Calls.desktop"}};
}

struct Row {
    std::shared_ptr<SettingsStore> store = std::make_shared<MemorySettingsStore>();
    AssistantPrefs prefs{store};
    int scans = 0;
    std::unique_ptr<ChosenApps> view;
    Row(std::set<std::u16string> chosen) {
        test::widgetApp();
        prefs.setApps(std::move(chosen));
        view = std::make_unique<ChosenApps>(prefs, [this] { ++scans; return apps(); },
                                            [] { return std::vector<Notifications::SeenApp>(); });
    }
    std::vector<QString> chips() const {
        std::vector<QString> out;
        for (auto* w : view->findChildren<QWidget*>())
            if (w->objectName().startsWith(QStringLiteral("appChip:")) && !w->property("gone").toBool())
                out.push_back(w->objectName().mid(8));
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST(ChosenApps, OnlyAddAppUntilTheFirstScan) {
    Row r({u"com.slack.Slack"});
    EXPECT_TRUE(r.chips().empty());
    EXPECT_TRUE(r.view->findChild<QWidget*>(QStringLiteral("addApp")));
    r.view->show();
    r.view->hide();
    r.view->show();
    EXPECT_EQ(r.scans, 1);  // kept for the life of the row
    EXPECT_EQ(r.chips(), (std::vector<QString>{QStringLiteral("com.slack.Slack")}));
}

TEST(ChosenApps, ChipsFollowTheSettingIgnoringCaseAndLeaveUninstalledIds) {
    Row r({u"COM.SLACK.SLACK", u"com.Slack.slack", u"not.installed", u"org.telegram.desktop"});
    r.view->show();
    EXPECT_EQ(r.view->chosen().size(), 2u);
    auto* remove = r.view->findChild<QToolButton*>(QStringLiteral("removeApp:com.slack.Slack"));
    ASSERT_TRUE(remove);
    EXPECT_EQ(remove->toolTip(), QStringLiteral("Stop reading Slack"));
    remove->click();  // every spelling of the id goes at once
    EXPECT_EQ(r.prefs.apps(), (std::set<std::u16string>{u"not.installed", u"org.telegram.desktop"}));
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(r.chips(), (std::vector<QString>{QStringLiteral("org.telegram.desktop")}));
}

TEST(ChosenApps, WithoutRemovesEverySpelling) {
    EXPECT_EQ(ChosenApps::without({u"A.b", u"a.B", u"c"}, u"a.b"), (std::set<std::u16string>{u"c"}));
    EXPECT_EQ(ChosenApps::without({}, u"a"), (std::set<std::u16string>{}));
}

TEST(ChosenApps, AddAppOpensThePickerWithTheScannedList) {
    Row r({});
    r.view->show();
    r.view->findChild<Chip*>(QStringLiteral("addApp"))->click();
    ASSERT_TRUE(r.view->picker());
    EXPECT_EQ(r.view->picker()->sections()[0].apps.size(), 3u);
    EXPECT_EQ(r.scans, 1);  // the picker never rescans
}

}  // namespace
}  // namespace tovan
