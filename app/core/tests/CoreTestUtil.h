// Shared bits of the core tests: the fake engine behind an Engine, a voice
// catalogue, documents and temporary folders.
#pragma once

#include "../../../playback/tests/FakeEngine.h"

#include "AppModel.h"
#include "SettingsStore.h"
#include "Doc.h"
#include "Engine.h"
#include "Narrator.h"
#include "TempDir.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"
#include "Voices.h"

#include <filesystem>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace coretest {

// A model over the folders under root (support, model, audio) with the fake
// engine, no director, and a narrator on the virtual clock and output.
inline tovan::AppModel::Config virtualModel(const std::filesystem::path& root, tovan::VirtualClock& clock,
                                            std::shared_ptr<tovan::SettingsStore> defaults) {
    tovan::AppModel::Config c;
    c.support = root / "support";
    c.modelDir = root / "model";
    c.defaults = std::move(defaults);
    c.engineApi = &FakeEngine::api();
    c.directorLoader = [](const std::filesystem::path&) { return std::shared_ptr<tovan::Director>(); };
    c.narrator = [root, &clock](tovan::AppModel& a) {
        tovan::Narrator::Setup s;
        s.clock = &clock;
        s.main = &clock;
        s.output = std::make_unique<tovan::VirtualAudioOutput>(clock);
        s.audioDir = root / "audio";
        return std::make_shared<tovan::Narrator>(a, std::move(s));
    };
    return c;
}

// An Engine over a FakeEngine the test can script and inspect.
struct FakeEngineBox {
    FakeEngine fake;
    std::unique_ptr<tovan::Engine> engine;
    FakeEngineBox() {
        FakeEngine::next = &fake;
        engine = std::make_unique<tovan::Engine>("/no/model", 1, FakeEngine::api());
    }
    ~FakeEngineBox() {
        engine.reset();
        if (FakeEngine::next == &fake) FakeEngine::next = nullptr;
    }
};

// Runs inside every synthesis call of hookedApi() (on the calling thread),
// before the fake engine answers.
inline std::function<void()> duringSynthesis;

// The fake engine's table with duringSynthesis hooked in.
inline const tovan::EngineApi& hookedApi() {
    static const tovan::EngineApi api = [] {
        tovan::EngineApi a = FakeEngine::api();
        a.synthesize = [](tovantts_engine* e, const char* text, const tovantts_options* o, float** audio,
                          int64_t* n, char* err, size_t len) -> int32_t {
            if (duringSynthesis) duringSynthesis();
            return FakeEngine::api().synthesize(e, text, o, audio, n, err, len);
        };
        return a;
    }();
    return api;
}

// The featured voices with genders, in catalogue order: three female, two
// male.
inline tovan::Voices voices(const std::string& elements = R"({"name":"voice_1688","gender":"female"},
    {"name":"voice_2500","gender":"male"},{"name":"voice_0010","gender":"female"},
    {"name":"voice_1469","gender":"male"},{"name":"voice_0185","gender":"female"})") {
    return tovan::Voices::fromData("{\"voices\":[" + elements + "]}", std::make_shared<tovan::MemoryVoicesStore>());
}

inline std::shared_ptr<tovan::Doc> doc(std::vector<std::u16string> paragraphs, std::u16string kind = u"epub",
                                       std::u16string title = u"Book") {
    return tovan::Doc::create(std::move(title), std::move(kind), std::nullopt, std::move(paragraphs));
}

}  // namespace coretest
