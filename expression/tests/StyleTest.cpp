#include "Expression.h"
#include "Style.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

using namespace tovan;
namespace fs = std::filesystem;

namespace {

std::string narrow(const std::optional<std::u16string>& s) {
    if (!s) return "<absent>";
    return std::string(s->begin(), s->end());
}

class StyleFile : public ::testing::Test {
protected:
    fs::path write(const std::string& name, const std::string& bytes) {
        fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    static std::string read(const fs::path& p) { return test::slurp(p); }

    test::TempDir tmp;
    fs::path dir = tmp.path;
};

} // namespace

TEST(StyleCtrl, PresetGoldens) {
    struct Case {
        std::u16string preset;
        const char* ctrl;
        const char* tag;
    };
    const Case cases[] = {
        {u"Natural", "<absent>", "none"},
        {u"Warm", "rate=-0.20,f0_iqr=0.60,h1h2=0.60", "contentment"},
        {u"Serious", "loud=0.40,f0_med=-0.60,f0_iqr=-0.50,f0_end=-0.80", "confidence"},
        {u"Calm", "rate=-0.40,loud=-0.40,f0_iqr=-0.60", "serenity"},
        {u"Happy", "rate=0.40,f0_med=0.70,f0_iqr=1.30,tilt=0.50", "happiness"},
        {u"Excited", "rate=0.90,loud=1.10,f0_med=1.00,f0_iqr=1.60", "excited"},
        {u"Sad", "rate=-0.80,loud=-0.80,f0_med=-0.90,f0_iqr=-0.90", "sadness"},
        {u"Whisper", "<absent>", "whisper"},
        {u"happy", "<absent>", "none"},  // names are matched exactly
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.preset));
        Style s;
        // Whatever came before is replaced: offsets become absolute values.
        s.z.fill(2.0f);
        s.tag = u"sadness";
        s.voice = u"voice_0010";
        s.pace = 1.3f;
        s.reason = u"before";
        s.applyPreset(c.preset);
        EXPECT_EQ(narrow(s.ctrl()), c.ctrl);
        EXPECT_EQ(narrow(s.tag), c.tag);
        EXPECT_EQ(s.preset, c.preset);
        EXPECT_EQ(s.voice, u"voice_0010");
        EXPECT_FLOAT_EQ(s.pace, 1.3f);
        EXPECT_TRUE(s.contextual);
        EXPECT_EQ(s.reason, u"before");
    }
}

TEST(StyleCtrl, TwoDecimalsOnTheShortestDecimalAndTheThreshold) {
    struct Case {
        float value;
        const char* ctrl;
    };
    const Case cases[] = {
        {0.0f, "<absent>"},
        {0.04f, "<absent>"},
        {-0.049f, "<absent>"},
        {0.05f, "rate=0.05"},
        {-0.05f, "rate=-0.05"},
        {0.125f, "rate=0.13"},    // the exact binary value is 0.125: ties go away from zero
        {-0.125f, "rate=-0.13"},
        {1.005f, "rate=1.01"},    // the float is 1.00499999..., its shortest text 1.005
        {2.675f, "rate=2.68"},
        {3.0f, "rate=3.00"},
        {-3.0f, "rate=-3.00"},
        {0.994f, "rate=0.99"},
        {0.995f, "rate=1.00"},
        {9.995f, "rate=10.00"},   // carries into a new digit (only reachable by direct assignment)
        {1.1f, "rate=1.10"},
        {std::numeric_limits<float>::quiet_NaN(), "<absent>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Style s;
        s.z[0] = c.value;
        EXPECT_EQ(narrow(s.ctrl()), c.ctrl);
    }
}

TEST(StyleCtrl, ListsControlsInFixedOrder) {
    Style s;
    for (size_t i = 0; i < 12; ++i) s.z[i] = 0.1f * static_cast<float>(i + 1);
    EXPECT_EQ(narrow(s.ctrl()),
              "rate=0.10,loud=0.20,f0_med=0.30,f0_iqr=0.40,f0_end=0.50,pause=0.60,tilt=0.70,"
              "voiced=0.80,flat=0.90,centroid=1.00,cpps=1.10,h1h2=1.20");
}

TEST(StyleAdd, ClampsAndIgnoresUnknownNames) {
    Style s;
    s.add(u"loud", 2.5f);
    s.add(u"loud", 2.5f);
    EXPECT_EQ(narrow(s.ctrl()), "loud=3.00");
    s.add(u"loud", -10.0f);
    EXPECT_EQ(narrow(s.ctrl()), "loud=-3.00");
    Style before = s;
    s.add(u"speed", 1.0f);
    s.add(u"Loud", 1.0f);
    EXPECT_EQ(s.z, before.z);
    EXPECT_EQ(Style::clamp(std::numeric_limits<float>::quiet_NaN()), 3.0f);
    EXPECT_EQ(Style::clamp(-std::numeric_limits<float>::infinity()), -3.0f);
}

TEST(StyleAdd, MoodAddsItsOffsetsButNotItsTag) {
    Style s;
    s.z[1] = 2.8f;
    s.add(*Expression::URGENT());
    EXPECT_EQ(narrow(s.ctrl()), "rate=0.80,loud=3.00,f0_med=0.50,pause=-0.50,tilt=0.80");
    EXPECT_EQ(s.tag, u"none");
    Style viaRef;
    viaRef.add(Expression::SAD());
    viaRef.add(Expression::MoodRef());
    EXPECT_EQ(narrow(viaRef.ctrl()), "rate=-0.60,loud=-0.60,f0_med=-0.70,f0_iqr=-0.70");
    Expression::Mood odd(u"odd", std::nullopt, u"", {{u"nonsense", 2.0f}, {u"h1h2", 0.3f}});
    s.add(odd);
    EXPECT_FLOAT_EQ(s.z[11], 0.3f);
}

TEST(StylePreset, AddsToACopyAndLeavesTheReceiver) {
    Style s;
    s.z[0] = 1.0f;
    s.tag = u"sadness";
    Style warm = s.withPreset(u"Warm");
    EXPECT_FLOAT_EQ(warm.z[0], 0.8f);
    EXPECT_FALSE(warm.contextual);
    EXPECT_EQ(warm.reason, u"warm: contentment + controls");
    EXPECT_EQ(warm.preset, u"Natural");
    EXPECT_EQ(warm.tag, u"contentment");
    EXPECT_FLOAT_EQ(s.z[0], 1.0f);
    EXPECT_EQ(s.tag, u"sadness");
    EXPECT_TRUE(s.contextual);

    EXPECT_EQ(Style().withPreset(u"Natural").reason, u"natural: controls");
    // An unknown name keeps the copy's own tag, which shows in the reason.
    EXPECT_EQ(s.withPreset(u"Odd").reason, u"odd: sadness + controls");
}

TEST(StyleJson, SavesAndLoadsEveryField) {
    Style s;
    s.applyPreset(u"Sad");
    s.voice = u"voice_0413";
    s.contextual = false;
    s.pace = 1.25f;
    s.smooth = true;
    s.reason = u"sad: sadness + controls \u00e9";
    s.z[11] = -2.75f;

    std::optional<Style> back = Style::fromJsonData(s.jsonData());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->voice, s.voice);
    EXPECT_EQ(back->tag, s.tag);
    EXPECT_EQ(back->z, s.z);
    EXPECT_EQ(back->contextual, s.contextual);
    EXPECT_EQ(back->pace, s.pace);
    EXPECT_EQ(back->preset, s.preset);
    EXPECT_EQ(back->smooth, s.smooth);
    EXPECT_EQ(back->reason, s.reason);
}

TEST(StyleJson, WritesSortedCompactKeysAndNullVoice) {
    Style s;
    const std::string data = s.jsonData();
    EXPECT_EQ(data.find(' '), std::string::npos);
    EXPECT_EQ(data.rfind("{\"contextual\":true,\"pace\":1.100000023841858,\"preset\":\"Natural\","
                         "\"reason\":\"\",\"smooth\":false,\"tag\":\"none\",\"voice\":null,\"z\":[",
                         0),
              0u)
        << data;
    EXPECT_FALSE(Style::fromJsonData(data)->voice);
}

TEST(StyleJson, ReadsMessyValuesTolerantly) {
    struct Case {
        const char* label;
        const char* json;
        void (*check)(const Style&);
    };
    const Case cases[] = {
        {"strings, nulls and big values", R"({"pace": "1.3", "contextual": "FALSE", "z": [1, "2", null, 9]})",
         [](const Style& s) {
             EXPECT_FLOAT_EQ(s.pace, 1.3f);
             EXPECT_FALSE(s.contextual);
             const std::array<float, 12> z{1, 2, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0};
             EXPECT_EQ(s.z, z);
             EXPECT_EQ(s.tag, u"none");
             EXPECT_EQ(s.preset, u"Natural");
             EXPECT_FALSE(s.smooth);
             EXPECT_FALSE(s.voice);
             EXPECT_EQ(s.reason, u"");
         }},
        {"pace above the range", R"({"pace": 5})", [](const Style& s) { EXPECT_FLOAT_EQ(s.pace, 1.6f); }},
        {"pace below the range", R"({"pace": -1})", [](const Style& s) { EXPECT_FLOAT_EQ(s.pace, 0.7f); }},
        {"pace nan text", R"({"pace": "nan"})", [](const Style& s) { EXPECT_FLOAT_EQ(s.pace, 1.6f); }},
        {"pace padded text", "{\"pace\": \" \\t1e0 \"}", [](const Style& s) { EXPECT_FLOAT_EQ(s.pace, 1.0f); }},
        {"pace text with junk", R"({"pace": "1.3x"})", [](const Style& s) { EXPECT_FLOAT_EQ(s.pace, 1.1f); }},
        {"pace text with a line break", R"({"pace": "\n1.3"})", [](const Style& s) { EXPECT_FLOAT_EQ(s.pace, 1.1f); }},
        {"pace true", R"({"pace": true})", [](const Style& s) { EXPECT_FLOAT_EQ(s.pace, 1.0f); }},
        {"contextual number", R"({"contextual": 0})", [](const Style& s) { EXPECT_TRUE(s.contextual); }},
        {"smooth text", R"({"smooth": "True"})", [](const Style& s) { EXPECT_TRUE(s.smooth); }},
        {"z object", R"({"z": {"rate": 1}})", [](const Style& s) { EXPECT_EQ(s.z, (std::array<float, 12>{})); }},
        {"z too long and huge", R"({"z": [1e300, -1e300, true, false, "x", [], 0, 0, 0, 0, 0, 0, 2]})",
         [](const Style& s) {
             const std::array<float, 12> z{3, -3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
             EXPECT_EQ(s.z, z);
         }},
        {"numbers and bools as texts", R"({"voice": 7, "tag": true, "preset": 2.5, "reason": false})",
         [](const Style& s) {
             EXPECT_EQ(s.voice, u"7");
             EXPECT_EQ(s.tag, u"1");
             EXPECT_EQ(s.preset, u"2.5");
             EXPECT_EQ(s.reason, u"0");
         }},
        {"voice null", R"({"voice": null, "tag": null})", [](const Style& s) {
             EXPECT_FALSE(s.voice);
             EXPECT_EQ(s.tag, u"none");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::optional<Style> s = Style::fromJsonData(c.json);
        ASSERT_TRUE(s);
        c.check(*s);
    }
}

TEST(StyleJson, DataThatIsNotAnObjectGivesNothing) {
    for (const char* data : {"[1,2]", "not json", "", "{\"pace\":", "3", "\"text\"", "{} {}"}) {
        SCOPED_TRACE(data);
        EXPECT_FALSE(Style::fromJsonData(data));
    }
}

TEST_F(StyleFile, LoadsAHandEditedFileTolerantly) {
    Style s = Style::load(test::testData("style-messy.json"));
    EXPECT_EQ(s.voice, u"voice_0010");
    EXPECT_EQ(s.tag, u"serenity");
    const std::array<float, 12> z{1, 2, 0, 3, -1.5f, 0, 1, 0, -3, 0.25f, 0, 0};
    EXPECT_EQ(s.z, z);
    EXPECT_FALSE(s.contextual);
    EXPECT_FLOAT_EQ(s.pace, 1.3f);
    EXPECT_EQ(s.preset, u"Calm");
    EXPECT_FALSE(s.smooth);  // "yes" is not a boolean text
    EXPECT_EQ(s.reason, u"[\"hand\",\"edited\"]");
    EXPECT_EQ(narrow(s.ctrl()), "rate=1.00,loud=2.00,f0_iqr=3.00,f0_end=-1.50,tilt=1.00,flat=-3.00,centroid=0.25");
}

TEST_F(StyleFile, LoadGivesDefaultsForMissingOrBadFiles) {
    for (const auto& path : {write("array.json", "[1]"), write("bad.json", "{\"tag\": \"x\""),
                             write("bin.json", std::string("\xff\xfe\0{", 4)), dir / "missing.json", dir}) {
        SCOPED_TRACE(path.string());
        Style s = Style::load(path);
        EXPECT_EQ(s.tag, u"none");
        EXPECT_FLOAT_EQ(s.pace, Style::DEFAULT_PACE);
        EXPECT_EQ(s.preset, u"Natural");
        EXPECT_TRUE(s.contextual);
    }
}

TEST_F(StyleFile, SaveCreatesFoldersAndReplacesWholeFile) {
    fs::path file = dir / "support" / "TovanTTS" / "style.json";
    Style s;
    s.applyPreset(u"Happy");
    s.voice = u"voice_1226";
    ASSERT_TRUE(s.save(file));
    EXPECT_EQ(read(file), s.jsonData());
    Style back = Style::load(file);
    EXPECT_EQ(back.voice, u"voice_1226");
    EXPECT_EQ(narrow(back.ctrl()), "rate=0.40,f0_med=0.70,f0_iqr=1.30,tilt=0.50");

    Style other;
    ASSERT_TRUE(other.save(file));
    EXPECT_EQ(read(file), other.jsonData());
    // No temporary files are left next to it.
    size_t entries = 0;
    for (auto& e : fs::directory_iterator(file.parent_path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST_F(StyleFile, SaveOverAFolderFailsAndLeavesNoTemporaryFile) {
    // A folder in the way cannot be replaced by a file, even by root.
    fs::path blocked = dir / "style.json";
    fs::create_directory(blocked);
    write("style.json/keep", "x");
    EXPECT_FALSE(Style().save(blocked));
    EXPECT_EQ(read(blocked / "keep"), "x");
    size_t entries = 0;
    for (auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u) << "a temporary file was left behind";
}

TEST_F(StyleFile, SaveIntoAReadOnlyFolderKeepsThePreviousFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    fs::path file = dir / "style.json";
    Style s;
    s.applyPreset(u"Calm");
    ASSERT_TRUE(s.save(file));
    const std::string before = read(file);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(Style().save(file));
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(read(file), before);
}
