#include "Cast.h"
#include "Narration.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tovan;
using Expression::MoodRef;

namespace {

using Paras = std::vector<std::u16string>;
using OptText = std::optional<std::u16string>;

std::string show(const OptText& s) { return s ? "\"" + u8(*s) + "\"" : "(absent)"; }
std::string show(const MoodRef& m) { return m ? u8(m->name) : "(none)"; }

}  // namespace

TEST(CastAnalysis, EmptyBookAndEmptyParagraph) {
    auto none = Cast::analyze({});
    EXPECT_TRUE(none->lines().empty());
    EXPECT_TRUE(none->characters().empty());
    EXPECT_TRUE(none->gender().empty());

    auto blank = Cast::analyze({u"", u"  \n"});
    ASSERT_EQ(blank->lines().size(), 2u);
    for (const auto& line : blank->lines()) {
        EXPECT_FALSE(line.speaker);
        EXPECT_FALSE(line.gender);
        EXPECT_FALSE(line.delivery);
        EXPECT_EQ(line.scene, Expression::NEUTRAL());
    }
}

// The line of the last paragraph, after the ones before it set the scene.
TEST(CastAnalysis, AttributesTheSpeakerOfAParagraph) {
    struct Case {
        const char* label;
        Paras paragraphs;
        OptText speaker, gender;
        MoodRef delivery;
    };
    const Case cases[] = {
        {"verb then name", {u"“Hello,” said Tom."}, u"Tom", u"male", nullptr},
        {"adjective and title", {u"“Run!” shouted old Captain Smith."}, u"Captain Smith", u"male", Cast::SHOUT()},
        {"someone unnamed", {u"“Run!” shouted the old man."}, std::nullopt, std::nullopt, Cast::SHOUT()},
        {"the Queen", {u"“Off with his head!” said the Queen."}, u"Queen", u"female", nullptr},
        {"sentence word before the name", {u"Then Tom said, “Hi.”"}, std::nullopt, std::nullopt, nullptr},
        {"The Rabbit is no name", {u"The Rabbit said, “I am late.”"}, std::nullopt, std::nullopt, nullptr},
        {"a voice asks", {u"“Where?” asked a voice."}, std::nullopt, std::nullopt, Cast::ASK()},
        {"first person", {u"“Yes,” I said."}, u"Narrator", std::nullopt, nullptr},
        {"speaker and verb before", {u"Mary whispered, “Come here.”"}, u"Mary", u"female", Cast::WHISPER()},
        {"name and verb after", {u"“Stop that,” Tom muttered angrily."}, u"Tom", u"male", Cast::MUTTER()},
        {"adverb between name and verb", {u"“Stop that,” Tom angrily muttered."}, u"Tom", u"male", Cast::MUTTER()},
        {"she after a woman in narration",
         {u"Later Alice walked into the garden.", u"“No,” she said."}, u"Alice", u"female", nullptr},
        {"she with no woman named", {u"“No,” she said."}, std::nullopt, std::nullopt, nullptr},
        {"a short name resolves to the known one",
         {u"“Good day,” said Mr. Darcy.", u"“Indeed,” said Darcy."}, u"Mr. Darcy", u"male", nullptr},
        {"possessive and article dropped", {u"“Ready now?” said the Hatter’s"}, u"Hatter", u"male", nullptr},
        {"unknown gender", {u"“Hello there,” said Zork."}, u"Zork", std::nullopt, nullptr},
        {"quoted title is no dialogue", {u"He read \"Ivanhoe\" twice."}, std::nullopt, std::nullopt, nullptr},
        {"speaker carried into the next paragraph",
         {u"Night fell.", u"“Hello there, friend,” said Tom.", u"“How are you today?”"}, u"Tom", u"male", nullptr},
        {"earliest mentioned character",
         {u"“Hello,” said Tom.", u"“Hi,” said Mary.", u"Mary looked at Tom. “You are late again.”"},
         u"Mary", u"female", nullptr},
        {"pronoun after narration",
         {u"“Hello,” said Tom.", u"“Hi,” said Mary.", u"Time passed.", u"She frowned. “Not today, thanks.”"},
         u"Mary", u"female", nullptr},
        {"nobody to carry over",
         {u"Time passed slowly.", u"“Is anyone there at all?”"}, std::nullopt, std::nullopt, nullptr},
        {"marks are ignored",
         {std::u16string(Narration::HEAD) + u"“Run,” " + std::u16string(Narration::EM_ON) + u"yelled" +
          std::u16string(Narration::EM_OFF) + u" Tom."},
         u"Tom", u"male", Cast::SHOUT()},
    };
    for (const Case& c : cases) {
        auto cast = Cast::analyze(c.paragraphs);
        ASSERT_EQ(cast->lines().size(), c.paragraphs.size()) << c.label;
        const Cast::Line& line = cast->lines().back();
        EXPECT_EQ(line.speaker, c.speaker) << c.label << ": " << show(line.speaker);
        EXPECT_EQ(line.gender, c.gender) << c.label << ": " << show(line.gender);
        EXPECT_EQ(line.delivery, c.delivery) << c.label << ": " << show(line.delivery);
        ASSERT_TRUE(line.scene) << c.label;
    }
}

TEST(CastAnalysis, CharactersAndGendersAsMet) {
    auto cast = Cast::analyze({
        u"“Hello,” said Tom.",
        u"“Yes,” I said.",
        u"Later Alice came in.",  // met in narration only: not a character
        u"“Hi,” said Zork.",
        u"“Hello again,” said Tom.",
        u"“Where?” asked a voice.",
    });
    EXPECT_EQ(cast->characters(), (std::vector<std::u16string>{u"Tom", u"Zork"}));
    EXPECT_EQ(cast->gender(), (std::map<std::u16string, std::u16string>{{u"Tom", u"male"}}));
}

TEST(CastAnalysis, SpeakersAlternateAcrossUnattributedParagraphs) {
    auto cast = Cast::analyze({
        u"The two met at the gate.",           // 0
        u"“Good morning,” said Tom.",          // 1
        u"“Good morning to you,” said Mary.",  // 2
        u"“Lovely weather today.”",             // 3: Tom again
        u"“Yes, very lovely indeed.”",          // 4: Mary again
        u"“Shall we walk on?”",                 // 5: Tom
        u"A cart rolled past.",                 // 6
        u"“Wait for me here,” said Mary.",     // 7
        u"“Why should I wait?”",                // 8: after one attributed paragraph: Mary
    });
    const std::vector<OptText> want = {std::nullopt, u"Tom",  u"Mary",       u"Tom", u"Mary",
                                       u"Tom",       std::nullopt, u"Mary", u"Mary"};
    ASSERT_EQ(cast->lines().size(), want.size());
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_EQ(cast->lines()[i].speaker, want[i]) << "paragraph " << i << ": " << show(cast->lines()[i].speaker);
    EXPECT_EQ(cast->lines()[3].gender, u"male");
    EXPECT_EQ(cast->lines()[4].gender, u"female");
}

TEST(CastAnalysis, AnUnnamedVoiceTakesItsTurnInTheHistory) {
    // "?" enters the speaker history like a name: the quotes that follow
    // alternate between the voice and the one who spoke before it.
    struct Case {
        const char* label;
        Paras paragraphs;
        std::vector<OptText> speakers;
    };
    const Case cases[] = {
        {"voice after one speaker",
         {u"“Good morning,” said Tom.", u"“Where are you?” asked a voice.", u"“Right here, behind the door.”",
          u"“Come out then, slowly.”", u"“I will not do that.”"},
         {u"Tom", std::nullopt, u"Tom", std::nullopt, u"Tom"}},
        {"voice after two speakers",
         {u"“Good morning,” said Tom.", u"“Good morning,” said Mary.", u"“Who goes there?” asked a voice.",
          u"“Only a friend of yours.”", u"“Then show yourself.”"},
         {u"Tom", u"Mary", std::nullopt, u"Mary", std::nullopt}},
        {"voice, then narration",
         {u"“Good morning,” said Tom.", u"“Who is it?” asked a voice.", u"Nobody answered for a while.",
          u"“Hello again, anyone?”"},
         {u"Tom", std::nullopt, std::nullopt, std::nullopt}},
    };
    for (const Case& c : cases) {
        auto cast = Cast::analyze(c.paragraphs);
        ASSERT_EQ(cast->lines().size(), c.speakers.size()) << c.label;
        for (size_t i = 0; i < c.speakers.size(); i++)
            EXPECT_EQ(cast->lines()[i].speaker, c.speakers[i])
                << c.label << ", paragraph " << i << ": " << show(cast->lines()[i].speaker);
    }
}

TEST(CastAnalysis, HugeParagraphsDoNotCrash) {
    // An unclosed quotation over a whole book, and a book squeezed into one
    // paragraph: the matcher may give up, the analysis still gives a line.
    std::u16string open = u"‘" + std::u16string(400000, u'a') + u" and so on";
    std::u16string many;
    // No quotation is attributed, so every one of them is tried.
    for (int i = 0; i < 5000; i++) many += u"“Tell me more, please.” Dark shadows crept. ";
    auto cast = Cast::analyze({open, many, u"“Fine, then,” said Tom."});
    ASSERT_EQ(cast->lines().size(), 3u);
    EXPECT_EQ(cast->lines()[2].speaker, u"Tom");
}

TEST(CastHelpers, SceneMoodNeedsTwoCuesAndBreaksTiesInOrder) {
    struct Case {
        std::u16string text;
        MoodRef mood;
    };
    const Case cases[] = {
        {u"", Expression::NEUTRAL()},
        {u"dark tears laughed ran", Expression::NEUTRAL()},              // one of each
        {u"The dark shadow. Tears of grief.", Cast::SOMBRE()},          // two and two: sombre first
        {u"Darkness and silence, then he ran and jumped.", Cast::TENSE()},
        {u"They laughed and smiled; she ran, dashed and leapt.", Cast::ACTION()},
        {u"Joyful laughter and sunshine.", Cast::BRIGHT()},
        {u"DARK, SILENT house", Cast::TENSE()},                         // any case
        {u"He was sadly alone and lonely, so sad.", Cast::SOMBRE()},
    };
    for (const Case& c : cases) EXPECT_EQ(Cast::scene(c.text), c.mood) << u8(c.text) << ": " << show(Cast::scene(c.text));
}

TEST(CastHelpers, OutsideReplacesOnlySpeech) {
    EXPECT_EQ(Cast::outside(u"“Hi,” he said."), u" \u00B6  he said.");
    EXPECT_EQ(Cast::outside(u"He read \"Ivanhoe\" twice."), u"He read \"Ivanhoe\" twice.");
    EXPECT_EQ(Cast::outside(u"No quotes at all."), u"No quotes at all.");
    EXPECT_EQ(Cast::outside(u"A “Run now!” B ‘Shorty’ C"), u"A  \u00B6  B ‘Shorty’ C");
    EXPECT_TRUE(Cast::hasDialogue(u"A “Run now!” B"));
    EXPECT_FALSE(Cast::hasDialogue(u"A ‘Shorty’ B"));
    EXPECT_FALSE(Cast::hasDialogue(u""));
}

TEST(CastHelpers, GenderCanonicalAndDelivery) {
    struct G {
        std::u16string name;
        OptText gender;
    };
    const G genders[] = {
        {u"Mrs. Smith", u"female"}, {u"The Queen", u"female"}, {u"Smith", std::nullopt},
        {u"uncle mary", u"male"},   {u"Mr.Darcy", u"male"},   {u"ALICE", u"female"},
        {u"Brother", u"male"},       {u"", std::nullopt},
    };
    for (const G& g : genders) EXPECT_EQ(Cast::genderOf(g.name), g.gender) << u8(g.name);

    EXPECT_EQ(Cast::canonical(u"the Rabbit's"), u"Rabbit");
    EXPECT_EQ(Cast::canonical(u"The Queen"), u"Queen");
    EXPECT_EQ(Cast::canonical(u"Tom’s"), u"Tom");
    EXPECT_EQ(Cast::canonical(u"Mr. Darcy"), u"Mr. Darcy");

    struct D {
        OptText verb;
        MoodRef mood;
    };
    const D verbs[] = {
        {u"Whispered ", Cast::WHISPER()}, {u"said", nullptr},        {u"sang", nullptr},
        {std::nullopt, nullptr},           {u"GASPED", Cast::GASP()},  {u"cried out", Cast::SHOUT()},
        {u"cried", nullptr},               {u"giggles", Expression::AMUSED()}, {u"sobbed", Expression::SAD()},
        {u"snapped", Cast::GROWL()},       {u"begged", Cast::PLEAD()}, {u"wondered", Cast::ASK()},
        {u"stuttered", Cast::STAMMER()},   {u"sighs", Cast::SIGH()},   {u"saidx", nullptr},
    };
    for (const D& d : verbs) EXPECT_EQ(Cast::delivery(d.verb), d.mood) << show(d.verb);
}

TEST(CastHelpers, MoodsHaveTheirTagsAndReasons) {
    struct M {
        MoodRef mood;
        const char16_t* name;
        OptText tag;
        const char16_t* why;
    };
    const M moods[] = {
        {Cast::WHISPER(), u"whispered", u"whisper", u"whispered"},
        {Cast::SHOUT(), u"shouted", u"loud", u"shouted: loud"},
        {Cast::GASP(), u"gasped", u"surprise", u"surprised"},
        {Cast::ASK(), u"asked", std::nullopt, u"a question"},
        {Cast::TENSE(), u"tense", u"mysterious", u"a tense scene"},
        {Cast::ACTION(), u"action", std::nullopt, u"action"},
    };
    for (const M& m : moods) {
        EXPECT_EQ(m.mood->name, m.name);
        EXPECT_EQ(m.mood->tag, m.tag);
        EXPECT_EQ(m.mood->why, m.why);
    }
    EXPECT_EQ(Cast::SHOUT()->ctrlKeys, (std::vector<std::u16string>{u"loud", u"rate", u"f0_med", u"f0_iqr"}));
    EXPECT_FLOAT_EQ(Cast::SHOUT()->ctrl.at(u"loud"), 1.4f);
    EXPECT_TRUE(Cast::WHISPER()->ctrl.empty());
}

// ---- Character voices ----

namespace {

const std::vector<std::u16string> FEMALE_VOICES = {u"f1", u"f2", u"f3", u"f4"};
const std::vector<std::u16string> MALE_VOICES = {u"m1", u"m2", u"m3"};

std::shared_ptr<Cast> book() {
    return Cast::analyze({u"“Hello,” said Alice.", u"“Hi,” said Mary.", u"“Hey,” said Tom.", u"“Yo,” said Zork.",
                          u"“Ahoy,” said Jane."});
}

// The name hash the voice choice promises: Java's, over the name lower-cased.
int32_t javaHash(const std::string& ascii) {
    uint32_t h = 0;
    for (char c : ascii) h = h * 31u + static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
    return static_cast<int32_t>(h);
}

}  // namespace

TEST(CastVoices, EachSpeakerKeepsAVoiceOfItsOwn) {
    auto cast = book();
    const OptText narrator = u"f2";
    auto alice = cast->voiceFor(u"Alice", narrator, FEMALE_VOICES, MALE_VOICES);
    auto mary = cast->voiceFor(u"Mary", narrator, FEMALE_VOICES, MALE_VOICES);
    auto jane = cast->voiceFor(u"Jane", narrator, FEMALE_VOICES, MALE_VOICES);
    auto tom = cast->voiceFor(u"Tom", narrator, FEMALE_VOICES, MALE_VOICES);
    ASSERT_TRUE(alice && mary && jane && tom);
    // Female voices for women, male for men, never the narrator's while others remain.
    for (const auto& v : {*alice, *mary, *jane}) {
        EXPECT_NE(v, u"f2");
        EXPECT_EQ(v[0], u'f');
    }
    EXPECT_EQ((*tom)[0], u'm');
    EXPECT_NE(*alice, *mary);
    EXPECT_NE(*alice, *jane);
    EXPECT_NE(*mary, *jane);
    // The first choice is the hash's pick from the pool without the narrator.
    const std::vector<std::u16string> pool = {u"f1", u"f3", u"f4"};
    const int32_t h = javaHash("Alice");
    EXPECT_EQ(*alice, pool[static_cast<size_t>((h % 3 + 3) % 3)]);
    // Kept, whatever is passed later.
    EXPECT_EQ(cast->voiceFor(u"Alice", u"m9", {u"x"}, {u"y"}), alice);

    // Same requests in the same order, same voices.
    auto again = book();
    EXPECT_EQ(again->voiceFor(u"Alice", narrator, FEMALE_VOICES, MALE_VOICES), alice);
    EXPECT_EQ(again->voiceFor(u"Mary", narrator, FEMALE_VOICES, MALE_VOICES), mary);
}

TEST(CastVoices, SpecialSpeakersAndShortLists) {
    auto cast = book();
    EXPECT_FALSE(cast->voiceFor(std::nullopt, u"f1", FEMALE_VOICES, MALE_VOICES));
    EXPECT_EQ(cast->voiceFor(u"Narrator", u"f1", FEMALE_VOICES, MALE_VOICES), u"f1");
    EXPECT_FALSE(cast->voiceFor(u"Narrator", std::nullopt, FEMALE_VOICES, MALE_VOICES));

    // Only the narrator's voice among the female ones: shared.
    EXPECT_EQ(cast->voiceFor(u"Alice", u"f1", {u"f1"}, MALE_VOICES), u"f1");
    // All used up: Mary shares one too.
    EXPECT_EQ(cast->voiceFor(u"Mary", u"f1", {u"f1"}, MALE_VOICES), u"f1");

    // Unknown gender: either list, never the narrator's while others remain.
    auto zork = cast->voiceFor(u"Zork", u"m1", {}, {u"m1", u"m2"});
    EXPECT_EQ(zork, u"m2");

    // No voice at all: none given, none recorded.
    EXPECT_FALSE(cast->voiceFor(u"Tom", u"m1", {}, {}));
    EXPECT_FALSE(cast->voiceFor(u"Jane", std::nullopt, {}, {}));
    EXPECT_EQ(cast->voiceFor(u"Tom", u"m1", {}, {u"m1", u"m3"}), u"m3");
    // A man with no male voice passed borrows from the other list.
    auto fresh = book();
    EXPECT_EQ(fresh->voiceFor(u"Tom", std::nullopt, {u"f1"}, {}), u"f1");
}

TEST(CastVoices, NamesHashAlikeIgnoringCaseButAreDifferentSpeakers) {
    const std::vector<std::u16string> voices = {u"v1", u"v2", u"v3", u"v4", u"v5", u"v6", u"v7"};
    auto a = Cast::analyze({});
    auto b = Cast::analyze({});
    auto upper = a->voiceFor(u"ALICE", std::nullopt, voices, {});
    EXPECT_EQ(b->voiceFor(u"Alice", std::nullopt, voices, {}), upper);
    auto second = a->voiceFor(u"Alice", std::nullopt, voices, {});
    EXPECT_NE(second, upper);
    // Non-ASCII letters are lower-cased too.
    auto c = Cast::analyze({});
    auto d = Cast::analyze({});
    EXPECT_EQ(c->voiceFor(u"ÉLODIE", std::nullopt, voices, {}), d->voiceFor(u"élodie", std::nullopt, voices, {}));
}

TEST(CastVoices, ConcurrentRequestsGiveOneVoicePerSpeaker) {
    auto cast = Cast::analyze({});
    std::vector<std::u16string> voices;
    for (int i = 0; i < 30; i++) voices.push_back(u"v" + u16(std::to_string(i)));
    constexpr int kThreads = 6, kNames = 40;
    std::vector<std::vector<OptText>> got(kThreads, std::vector<OptText>(kNames));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kNames; i++) {
                int n = (i + t * 7) % kNames;
                got[t][n] = cast->voiceFor(u"Speaker " + u16(std::to_string(n)), u"v0", voices, {});
            }
        });
    for (auto& th : threads) th.join();
    for (int n = 0; n < kNames; n++)
        for (int t = 1; t < kThreads; t++) EXPECT_EQ(got[t][n], got[0][n]) << n;
}
