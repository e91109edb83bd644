// Engine over a fake engine library: what crosses the boundary, and how.
#include "Engine.h"

#include "FakeEngine.h"
#include "Regex.h"
#include "Spoken.h"

#include <gtest/gtest.h>

#include <thread>

using tovan::Engine;
using tovan::u16;
using tovan::u8;

namespace {

struct EngineFake : ::testing::Test {
    FakeEngine fake;
    void SetUp() override {
        FakeEngine::next = &fake;
        FakeEngine::destroyed = 0;
    }
    void TearDown() override {
        EXPECT_EQ(fake.live.load(), 0) << "an engine buffer was not freed";
        FakeEngine::next = nullptr;
    }
    Engine make() { return Engine("/models/dev", 4, FakeEngine::api()); }
};

std::optional<std::u16string> opt(const char16_t* s) { return s ? std::optional<std::u16string>(s) : std::nullopt; }

bool validUtf8(const std::string& s) { return u8(u16(s)) == s; }

}  // namespace

TEST_F(EngineFake, CreationFailureCarriesTheEngineMessage) {
    struct Case {
        std::string engineSays, expected;
    } cases[] = {
        {"config.json: cannot open /nowhere/config.json", "config.json: cannot open /nowhere/config.json"},
        {"", "speech engine: the call failed without a message"},
    };
    for (const Case& c : cases) {
        FakeEngine::next = nullptr;
        FakeEngine::createError = c.engineSays;
        try {
            Engine e("/nowhere", 4, FakeEngine::api());
            FAIL() << "created";
        } catch (const Engine::Failure& f) {
            EXPECT_EQ(std::string(f.what()), c.expected);
            EXPECT_EQ(f.errorDescription(), f.message());
        }
    }
    EXPECT_EQ(FakeEngine::destroyed, 0);
}

TEST_F(EngineFake, DestructionReleasesTheHandle) {
    { Engine e = make(); }
    EXPECT_EQ(FakeEngine::destroyed, 1);
}

TEST_F(EngineFake, ListsSkipNullNamesAndKeepEngineOrder) {
    fake.voices = {{"voice_a", "female"}, {nullptr, nullptr}, {"voice_b", "male"}};
    Engine e = make();
    EXPECT_EQ(e.voices(), (std::vector<std::u16string>{u"voice_a", u"voice_b"}));
    EXPECT_EQ(e.tags(), (std::vector<std::u16string>{u"none", u"excited", u"whisper"}));
    EXPECT_EQ(e.defaultVoice(), opt(u"voice_1688"));
    fake.voices.push_back({"voice_c", "female"});
    EXPECT_EQ(e.voices().size(), 3u) << "lists are asked afresh";
}

TEST_F(EngineFake, VoiceResolution) {
    struct Case {
        const char16_t* requested;
        const char* female;
        const char* male;
        const char16_t* expected;
    } cases[] = {
        {nullptr, "voice_1688", "voice_2500", u"voice_1688"},
        {u"female", "voice_1688", "voice_2500", u"voice_1688"},
        {u"male", "voice_1688", "voice_2500", u"voice_2500"},
        {u"voice_2500", "voice_1688", "voice_2500", u"voice_2500"},  // listed, gender known: itself
        {u"voice_0007", "voice_1688", "voice_2500", u"voice_1688"},  // listed, gender unknown
        {u"voice_9999", "voice_1688", "voice_2500", u"voice_1688"},  // not listed
        {u"Female", "voice_1688", "voice_2500", u"voice_1688"},      // other letter case: unknown name
        {u"MALE", "voice_1688", "voice_2500", u"voice_1688"},
        {u"", "voice_1688", "voice_2500", u"voice_1688"},
        {u"male", "voice_1688", nullptr, nullptr},  // no male default: no fall-back to female
        {nullptr, nullptr, "voice_2500", nullptr},
        {u"voice_9999", nullptr, "voice_2500", nullptr},
    };
    Engine e = make();
    for (const Case& c : cases) {
        fake.female = c.female;
        fake.male = c.male;
        EXPECT_EQ(e.resolve(opt(c.requested)), opt(c.expected))
            << (c.requested ? u8(c.requested) : "(absent)") << " female=" << (c.female ? c.female : "-")
            << " male=" << (c.male ? c.male : "-");
    }
    EXPECT_EQ(e.gender(u"voice_2500"), opt(u"male"));
    EXPECT_EQ(e.gender(u"voice_0007"), std::nullopt);
    EXPECT_EQ(e.gender(u"nobody"), std::nullopt);
    EXPECT_EQ(e.voice(u"robot"), std::nullopt);
}

TEST_F(EngineFake, SynthesizeSendsSpokenTextAndOptionsAsGiven) {
    struct Case {
        const char16_t *voice, *tag, *ctrl;
        float pace;
        bool markup;
    } cases[] = {
        {nullptr, nullptr, nullptr, 1.0f, false},
        {u"voice_2500", u"excited", u"rate=0.40,f0_med=0.70", 1.3f, true},
        {u"", u"", u"", 0.1f, false},  // present but empty is not absent; a bad pace goes through
    };
    Engine e = make();
    const std::u16string text = u"It costs $5 on 3/4/2024 at https://example.com/a.";
    for (const Case& c : cases) {
        fake.calls.clear();
        auto samples = e.synthesize(text, opt(c.voice), opt(c.tag), opt(c.ctrl), c.pace, c.markup);
        ASSERT_TRUE(samples);
        EXPECT_EQ(*samples, fake.audio);
        ASSERT_EQ(fake.calls.size(), 1u);
        const FakeEngine::Call& got = fake.calls[0];
        EXPECT_EQ(got.text, u8(tovan::Spoken::say(text, c.markup)));
        EXPECT_NE(got.text, u8(text)) << "the spoken form differs from the written one here";
        auto expect = [](const char16_t* s) { return s ? std::optional<std::string>(u8(s)) : std::nullopt; };
        EXPECT_EQ(got.voice, expect(c.voice));
        EXPECT_EQ(got.tag, expect(c.tag));
        EXPECT_EQ(got.ctrl, expect(c.ctrl));
        EXPECT_EQ(got.pace, c.pace);
        EXPECT_EQ(got.markup, c.markup ? 1 : 0);
        EXPECT_EQ(got.guidance, -1.0f) << "other options keep their defaults";
    }
}

TEST_F(EngineFake, SynthesizeFailuresCarryANonEmptyMessage) {
    Engine e = make();
    // A spoken form that is empty reaches the engine as an empty text.
    try {
        e.synthesize(u"   ", std::nullopt, std::nullopt, std::nullopt, 1, false);
        FAIL();
    } catch (const Engine::Failure& f) {
        EXPECT_EQ(f.message(), u"text must be a non-empty string");
    }
    EXPECT_EQ(fake.calls.back().text, "");

    fake.failWith = "";
    try {
        e.synthesize(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, false);
        FAIL();
    } catch (const Engine::Failure& f) {
        EXPECT_FALSE(f.message().empty());
    }
    fake.failWith.reset();
    fake.succeedWithoutAudio = true;
    EXPECT_THROW(e.synthesize(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, false), Engine::Failure);
    fake.succeedWithoutAudio = false;
    fake.audio.clear();
    EXPECT_EQ(e.synthesize(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, false), std::vector<float>{});
}

// The error buffer holds 255 bytes: a longer message is cut there, and a
// character the cut would split is left out whole.
TEST_F(EngineFake, LongMessagesAreCutToWholeCharacters) {
    struct Case {
        std::string tailChar;  // fills the message past the cut
        size_t expectedBytes;
    } cases[] = {
        {"x", 255}, {"\xc3\xa9", 254}, {"\xe2\x82\xac", 253}, {"\xf0\x9f\x94\x8a", 254},
    };
    Engine e = make();
    for (const Case& c : cases) {
        std::string msg(250, 'a');
        while (msg.size() < 300) msg += c.tailChar;
        fake.failWith = msg;
        try {
            e.synthesize(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, false);
            FAIL();
        } catch (const Engine::Failure& f) {
            const std::string got = f.what();
            EXPECT_EQ(got.size(), c.expectedBytes) << c.tailChar;
            EXPECT_TRUE(validUtf8(got));
            EXPECT_EQ(got, msg.substr(0, got.size()));
        }
    }
    // Invalid bytes inside the message are replaced, not passed on.
    fake.failWith = std::string("bad \xff byte");
    try {
        e.synthesize(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, false);
        FAIL() << "a failing engine must throw";
    } catch (const Engine::Failure& f) {
        EXPECT_EQ(f.message(), u"bad \uFFFD byte");
        EXPECT_TRUE(validUtf8(f.what()));
    }
}

TEST_F(EngineFake, TextReachesTheEngineUpToANul) {
    Engine e = make();
    // The spoken form may already have dealt with it; whatever it left, the
    // engine reads up to the first NUL.
    const std::u16string text(u"Hello\0world", 11);
    e.synthesize(text, std::nullopt, std::nullopt, std::nullopt, 1, false);
    const std::string spoken = u8(tovan::Spoken::say(text, false));
    EXPECT_EQ(fake.calls.back().text, spoken.substr(0, spoken.find('\0')));
}

TEST_F(EngineFake, CancelIsStickyUntilReset) {
    Engine e = make();
    e.cancel();
    e.cancel();
    EXPECT_EQ(e.synthesize(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, false), std::nullopt);
    EXPECT_EQ(fake.synthCalls, 0) << "a cancelled synthesis does not reach the engine";
    int chunks = 0;
    e.stream(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, [&](std::vector<float>, int32_t) {
        chunks++;
        return true;
    });
    EXPECT_EQ(chunks, 0);
    EXPECT_EQ(fake.streamCalls, 1) << "the stream is started and stopped at its first segment";
    EXPECT_EQ(fake.chunksRendered, 1);
    e.resetCancel();
    EXPECT_TRUE(e.synthesize(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, false));
    e.stream(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, [&](std::vector<float>, int32_t) {
        chunks++;
        return true;
    });
    EXPECT_EQ(chunks, 3);
}

TEST_F(EngineFake, StreamHandsOverEachSegmentWithItsIndex) {
    Engine e = make();
    std::vector<std::pair<std::vector<float>, int32_t>> got;
    e.stream(u"One. Two. Three.", u"voice_2500", std::nullopt, u"rate=0.20", 1.2f, [&](std::vector<float> s, int32_t i) {
        got.emplace_back(std::move(s), i);
        return true;
    });
    ASSERT_EQ(got.size(), 3u);
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(got[i].first, fake.segments[i]);
        EXPECT_EQ(got[i].second, int32_t(i));
    }
    EXPECT_EQ(fake.calls.back().markup, 1) << "streams always read markup";
    EXPECT_EQ(fake.calls.back().voice, std::optional<std::string>("voice_2500"));
}

TEST_F(EngineFake, StreamStopsCleanlyOrFailsWithTheMessage) {
    Engine e = make();
    int chunks = 0;
    e.stream(u"Text.", std::nullopt, std::nullopt, std::nullopt, 1, [&](std::vector<float>, int32_t) {
        chunks++;
        return false;
    });
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(fake.chunksRendered, 1);

    // A stop asked from inside the closure through cancel(): the next segment
    // is not handed over, and the closure may call cancel() under the lock.
    chunks = 0;
    fake.chunksRendered = 0;
    e.stream(u"Text.", std::nullopt, std::nullopt, std::nullopt, 1, [&](std::vector<float>, int32_t) {
        chunks++;
        e.cancel();
        return true;
    });
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(fake.chunksRendered, 2);
    e.resetCancel();

    fake.streamFailsWith = "vocoder: out of memory";
    chunks = 0;
    try {
        e.stream(u"Text.", std::nullopt, std::nullopt, std::nullopt, 1, [&](std::vector<float>, int32_t) {
            chunks++;
            return true;
        });
        FAIL();
    } catch (const Engine::Failure& f) {
        EXPECT_EQ(f.message(), u"vocoder: out of memory");
    }
    EXPECT_EQ(chunks, 3) << "segments before the failure stay delivered";

    // An exception from the closure stops the stream and comes out of it;
    // the lock is free again afterwards.
    fake.streamFailsWith.reset();
    chunks = 0;
    EXPECT_THROW(e.stream(u"Text.", std::nullopt, std::nullopt, std::nullopt, 1,
                          [&](std::vector<float>, int32_t) -> bool {
                              chunks++;
                              throw std::runtime_error("player gone");
                          }),
                 std::runtime_error);
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(e.voices().size(), 3u);
}

TEST_F(EngineFake, OneCallInsideTheEngineAtATime) {
    Engine e = make();
    std::vector<std::thread> threads;
    std::atomic<int> chunks{0};
    for (int t = 0; t < 6; t++) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 30; i++) {
                switch ((t + i) % 4) {
                case 0: e.synthesize(u"Hello.", std::nullopt, std::nullopt, std::nullopt, 1, false); break;
                case 1: e.voices(); break;
                case 2: e.resolve(u"voice_2500"); break;
                case 3:
                    e.stream(u"Hi.", std::nullopt, std::nullopt, std::nullopt, 1, [&](std::vector<float>, int32_t) {
                        chunks++;
                        e.cancel();  // from inside, while another thread may also be cancelling
                        e.resetCancel();
                        return true;
                    });
                    break;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(fake.maxInside.load(), 1);
    EXPECT_GT(chunks.load(), 0);
}

TEST(EngineControls, TwelveNamesInEngineOrder) {
    const auto& names = Engine::controls();
    for (uint32_t i = 0; i < 12; i++) EXPECT_EQ(u8(names[i]), tovantts_control(i));
    EXPECT_EQ(Engine::sampleRate, tovantts_sample_rate());
}
