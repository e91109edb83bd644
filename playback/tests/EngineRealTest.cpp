// Engine over the real engine with the generated tiny model.
#include "Engine.h"

#include "Regex.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <thread>

using tovan::Engine;
using namespace tovan::test;

namespace {

struct EngineReal : ::testing::Test {
    static inline std::unique_ptr<Engine> engine;
    static void SetUpTestSuite() {
        if (std::filesystem::exists(modelDir() / "config.json")) engine = std::make_unique<Engine>(modelDir(), 2);
    }
    static void TearDownTestSuite() { engine.reset(); }
    void SetUp() override {
        if (!engine) GTEST_SKIP() << "no tiny model at " << modelDir();
        engine->resetCancel();
    }
};

}  // namespace

TEST(EngineRealCreate, MissingModelFailsWithTheEngineMessage) {
    TempDir dir;
    try {
        Engine e(dir / "no-model", 1);
        FAIL();
    } catch (const Engine::Failure& f) {
        EXPECT_FALSE(f.message().empty());
        EXPECT_NE(std::string(f.what()).find("no-model"), std::string::npos) << f.what();
    }
}

TEST_F(EngineReal, VoicesGendersAndResolution) {
    const auto voices = engine->voices();
    ASSERT_FALSE(voices.empty());
    EXPECT_FALSE(engine->tags().empty());
    for (const auto& v : voices) {
        auto g = engine->gender(v);
        ASSERT_TRUE(g);
        EXPECT_TRUE(*g == u"female" || *g == u"male");
        EXPECT_EQ(engine->resolve(v), v);
    }
    const auto female = engine->voice(u"female");
    ASSERT_TRUE(female);
    EXPECT_EQ(engine->gender(*female), std::optional<std::u16string>(u"female"));
    EXPECT_EQ(engine->resolve(std::nullopt), female);
    EXPECT_EQ(engine->resolve(u"female"), female);
    EXPECT_EQ(engine->resolve(u"Female"), female);
    EXPECT_EQ(engine->resolve(u"no_such_voice"), female);
    EXPECT_EQ(engine->resolve(u"male"), engine->voice(u"male"));
}

TEST_F(EngineReal, SynthesizesAndRefusesWithEngineMessages) {
    auto samples = engine->synthesize(u"Hello there, it is 5 o'clock.", std::nullopt, std::nullopt, std::nullopt, 1.0f,
                                      false);
    ASSERT_TRUE(samples);
    EXPECT_GT(samples->size(), 1000u);

    struct Case {
        std::u16string text;
        std::optional<std::u16string> tag, ctrl;
        float pace;
    } bad[] = {
        {u"Hello.", u"no-such-tag", std::nullopt, 1.0f},
        {u"Hello.", std::nullopt, u"rate=banana", 1.0f},
        {u"Hello.", std::nullopt, std::nullopt, 10.0f},
    };
    for (const Case& c : bad) {
        try {
            engine->synthesize(c.text, std::nullopt, c.tag, c.ctrl, c.pace, false);
            ADD_FAILURE() << "accepted tag=" << (c.tag ? tovan::u8(*c.tag) : "-") << " ctrl="
                          << (c.ctrl ? tovan::u8(*c.ctrl) : "-") << " pace=" << c.pace;
        } catch (const Engine::Failure& f) {
            EXPECT_FALSE(f.message().empty());
        }
    }
}

TEST_F(EngineReal, StreamSegmentsCancelBeforeAndDuring) {
    const std::u16string text = u"The first sentence. The second one follows. And a third.";
    std::vector<int32_t> indices;
    size_t total = 0;
    engine->stream(text, std::nullopt, std::nullopt, std::nullopt, 1.0f, [&](std::vector<float> s, int32_t i) {
        indices.push_back(i);
        total += s.size();
        return true;
    });
    ASSERT_GE(indices.size(), 3u);
    for (size_t i = 0; i < indices.size(); i++) EXPECT_EQ(indices[i], int32_t(i));
    EXPECT_GT(total, 0u);

    // Cancelled before: the engine starts, but nothing is handed over.
    engine->cancel();
    int chunks = 0;
    engine->stream(text, std::nullopt, std::nullopt, std::nullopt, 1.0f, [&](std::vector<float>, int32_t) {
        chunks++;
        return true;
    });
    EXPECT_EQ(chunks, 0);
    EXPECT_EQ(engine->synthesize(text, std::nullopt, std::nullopt, std::nullopt, 1.0f, false), std::nullopt);

    // Cancelled during: from another thread's point of view, by the closure.
    engine->resetCancel();
    engine->stream(text, std::nullopt, std::nullopt, std::nullopt, 1.0f, [&](std::vector<float>, int32_t) {
        chunks++;
        engine->cancel();
        return true;
    });
    EXPECT_EQ(chunks, 1);
}

TEST_F(EngineReal, CallsFromManyThreadsGiveTheSingleThreadResult) {
    const std::u16string text = u"Four threads share one engine.";
    auto expected = engine->synthesize(text, std::nullopt, std::nullopt, std::nullopt, 1.0f, false);
    ASSERT_TRUE(expected);
    std::vector<std::optional<std::vector<float>>> got(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < got.size(); t++)
        threads.emplace_back([&, t] {
            engine->voices();
            got[t] = engine->synthesize(text, std::nullopt, std::nullopt, std::nullopt, 1.0f, false);
        });
    for (auto& th : threads) th.join();
    for (auto& g : got) EXPECT_EQ(g, expected);
}
