#include "Digest.h"

#include "AtomicFile.h"
#include "Regex.h"
#include "Voices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace tovan;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kHour = 60 * 60 * 1000;

class DigestTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "digest-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    Digest::Clock clock() {
        return [this] { return now; };
    }
    fs::path file() const { return dir / "kept.keys"; }
    std::string kept() const {
        std::string bytes;
        AtomicFile::read(file(), bytes);
        return bytes;
    }
    void writeKept(const std::string& bytes) const { ASSERT_TRUE(AtomicFile::write(file(), bytes)); }

    fs::path dir;
    int64_t now = 1'700'000'000'000;
};

struct Want {
    std::u16string text;
    Expression::MoodRef mood;  // null: do not check
    int pause;
};

void expectParts(const Speech& s, const std::vector<Want>& want) {
    ASSERT_EQ(s.parts.size(), want.size()) << u8(s.text());
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(s.parts[i].text, want[i].text) << i;
        if (want[i].mood) {
            EXPECT_EQ(s.parts[i].mood, want[i].mood) << i;
        }
        EXPECT_EQ(s.parts[i].pauseAfterMs, want[i].pause) << i;
    }
}

}  // namespace

TEST_F(DigestTest, EmptyDigestIsCaughtUpAndKeepsItsKeys) {
    const std::string line = "old\t" + std::to_string(now - kHour) + "\n";
    writeKept(line);
    Digest d(dir, clock());
    Speech s = d.take(false, std::nullopt);
    expectParts(s, {{u"You're all caught up. No new messages.", Expression::NEUTRAL(), 0}});
    EXPECT_EQ(d.savedKeys(), (std::set<std::u16string>{u"old"}));
    EXPECT_EQ(kept(), line);
}

TEST_F(DigestTest, OneMessageIsSummedUpAndForgotten) {
    Digest d(dir, clock());
    d.add(u"k1", u"Ann", u"Chat", u"see you at noon");
    EXPECT_EQ(kept(), "k1\t" + std::to_string(now) + "\n");
    Speech s = d.take(false, std::nullopt);
    expectParts(s, {{u"You have one new message, from Ann.", Expression::CONFIDENT(), 350},
                    {u"From Ann.", Expression::NEUTRAL(), 150},
                    {u"see you at noon.", nullptr, 400}});
    EXPECT_EQ(s.parts[2].mood->name, Expression::of(u"see you at noon.")->name);
    EXPECT_EQ(d.size(), 0);
    EXPECT_TRUE(d.savedKeys().empty());
    EXPECT_EQ(kept(), "");
}

TEST_F(DigestTest, ASenderWithManyMessagesGetsTheLatestThree) {
    Digest d(dir, clock());
    for (int i = 1; i <= 5; i++) d.add(u"k" + u16(std::to_string(i)), u"Ann", u"Chat", u"note " + u16(std::to_string(i)));
    Speech s = d.take(false, std::nullopt);
    expectParts(s, {{u"You have 5 new messages, from Ann.", Expression::CONFIDENT(), 350},
                    {u"The latest from Ann.", Expression::NEUTRAL(), 150},
                    {u"note 3. note 4. note 5.", nullptr, 400}});
}

TEST_F(DigestTest, CountSentenceNamesAndOverflow) {
    struct Case {
        int senders;
        std::u16string count;
        int sections;
        std::u16string last;  // last part, "" when it is a sender's body
    };
    const std::u16string all[] = {u"Ann", u"Bob", u"Cy", u"Dee", u"Eve", u"Fay", u"Gus", u"Hal"};
    const Case cases[] = {
        {2, u"You have 2 new messages, from Ann and Bob.", 2, u""},
        {3, u"You have 3 new messages, from Ann, Bob and Cy.", 3, u""},
        {4, u"You have 4 new messages, from Ann, Bob and 2 others.", 4, u""},
        {7, u"You have 7 new messages, from Ann, Bob and 5 others.", 6, u"And more from 1 others."},
        {8, u"You have 8 new messages, from Ann, Bob and 6 others.", 6, u"And more from 2 others."},
    };
    for (const Case& c : cases) {
        Digest d(std::nullopt, clock());
        for (int i = 0; i < c.senders; i++) d.add(u"k" + all[i], all[i], u"Chat", u"hello");
        Speech s = d.take(false, std::nullopt);
        const size_t expected = 1 + 2 * c.sections + (c.last.empty() ? 0 : 1);
        ASSERT_EQ(s.parts.size(), expected) << c.senders;
        EXPECT_EQ(s.parts[0].text, c.count);
        EXPECT_EQ(s.parts[1].text, u"From Ann.");
        EXPECT_EQ(s.parts[2 * c.sections - 1].text, u"From " + all[c.sections - 1] + u".");
        if (!c.last.empty()) {
            EXPECT_EQ(s.parts.back().text, c.last);
            EXPECT_EQ(s.parts.back().pauseAfterMs, 0);
        }
    }
    EXPECT_EQ(Digest::names({u"Ann"}), u"Ann");
    EXPECT_EQ(Digest::names({}), u"");
}

TEST_F(DigestTest, BodiesEndInOneStopAndSkipEmptyWords) {
    Digest d(std::nullopt, clock());
    d.add(u"a", u"Ann", u"Chat", u"are you there?");
    d.add(u"b", u"Ann", u"Chat", u"\U0001F600");  // nothing speakable
    d.add(u"c", u"Ann", u"Chat", u"call me!");
    Speech s = d.take(false, std::nullopt);
    ASSERT_EQ(s.parts.size(), 3u);
    // The empty message still leaves its separating blank.
    EXPECT_EQ(s.parts[2].text, u"are you there?  call me!");
}

TEST_F(DigestTest, VoicesOnlyOnBodies) {
    for (bool voices : {false, true}) {
        Digest d(std::nullopt, clock());
        d.add(u"a", u"Ann", u"Chat", u"hi");
        d.add(u"b", u"Bob", u"Chat", u"yo");
        Speech s = d.take(voices, u"voice_1688");
        ASSERT_EQ(s.parts.size(), 5u);
        for (size_t i : {0u, 1u, 3u}) EXPECT_FALSE(s.parts[i].voice) << i;
        if (voices) {
            EXPECT_EQ(s.parts[2].voice, Voices::forPerson(u"Ann", u"voice_1688"));
            EXPECT_EQ(s.parts[4].voice, Voices::forPerson(u"Bob", u"voice_1688"));
        } else {
            EXPECT_FALSE(s.parts[2].voice);
            EXPECT_FALSE(s.parts[4].voice);
        }
    }
}

TEST_F(DigestTest, CapDropsOldestButKeepsKeys) {
    Digest d(dir, clock());
    for (int i = 0; i < 41; i++) {
        now += 1;
        d.add(u"k" + u16(std::to_string(i)), u"P" + u16(std::to_string(i)), u"Chat", u"m");
    }
    EXPECT_EQ(d.size(), 40);
    EXPECT_EQ(d.savedKeys().size(), 41u);
    EXPECT_TRUE(d.savedKeys().count(u"k0"));
    Speech s = d.take(false, std::nullopt);
    EXPECT_EQ(s.parts[1].text, u"From P1.");
}

TEST_F(DigestTest, AddingAKeptKeyAgainKeepsItsFirstTime) {
    Digest d(dir, clock());
    d.add(u"k", u"Ann", u"Chat", u"one");
    const std::string first = kept();
    now += 5000;
    d.add(u"k", u"Ann", u"Chat", u"two");
    EXPECT_EQ(kept(), first);
    EXPECT_EQ(d.size(), 2);
}

TEST_F(DigestTest, RestorePutsBackOnlyKeptMessagesOnce) {
    writeKept("k\t" + std::to_string(now - kHour) + "\n");
    Digest d(dir, clock());
    d.restore(u"other", u"Ann", u"Chat", u"not kept");
    EXPECT_EQ(d.size(), 0);
    d.restore(u"k", u"Ann", u"Chat", u"back");
    d.restore(u"k", u"Ann", u"Chat", u"back");
    EXPECT_EQ(d.size(), 1);
    // It carries the kept time: it leaves with the window like any other.
    now += 11 * kHour + 1;
    EXPECT_EQ(d.size(), 0);
    EXPECT_TRUE(d.savedKeys().empty());
    EXPECT_EQ(kept(), "");
}

TEST_F(DigestTest, ReadsKeptKeysLineByLine) {
    writeKept("a\tb\t17\n"
              "x\t\n"
              "\t5\n"
              "x\t1.5\n"
              "x 5\n"
              "y\t-3\n"
              "z\t+4\n"
              "dup\t1\n"
              "dup\t2\n"
              "big\t9223372036854775807\n"
              "over\t9223372036854775808\n"
              "min\t-9223372036854775808\n"
              "sign\t-\n"
              "cr\t6\r\n"
              "last\t8");
    Digest d(dir, clock());
    EXPECT_EQ(d.savedKeys(),
              (std::set<std::u16string>{u"a\tb", u"y", u"z", u"dup", u"big", u"min", u"last"}));
    // The times are the ones read: a removal rewrites the file with them.
    d.removeKey(u"y");
    std::string bytes = kept();
    EXPECT_NE(bytes.find("a\tb\t17\n"), std::string::npos);
    EXPECT_NE(bytes.find("dup\t2\n"), std::string::npos);
    EXPECT_NE(bytes.find("z\t4\n"), std::string::npos);
    EXPECT_NE(bytes.find("min\t-9223372036854775808\n"), std::string::npos);
    EXPECT_EQ(bytes.find("y\t"), std::string::npos);
}

TEST_F(DigestTest, WindowEdgeIsInclusive) {
    Digest d(dir, clock());
    d.add(u"old", u"Ann", u"Chat", u"a");
    now += 1;
    d.add(u"new", u"Bob", u"Chat", u"b");
    now += Digest::WINDOW_MS;  // "old" is one millisecond past the window, "new" right on it
    EXPECT_EQ(d.size(), 1);
    EXPECT_EQ(d.savedKeys(), (std::set<std::u16string>{u"new"}));
    EXPECT_EQ(kept(), "new\t" + std::to_string(now - Digest::WINDOW_MS) + "\n");
}

TEST_F(DigestTest, ForgetRemoveAndClear) {
    Digest d(dir, clock());
    d.add(u"a", u"Ann", u"Chat", u"1");
    d.add(u"b", u"Bob", u"Chat", u"2");
    d.forgetExcept({u"b", u"zzz"});
    EXPECT_EQ(d.savedKeys(), (std::set<std::u16string>{u"b"}));
    EXPECT_EQ(d.size(), 2);  // messages stay
    d.forgetExcept({});
    EXPECT_TRUE(d.savedKeys().empty());
    EXPECT_EQ(kept(), "");

    // Removing a key that is not kept takes its messages and leaves the file.
    writeKept("hand\t1\n");
    d.removeKey(u"a");
    EXPECT_EQ(d.size(), 1);
    EXPECT_EQ(kept(), "hand\t1\n");

    d.add(u"c", u"Cy", u"Chat", u"3");
    d.clear();
    EXPECT_EQ(d.size(), 0);
    EXPECT_TRUE(d.savedKeys().empty());
    EXPECT_EQ(kept(), "");
}

TEST_F(DigestTest, KeysThatCannotBeWrittenStayInMemoryOnly) {
    {
        Digest d(dir, clock());
        d.add(u"plain", u"Ann", u"Chat", u"1");
        d.add(u"two\nlines\t99", u"Bob", u"Chat", u"2");  // would forge a line "lines\t99"
        d.add(u"tab\tinside", u"Cy", u"Chat", u"3");
        d.add(std::u16string(u"half\xD800") , u"Dee", u"Chat", u"4");
        EXPECT_EQ(d.savedKeys().size(), 4u);
        EXPECT_TRUE(d.savedKeys().count(u"two\nlines\t99"));
    }
    Digest reopened(dir, clock());
    EXPECT_EQ(reopened.savedKeys(), (std::set<std::u16string>{u"plain", u"tab\tinside"}));
    // Nothing but the file itself in the folder: no temporary left behind.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        (void)e;
        entries++;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(DigestTest, MakesTheFolderAndToleratesFailures) {
    fs::path nested = dir / "a" / "b";
    Digest d(nested, clock());
    d.add(u"k", u"Ann", u"Chat", u"1");
    EXPECT_TRUE(fs::exists(nested / "kept.keys"));

    // A folder that cannot hold the file: the digest goes on in memory.
    fs::path blocked = dir / "blocked";
    { std::ofstream(blocked) << "a file, not a folder"; }
    Digest e(blocked, clock());
    e.add(u"k", u"Ann", u"Chat", u"1");
    EXPECT_EQ(e.size(), 1);
    EXPECT_EQ(e.savedKeys().size(), 1u);
}

TEST_F(DigestTest, WithoutAFolderNothingTouchesTheDisk) {
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    {
        Digest d(std::nullopt, clock());
        d.add(u"k", u"Ann", u"Chat", u"1");
        d.forgetExcept({});
        d.clear();
        d.take(true, std::nullopt);
    }
    fs::current_path(cwd);
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(DigestTest, ManyThreadsAtOnceLoseNothing) {
    // Four senders' messages arrive on threads of their own while another
    // thread reads the digest and keeps adding and forgetting a key of its
    // own (all within the cap). Nothing may be lost, from memory or from
    // kept.keys.
    std::atomic<int64_t> t{now};
    for (int round = 0; round < 4; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove(file());
        Digest d(dir, [&t] { return t.fetch_add(1); });
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int s = 0; s < 4; s++)
            threads.emplace_back([&, s] {
                while (!go) {
                }
                for (int i = 0; i < 9; i++)
                    d.add(u"k" + u16(std::to_string(s * 9 + i)), u"Sender " + u16(std::to_string(s)), u"Chat",
                          u"message " + u16(std::to_string(i)));
            });
        threads.emplace_back([&] {
            while (!go) {
            }
            for (int i = 0; i < 10; i++) {
                d.add(u"passing", u"Passer", u"Chat", u"gone soon");
                EXPECT_LE(d.size(), int(Digest::CAP));
                d.savedKeys();
                d.removeKey(u"passing");
            }
        });
        go = true;
        for (auto& th : threads) th.join();
        std::set<std::u16string> want;
        for (int k = 0; k < 36; k++) want.insert(u"k" + u16(std::to_string(k)));
        EXPECT_EQ(d.size(), 36);
        EXPECT_EQ(d.savedKeys(), want);
        // The file holds every kept key once, each on a whole line.
        std::set<std::u16string> onDisk;
        std::string bytes = kept();
        size_t lines = 0;
        for (size_t at = 0; at < bytes.size();) {
            const size_t nl = bytes.find('\n', at);
            ASSERT_NE(nl, std::string::npos) << "a line without its end";
            const std::string line = bytes.substr(at, nl - at);
            ASSERT_NE(line.find('\t'), std::string::npos) << line;
            onDisk.insert(u16(line.substr(0, line.find('\t'))));
            lines++;
            at = nl + 1;
        }
        EXPECT_EQ(onDisk, want);
        EXPECT_EQ(lines, want.size());
        // A fresh digest reads back the same keys.
        Digest again(dir, [&t] { return t.load(); });
        EXPECT_EQ(again.savedKeys(), want);
        if (HasFailure()) break;
    }
}
