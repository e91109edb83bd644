#include "JsonSettingsFile.h"
#include "TempDir.h"
#include "Voices.h"
#include "VoicesStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace tovan;
namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { file = dir / "TovanTTS" / "defaults.json"; }

    static std::string read(const fs::path& p) { return test::slurp(p); }
    void put(const std::string& bytes) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }

    test::TempDir tmp;
    fs::path dir = tmp.path, file;
};

void typedValuesKeepTheirTypes(SettingsStore& d) {
    d.setBool("natural", true);
    d.setDouble("speed", 1.25);
    d.setInt("readingSize", 18);
    d.setString("dialogueVoice", u"voice_0010 \u00e9");
    d.setStrings("list", {u"b", u"a"});

    EXPECT_EQ(d.getBool("natural"), true);
    EXPECT_EQ(d.getDouble("speed"), 1.25);
    EXPECT_EQ(d.getInt("readingSize"), 18);
    EXPECT_EQ(d.getDouble("readingSize"), 18.0);
    EXPECT_EQ(d.getString("dialogueVoice"), u"voice_0010 \u00e9");
    EXPECT_EQ(d.getStrings("list"), (std::vector<std::u16string>{u"b", u"a"}));

    // A value of another type is not converted.
    EXPECT_FALSE(d.getBool("speed"));
    EXPECT_FALSE(d.getInt("speed"));
    EXPECT_FALSE(d.getString("natural"));
    EXPECT_FALSE(d.getStrings("dialogueVoice"));
    EXPECT_FALSE(d.getBool("missing"));

    d.setDouble("speed", std::nan(""));  // refused: JSON cannot hold it
    EXPECT_EQ(d.getDouble("speed"), 1.25);
    d.remove("speed");
    EXPECT_FALSE(d.value("speed"));
}

} // namespace

TEST(MemorySettingsStore, TypedValuesKeepTheirTypes) {
    MemorySettingsStore d;
    typedValuesKeepTheirTypes(d);
}

TEST_F(SettingsFile, TypedValuesSurviveARestart) {
    {
        JsonSettingsFile d(file);
        typedValuesKeepTheirTypes(d);
        EXPECT_EQ(d.problem(), "");
    }
    JsonSettingsFile again(file);
    EXPECT_EQ(again.getBool("natural"), true);
    EXPECT_EQ(again.getInt("readingSize"), 18);
    EXPECT_EQ(again.getString("dialogueVoice"), u"voice_0010 \u00e9");
    EXPECT_FALSE(again.value("speed"));
    EXPECT_EQ(read(file), R"({"dialogueVoice":"voice_0010 é","list":["b","a"],"natural":true,"readingSize":18})");
}

TEST_F(SettingsFile, BrokenFileIsMovedAsideBeforeTheFirstSave) {
    const std::string junk = "{\"speed\": 1.5, oops";
    put(junk);
    JsonSettingsFile d(file);
    EXPECT_NE(d.problem(), "");
    EXPECT_FALSE(d.getDouble("speed"));
    EXPECT_EQ(read(file), junk) << "loading alone must not touch the file";
    d.setBool("natural", false);
    EXPECT_EQ(read(fs::path(file.string() + ".broken")), junk);
    EXPECT_EQ(read(file), R"({"natural":false})");
    EXPECT_EQ(d.problem(), "");
}

TEST_F(SettingsFile, NonObjectFileCountsAsBroken) {
    put("[\"fav\"]");
    JsonSettingsFile d(file);
    EXPECT_NE(d.problem(), "");
    d.setInt("x", 1);
    EXPECT_EQ(read(fs::path(file.string() + ".broken")), "[\"fav\"]");
}

TEST(SettingsStore, StandardPathFollowsXdgConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    std::string keep = saved ? saved : "";
    const char* savedHome = std::getenv("HOME");
    std::string keepHome = savedHome ? savedHome : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-here", 1);
    EXPECT_EQ(SettingsStore::standardPath(), "/tmp/xdg-here/TovanTTS/defaults.json");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored, as the XDG rules say
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(SettingsStore::standardPath(), "/home/someone/.config/TovanTTS/defaults.json");
    if (saved) ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    if (savedHome) ::setenv("HOME", keepHome.c_str(), 1);
    else ::unsetenv("HOME");
}

TEST(SettingsVoicesStore, WritesSortedArraysAndReadsOnlyTextArrays) {
    auto d = std::make_shared<MemorySettingsStore>();
    SettingsVoicesStore store(d);
    store.setStringSet({u"voice_2500", u"voice_0010", u"voice_1688"}, "fav");
    EXPECT_EQ(d->value("fav")->dump(), R"(["voice_0010","voice_1688","voice_2500"])");
    EXPECT_EQ(store.stringSet("fav"), (std::set<std::u16string>{u"voice_0010", u"voice_1688", u"voice_2500"}));

    for (const char* stored : {"\"voice_0010\"", "[\"voice_0010\", 3]", "{\"a\": \"b\"}", "true"}) {
        SCOPED_TRACE(stored);
        d->setValue("fav", nlohmann::json::parse(stored));
        EXPECT_TRUE(store.stringSet("fav").empty());
    }
    EXPECT_TRUE(store.stringSet("missing").empty());
}

TEST_F(SettingsFile, FavouritesPersistThroughTheCatalogue) {
    auto d = std::make_shared<JsonSettingsFile>(file);
    Voices v = Voices::fromData(R"({"voices":[{"name":"voice_0010"}]})", std::make_shared<SettingsVoicesStore>(d));
    v.toggleFavourite(u"voice_2500");
    v.toggleFavourite(u"voice_0010");
    v.toggleFavourite(u"voice_2500");
    v.toggleFavourite(u"voice_1688");
    EXPECT_EQ(read(file), R"({"fav":["voice_0010","voice_1688"]})");
}
