#include "../../../playback/tests/FakeEngine.h"
#include "Chips.h"
#include "SettingsStore.h"
#include "FreeBooksScreen.h"
#include "LoopbackHttp.h"
#include "ReadAnywhereScreen.h"
#include "ScreenHooks.h"
#include "TestApp.h"
#include "ViewHooks.h"
#include "VoicesScreen.h"
#include "core/AppModel.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovan {
namespace {

class Hooks : public ::testing::Test {
protected:
    Hooks() {
        AppModel::Config c;
        c.support = dir.path().toStdString() + "/support";
        c.modelDir = dir.path().toStdString() + "/model";
        c.defaults = std::make_shared<MemorySettingsStore>();
        c.engineApi = &FakeEngine::api();
        c.narrator = [](AppModel&) { return std::shared_ptr<Narrator>(); };
        const std::string base = server.base();
        c.catalogue = std::u16string(base.begin(), base.end());
        app = std::make_unique<AppModel>(std::move(c));
        installScreens(hooks);
    }
    ~Hooks() override {
        if (app) app->syncEngine();
    }
    QWidget* make(AppModel::Section s) { return hooks.screens.at(s)(*app, nullptr); }

    test::WidgetAppFirst appFirst;
    QTemporaryDir dir;
    test::LoopbackHttp server;
    ViewHooks hooks;
    std::unique_ptr<AppModel> app;
};

TEST_F(Hooks, FillsTheThreeSectionPlaces) {
    EXPECT_EQ(hooks.screens.count(AppModel::Section::freeBooks), 1u);
    EXPECT_EQ(hooks.screens.count(AppModel::Section::voices), 1u);
    EXPECT_EQ(hooks.screens.count(AppModel::Section::anywhere), 1u);
    EXPECT_EQ(hooks.screens.count(AppModel::Section::assistant), 0u);  // not ours
}

TEST_F(Hooks, FreeBooksListsFromTheConfiguredCatalogueAndDownloadsThroughIt) {
    server.answers["/ebooks/bookshelf/20.opds?sort_order=downloads&start_index=1"] = {
        200, "<entry><link href=\"/ebooks/2591.opds\"/><title>Grimms' Fairy Tales</title></entry>"};
    std::unique_ptr<QWidget> w(make(AppModel::Section::freeBooks));
    auto* view = qobject_cast<FreeBooksView*>(w.get());
    ASSERT_TRUE(view);
    view->show();
    ASSERT_TRUE(test::spinUntil([&] { return !view->books().empty(); }));
    EXPECT_EQ(view->books()[0].id, u"2591");
    ASSERT_FALSE(server.requests.empty());
    EXPECT_EQ(server.requests[0].userAgent, Gutenberg::userAgent);
    // Both book files missing: the model shows the catalogue's words.
    app->open(AppModel::Book{u"2591", u"Grimms' Fairy Tales", u""});
    ASSERT_TRUE(test::spinUntil([&] { return app->problem().has_value(); }));
    EXPECT_EQ(*app->problem(), "Project Gutenberg answered 404. Try again in a moment.");
    EXPECT_EQ(server.requests.back().target, "/ebooks/2591.epub3.images");
    EXPECT_EQ(server.requests.back().userAgent, Gutenberg::userAgent);
}

TEST_F(Hooks, VoicesEditsPublishTheModelsStyle) {
    std::unique_ptr<QWidget> w(make(AppModel::Section::voices));
    auto* view = qobject_cast<VoicesView*>(w.get());
    ASSERT_TRUE(view);
    view->show();
    view->findChild<Chip*>("chip:Calm")->click();
    EXPECT_EQ(app->style().preset, u"Calm");
    EXPECT_TRUE(QFile::exists(dir.path() + "/support/style.json"));
    // A style set elsewhere shows here.
    Style s = app->style();
    s.applyPreset(u"Sad");
    app->setStyle(s);
    EXPECT_TRUE(view->findChild<Chip*>("chip:Sad")->on());
    EXPECT_FALSE(view->findChild<Chip*>("chip:Calm")->on());
}

TEST_F(Hooks, ReadAnywhereKeepsItsSwitchesInTheModelsDefaults) {
    std::unique_ptr<QWidget> w(make(AppModel::Section::anywhere));
    auto* view = qobject_cast<AnywhereView*>(w.get());
    ASSERT_TRUE(view);
    view->show();
    view->findChild<QCheckBox*>("menuBarItem")->click();
    EXPECT_EQ(app->defaults->getBool("menuBarItem"), false);
}

}  // namespace
}  // namespace tovan
