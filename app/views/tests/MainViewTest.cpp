#include "MainView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>

#include "ExportBar.h"
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
