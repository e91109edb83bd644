// The tray window's texts and rows, the settings window and the tray item's
// presence, over a real AppModel in a temporary folder with fake controls.
#include "AppModel.h"
#include "SettingsStore.h"
#include "FakeControls.h"
#include "LoginItem.h"
#include "MenuBarIcon.h"
#include "MenuBarView.h"
#include "SettingsView.h"
#include "ShellApp.h"
#include "TovanTTSApp.h"

#include <gtest/gtest.h>

#include <QShortcut>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>

#include <cstdlib>

#include "Extract.h"

#include <QSystemTrayIcon>

using namespace tovan;

namespace {

struct TempDir {
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "tovan-shell-XXXXXX").string();
        if (::mkdtemp(t.data())) path = t;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

class WithModel : public ::testing::Test {
protected:
    void SetUp() override {
        shellApp();
        AppModel::Config cfg;
        cfg.support = dir.path / "support";
        cfg.modelDir = dir.path / "model";
        cfg.defaults = defaults;
        cfg.narrator = [](AppModel&) { return std::shared_ptr<Narrator>(); };
        app = std::make_unique<AppModel>(cfg);
    }
    void addDocs(int n) {
        for (int i = 0; i < n; i++) {
            auto doc = Doc::create(Extract::fromText(u"Sentence one of " + std::u16string(1, u'A' + i) + u". Sentence two.", u"Doc " + std::u16string(1, u'A' + i)));
            app->library.saveOrExisting(doc);
        }
    }
    TempDir dir;
    std::shared_ptr<MemorySettingsStore> defaults = std::make_shared<MemorySettingsStore>();
    std::unique_ptr<AppModel> app;
    FakeControls controls;
};

TEST(MenuBarTexts, StatusLineAndReadingStates) {
    EXPECT_EQ(MenuBarView::status(true, true, 0.5, "Ava"), "Getting the voice ready…");
    EXPECT_EQ(MenuBarView::status(true, false, 0.0, "Ava"), "0% · Ava");  // paused while preparing
    EXPECT_EQ(MenuBarView::status(false, true, 0.999, "Ava"), "99% · Ava");
    EXPECT_EQ(MenuBarView::status(false, false, 1.0, "Ava"), "100% · Ava");
    struct Case {
        bool done;
        int64_t pos, count;
        const char* text;
    };
    const Case cases[] = {{true, 3, 200, "Finished"}, {false, 5, 200, "2%"}, {false, 0, 0, "0%"},
                          {false, 250, 200, "100%"}, {false, 199, 200, "99%"}};
    for (const auto& c : cases) EXPECT_EQ(MenuBarView::readingState(c.done, c.pos, c.count), c.text) << c.text;
}

TEST_F(WithModel, MenuBarViewShowsTheFirstFourEntriesOnlyWhenThereAreAny) {
    std::vector<std::string> calls;
    MenuBarView::Roads roads{[&] { calls.push_back("selection"); }, [&] { calls.push_back("clipboard"); },
                             [&] { calls.push_back("main"); }, [&] { calls.push_back("quit"); }};
    MenuBarView view(*app, controls, roads);
    EXPECT_NE(view.findChild<QWidget*>("idle"), nullptr);
    EXPECT_EQ(view.findChild<QPushButton*>("docRow0"), nullptr);
    EXPECT_EQ(view.findChildren<QFrame*>("divider").size(), 2);  // after the header, before "Open Lumora"

    addDocs(6);
    spinEvents();
    for (int i = 0; i < 4; i++) EXPECT_NE(view.findChild<QPushButton*>(QString("docRow%1").arg(i)), nullptr) << i;
    EXPECT_EQ(view.findChild<QPushButton*>("docRow4"), nullptr);
    EXPECT_EQ(view.findChildren<QFrame*>("divider").size(), 3);

    view.findChild<QPushButton*>("docRow0")->click();
    view.findChild<QPushButton*>("docRow0")->click();
    EXPECT_EQ(controls.calls, (std::vector<std::string>{"play", "play"}));
    for (const char* b : {"readSelectionRow", "readClipboardRow", "openMainButton", "quitButton"})
        view.findChild<QPushButton*>(b)->click();
    EXPECT_EQ(calls, (std::vector<std::string>{"selection", "clipboard", "main", "quit"}));
}

TEST_F(WithModel, MenuBarViewHeaderFollowsTheReading) {
    MenuBarView view(*app, controls, {});
    controls.title = "A Tale";
    controls.set(true, true, true);
    spinEvents();
    ASSERT_NE(view.findChild<QWidget*>("nowPlaying"), nullptr);
    EXPECT_EQ(view.findChild<QLabel*>("docTitle")->text(), "A Tale");
    EXPECT_EQ(view.findChild<QLabel*>("status")->text(), "Getting the voice ready…");
    EXPECT_NE(view.findChild<QWidget*>("pauseButton"), nullptr);
    view.findChild<QAbstractButton*>("pauseButton")->click();
    view.findChild<QAbstractButton*>("nextButton")->click();
    EXPECT_EQ(controls.calls, (std::vector<std::string>{"toggle", "next"}));
    controls.set(false, false);
    spinEvents();
    EXPECT_NE(view.findChild<QWidget*>("idle"), nullptr);
}

TEST_F(WithModel, SettingsWriteThroughAndARefusedLoginItemFlipsBack) {
    FakeLoginItem login;
    SettingsView view(controls, defaults, login, "");
    auto* atLogin = view.findChild<QCheckBox*>("atLoginToggle");
    auto* natural = view.findChild<QCheckBox*>("naturalToggle");
    auto* expr = view.findChild<QSlider*>("expressivenessSlider");
    EXPECT_FALSE(atLogin->isChecked());
    atLogin->setChecked(true);
    EXPECT_TRUE(login.on);
    login.refuse = true;
    atLogin->setChecked(false);
    EXPECT_TRUE(atLogin->isChecked());  // still on: the change was refused
    login.refuse = false;

    view.findChild<QCheckBox*>("autoNextToggle")->setChecked(false);
    EXPECT_EQ(defaults->getBool("autoNext"), false);
    view.findChild<QSlider*>("readingSizeSlider")->setValue(24);
    EXPECT_EQ(defaults->getDouble("readingSize"), 24.0);

    expr->setValue(4);
    EXPECT_FLOAT_EQ(controls.expr, 0.4f);
    natural->setChecked(false);
    EXPECT_FALSE(controls.nat);
    EXPECT_FALSE(expr->isEnabled());
    EXPECT_EQ(expr->value(), 4);
    natural->setChecked(true);
    EXPECT_TRUE(expr->isEnabled());
    EXPECT_EQ(view.findChild<QLabel*>("versionLabel")->text(), "Version dev");
    EXPECT_EQ(SettingsView::versionLine("1.2"), "Version 1.2");
}

TEST_F(WithModel, MainWindowHasItsNameSizesAndMenus) {
    auto login = std::make_shared<FakeLoginItem>();
    // Qt's default; the shell, not the test harness, must turn it off.
    QApplication::setQuitOnLastWindowClosed(true);
    TovanTTSApp shell(*app, controls, defaults, login, {});
    MainWindow* w = shell.mainWindow();
    EXPECT_EQ(w->objectName(), "main");
    EXPECT_EQ(w->windowTitle(), "Lumora");
    EXPECT_EQ(w->size(), QSize(1120, 740));
    EXPECT_EQ(w->centralWidget()->minimumSizeHint(), QSize(820, 520)) << "a content that needs less";
    // A content that needs more than 820 wide sets the floor instead.
    auto* wide = new QWidget;
    wide->setMinimumWidth(900);
    MainWindow greedy(wide);
    EXPECT_EQ(greedy.centralWidget()->minimumSizeHint(), QSize(900, 520));
    EXPECT_NE(w->findChild<QAction*>("playAction"), nullptr);
    EXPECT_NE(w->findChild<QAction*>("settingsAction"), nullptr);
    w->show();
    w->close();
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
}

TEST_F(WithModel, AboutShowsTheBuildsVersion) {
    TovanTTSApp shell(*app, controls, defaults, std::make_shared<FakeLoginItem>(), {});
    shell.showSettings();
    ASSERT_TRUE(shell.settingsWindow());
    const QString line = shell.settingsWindow()->findChild<QLabel*>("versionLabel")->text();
    EXPECT_TRUE(QRegularExpression("^Version \\d+\\.\\d+(\\.\\d+)?$").match(line).hasMatch()) << line.toStdString();
    EXPECT_EQ(line, "Version " + TovanTTSApp::version());
    shell.settingsWindow()->hide();
}

// The read-anywhere screen's switch only writes the setting (through the
// application's store); the tray must come and go with it, no restart.
TEST_F(WithModel, TrayItemFollowsTheMenuBarItemSetting) {
    app->defaults->setBool("menuBarItem", false);
    TovanTTSApp shell(*app, controls, defaults, std::make_shared<FakeLoginItem>(), {});
    EXPECT_FALSE(shell.menuBarItemShown()) << "off at start: no tray item";
    struct Step {
        std::optional<bool> stored;  // none: the key removed
        bool shown;
    } steps[] = {{true, true}, {false, false}, {std::nullopt, true}, {false, false}};
    for (const Step& s : steps) {
        if (s.stored)
            app->defaults->setBool("menuBarItem", *s.stored);
        else
            app->defaults->remove("menuBarItem");
        EXPECT_EQ(shell.menuBarItemShown(), s.shown) << (s.stored ? (*s.stored ? "on" : "off") : "absent");
    }
}

// One text size: the settings window's slider and the reader's buttons write
// the same setting, and each shows the other's writes at once.
TEST_F(WithModel, SettingsWindowShowsSettingsWrittenElsewhere) {
    TovanTTSApp shell(*app, controls, defaults, std::make_shared<FakeLoginItem>(), {});
    shell.showSettings();
    auto* size = shell.settingsWindow()->findChild<QSlider*>("readingSizeSlider");
    auto* autoNext = shell.settingsWindow()->findChild<QCheckBox*>("autoNextToggle");
    ASSERT_TRUE(size && autoNext);
    EXPECT_EQ(size->value(), 19);
    app->defaults->setDouble("readingSize", 23);  // as the reader's "Larger text" does
    EXPECT_EQ(size->value(), 23);
    app->defaults->setBool("autoNext", false);
    EXPECT_FALSE(autoNext->isChecked());
    size->setValue(16);
    EXPECT_EQ(app->defaults->getDouble("readingSize"), 16.0);
    shell.settingsWindow()->hide();
}

TEST(MenuBarIcon, IsAMaskOf20By16PointsAtTwiceThePixels) {
    shellApp();
    const QImage img = MenuBarIcon::render();
    EXPECT_EQ(img.size(), QSize(40, 32));
    EXPECT_EQ(img.deviceIndependentSize(), QSizeF(20, 16));
    int inked = 0;
    for (int y = 0; y < img.height(); y++)
        for (int x = 0; x < img.width(); x++) inked += qAlpha(img.pixel(x, y)) > 0;
    EXPECT_GT(inked, 40);  // the mark was drawn
    EXPECT_TRUE(MenuBarIcon::image().isMask());
}

}  // namespace

TEST_F(WithModel, EscapeClosesTheSettingsWindow) {
    TovanTTSApp shell(*app, controls, defaults, std::make_shared<FakeLoginItem>(), {});
    shell.showSettings();
    QWidget* settings = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "settings") settings = w;
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    auto* escape = settings->findChild<QShortcut*>("settingsEscape");
    ASSERT_NE(escape, nullptr);
    EXPECT_EQ(escape->key(), QKeySequence(Qt::Key_Escape));
    emit escape->activated();
    EXPECT_FALSE(settings->isVisible());
}
