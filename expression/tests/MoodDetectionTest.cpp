#include "Expression.h"
#include "Regex.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tovan;
using namespace tovan::Expression;

namespace {

// What a detected mood must look like: either the constant itself (by
// identity) or a combination built from it.
struct Expect {
    MoodRef base;
    bool same = true;  // the very constant, not a combination
    std::u16string why = {};
    Pairs pairs = {};
};

Pairs with(MoodRef base, const Pairs& extra) {
    Pairs p = base->pairs();
    for (const auto& [k, v] : extra) {
        bool found = false;
        for (auto& [pk, pv] : p)
            if (pk == k) {
                pv += v;
                found = true;
            }
        if (!found) p.emplace_back(k, v);
    }
    return p;
}

} // namespace

TEST(MoodDetection, ChoosesByCuesTiesAndAdditions) {
    const Pairs caps{{u"loud", 0.6f}};
    const Pairs rise{{u"f0_end", 1.4f}};
    const Pairs both{{u"loud", 0.6f}, {u"f0_end", 1.4f}};
    struct Case {
        std::optional<std::u16string> text;
        Expect expect;
    };
    const Case cases[] = {
        {std::nullopt, {NEUTRAL(), true}},
        {u"", {NEUTRAL(), true}},
        {u"   ", {NEUTRAL(), true}},
        {u"I'm not worried", {NEUTRAL(), true}},
        {u"this isn't urgent", {NEUTRAL(), true}},
        {u"no emergency here", {NEUTRAL(), true}},
        {u"Worried!!", {WORRIED(), true}},  // the exclamation bonus ties; the earlier row wins
        {u"congrats!!", {EXCITED(), true}},
        {u"ugh!!", {ANNOYED(), true}},      // annoyed blocks the exclamation bonus
        {u"great!!", {EXCITED(), true}},
        {u"great! news!", {EXCITED(), true}},  // marks need not be adjacent
        {u"great!", {NEUTRAL(), true}},
        {u"so sorry, thank you", {SORRY(), true}},
        {u"sorry, thank you", {GRATEFUL(), true}},
        {u"haha lol", {AMUSED(), true}},
        {u"lol \U0001F622\U0001F622", {SAD(), true}},  // two emoji weigh 4 against one word
        {u"Funeral is Friday. HAHA lol lmao", {AMUSED(), true}},
        {u"Seriously?? I said so", {ANNOYED(), true}},
        {u"don't tell anyone", {SECRET(), true}},
        {u"\U0001F647 my mistake", {SORRY(), true}},
        {u"WHERE ARE YOU NOW", {EXCITED(), false, u"excited: livelier, faster; in capitals: louder", with(EXCITED(), caps)}},
        {u"WHERE ARE YOU?",
         {EXCITED(), false, u"excited: livelier, faster; in capitals: louder; question: rising end",
          with(EXCITED(), both)}},
        {u"UGH THIS IS BROKEN", {ANNOYED(), false, u"annoyed: firm; in capitals: louder", with(ANNOYED(), caps)}},
        {u"EMERGENCY, CALL ME NOW?",
         {URGENT(), false, u"urgent: faster, louder; in capitals: louder; question: rising end", with(URGENT(), both)}},
        {u"emergency, call me now?", {URGENT(), true}},  // urgent itself never gets the rising end
        {u"Are you ok?", {WORRIED(), false, u"worried: quicker, higher; question: rising end", with(WORRIED(), rise)}},
        {u"Dinner at 8?", {NEUTRAL(), false, u"question: rising end", rise}},
        {u"OK FINE", {NEUTRAL(), true}},      // 6 letters: never shouting
        {u"Hello WORLD", {NEUTRAL(), true}},  // 60 per cent capitals
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? u8(*c.text) : "<absent>");
        MoodRef m = of(c.text);
        if (c.expect.same) {
            EXPECT_EQ(m, c.expect.base) << "got " << u8(m->name) << " / " << u8(m->why);
            continue;
        }
        EXPECT_NE(m, c.expect.base);
        EXPECT_EQ(m->name, c.expect.base->name);
        EXPECT_EQ(m->tag, c.expect.base->tag);
        EXPECT_EQ(u8(m->why), u8(c.expect.why));
        EXPECT_EQ(m->pairs(), c.expect.pairs);
    }
}

TEST(MoodDetection, ShoutingCountsLettersOfTheBasicPlaneOnly) {
    struct Case {
        std::u16string text;
        bool shouting;
    };
    const Case cases[] = {
        {u"ABCDEFGH", true},
        {u"ABCDEFGh", true},           // 7 of 8
        {u"ABCDEFgh", false},          // 6 of 8
        {u"ABCDEFGHIJKLMNOPQRSt", true},  // 19 of 20 >= 80 per cent
        {u"ABCDEFGHijk", false},
        {u"ABCD 1234 !!!! EFGH", true},
        {u"\u00c9T\u00c9 \u00c0 PARIS", true},  // accented capitals count
        {u"\U0001D400\U0001D401\U0001D402\U0001D403\U0001D404\U0001D405\U0001D406\U0001D407", false},  // astral letters skipped
        {u"\u05d0\u05d1\u05d2\u05d3\u05d4\u05d5\u05d6\u05d7", false},  // letters without case
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.text));
        EXPECT_EQ(shouting(c.text), c.shouting);
    }
}

TEST(MoodDetection, QuestionIgnoresTrailingDecoration) {
    struct Case {
        std::u16string text;
        bool question;
    };
    const Case cases[] = {
        {u"Are you coming?", true},
        {u"Are you coming? \U0001F600", true},
        {u"Really?\U0001F44D\U0001F3FD\u200D \u2728\uFE0F  \n", true},
        {u"Are you coming?.", false},
        {u"?", true},
        {u"", false},
        {u"Coming", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.text));
        EXPECT_EQ(question(c.text), c.question);
    }
}

TEST(MoodDetection, QuestionAgreesWithTheTrailingDecorationPattern) {
    // The scan must give what deleting the pattern's match would give.
    const Regex& trailing = rx(u"[\\s\\p{So}\\p{Sk}\\uFE0F\\u200D]+$");
    const std::u16string tails[] = {u"",       u" ",        u"\u00a0",   u"\u0085",     u"\u2028",    u"\u3000",
                                    u"\u200b", u"\U0001F3FB", u"\u00b4",   u"\u02c2",     u"\uFE0E",    u"\uFE0F",
                                    u"\u200D", u"\u2764",     u"\U0001F600", u".",        u"\u0301",    u"\u200c",
                                    u"\U000E0067", u"\u20E3",  u"\u00a9",   u"\U0001F1EB", u"\u2060",    u"\u180e"};
    for (const auto& a : tails) {
        for (const auto& b : tails) {
            std::u16string text = u"ok?" + a + b;
            std::u16string viaPattern = trailing.replaceAll(jtrim(text), u"");
            bool expected = !viaPattern.empty() && viaPattern.back() == u'?';
            EXPECT_EQ(question(text), expected) << u8(text);
        }
    }
}

TEST(MoodDetection, EmojiOnlyAndTheirDescriptions) {
    struct Case {
        std::u16string text;
        bool only;
        std::optional<std::u16string> words;
    };
    const Case cases[] = {
        {u"", false, std::nullopt},
        {u"   ", false, std::nullopt},
        {u" \U0001F44D \U0001F44D ", true, u"a thumbs up"},
        {u"\U0001F44D\U0001F44D\U0001F44D", true, u"a thumbs up"},
        {u"1\uFE0F\u20E3", false, std::nullopt},  // the keycap's digit remains
        {u"hi \U0001F44D", false, std::nullopt},
        {u"\U0001F984", true, u"an emoji"},
        {u"\u2764\uFE0F", true, u"a heart"},
        {u"\u2764", true, u"a heart"},
        {u"\U0001F1EB\U0001F1F7", true, u"an emoji"},  // a flag: regional indicators
        {u"\U0001F60A\U0001F44D", true, u"a smile"},  // only the first emoji is described
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.text));
        EXPECT_EQ(emojiOnly(c.text), c.only);
        EXPECT_EQ(describeEmoji(c.text), c.words);
    }
}

TEST(MoodDetection, SpeakableChatText) {
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"lol u r so funny \U0001F602\U0001F602", u"you r so funny"},
        {u"idk, btw...", u"I don't know, by the way..."},
        {u"you and u2", u"you and u2"},
        {u"IDK if U can", u"I don't know if you can"},
        {u"sooooo gooood", u"soo good"},
        {u"hahaha LOL!", u"hahaha!"},
        {u"thx \U0001F64F ttyl", u"thanks talk to you later"},
        {u"u'll see", u"u'll see"},         // an apostrophe keeps it a word
        {u"gm_all gm", u"gm_all good morning"},
        {u"see you tmrw , ok ?", u"see you tomorrow, ok?"},
        {u"  ", u""},
        {u"a\U0001D400b", u"a b"},  // letters beyond the basic plane become blanks
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.in));
        EXPECT_EQ(u8(speakable(c.in)), u8(c.out));
    }
}

TEST(MoodDetection, SpeakableRemovesBlanksBeforeMarksLikeThePlainPattern) {
    const Regex& plain = rx(u"\\s+([,.!?])");
    const Regex& linear = rx(u"(?<!\\s)\\s++([,.!?])");
    const std::u16string atoms[] = {u" ", u"\t", u"\u00a0", u"a", u",", u"!", u"?", u".", u"x"};
    // Every text of up to five atoms.
    std::vector<std::u16string> texts{u""}, frontier{u""};
    for (int len = 1; len <= 5; ++len) {
        std::vector<std::u16string> next;
        for (const auto& t : frontier)
            for (const auto& a : atoms) next.push_back(t + a);
        texts.insert(texts.end(), next.begin(), next.end());
        frontier = std::move(next);
    }
    for (const auto& t : texts) ASSERT_EQ(linear.replaceAll(t, u"$1"), plain.replaceAll(t, u"$1")) << u8(t);
}

TEST(MoodDetection, BmpAndDescribe) {
    EXPECT_EQ(bmp(u"a\U0001F600b"), u"a b");
    EXPECT_EQ(bmp(u"plain \u00e9 text"), u"plain \u00e9 text");
    EXPECT_EQ(bmp(u""), u"");
    EXPECT_EQ(bmp(std::u16string(u"x") + char16_t(0xD800) + u"y"), u"x\uFFFDy");
    EXPECT_EQ(describe(*NEUTRAL()), u"");
    EXPECT_EQ(describe(*SAD()), u"sad news: slower, lower");
    EXPECT_EQ(describe(Mood(u"x", std::nullopt, u"Only Words")), u"");
    EXPECT_EQ(describe(Mood(u"x", u"whisper", u"Quiet: SOFT")), u"quiet: soft");
}

TEST(MoodDetection, FirstUseFromManyThreadsAgrees) {
    const std::u16string texts[] = {u"so sorry, thank you", u"WHERE ARE YOU?", u"lol \U0001F622\U0001F622",
                                    u"Are you ok?"};
    std::vector<std::vector<std::u16string>> seen(12);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            for (const auto& text : texts) {
                MoodRef m = of(text);
                seen[t].push_back(m->name + u"|" + m->why + u"|" + speakable(text));
            }
        });
    }
    for (auto& th : threads) th.join();
    for (const auto& s : seen) EXPECT_EQ(s, seen[0]);
    EXPECT_EQ(u8(seen[0][0]), "sorry|an apology: gentle|so sorry, thank you");
}
