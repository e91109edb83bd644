#include "Director.h"

#include "Engine.h"
#include "Regex.h"
#include "TempDir.h"
#include "TestPaths.h"
#include "tovantts.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

using tovan::Director;
using tovan::Engine;
using namespace tovan::test;

namespace {

struct DirectorFiles : ::testing::Test {
    void SetUp() override {
        if (!std::filesystem::exists(directorFile("dev")) || !std::filesystem::exists(directorFile("seeded-cal")))
            GTEST_SKIP() << "no director files in " << directorFile("dev").parent_path();
    }
};

std::vector<Director::Sentence> chapter() {
    return {
        {u"Chapter One", false, false, 1, 0},
        {u"It was late when the train came in.", false, false, 3, 0},
        {u"\u201cWhere have you been?\u201d she asked.", true, true, 3, 1},
        {u"", false, false, 3, 2},
        {u"Nobody answered\u2026", false, false, 1, 0},
    };
}

}  // namespace

TEST_F(DirectorFiles, LoadFailuresCarryTheEngineMessage) {
    TempDir dir;
    spit(dir / "junk.bin", "definitely not a director");
    spit(dir / "empty.bin", "");
    std::filesystem::create_directory(dir / "model");
    struct Case {
        std::filesystem::path path;
        std::string expected;
    } cases[] = {
        {dir / "missing.bin", "cannot open " + (dir / "missing.bin").string()},
        {dir / "model", "cannot open " + (dir / "model" / "director.bin").string()},
        {dir / "junk.bin", "not a director model (TVDR)"},
        {dir / "empty.bin", "cannot read the director model"},
    };
    for (const Case& c : cases) {
        try {
            Director::load(c.path);
            ADD_FAILURE() << c.path;
        } catch (const Engine::Failure& f) {
            EXPECT_EQ(std::string(f.what()), c.expected);
        }
    }
}

TEST_F(DirectorFiles, LoadsAFileOrAModelDirectory) {
    TempDir dir;
    std::filesystem::copy_file(directorFile("dev"), dir / "director.bin");
    auto a = Director::load(directorFile("dev"));
    auto b = Director::load(dir.path);
    auto pa = a->plan(chapter(), std::nullopt), pb = b->plan(chapter(), std::nullopt);
    ASSERT_EQ(pa.size(), pb.size());
    for (size_t i = 0; i < pa.size(); i++) EXPECT_EQ(pa[i].values(), pb[i].values());
}

TEST_F(DirectorFiles, PlansAreTheEngineOutputSentenceBySentence) {
    auto director = Director::load(directorFile("seeded-cal"));
    const auto sentences = chapter();
    EXPECT_TRUE(director->plan({}, std::nullopt).empty());

    for (const char* genre : {static_cast<const char*>(nullptr), "mystery", "no-such-genre"}) {
        const auto plans = director->plan(sentences, genre ? std::optional<std::u16string>(tovan::u16(genre))
                                                           : std::nullopt);
        ASSERT_EQ(plans.size(), sentences.size());

        // The same records through the engine directly.
        char err[512] = {0};
        tovantts_director* d = tovantts_director_load(directorFile("seeded-cal").c_str(), err, sizeof err);
        ASSERT_TRUE(d) << err;
        std::vector<std::string> texts;
        for (auto& s : sentences) texts.push_back(tovan::u8(s.text));
        std::vector<tovantts_sentence> recs;
        for (size_t i = 0; i < sentences.size(); i++)
            recs.push_back({texts[i].c_str(), sentences[i].dialogue, sentences[i].hasSpeaker,
                            int32_t(sentences[i].paraLen), int32_t(sentences[i].paraIndex)});
        std::vector<float> out(6 * recs.size());
        ASSERT_EQ(tovantts_director_plan(d, recs.data(), int32_t(recs.size()), genre, out.data(), err, sizeof err), 0);
        tovantts_director_free(d);
        for (size_t i = 0; i < plans.size(); i++) {
            for (int k = 0; k < Director::dims; k++) EXPECT_EQ(plans[i].values()[size_t(k)], out[6 * i + size_t(k)]);
            EXPECT_EQ(plans[i].director(), director);
        }
    }
    // Each call starts a fresh reading: the same input plans the same way.
    EXPECT_EQ(director->plan(sentences, std::nullopt)[4].values(), director->plan(sentences, std::nullopt)[4].values());
}

TEST_F(DirectorFiles, ParagraphFieldsBeyond32BitsAreClamped) {
    auto director = Director::load(directorFile("seeded-cal"));
    auto big = director->plan({{u"A long paragraph.", false, false, int64_t(INT32_MAX) + 5, -(int64_t(1) << 40)}}, {});
    auto edge = director->plan({{u"A long paragraph.", false, false, INT32_MAX, INT32_MIN}}, {});
    EXPECT_EQ(big[0].values(), edge[0].values());
}

TEST_F(DirectorFiles, PlanOutlivesItsDirectorHandle) {
    auto director = Director::load(directorFile("seeded-cal"));
    auto plans = director->plan(chapter(), std::nullopt);
    const auto before = plans[1].controls(1.0f);
    director.reset();
    EXPECT_EQ(plans[1].controls(1.0f), before);
}

TEST_F(DirectorFiles, ControlsHaveFiveKeysWithinLimits) {
    auto director = Director::load(directorFile("seeded-cal"));
    for (const auto& p : director->plan(chapter(), std::nullopt)) {
        for (float strength : {0.0f, 0.5f, 1.0f, 40.0f}) {
            auto c = p.controls(strength);
            ASSERT_EQ(c.size(), 5u);
            for (const char16_t* k : {u"rate", u"loud", u"f0_med", u"f0_iqr", u"f0_end"}) {
                ASSERT_TRUE(c.count(k));
                EXPECT_GE(c[k], -3.0f);
                EXPECT_LE(c[k], 3.0f);
                if (strength == 0) {
                    EXPECT_EQ(c[k], 0.0f);
                }
            }
        }
    }
    // Without calibration the scaled values come straight through.
    auto dev = Director::load(directorFile("dev"));
    Director::Plan p({0.5f, -0.25f, 1.0f, 0.1f, 1.0f, 0.0f}, dev);
    auto c = p.controls(2.0f);
    EXPECT_FLOAT_EQ(c[u"rate"], 1.0f);
    EXPECT_FLOAT_EQ(c[u"loud"], -0.5f);
    EXPECT_FLOAT_EQ(c[u"f0_med"], 2.0f);
    EXPECT_FLOAT_EQ(c[u"f0_end"], 1.6f);
}

TEST_F(DirectorFiles, PauseFromThePlanValue) {
    auto dev = Director::load(directorFile("dev"));
    auto pauseOf = [&](float seconds, float pace) {
        Director::Plan p({0, 0, 0, 0, 0, std::log1p(seconds)}, dev);
        return p.pauseMs(pace);
    };
    struct Case {
        float seconds, pace;
        int64_t ms;
    } cases[] = {
        {0.0f, 1.0f, 80},  {0.35f, 1.0f, 350}, {0.35f, 0.5f, 700}, {0.35f, 0.25f, 350}, {0.35f, 0.0f, 350},
        {0.35f, -2.0f, 350}, {5.0f, 1.0f, 1500}, {0.7f, 2.0f, 350}, {0.05f, 1.0f, 80},
    };
    for (const Case& c : cases) EXPECT_EQ(pauseOf(c.seconds, c.pace), c.ms) << c.seconds << " s at " << c.pace;
}
