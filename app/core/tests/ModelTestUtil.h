// Shared bits of the model tests: a model made in a temporary folder.
#pragma once

#include "../../../playback/tests/FakeEngine.h"

#include <csignal>
#include <functional>
#include <memory>

#include <sys/resource.h>

#include "AppModel.h"
#include "SettingsStore.h"
#include "TempDir.h"
#include "TestApp.h"

namespace modeltest {

// While it lives, no file may grow past `bytes`: writes fail as on a full
// disk (even for root, whom a read-only folder does not stop).
struct FullDisk {
    explicit FullDisk(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny = saved;
        tiny.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
    struct rlimit saved {};
    void (*handler)(int) = SIG_DFL;
};

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
