// Shared bits of the model tests: a model made in a temporary folder.
#pragma once

#include "../../../playback/tests/FakeEngine.h"

#include <functional>
#include <memory>

#include "AppModel.h"
#include "SettingsStore.h"
#include "TempDir.h"
#include "TestApp.h"

namespace modeltest {

// A model over a fresh folder: support in dir/support, the model folder
// dir/model (empty), a memory defaults store, and no narrator.
struct Model {
    tovan::test::TempDir dir;
    std::unique_ptr<tovan::AppModel> model;
    explicit Model(std::function<void(tovan::AppModel::Config&)> adjust = {}) {
        tovan::test::coreApp();
        tovan::AppModel::Config c;
        c.support = dir / "support";
        c.modelDir = dir / "model";
        c.defaults = std::make_shared<tovan::MemorySettingsStore>();
        c.engineApi = &FakeEngine::api();
        c.narrator = [](tovan::AppModel&) { return std::shared_ptr<tovan::Narrator>(); };
        if (adjust) adjust(c);
        model = std::make_unique<tovan::AppModel>(std::move(c));
    }
    ~Model() {
        if (model) model->syncEngine();
    }
    tovan::AppModel* operator->() { return model.get(); }
    tovan::AppModel& operator*() { return *model; }
    // Waits for the adding road under way to end.
    bool settle(int ms = 10000) {
        return tovan::test::spinUntil([this] { return !model->opening().has_value(); }, ms);
    }
};

}  // namespace modeltest
