#include "MainView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>

#include "ExportBar.h"
#include "HeldWork.h"
#include "LibraryView.h"
#include "TransportBar.h"
#include "ViewHooks.h"
#include "ViewModelFixture.h"

namespace tovan {
namespace {

class MainViewTest : public test::ViewModelFixture {
protected:
    void SetUp() override {
        ViewModelFixture::SetUp();
        for (auto s : {AppModel::Section::freeBooks, AppModel::Section::assistant, AppModel::Section::voices,
                       AppModel::Section::anywhere})
            hooks.screens[s] = [s](AppModel&, QWidget* parent) {
                auto* w = new QLabel(MainView::title(s), parent);
                w->setObjectName("screen:" + MainView::title(s));
                return w;
            };
        view = std::make_unique<MainView>(*app, reading, hooks);
        view->resize(1100, 700);
        view->show();
        QApplication::processEvents();
    }
    QStringList selectedRows() {
        QStringList out;
        for (auto* i : view->findChild<QTreeWidget*>("sidebar")->selectedItems()) out << i->text(0);
        return out;
    }
    QTreeWidgetItem* row(const QString& title) {
        auto* tree = view->findChild<QTreeWidget*>("sidebar");
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            if ((*it)->text(0) == title) return *it;
        return nullptr;
    }
    bool barShown(const char* name) { return view->findChild<QWidget*>(name)->isVisible(); }

    ViewHooks hooks;
    std::unique_ptr<MainView> view;
};

TEST_F(MainViewTest, SidebarHasTwoGroupsOfTheFiveSections) {
    auto* tree = view->findChild<QTreeWidget*>("sidebar");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Listen");
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Lumora");
    QStringList titles;
    for (int g = 0; g < 2; ++g)
        for (int i = 0; i < tree->topLevelItem(g)->childCount(); ++i) titles << tree->topLevelItem(g)->child(i)->text(0);
    EXPECT_EQ(titles, (QStringList{"Reading List", "Free Books", "Assistant", "Voices", "Read Anywhere"}));
    EXPECT_EQ(selectedRows(), QStringList{"Reading List"});
    EXPECT_GE(tree->minimumWidth(), 180);
    EXPECT_LE(tree->maximumWidth(), 260);
}

TEST_F(MainViewTest, DetailFollowsTheSection) {
    EXPECT_TRUE(qobject_cast<LibraryView*>(view->screen()));
    view->findChild<QTreeWidget*>("sidebar")->setCurrentItem(row("Voices"));
    EXPECT_EQ(app->section(), AppModel::Section::voices);
    EXPECT_EQ(view->screen()->objectName(), "screen:Voices");
    app->setSection(AppModel::Section::anywhere);
    EXPECT_EQ(view->screen()->objectName(), "screen:Read Anywhere");
    EXPECT_EQ(selectedRows(), QStringList{"Read Anywhere"});

    // No section: the reading list with no row chosen; choosing the row keeps the screen.
    app->setSection(std::nullopt);
    EXPECT_TRUE(qobject_cast<LibraryView*>(view->screen()));
    EXPECT_TRUE(selectedRows().isEmpty());
    QWidget* list = view->screen();
    view->findChild<QTreeWidget*>("sidebar")->setCurrentItem(row("Reading List"));
    EXPECT_EQ(app->section(), AppModel::Section::library);
    EXPECT_EQ(view->screen(), list);
}

TEST_F(MainViewTest, BarsShowWhileThereIsAJobOrADocument) {
    EXPECT_FALSE(barShown("exportBar"));
    EXPECT_FALSE(barShown("transportBar"));
    reading.doc_ = Doc::create(u"Playing", u"text", std::nullopt, {u"Some words."});
    emit reading.changed();
    app->setSection(AppModel::Section::voices);  // the player bar stays under any section
    EXPECT_TRUE(barShown("transportBar"));
    reading.setExport(QStringLiteral("Playing"), 0.5);
    EXPECT_TRUE(barShown("exportBar"));
    EXPECT_LT(view->findChild<QWidget*>("exportBar")->y(), view->findChild<QWidget*>("transportBar")->y());
    view->findChild<QPushButton*>("exportCancel")->click();
    EXPECT_EQ(reading.calls.back(), "cancel export");
    reading.setExport(std::nullopt, 1.0);
    EXPECT_FALSE(barShown("exportBar"));
    EXPECT_TRUE(barShown("transportBar"));
}

TEST_F(MainViewTest, ProblemAlertClearsTheProblemAndComesBackForANewOne) {
    app->setProblem(QStringLiteral("The audio could not be saved: disk full"));
    auto* alert = view->findChild<QMessageBox*>("problemAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Lumora");
    EXPECT_EQ(alert->text(), "The audio could not be saved: disk full");
    alert->button(QMessageBox::Ok)->click();
    EXPECT_EQ(app->problem(), std::nullopt);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app->setProblem(QStringLiteral("Again"));
    alert = view->findChild<QMessageBox*>("problemAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Again");
    alert->reject();  // closed any other way: cleared too
    EXPECT_EQ(app->problem(), std::nullopt);
}

TEST_F(MainViewTest, OpeningCapsuleShowsTheNotice) {
    auto* capsule = view->findChild<QWidget*>("openingCapsule");
    EXPECT_FALSE(capsule->isVisible());
    app->setOpening(QString::fromUtf8("Opening book.epub\u2026"));
    EXPECT_TRUE(capsule->isVisible());
    EXPECT_EQ(view->findChild<QLabel*>("openingText")->text(), QString::fromUtf8("Opening book.epub\u2026"));
    EXPECT_EQ(capsule->y(), 10);
    app->setOpening(std::nullopt);
    EXPECT_FALSE(capsule->isVisible());
}

TEST_F(MainViewTest, SheetsOpenFromTheModelAndClearItWhenDismissed) {
    std::function<void()> dismissLink;
    hooks.sheets[AppModel::Sheet::link] = [&](AppModel&, std::function<void()> dismiss, QWidget* parent) {
        dismissLink = dismiss;
        return new QLabel("link sheet", parent);
    };
    hooks.sheets[AppModel::Sheet::text] = [](AppModel&, std::function<void()>, QWidget* parent) {
        return new QLabel("text sheet", parent);
    };
    app->setSheet(AppModel::Sheet::link);
    auto* sheet = view->findChild<QDialog*>("linkSheet");
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    dismissLink();
    EXPECT_EQ(app->sheet(), std::nullopt);
    EXPECT_FALSE(sheet->isVisible());

    app->setSheet(AppModel::Sheet::text);
    auto* text = view->findChild<QDialog*>("textSheet");
    ASSERT_NE(text, nullptr);
    text->reject();  // closed by the window system
    EXPECT_EQ(app->sheet(), std::nullopt);
}

TEST_F(MainViewTest, DropsGoToTheHandlerAndAreAlwaysAccepted) {
    int handled = 0;
    hooks.drop = [&](const QMimeData&) { ++handled; };
    QMimeData data;
    data.setData("application/x-nothing-we-know", "??");
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Straight to the widget: the application delivers drops only from a real drag.
    static_cast<QObject*>(view.get())->event(&drop);
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(drop.isAccepted());
}

}  // namespace
}  // namespace tovan

namespace tovan {
namespace {

// A main window over a model whose adding work parks at its third report.
class MainViewAdding : public MainViewTest {
protected:
    void SetUp() override {
        adjust = [this](AppModel::Config& c) {
            c.addingReport = [this](double, const Progress&) {
                if (++reports == 3) held->hold();
            };
        };
        MainViewTest::SetUp();
        std::string text;
        for (int i = 0; i < 2000; ++i) text += "Paragraph " + std::to_string(i) + " has words. And a second one.\n\n";
        std::ofstream(root / "long.txt") << text;
    }
    void TearDown() override {
        held->release();
        test::spinUntil([this] { return app->addingWork() == 0; });
    }
    // Opens the long file and waits until its work is parked mid-way.
    void openHeld() {
        held = std::make_unique<test::HeldWork>();
        reports = 0;
        app->open(root / "long.txt", false);
        ASSERT_TRUE(test::spinUntil([this] { return held->reached(); }));
        test::spinEvents();
    }
    QWidget* capsule() { return view->findChild<QWidget*>("openingCapsule"); }

    std::unique_ptr<test::HeldWork> held = std::make_unique<test::HeldWork>();
    std::atomic<int> reports{0};
};

TEST_F(MainViewAdding, TheCapsuleShowsHowFarTheAddingHasComeAndCancelStopsIt) {
    EXPECT_FALSE(capsule()->isVisible());
    openHeld();
    ASSERT_TRUE(capsule()->isVisible());
    EXPECT_EQ(view->findChild<QLabel*>("openingText")->text(), QStringLiteral("Opening long.txt\u2026"));
    ASSERT_TRUE(app->openingProgress());
    const double f = *app->openingProgress();
    auto* bar = view->findChild<QProgressBar*>("openingProgress");
    EXPECT_EQ(bar->maximum(), 1000);  // a share, no longer a busy bar
    EXPECT_EQ(bar->value(), int(std::lround(f * 1000)));
    auto* percent = view->findChild<QLabel*>("openingPercent");
    EXPECT_TRUE(percent->isVisible());
    EXPECT_EQ(percent->text(), ExportBar::percent(f));

    auto* cancel = view->findChild<QPushButton*>("openingCancel");
    ASSERT_TRUE(cancel && cancel->isVisible());
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
    EXPECT_FALSE(capsule()->isVisible());
    EXPECT_FALSE(app->opening());
    held->release();
    ASSERT_TRUE(test::spinUntil([this] { return app->addingWork() == 0; }));
    EXPECT_TRUE(app->library.docs().empty());
    EXPECT_FALSE(app->problem());
}

TEST_F(MainViewAdding, EscapeCancelsOnlyWhileTheCapsuleShows) {
    auto* escape = view->findChild<QShortcut*>("openingEscape");
    ASSERT_NE(escape, nullptr);
    EXPECT_EQ(escape->key(), QKeySequence(Qt::Key_Escape));
    EXPECT_FALSE(escape->isEnabled());
    openHeld();
    EXPECT_TRUE(escape->isEnabled());
    emit escape->activated();
    EXPECT_FALSE(capsule()->isVisible());
    EXPECT_FALSE(escape->isEnabled());
    held->release();
    ASSERT_TRUE(test::spinUntil([this] { return app->addingWork() == 0; }));
    EXPECT_TRUE(app->library.docs().empty());
}

TEST_F(MainViewAdding, ADownloadShowsABusyBarWithoutAShare) {
    app->setOpening(QStringLiteral("Downloading A Book\u2026"));
    EXPECT_TRUE(capsule()->isVisible());
    EXPECT_EQ(view->findChild<QProgressBar*>("openingProgress")->maximum(), 0);
    EXPECT_FALSE(view->findChild<QLabel*>("openingPercent")->isVisible());
    app->setOpening(std::nullopt);
}

}  // namespace
}  // namespace tovan
