#include "LibraryView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedLayout>

#include "AddMenu.h"
#include "AddTile.h"
#include "DocList.h"
#include "DocRow.h"
#include "EmptyLibrary.h"
#include "ReaderView.h"
#include "ViewHooks.h"
#include "ViewModelFixture.h"

namespace tovan {
namespace {

class LibraryViewTest : public test::ViewModelFixture {
protected:
    std::unique_ptr<LibraryView> made() {
        auto v = std::make_unique<LibraryView>(*app, reading, hooks);
        v->resize(1000, 700);
        v->show();
        QApplication::processEvents();
        return v;
    }
    static bool showsEmpty(LibraryView& v) { return v.findChild<EmptyLibrary*>()->isVisible(); }
    static QStringList actionNames(QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions()) out << (a->isSeparator() ? QString("-") : a->objectName());
        return out;
    }
    static QString id(const std::shared_ptr<Doc>& d) { return QString::fromStdU16String(d->id); }
    std::string call(const char* verb, const std::shared_ptr<Doc>& d, const char* from) {
        return std::string(verb) + " " + id(d).toStdString() + " " + from;
    }
    ViewHooks hooks;
};

TEST_F(LibraryViewTest, EmptyListShowsTheWelcomeAndTheFirstDocumentReplacesIt) {
    auto v = made();
    EXPECT_TRUE(showsEmpty(*v));
    EXPECT_EQ(v->findChildren<AddTile*>().size(), 4);
    addDoc(u"First", {u"Hello there. And more."});
    EXPECT_FALSE(showsEmpty(*v));
    ASSERT_NE(v->reader(), nullptr);
    EXPECT_EQ(v->reader()->doc()->title, u"First");
}

TEST_F(LibraryViewTest, PaneShowsSelectionElseCurrentElseFirst) {
    auto a = addDoc(u"A", {u"Alpha one."});
    auto b = addDoc(u"B", {u"Beta one."});
    auto v = made();
    const auto first = app->library.docs().front().id;
    EXPECT_EQ(v->paneId(), first);
    EXPECT_FALSE(v->list()->selected());

    // Whatever starts playing is selected and shown.
    reading.play(a, std::nullopt);
    EXPECT_EQ(v->list()->selected(), a->id);
    EXPECT_EQ(v->reader()->doc()->id, a->id);

    v->list()->setSelected(b->id);
    v->list()->onSelected();
    EXPECT_EQ(v->reader()->doc()->id, b->id);
    EXPECT_EQ(std::count(reading.calls.begin(), reading.calls.end(), call("play", b, "saved")), 0);  // no reading
}

TEST_F(LibraryViewTest, RowsTellPlayingAndPace) {
    // 9900 characters: 10 minutes at the style's pace of 1.1, 5 at twice the speed.
    std::vector<std::u16string> paragraphs(90, std::u16string(109, u'a') + u".");
    auto a = addDoc(u"A", paragraphs);
    auto v = made();
    auto row = [&] { return v->list()->itemWidget(v->list()->item(0)); };
    EXPECT_EQ(row()->findChild<QLabel*>("docRowPlaying"), nullptr);
    reading.play(a, std::nullopt);
    EXPECT_NE(row()->findChild<QLabel*>("docRowPlaying"), nullptr);
    EXPECT_EQ(row()->findChild<QLabel*>("docRowDetail")->text(), "10 min");
    reading.pause();
    EXPECT_EQ(row()->findChild<QLabel*>("docRowPlaying"), nullptr);
    reading.setSpeed(2.0f);
    EXPECT_EQ(row()->findChild<QLabel*>("docRowDetail")->text(), "5 min");
    Style faster = app->style();
    faster.pace = 2.2f;
    app->setStyle(faster);
    EXPECT_EQ(row()->findChild<QLabel*>("docRowDetail")->text(), "3 min") << "4.4 times: 2.5 minutes, rounded";
}

// Saving a position (every few sentences while reading) or play and pause
// must not rebuild the list: it would jump back to the top.
TEST_F(LibraryViewTest, RowsUpdateInPlaceKeepingScrollAndSelection) {
    std::vector<std::shared_ptr<Doc>> docs;
    for (int i = 0; i < 40; ++i)
        docs.push_back(addDoc(u"Document " + QString::number(i).toStdU16String(), {u"One here. Two here. Three here."}));
    auto v = made();
    DocList* list = v->list();
    const auto& rows = app->library.docs();
    const std::u16string lastId = rows.back().id;
    std::shared_ptr<Doc> last = app->library.doc(lastId);
    list->setSelected(lastId);
    list->scrollToBottom();
    QApplication::processEvents();
    const int scrolled = list->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    QWidget* firstFace = list->itemWidget(list->item(0));

    struct Step {
        const char* name;
        std::function<void()> act;
    } steps[] = {
        {"a position saved", [&] { last->pos = 2; app->library.save(*last); }},
        {"play", [&] { reading.play(last, std::nullopt); }},
        {"pause", [&] { reading.pause(); }},
    };
    for (const Step& step : steps) {
        step.act();
        QApplication::processEvents();
        EXPECT_EQ(list->verticalScrollBar()->value(), scrolled) << step.name;
        EXPECT_EQ(list->selected(), std::optional<std::u16string>(lastId)) << step.name;
        ASSERT_EQ(list->selectedItems().size(), 1) << step.name;
        EXPECT_EQ(list->selectedItems().front(), list->item(list->count() - 1)) << step.name;
        EXPECT_EQ(list->itemWidget(list->item(0)), firstFace) << step.name << ": an unchanged row is left alone";
    }
    const QWidget* lastFace = list->itemWidget(list->item(list->count() - 1));
    EXPECT_TRUE(lastFace->findChild<QLabel*>("docRowDetail")->text().endsWith(" left"));
}

TEST_F(LibraryViewTest, RowMenuPlaysExportsAndOffersTheOriginalOnlyForWebAddresses) {
    auto web = addDoc(u"Page", {u"From the web."}, u"web", u"https://example.com/a");
    auto file = addDoc(u"File", {u"From a file."}, u"text", u"/home/u/file.txt");
    std::vector<QUrl> opened;
    hooks.openUrl = [&](const QUrl& u) { opened.push_back(u); };
    auto v = made();

    std::unique_ptr<QMenu> webMenu(v->list()->rowMenu(web->id, nullptr));
    EXPECT_EQ(actionNames(webMenu.get()),
              (QStringList{"rowPlay", "rowPlayFromStart", "rowExport", "rowOpenOriginal", "-", "rowRemove"}));
    std::unique_ptr<QMenu> fileMenu(v->list()->rowMenu(file->id, nullptr));
    EXPECT_EQ(actionNames(fileMenu.get()), (QStringList{"rowPlay", "rowPlayFromStart", "rowExport", "-", "rowRemove"}));

    auto trigger = [](QMenu* m, const char* name) {
        for (QAction* a : m->actions())
            if (a->objectName() == name) a->trigger();
    };
    trigger(webMenu.get(), "rowOpenOriginal");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl("https://example.com/a"));
    trigger(fileMenu.get(), "rowPlay");
    trigger(fileMenu.get(), "rowPlayFromStart");
    trigger(fileMenu.get(), "rowExport");
    EXPECT_EQ(reading.calls, (std::vector<std::string>{call("play", file, "saved"), call("play", file, "0"),
                                                       "export " + id(file).toStdString()}));
}

TEST_F(LibraryViewTest, UnreadableDocumentShowsChooseSomethingAndItsMenuDoesNothing) {
    auto a = addDoc(u"Broken", {u"Soon gone."});
    app->library.loaded.clear();
    std::filesystem::remove(app->library.dir / (QString::fromStdU16String(a->id).toStdString() + ".json"));
    auto v = made();
    EXPECT_EQ(v->reader(), nullptr);
    EXPECT_TRUE(v->findChild<QLabel*>("chooseSomething")->isVisible());
    std::unique_ptr<QMenu> menu(v->list()->rowMenu(a->id, nullptr));
    for (QAction* act : menu->actions())
        if (act->objectName() != "rowRemove") act->trigger();
    EXPECT_TRUE(reading.calls.empty());
}

TEST_F(LibraryViewTest, RemovingTheCurrentDocumentStopsTheReadingAndDeletesIt) {
    auto a = addDoc(u"A", {u"Alpha one."});
    auto b = addDoc(u"B", {u"Beta one."});
    auto v = made();
    reading.play(a, std::nullopt);
    v->list()->remove(a->id);
    EXPECT_EQ(reading.calls.back(), "close");
    EXPECT_EQ(reading.doc(), nullptr);
    EXPECT_FALSE(v->list()->selected());
    ASSERT_EQ(app->library.docs().size(), 1u);
    EXPECT_EQ(app->library.docs().front().id, b->id);
    EXPECT_EQ(v->reader()->doc()->id, b->id);  // the first remaining entry
    EXPECT_FALSE(std::filesystem::exists(app->library.dir / (id(a).toStdString() + ".json")));
}

TEST_F(LibraryViewTest, RemovingASelectedDocumentThatIsNotCurrentKeepsTheReading) {
    auto a = addDoc(u"A", {u"Alpha one."});
    auto b = addDoc(u"B", {u"Beta one."});
    auto v = made();
    reading.play(a, std::nullopt);
    v->list()->setSelected(b->id);
    v->list()->removeRows({static_cast<int>(std::find_if(app->library.docs().begin(), app->library.docs().end(),
                                                         [&](const Doc::Meta& m) { return m.id == b->id; }) -
                                            app->library.docs().begin())});
    EXPECT_EQ(std::count(reading.calls.begin(), reading.calls.end(), "close"), 0);
    EXPECT_FALSE(v->list()->selected());
    EXPECT_EQ(v->reader()->doc()->id, a->id);  // the current document
    v->list()->remove(a->id);
    EXPECT_TRUE(showsEmpty(*v));  // the last entry gone: the welcome screen
}

TEST_F(LibraryViewTest, AddActionsOpenSheetsAndCallTheHooks) {
    std::vector<std::string> done;
    hooks.openFiles = [&] { done.push_back("files"); };
    hooks.showMain = [&] { done.push_back("main"); };
    hooks.readClipboard = [&] { done.push_back("clipboard"); };
    AddMenu menu(*app, hooks);
    QStringList names;
    for (QAction* a : menu.menu()->actions()) names << a->objectName();
    EXPECT_EQ(names, (QStringList{"addFiles", "addLink", "addClipboard", "addText"}));
    menu.menu()->actions()[1]->trigger();
    EXPECT_EQ(app->sheet(), AppModel::Sheet::link);
    menu.menu()->actions()[3]->trigger();
    EXPECT_EQ(app->sheet(), AppModel::Sheet::text);
    menu.menu()->actions()[0]->trigger();
    menu.menu()->actions()[2]->trigger();
    EXPECT_EQ(done, (std::vector<std::string>{"main", "main", "files", "clipboard"}));

    // The tiles do the same, in the same order.
    done.clear();
    app->setSheet(std::nullopt);
    EmptyLibrary empty(*app, hooks);
    const char* tiles[] = {"tileFiles", "tileLink", "tileClipboard", "tileText"};
    for (const char* t : tiles) empty.findChild<AddTile*>(t)->click();
    EXPECT_EQ(done, (std::vector<std::string>{"files", "main", "clipboard", "main"}));
    EXPECT_EQ(app->sheet(), AppModel::Sheet::text);
    empty.findChild<QPushButton*>("emptyFreeBooks")->click();
    EXPECT_EQ(app->section(), AppModel::Section::freeBooks);
}

TEST_F(LibraryViewTest, TileFillFollowsThePointer) {
    AddTile tile("T", "D", "doc", [] {});
    tile.show();
    EXPECT_FALSE(tile.hover());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&tile, &enter);
    EXPECT_TRUE(tile.hover());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&tile, &leave);
    EXPECT_FALSE(tile.hover());
}

}  // namespace
}  // namespace tovan
