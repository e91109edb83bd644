#include "Voices.h"

#include "TestPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

using namespace tovan;

namespace {

std::string dataDir() {
    return test::testData().string();
}

std::shared_ptr<MemoryVoicesStore> memory() { return std::make_shared<MemoryVoicesStore>(); }

std::string voicesOf(const std::string& elements) { return "{\"voices\":[" + elements + "]}"; }

std::vector<std::u16string> ids(const Voices& v) {
    std::vector<std::u16string> out;
    for (const auto& voice : v.all()) out.push_back(voice.id);
    return out;
}

std::vector<std::u16string> names(const Voices& v) {
    std::vector<std::u16string> out;
    for (const auto& voice : v.all()) out.push_back(voice.name);
    return out;
}

} // namespace

TEST(Voices, FixtureGivesNamesDefaultsAndFeaturedOrder) {
    Voices v = Voices::fromFile(dataDir() + "/voices.json", memory());
    ASSERT_FALSE(v.isEmpty());
    EXPECT_EQ(ids(v), (std::vector<std::u16string>{u"voice_0010", u"voice_1688", u"voice_2500", u"voice_0999",
                                                   u"voice_0185", u"voice_0213"}));
    EXPECT_EQ(names(v), (std::vector<std::u16string>{u"Ava", u"Mia", u"Leo", u"Max", u"Zoe", u"Sam"}));

    const Voices::Voice* first = v.voice(u"voice_0010");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->gender, u"female");
    EXPECT_EQ(first->pitch, u"high");
    EXPECT_EQ(first->pace, u"slow");
    EXPECT_EQ(first->describe(), u"Bright, relaxed");
    EXPECT_EQ(first->genderLabel(), u"Female");
    const Voices::Voice* plain = v.voice(u"voice_0185");  // no gender, pitch or pace in the file
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->gender, u"female");
    EXPECT_EQ(plain->pitch, u"mid");
    EXPECT_EQ(plain->pace, u"average");
    EXPECT_EQ(plain->describe(), u"Warm, steady");
    EXPECT_EQ(v.voice(u"voice_0999")->describe(), u"Deep, brisk");
    EXPECT_EQ(v.voice(u"voice_0999")->genderLabel(), u"Male");
    EXPECT_FALSE(v.voice(u"voice_4242"));

    std::vector<std::u16string> featured;
    for (const auto& f : v.featured()) featured.push_back(f.id);
    EXPECT_EQ(featured, (std::vector<std::u16string>{u"voice_1688", u"voice_2500", u"voice_0010", u"voice_0185",
                                                    u"voice_0213"}));

    struct Case {
        std::optional<std::u16string> setting;
        std::u16string name;
    };
    const Case cases[] = {{std::nullopt, u"Mia"},       {u"female", u"Mia"},       {u"male", u"Leo"},
                          {u"voice_0213", u"Sam"},      {u"voice_4242", u"voice_4242"}};
    for (const auto& c : cases) EXPECT_EQ(v.nameOf(c.setting), c.name);
}

TEST(Voices, BadFilesGiveAnEmptyCatalogue) {
    const char* bad[] = {"", "not json", "[]", "{}", "{\"voices\": 3}", "{\"voices\": {}}",
                         "{\"voices\": [{\"name\": \"voice_0010\"}, 7]}",
                         "{\"voices\": [\"voice_0010\"]}", "{\"voices\": [{}]}"};
    for (const char* data : bad) {
        SCOPED_TRACE(data);
        Voices v = Voices::fromData(data, memory());
        EXPECT_TRUE(v.isEmpty());
        EXPECT_TRUE(v.featured().empty());
        EXPECT_EQ(v.nameOf(u"voice_0010"), u"voice_0010");
    }
    EXPECT_TRUE(Voices::fromFile("/nonexistent/voices.json", memory()).isEmpty());
}

TEST(Voices, ReadingStopsAtAnEmptyOrNamelessElement) {
    struct Case {
        const char* label;
        std::string elements;
        std::vector<std::u16string> ids;
    };
    const Case cases[] = {
        {"only a gender", R"({"name":"A"},{"gender":"male"},{"name":"B"})", {u"A"}},
        {"empty object", R"({"name":"A"},{},{"name":"B"})", {u"A"}},
        {"name not a text", R"({"name":"A"},{"name":5},{"name":"B"})", {u"A"}},
        {"first element stops", R"({"gender":"female"},{"name":"B"})", {}},
        {"odd fields ignored", R"({"name":"A","gender":3,"pitch_register":null,"extra":[1]},{"name":"B"})",
         {u"A", u"B"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ids(Voices::fromData(voicesOf(c.elements), memory())), c.ids);
    }
    Voices odd = Voices::fromData(voicesOf(R"({"name":"A","gender":3,"pitch_register":null})"), memory());
    EXPECT_EQ(odd.all()[0].gender, u"female");
    EXPECT_EQ(odd.all()[0].pitch, u"mid");
}

TEST(Voices, NamesCountPerGenderAndWrapAround) {
    std::string elements;
    // 106 female voices interleaved with 108 male ones.
    for (int i = 0; i < 108; ++i) {
        if (i < 106) elements += "{\"name\":\"f" + std::to_string(i) + "\",\"gender\":\"female\"},";
        elements += "{\"name\":\"m" + std::to_string(i) + "\",\"gender\":\"male\"},";
    }
    elements += R"({"name":"cap","gender":"Female"},{"name":"other","gender":"nonbinary"})";
    Voices v = Voices::fromData(voicesOf(elements), memory());
    EXPECT_EQ(v.voice(u"f0")->name, u"Ava");
    EXPECT_EQ(v.voice(u"f1")->name, u"Mia");
    EXPECT_EQ(v.voice(u"f104")->name, u"Isabel");
    EXPECT_EQ(v.voice(u"f105")->name, u"Ava");
    EXPECT_EQ(v.voice(u"m0")->name, u"Leo");
    EXPECT_EQ(v.voice(u"m106")->name, u"Toby");
    EXPECT_EQ(v.voice(u"m107")->name, u"Leo");
    // Any gender text other than exactly "female" takes the next male name.
    EXPECT_EQ(v.voice(u"cap")->name, u"Max");
    EXPECT_EQ(v.voice(u"cap")->genderLabel(), u"Male");
    EXPECT_EQ(v.voice(u"other")->name, u"Sam");
}

TEST(Voices, DuplicateIdReplacesInPlaceAndUsesAName) {
    Voices v = Voices::fromData(voicesOf(R"({"name":"A","pace":"slow"},{"name":"B"},)"
                                         R"({"name":"A","pace":"fast"},{"name":"C"})"),
                                memory());
    EXPECT_EQ(ids(v), (std::vector<std::u16string>{u"A", u"B", u"C"}));
    EXPECT_EQ(names(v), (std::vector<std::u16string>{u"Zoe", u"Mia", u"Lily"}));
    EXPECT_EQ(v.voice(u"A")->pace, u"fast");
    EXPECT_EQ(v.byId().size(), 3u);
}

TEST(Voices, FavouritesGoThroughTheStoreEveryTime) {
    auto store = memory();
    Voices v = Voices::fromData(voicesOf(R"({"name":"voice_0010"})"), store);
    EXPECT_TRUE(v.favourites().empty());
    v.toggleFavourite(u"voice_0010");
    v.toggleFavourite(u"voice_2500");
    EXPECT_TRUE(v.isFavourite(u"voice_0010"));
    EXPECT_EQ(store->sets["fav"], (std::set<std::u16string>{u"voice_0010", u"voice_2500"}));
    // A change made behind the catalogue's back is seen at once.
    store->sets["fav"].erase(u"voice_2500");
    EXPECT_FALSE(v.isFavourite(u"voice_2500"));
    v.toggleFavourite(u"voice_0010");
    EXPECT_TRUE(v.favourites().empty());
}

TEST(Voices, ForPersonIsStableAndAvoidsTheOwnVoice) {
    struct Case {
        std::u16string name;
        std::optional<std::u16string> own;
        std::u16string voice;
    };
    const Case cases[] = {
        {u"abc", std::nullopt, u"voice_0213"},          // h = 96354, index 6
        {u" Front Desk ", std::nullopt, u"voice_0413"},  // negative h, remainder -3, index 4
        {u"FRONT DESK", u"female", u"voice_0413"},
        {u"", std::nullopt, u"voice_2500"},
        {u"", u"male", u"voice_1688"},
        {u"", u"voice_9999", u"voice_1688"},           // an own voice not featured: all eight candidates
        {u"abc", u"voice_9999", u"voice_0010"},        // 96354 mod 8 = 2
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
        EXPECT_EQ(Voices::forPerson(c.name, c.own), c.voice);
    }
    for (auto own : Voices::FEATURED) {
        std::set<std::u16string> seen;
        for (int i = 0; i < 300; ++i) {
            std::u16string person = u"person " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                                    std::u16string(static_cast<size_t>(i / 26), u'x');
            std::u16string got = Voices::forPerson(person, std::u16string(own));
            EXPECT_NE(got, own);
            seen.insert(got);
        }
        EXPECT_EQ(seen.size(), 7u) << "every other featured voice is handed out";
    }
}
