#include "AppModel.h"

#include <pthread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <set>
#include <thread>

#include "Director.h"
#include "Engine.h"
#include "ModelTestUtil.h"

using tovan::AppModel;
using tovan::DirectorBox;
using tovan::Engine;
using modeltest::Model;
using namespace tovan::test;

namespace {

// The fake engine's table with a count of the handles made.
std::atomic<int> creates{0};
const tovan::EngineApi& countingApi() {
    static tovan::EngineApi table = [] {
        tovan::EngineApi t = FakeEngine::api();
        static auto inner = t.create;
        t.create = [](const char* dir, int32_t threads, char* err, size_t len) {
            ++creates;
            return inner(dir, threads, err, len);
        };
        return t;
    }();
    return table;
}

struct EngineQueue : ::testing::Test {
    FakeEngine fake;
    void SetUp() override {
        creates = 0;
        FakeEngine::next = &fake;
        FakeEngine::createError.clear();
    }
    void TearDown() override { FakeEngine::next = nullptr; }
};

}  // namespace

TEST(AppModelNames, EngineVoiceMapsGendersToTheFeaturedVoices) {
    struct Case {
        std::optional<std::u16string> voice;
        std::u16string expected;
    } cases[] = {
        {std::nullopt, u"voice_1688"}, {u"female", u"voice_1688"}, {u"male", u"voice_2500"},
        {u"Male", u"Male"},            {u"voice_0413", u"voice_0413"}, {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(AppModel::engineVoice(c.voice), c.expected);
}

TEST(AppModelNames, SectionNamesAreExactCaseNames) {
    using S = AppModel::Section;
    for (S s : {S::library, S::freeBooks, S::assistant, S::voices, S::anywhere})
        EXPECT_EQ(AppModel::sectionNamed(AppModel::sectionName(s)), s);
    EXPECT_EQ(AppModel::sectionName(S::freeBooks), QStringLiteral("freeBooks"));
    for (const char* bad : {"Voices", "free_books", "", " library"})
        EXPECT_EQ(AppModel::sectionNamed(QString::fromLatin1(bad)), std::nullopt) << bad;
    EXPECT_EQ(AppModel::sheetName(AppModel::Sheet::link), QStringLiteral("link"));
    EXPECT_EQ(AppModel::sheetName(AppModel::Sheet::text), QStringLiteral("text"));
}

TEST(AppModelStart, StartsWithTheLibrarySectionAndNothingElse) {
    Model m;
    EXPECT_EQ(m->section(), AppModel::Section::library);
    EXPECT_FALSE(m->opening());
    EXPECT_FALSE(m->problem());
    EXPECT_FALSE(m->sheet());
    EXPECT_TRUE(std::filesystem::is_directory(m.dir / "support" / "library"));
    EXPECT_EQ(m->library.dir, m.dir / "support" / "library");
}

TEST(AppModelStart, ReadsVoicesFromTheModelAndTheStyleFromSupport) {
    TempDir dir;
    std::filesystem::create_directories(dir / "model");
    spit(dir / "model" / "voices.json", R"({"voices":[{"name":"voice_0010","gender":"female"}]})");
    tovan::Style style;
    style.voice = u"voice_0010";
    style.pace = 1.3f;
    ASSERT_TRUE(style.save(dir / "support" / "style.json"));
    Model m([&](AppModel::Config& c) {
        c.support = dir / "support";
        c.modelDir = dir / "model";
    });
    ASSERT_EQ(m->voices.all().size(), 1u);
    EXPECT_EQ(m->voices.all()[0].id, u"voice_0010");
    EXPECT_EQ(m->style().voice, std::optional<std::u16string>(u"voice_0010"));
    EXPECT_FLOAT_EQ(m->style().pace, 1.3f);
}

TEST(AppModelStart, SettingTheStyleSavesItBeforeReturningAndPublishesIt) {
    Model m;
    int changes = 0;
    std::optional<float> seenPace;
    QObject::connect(m.model.get(), &AppModel::styleChanged, [&] {
        ++changes;
        seenPace = m->style().pace;  // observers see the new value
    });
    tovan::Style s = m->style();
    s.pace = 1.5f;
    s.voice = u"male";
    m->setStyle(s);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(seenPace, 1.5f);
    auto saved = tovan::Style::load(m.dir / "support" / "style.json");
    EXPECT_FLOAT_EQ(saved.pace, 1.5f);
    EXPECT_EQ(saved.voice, std::optional<std::u16string>(u"male"));
}

TEST(AppModelStart, PublishedStateSignalsOnlyOnChange) {
    Model m;
    int section = 0, sheet = 0, opening = 0, problem = 0;
    QObject::connect(m.model.get(), &AppModel::sectionChanged, [&] { ++section; });
    QObject::connect(m.model.get(), &AppModel::sheetChanged, [&] { ++sheet; });
    QObject::connect(m.model.get(), &AppModel::openingChanged, [&] { ++opening; });
    QObject::connect(m.model.get(), &AppModel::problemChanged, [&] { ++problem; });
    m->setSection(AppModel::Section::library);  // unchanged
    m->setSection(AppModel::Section::voices);
    m->setSection(std::nullopt);
    m->setSheet(AppModel::Sheet::text);
    m->setSheet(AppModel::Sheet::text);
    m->setOpening(QStringLiteral("Opening a…"));
    m->setOpening(std::nullopt);
    m->setProblem(QStringLiteral("x"));
    m->setProblem(QStringLiteral("x"));  // the same failure again is shown again
    EXPECT_EQ(section, 2);
    EXPECT_EQ(m->section(), std::nullopt);
    EXPECT_EQ(sheet, 1);
    EXPECT_EQ(opening, 2);
    EXPECT_EQ(problem, 2);
}

TEST(AppModelStart, ModelFolderFromTheEnvironmentOnlyWhenItHoldsAModel) {
    TempDir dir;
    std::filesystem::create_directories(dir / "with");
    std::filesystem::create_directories(dir / "without");
    spit(dir / "with" / "config.json", "{}");
    const char* old = std::getenv("TOVANTTS_MODEL");
    std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("TOVANTTS_MODEL", (dir / "with").c_str(), 1);
    EXPECT_EQ(AppModel::standardModelDir(), dir / "with");
    ::setenv("TOVANTTS_MODEL", (dir / "without").c_str(), 1);
    auto fallback = AppModel::standardModelDir();
    EXPECT_NE(fallback, dir / "without");
    ::unsetenv("TOVANTTS_MODEL");
    EXPECT_EQ(AppModel::standardModelDir(), fallback);
    if (saved) ::setenv("TOVANTTS_MODEL", saved->c_str(), 1);
}

// An installed copy reads the model it was installed with, wherever the
// copy sits; the build tree reads its development model.
TEST(AppModelStart, ModelFolderBesideTheProgram) {
    TempDir dir;
    const std::filesystem::path t = dir.path;
    auto make = [&](const std::filesystem::path& p, const std::string& bytes) {
        std::filesystem::create_directories(p.parent_path());
        spit(p, bytes);
    };
    make(t / "usr/bin/tovantts", "");
    make(t / "usr/share/tovantts/model/config.json", "{}");
    make(t / "opt/t/bin/tovantts", "");
    make(t / "opt/t/share/tovantts/model/config.json", "{}");
    std::filesystem::create_directories(t / "home/bin");
    std::filesystem::create_symlink(t / "opt/t/bin/tovantts", t / "home/bin/tovantts");
    make(t / "build/bin/tovantts", "");
    make(t / "broken/bin/tovantts", "");
    make(t / "broken/share/tovantts/model/voices.json", "{}");

    const char* old = std::getenv("TOVANTTS_MODEL");
    std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::unsetenv("TOVANTTS_MODEL");
    const std::filesystem::path devModel = AppModel::modelDirFor(t / "build/bin/tovantts");
    EXPECT_TRUE(devModel.string().find(t.string()) == std::string::npos) << "the build tree has no share/";
    struct Case {
        const char* layout;
        std::filesystem::path program, model;
    };
    const Case cases[] = {
        {"installed", t / "usr/bin/tovantts", t / "usr/share/tovantts/model"},
        {"started through a link", t / "home/bin/tovantts", t / "opt/t/share/tovantts/model"},
        {"a model folder without config.json", t / "broken/bin/tovantts", devModel},
    };
    for (const Case& c : cases) EXPECT_EQ(AppModel::modelDirFor(c.program), c.model) << c.layout;

    make(t / "mine/config.json", "{}");
    ::setenv("TOVANTTS_MODEL", (t / "mine").c_str(), 1);
    EXPECT_EQ(AppModel::modelDirFor(t / "usr/bin/tovantts"), t / "mine") << "the environment comes first";
    ::unsetenv("TOVANTTS_MODEL");
    if (saved) ::setenv("TOVANTTS_MODEL", saved->c_str(), 1);
}

TEST_F(EngineQueue, BlocksRunInOrderOnOneNamedThreadWithOneEngine) {
    Model m([](AppModel::Config& c) { c.engineApi = &countingApi(); });
    std::vector<int> order;
    std::vector<Engine*> engines;
    std::set<std::thread::id> threads;
    std::string name;
    for (int i = 0; i < 5; ++i) {
        m->onEngine([&, i](Engine& e) {
            order.push_back(i);
            engines.push_back(&e);
            threads.insert(std::this_thread::get_id());
            char buf[32] = {};
            pthread_getname_np(pthread_self(), buf, sizeof buf);
            name = buf;
        });
    }
    m->syncEngine();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(creates.load(), 1);
    EXPECT_EQ(std::set<Engine*>(engines.begin(), engines.end()).size(), 1u);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
    EXPECT_EQ(name, "tovantts.engine");
}

TEST_F(EngineQueue, OnEngineReturnsBeforeTheBlockRuns) {
    Model m;
    std::promise<void> release;
    auto gate = release.get_future().share();
    std::atomic<bool> ran{false};
    m->onEngine([gate](Engine&) { gate.wait(); });
    m->onEngine([&](Engine&) { ran = true; });
    EXPECT_FALSE(ran.load());
    release.set_value();
    m->syncEngine();
    EXPECT_TRUE(ran.load());
}

TEST_F(EngineQueue, AFailedStartDropsTheBlockSetsTheProblemAndIsRetried) {
    FakeEngine::next = nullptr;
    FakeEngine::createError = "no model in /nowhere";
    Model m([](AppModel::Config& c) { c.engineApi = &countingApi(); });
    int ran = 0;
    for (int i = 0; i < 2; ++i) {
        m->setProblem(std::nullopt);
        m->onEngine([&](Engine&) { ++ran; });
        m->syncEngine();
        ASSERT_TRUE(spinUntil([&] { return m->problem().has_value(); }));
        EXPECT_EQ(*m->problem(), QStringLiteral("The voice could not start: no model in /nowhere"));
    }
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(creates.load(), 2);
    // Once the cause is gone the next block runs, without a restart.
    FakeEngine::next = &fake;
    m->onEngine([&](Engine&) { ++ran; });
    m->onEngine([&](Engine&) { ++ran; });
    m->syncEngine();
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(creates.load(), 3);
}

TEST_F(EngineQueue, AThrowingBlockDoesNotStopTheQueue) {
    Model m;
    bool after = false;
    m->onEngine([](Engine&) { throw std::runtime_error("boom"); });
    m->onEngine([&](Engine&) { after = true; });
    m->syncEngine();
    EXPECT_TRUE(after);
}

TEST(DirectorBoxTest, LoadsOnceAndNeverRetriesAFailure) {
    struct Case {
        bool fails;
    } cases[] = {{true}, {false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fails);
        int loads = 0;
        std::filesystem::path seen;
        DirectorBox box([&](const std::filesystem::path& dir) -> std::shared_ptr<tovan::Director> {
            ++loads;
            seen = dir;
            if (c.fails) throw Engine::Failure(u"no director");
            return nullptr;  // a successful load of nothing still counts as loaded
        });
        EXPECT_EQ(box.get("/models/a"), nullptr);
        EXPECT_EQ(box.get("/models/b"), nullptr);
        EXPECT_EQ(loads, 1);
        EXPECT_EQ(seen, "/models/a");
    }
}

TEST(DirectorBoxTest, ConcurrentCallersShareOneLoad) {
    std::atomic<int> loads{0};
    DirectorBox box([&](const std::filesystem::path&) -> std::shared_ptr<tovan::Director> {
        ++loads;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // widen the race
        return nullptr;
    });
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([&] { box.get("/m"); });
    for (auto& t : threads) t.join();
    EXPECT_EQ(loads.load(), 1);
}

TEST(DirectorBoxTest, TheRealLoaderFailsQuietlyOnAFolderWithoutADirector) {
    TempDir dir;
    DirectorBox box;
    EXPECT_EQ(box.get(dir.path), nullptr);
    EXPECT_EQ(box.get(dir.path), nullptr);
}
