#include "SettingsStore.h"
#include "ReadAnywhereScreen.h"
#include "TestApp.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace tovan {
namespace {

using State = Feature::State;

class Anywhere : public ::testing::Test {
protected:
    void make() {
        AnywhereView::Host host;
        host.defaults = defaults;
        host.trusted = [this] { return trusted; };
        host.requestTrust = [this] { ++trustRequests; };
        host.readClipboard = [this] { ++clipboardReads; };
        host.registerHotkeys = [this] {
            ++registrations;
            keysAtRegistration = defaults->getBool("shortcuts");
        };
        host.hasDoc = [this] { return hasDoc; };
        host.exportDoc = [this] { ++exports; };
        view = std::make_unique<AnywhereView>(std::move(host));
        view->resize(900, 1400);
        view->show();
    }
    State state(int row) { return view->row(row)->state(); }
    bool allowShown() { return view->findChild<QPushButton*>("allow")->isVisible(); }

    test::WidgetAppFirst appFirst;
    std::shared_ptr<SettingsStore> defaults = std::make_shared<MemorySettingsStore>();
    bool trusted = false, hasDoc = false;
    int trustRequests = 0, clipboardReads = 0, registrations = 0, exports = 0;
    std::optional<bool> keysAtRegistration;
    std::unique_ptr<AnywhereView> view;
};

TEST_F(Anywhere, ShortcutsOnWithoutAccess) {
    make();
    EXPECT_EQ(state(1), State::needs("Needs an X11 session"));
    EXPECT_TRUE(allowShown());
    for (int r : {2, 3, 4, 5, 6, 7}) EXPECT_EQ(state(r), State::ready()) << r;
    EXPECT_EQ(registrations, 0);  // opening the screen registers nothing
    view->findChild<QPushButton*>("allow")->click();
    EXPECT_EQ(trustRequests, 1);
    EXPECT_EQ(state(1), State::needs("Needs an X11 session"));  // until the next tick
}

TEST_F(Anywhere, ShortcutsOffMuteRowsOneThreeAndFour) {
    defaults->setBool("shortcuts", false);
    make();
    for (int r : {1, 3, 4}) EXPECT_EQ(state(r), State::off("Shortcuts are off")) << r;
    EXPECT_TRUE(allowShown());  // still offered while access is missing
    for (int r : {2, 6, 7}) EXPECT_EQ(state(r), State::ready()) << r;
}

TEST_F(Anywhere, TickFollowsAccessBothWays) {
    make();
    EXPECT_EQ(view->timer()->interval(), 2000);
    EXPECT_TRUE(view->timer()->isActive());
    trusted = true;
    view->tick();
    EXPECT_EQ(state(1), State::ready());
    EXPECT_FALSE(allowShown());
    trusted = false;
    view->tick();
    EXPECT_EQ(state(1), State::needs("Needs an X11 session"));
    EXPECT_TRUE(allowShown());
    view->hide();
    EXPECT_FALSE(view->timer()->isActive());  // no checks while another section shows
}

TEST_F(Anywhere, ShortcutsSwitchStoresThenRegisters) {
    trusted = true;
    make();
    auto* sw = view->findChild<QCheckBox*>("Shortcuts");
    EXPECT_TRUE(sw->isChecked());
    EXPECT_TRUE(sw->text().isEmpty());
    sw->click();
    EXPECT_EQ(defaults->getBool("shortcuts"), false);
    EXPECT_EQ(registrations, 1);
    EXPECT_EQ(keysAtRegistration, false);  // stored before the keys are rebuilt
    for (int r : {1, 3, 4}) EXPECT_EQ(state(r), State::off("Shortcuts are off")) << r;
    sw->click();
    EXPECT_EQ(registrations, 2);
    EXPECT_EQ(keysAtRegistration, true);
    EXPECT_EQ(state(1), State::ready());
}

TEST_F(Anywhere, MenuBarSwitch) {
    make();
    auto* sw = view->findChild<QCheckBox*>("menuBarItem");
    sw->click();
    EXPECT_EQ(defaults->getBool("menuBarItem"), false);
    EXPECT_EQ(state(5), State::off("Hidden"));
    EXPECT_EQ(registrations, 0);
    sw->click();
    EXPECT_EQ(state(5), State::ready());
}

TEST_F(Anywhere, ExportFollowsTheCurrentDocument) {
    make();
    auto* exp = view->findChild<QPushButton*>("export");
    EXPECT_FALSE(exp->isEnabled());
    hasDoc = true;
    view->docChanged();
    EXPECT_TRUE(exp->isEnabled());
    exp->click();
    EXPECT_EQ(exports, 1);
    view->findChild<QPushButton*>("readClipboard")->click();
    EXPECT_EQ(clipboardReads, 1);
}

TEST_F(Anywhere, RowsCarryTheirTexts) {
    make();
    EXPECT_EQ(view->row(1)->findChild<QLabel*>("title")->text(), "Read what you select");
    EXPECT_EQ(view->row(1)->findChild<QLabel*>("keys")->text(), "Ctrl+Alt+R");
    EXPECT_FALSE(view->row(2)->findChild<QLabel*>("keys"));
    EXPECT_EQ(view->row(7)->findChild<QLabel*>("title")->text(), "Save as audio");
    EXPECT_LE(view->findChild<QWidget*>("column")->width(), 760);
}

}  // namespace
}  // namespace tovan
