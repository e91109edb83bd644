#pragma once
// An application model over a fresh temporary support folder and a model
// folder holding only a small voices.json, with settings in memory and no
// reading controller, beside a FakeReading: what every screen test stands on.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <QTemporaryDir>

#include "SettingsStore.h"
#include "FakeReading.h"
#include "TestApp.h"
#include "core/AppModel.h"

namespace tovan::test {

class ViewModelFixture : public ::testing::Test {
protected:
    void SetUp() override {
        widgetApp();
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString();
        std::filesystem::create_directories(root / "model");
        // The first two featured voices, a third featured one with another
        // register and pace, and one voice that is not featured.
        std::ofstream(root / "model" / "voices.json") << R"({"voices":[
            {"name":"voice_1688","gender":"female","pitch_register":"mid","pace":"average"},
            {"name":"voice_2500","gender":"male","pitch_register":"low","pace":"slow"},
            {"name":"voice_0010","gender":"nonbinary","pitch_register":"high","pace":"fast"},
            {"name":"voice_9999","gender":"female"}]})";
        AppModel::Config config;
        config.support = root / "support";
        config.modelDir = root / "model";
        config.defaults = std::make_shared<MemorySettingsStore>();
        config.narrator = [](AppModel&) { return std::shared_ptr<Narrator>(); };
        if (adjust) adjust(config);
        app = std::make_unique<AppModel>(std::move(config));
    }

    // A document stored in the library and listed.
    std::shared_ptr<Doc> addDoc(std::u16string title, std::vector<std::u16string> paragraphs,
                                std::u16string kind = u"text", std::optional<std::u16string> source = std::nullopt) {
        auto doc = Doc::create(std::move(title), std::move(kind), std::move(source), std::move(paragraphs));
        return app->library.saveOrExisting(doc);
    }

    // Set before SetUp to change the model's configuration.
    std::function<void(AppModel::Config&)> adjust;
    QTemporaryDir dir;
    std::filesystem::path root;
    std::unique_ptr<AppModel> app;
    FakeReading reading;
};

}  // namespace tovan::test
