// The reading controller inside a real AppModel: the fake engine on the
// engine thread, the sentence player on the virtual output and clock, the
// library in a temporary folder and the settings in memory.
#include "Narrator.h"

#include "AppModel.h"
#include "CoreTestUtil.h"
#include "SettingsStore.h"
#include "RenderLoop.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace tovan;

namespace {

struct NarratorTest : ::testing::Test {
    TestDir tmp;
    VirtualClock clock;
    FakeEngine fake;
    std::shared_ptr<MemorySettingsStore> defaults = std::make_shared<MemorySettingsStore>();
    std::unique_ptr<AppModel> app;
    Narrator* n = nullptr;
    int nowPlaying = 0;

    void SetUp() override { make(); }
    void TearDown() override {
        app.reset();
        FakeEngine::next = nullptr;
    }

    void make() {
        app.reset();
        FakeEngine::next = &fake;
        std::filesystem::create_directories(tmp.path / "model");
        spit(tmp.path / "model" / "voices.json",
             R"({"voices":[{"name":"voice_1688","gender":"female"},{"name":"voice_2500","gender":"male"}]})");
        app = std::make_unique<AppModel>(coretest::virtualModel(tmp.path, clock, defaults));
        n = app->narrator;
        ASSERT_TRUE(n);
        QObject::connect(n, &Narrator::nowPlayingChanged, [this] { nowPlaying++; });
    }

    // Lets the engine thread finish and the main thread take what it sent.
    void settle() {
        app->syncEngine();
        clock.run();
    }
    // Plays what is queued, step by step, until nothing is left to happen.
    void hearAll() {
        for (int i = 0; i < 10000; i++) {
            settle();
            if (clock.nextTimer() < 0) {
                app->syncEngine();
                if (clock.run() == 0 && clock.nextTimer() < 0) return;
                continue;
            }
            clock.advance(clock.nextTimer() - clock.now());
        }
        FAIL() << "reading never came to rest";
    }
    // A document stored in the library, with a given time of adding.
    std::shared_ptr<Doc> stored(std::vector<std::u16string> paragraphs, std::u16string kind = u"epub",
                                int64_t added = 1000) {
        auto d = std::make_shared<Doc>(u"Doc", std::nullopt, kind, std::nullopt, std::move(paragraphs), added);
        return app->library.saveOrExisting(d);
    }
    int64_t savedPos(const Doc& d) {
        for (const auto& row : app->library.docs())
            if (row.id == d.id) return row.pos;
        return -1;
    }
};

const std::vector<std::u16string> SIX = {u"One is here. Two is here. Three is here.", u"Four is here. Five is here.",
                                         u"Six is here."};

}  // namespace

TEST_F(NarratorTest, ReadsEverySentenceThenFinishesTheDocument) {
    auto d = stored({u"One is here. Two is here.", u"Three is here."});
    std::vector<int64_t> heard;
    QObject::connect(n, &Narrator::heardChanged, [&] { heard.push_back(n->heard()); });
    n->play(d);
    EXPECT_TRUE(n->playing());
    EXPECT_TRUE(n->preparing());
    EXPECT_GT(d->opened, 1000);
    hearAll();
    EXPECT_EQ(fake.calls.size(), 3u);
    EXPECT_EQ(heard, (std::vector<int64_t>{0, 0, 1, 2})) << "play sets 0, then each mark";
    EXPECT_FALSE(n->playing());
    EXPECT_FALSE(n->preparing());
    EXPECT_TRUE(d->done);
    EXPECT_EQ(d->pos, 0);
    EXPECT_EQ(n->heard(), 2) << "the highlight stays on the last sentence";
    auto reloaded = Doc::load(d->id, app->library.dir);
    ASSERT_TRUE(reloaded);
    EXPECT_TRUE(reloaded->done);
}

TEST_F(NarratorTest, StartIndexComesFromTheArgumentOrTheSavedPosition) {
    struct Case {
        const char* name;
        int64_t pos;
        bool done;
        std::optional<int64_t> from;
        int64_t start;
    } cases[] = {
        {"saved position", 4, false, std::nullopt, 4},
        {"done starts over", 4, true, std::nullopt, 0},
        {"beyond the end", 0, false, 99, 5},
        {"negative", 3, false, -7, 0},
        {"saved beyond the end", 40, false, std::nullopt, 5},
    };
    for (const Case& c : cases) {
        auto d = stored(SIX);
        d->pos = c.pos;
        d->done = c.done;
        n->play(d, c.from);
        EXPECT_EQ(n->heard(), c.start) << c.name;
        n->pause();
    }
}

TEST_F(NarratorTest, SwitchingDocumentsSavesThePreviousPosition) {
    auto a = stored(SIX);
    auto b = stored({u"Other text here."}, u"epub", 2000);
    n->play(a, 3);
    n->play(a, 1);
    EXPECT_EQ(a->pos, 0) << "the current document itself is not saved first";
    n->play(b);
    EXPECT_EQ(a->pos, 1);
    EXPECT_EQ(savedPos(*a), 1);
}

TEST_F(NarratorTest, PauseStopsTheLoopAndSavesThePosition) {
    auto d = stored(SIX);
    n->play(d, 2);
    n->pause();
    const size_t calls = fake.calls.size();
    hearAll();
    EXPECT_FALSE(n->playing());
    EXPECT_FALSE(n->preparing());
    EXPECT_EQ(d->pos, 2);
    EXPECT_FALSE(d->done);
    EXPECT_EQ(fake.calls.size(), calls) << "nothing synthesized after the pause was taken";
    EXPECT_LE(fake.calls.size(), 4u);
}

TEST_F(NarratorTest, SeekWhilePausedMovesWithoutSynthesis) {
    auto d = stored(SIX);
    n->play(d);
    n->pause();
    settle();
    fake.calls.clear();
    const int before = nowPlaying;
    n->seek(4);
    EXPECT_EQ(n->heard(), 4);
    EXPECT_EQ(d->pos, 4);
    EXPECT_EQ(savedPos(*d), 4);
    EXPECT_GT(nowPlaying, before);
    n->seek(100);
    EXPECT_EQ(n->heard(), 5);
    n->seek(-3);
    EXPECT_EQ(n->heard(), 0);
    settle();
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(NarratorTest, SeekWhilePlayingRendersFromThere) {
    auto d = stored(SIX);
    n->play(d);
    n->seek(4);
    hearAll();
    // The first loop may have rendered a sentence or more before it saw the
    // seek; the last calls are sentences 4 and 5.
    ASSERT_GE(fake.calls.size(), 2u);
    EXPECT_EQ(fake.calls[fake.calls.size() - 2].text, "Five is here.");
    EXPECT_EQ(fake.calls.back().text, "Six is here.");
    EXPECT_TRUE(d->done);
}

TEST_F(NarratorTest, ParagraphSkips) {
    // Paragraphs: 0 1 2 | 3 4 | 5
    auto d = stored(SIX);
    ASSERT_EQ(d->paraOf, (std::vector<int64_t>{0, 0, 0, 1, 1, 2}));
    struct Case {
        int64_t from;
        int64_t next, previous;
    } cases[] = {{0, 3, 0}, {1, 3, 0}, {3, 5, 0}, {4, 5, 3}, {5, 5, 3}};
    n->play(d);
    n->pause();
    for (const Case& c : cases) {
        n->seek(c.from);
        n->nextParagraph();
        EXPECT_EQ(n->heard(), c.next) << "next from " << c.from;
        n->seek(c.from);
        n->previousParagraph();
        EXPECT_EQ(n->heard(), c.previous) << "previous from " << c.from;
    }
}

TEST_F(NarratorTest, WithoutADocumentCommandsDoNothing) {
    n->seek(3);
    n->nextParagraph();
    n->previousParagraph();
    n->renderFrom(0);
    n->toggle();  // the library is empty too
    settle();
    EXPECT_FALSE(n->doc());
    EXPECT_FALSE(n->playing());
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(n->progress(), 0);
    EXPECT_EQ(n->secondsLeft(), 0);
}

TEST_F(NarratorTest, AutoNextOffStopsOnTheFinishedDocument) {
    defaults->setBool(Narrator::AUTO_NEXT_KEY, false);
    auto next = stored({u"Waiting here."}, u"epub", 5000);
    auto d = stored({u"Only one."});
    n->play(d);
    hearAll();
    EXPECT_EQ(n->doc(), d);
    EXPECT_FALSE(n->playing());
    EXPECT_TRUE(d->done);
    EXPECT_EQ(d->pos, 0);
}

TEST_F(NarratorTest, AutoNextTakesTheFirstUnfinishedRowThatIsNotText) {
    defaults->setString(Narrator::AUTO_NEXT_KEY, u"no");  // not a boolean: absent, so on
    auto pasted = stored({u"Pasted words."}, u"text", 5000);
    auto finished = stored({u"Read before."}, u"epub", 4000);
    finished->done = true;
    app->library.save(*finished);
    auto third = stored({u"Third one."}, u"html", 3000);
    auto fourth = stored({u"Fourth one."}, u"epub", 2000);
    auto d = stored({u"Only one."}, u"epub", 1000);
    ASSERT_EQ(app->library.docs().size(), 5u);
    ASSERT_EQ(app->library.docs()[2].id, third->id);

    n->play(d);
    for (int i = 0; i < 50 && n->doc() == d; i++) {
        settle();
        if (clock.nextTimer() >= 0) clock.advance(clock.nextTimer() - clock.now());
    }
    EXPECT_EQ(n->doc(), third);
    EXPECT_TRUE(n->playing());
    EXPECT_TRUE(d->done);
    n->pause();
}

TEST_F(NarratorTest, AfterTheEndToggleAndPlayBothStartOverFromTheTop) {
    defaults->setBool(Narrator::AUTO_NEXT_KEY, false);
    auto d = stored(SIX);
    for (bool byToggle : {true, false}) {
        n->play(d, 0);
        hearAll();
        ASSERT_TRUE(d->done);
        EXPECT_EQ(n->heard(), 5) << "the highlight rests on the last sentence";
        fake.calls.clear();
        if (byToggle)
            n->toggle();
        else
            n->play(d);
        EXPECT_TRUE(n->playing());
        EXPECT_EQ(n->heard(), 0) << byToggle;
        settle();
        ASSERT_FALSE(fake.calls.empty());
        EXPECT_EQ(fake.calls[0].text, "One is here.") << byToggle;
        n->pause();
    }
}

// Moving on to another document must not write the finished one back as
// "stopped at its last sentence".
TEST_F(NarratorTest, AFinishedDocumentStaysFinishedWhenTheNextStarts) {
    struct Case {
        const char* name;
        bool autoNext;
    } cases[] = {{"auto-advance", true}, {"the user plays another", false}};
    for (const Case& c : cases) {
        defaults->setBool(Narrator::AUTO_NEXT_KEY, c.autoNext);
        auto next = stored({u"Waiting here."}, u"epub", 5000);
        auto d = stored(SIX, u"epub", 1000);
        d->done = false;
        n->play(d, 0);
        hearAll();
        ASSERT_TRUE(d->done) << c.name;
        if (!c.autoNext) n->play(next);
        ASSERT_EQ(n->doc(), next) << c.name;
        n->pause();
        EXPECT_TRUE(d->done) << c.name;
        EXPECT_EQ(d->pos, 0) << c.name;
        for (const auto& row : app->library.docs())
            if (row.id == d->id) {
                EXPECT_TRUE(row.done) << c.name;
                EXPECT_EQ(row.pos, 0) << c.name;
                EXPECT_FLOAT_EQ(row.progress(), 1.0f) << c.name;
            }
        auto reloaded = Doc::load(d->id, app->library.dir);
        ASSERT_TRUE(reloaded);
        EXPECT_TRUE(reloaded->done) << c.name;
        n->setDoc(nullptr);
        app->library.remove(next->id);
        app->library.remove(d->id);
    }
}

TEST_F(NarratorTest, ToggleWithoutADocumentPlaysTheFirstRow) {
    auto older = stored({u"Old text."}, u"epub", 1000);
    auto newer = stored({u"New text."}, u"epub", 2000);
    n->toggle();
    EXPECT_EQ(n->doc() ? n->doc()->id : u"", newer->id);
    EXPECT_TRUE(n->playing());
    n->toggle();
    EXPECT_FALSE(n->playing());
}

TEST_F(NarratorTest, PositionIsSavedOnEveryFifthSentence) {
    std::vector<std::u16string> paras;
    for (int i = 0; i < 12; i++) paras.push_back(u"Sentence number " + std::u16string(1, char16_t(u'a' + i)) + u".");
    auto d = stored(paras);
    std::vector<int64_t> saved;
    // Each save writes the row of the list; watch the position it carries.
    QObject::connect(&app->library, &Library::docsChanged, [&] { saved.push_back(savedPos(*d)); });
    n->play(d, 1);
    saved.clear();
    hearAll();
    std::vector<int64_t> marks(saved.begin(), saved.end() - 1);  // the last save is the end (position 0)
    EXPECT_EQ(marks, (std::vector<int64_t>{5, 10}));
    EXPECT_EQ(saved.back(), 0);
}

TEST_F(NarratorTest, SleepTimerPausesOnceItsMinutesArePast) {
    // An engine that gives no audio keeps the reader reading (waiting for
    // audio) for as long as the test likes.
    app->onEngine([](Engine& e) { e.cancel(); });
    auto d = stored(SIX);
    n->play(d);
    settle();
    ASSERT_TRUE(n->playing());

    const QDateTime before = QDateTime::currentDateTime();
    n->sleep(2);
    ASSERT_TRUE(n->sleepAt());
    EXPECT_GE(before.secsTo(*n->sleepAt()), 119);
    EXPECT_LE(before.secsTo(*n->sleepAt()), 121);
    n->sleep(1);  // replaces the two-minute timer
    clock.advance(59.5);
    EXPECT_TRUE(n->playing());
    EXPECT_TRUE(n->sleepAt());
    clock.advance(1);
    EXPECT_FALSE(n->playing());
    EXPECT_FALSE(n->sleepAt());
    EXPECT_EQ(d->pos, 0) << "the pause saved the position";

    n->toggle();
    clock.advance(120);
    EXPECT_TRUE(n->playing()) << "the replaced two-minute timer never fires";
    n->pause();
}

TEST_F(NarratorTest, SleepZeroOrNoneOnlyCancels) {
    app->onEngine([](Engine& e) { e.cancel(); });
    n->play(stored(SIX));
    for (std::optional<int64_t> cancel : {std::optional<int64_t>(0), std::optional<int64_t>()}) {
        n->sleep(1);
        n->sleep(cancel);
        EXPECT_FALSE(n->sleepAt());
        clock.advance(61);
        EXPECT_TRUE(n->playing());
    }
    EXPECT_EQ(clock.nextTimer(), -1);
    n->pause();
}

TEST_F(NarratorTest, SettingsAreReadStoredAndHeardAtOnce) {
    defaults->setDouble("speed", 1.5);
    defaults->setString("natural", u"yes");  // wrong type: default
    defaults->setDouble("expressiveness", 0.25);
    defaults->setBool("dialogueVoice", true);
    make();
    EXPECT_FLOAT_EQ(n->speed(), 1.5f);
    EXPECT_TRUE(n->natural());
    EXPECT_FLOAT_EQ(n->expressiveness(), 0.25f);
    EXPECT_TRUE(n->dialogueVoice());

    auto d = stored(SIX);
    // Paused: stored, nothing synthesized.
    n->setSpeed(1.25f);
    n->setNatural(false);
    n->setDialogueVoice(false);
    n->setExpressiveness(0.5f);
    n->setSpeed(std::nanf(""));  // refused
    settle();
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(defaults->getDouble("speed"), 1.25);
    EXPECT_EQ(defaults->getBool("natural"), false);
    EXPECT_EQ(defaults->getBool("dialogueVoice"), false);
    EXPECT_EQ(defaults->getDouble("expressiveness"), 0.5);
    EXPECT_FLOAT_EQ(n->speed(), 1.25f);

    // Playing: the new speed reaches the engine from the heard sentence on.
    n->play(d, 3);
    settle();
    n->setSpeed(2.0f);
    hearAll();
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_FLOAT_EQ(fake.calls.back().pace, 2.0f * app->style().pace);
    EXPECT_EQ(fake.calls.back().text, "Six is here.");
}

TEST_F(NarratorTest, RenderFailurePausesWithTheEnginesWords) {
    auto d = stored(SIX);
    fake.failWith = "synthesis: the voice broke";
    n->play(d);
    settle();
    EXPECT_FALSE(n->playing());
    ASSERT_TRUE(n->problem());
    EXPECT_EQ(*n->problem(), QStringLiteral("The voice could not read this: synthesis: the voice broke"));
    n->toggle();
    EXPECT_FALSE(n->problem()) << "starting again clears the problem";
    n->pause();
}

TEST_F(NarratorTest, FailureOfAReplacedLoopIsIgnored) {
    auto d = stored(SIX);
    fake.failWith = "synthesis: stale";
    n->play(d);
    app->syncEngine();  // the failure is on its way to the main thread
    fake.failWith.reset();
    n->seek(2);  // a new generation starts before the failure arrives
    settle();
    EXPECT_TRUE(n->playing());
    EXPECT_FALSE(n->problem());
    n->pause();
}

TEST_F(NarratorTest, RestoreLastShowsTheLastOpenedWithoutPlaying) {
    auto untouched = stored({u"Never opened."}, u"epub", 9000);
    auto opened = stored(SIX, u"epub", 1000);
    opened->pos = 4;
    app->library.save(*opened);
    make();  // a new start
    n->restoreLast();
    ASSERT_TRUE(n->doc());
    EXPECT_EQ(n->doc()->id, opened->id);
    EXPECT_EQ(n->heard(), 4);
    EXPECT_FALSE(n->playing());
    settle();
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(NarratorTest, ClearingTheDocumentStopsWithoutWritingItBack) {
    auto d = stored(SIX);
    n->play(d, 2);
    app->library.remove(d->id);
    n->setDoc(nullptr);
    hearAll();
    EXPECT_FALSE(n->playing());
    EXPECT_FALSE(std::filesystem::exists(app->library.dir / (std::string(d->id.begin(), d->id.end()) + ".pos")));
}

TEST_F(NarratorTest, ProgressAndSecondsLeft) {
    // Grapheme clusters: an emoji and a letter with a combining accent count
    // one each.
    auto d = stored({u"Ab cd.", u"E\u0301f \U0001F600."});
    ASSERT_EQ(d->sentences.size(), 2u);
    n->play(d, 1);
    n->pause();
    EXPECT_DOUBLE_EQ(n->progress(), 1.0);
    const float pace = app->style().pace;
    EXPECT_NEAR(n->secondsLeft(), 5.0 / 15.0 / double(std::max(1.0f * pace, 0.5f)), 1e-9);
    n->setSpeed(0.2f);
    EXPECT_NEAR(n->secondsLeft(), 5.0 / 15.0 / 0.5, 1e-9) << "the rate is floored at 0.5";
    n->seek(0);
    EXPECT_DOUBLE_EQ(n->progress(), 0.0);
    EXPECT_NEAR(n->secondsLeft(), 11.0 / 15.0 / 0.5, 1e-9);

    auto one = stored({u"Alone."});
    n->play(one);
    n->pause();
    EXPECT_EQ(n->progress(), 0);
}

// The first sentence fills the player beyond what the loop keeps ahead, so
// the loop waits for room the virtual output never makes. Ending the model
// must still return: a hang here is the fault, so a watchdog ends the
// program with a message instead of leaving the test run stuck.
TEST_F(NarratorTest, EndingTheModelWhileTheLoopWaitsForRoomReturns) {
    fake.audio = std::vector<float>(480000, 0.1f);
    auto d = stored(SIX);
    n->play(d);
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(30), [&] { return ended; })) {
            std::fprintf(stderr, "the model's end waited for ever on the render loop\n");
            std::_Exit(1);
        }
    });
    app.reset();
    {
        std::lock_guard<std::mutex> lock(m);
        ended = true;
    }
    cv.notify_one();
    watchdog.join();
    EXPECT_LE(fake.calls.size(), 1u) << "no sentence after the first was rendered";
}

namespace {

// The virtual output with devices to move to: "usb" and "hdmi" exist.
class MovableOutput final : public AudioOutput {
public:
    explicit MovableOutput(Clock& clock) : inner_(clock) {}
    void setListener(Listener* l) override {
        listener = l;
        inner_.setListener(l);
    }
    ItemId append(const std::filesystem::path& wav) override { return inner_.append(wav); }
    void removeAll() override { inner_.removeAll(); }
    void play() override { inner_.play(); }
    void pause() override { inner_.pause(); }
    bool isRunning() const override { return inner_.isRunning(); }
    float volume() const override { return inner_.volume(); }
    void setVolume(float v) override { inner_.setVolume(v); }
    std::string name() const override { return "virtual " + device_; }
    std::string device() const override { return device_; }
    bool moveTo(const std::string& id) override {
        if (!id.empty() && id != "usb" && id != "hdmi") return false;
        device_ = id;
        return true;
    }
    Listener* listener = nullptr;

private:
    VirtualAudioOutput inner_;
    std::string device_;
};

struct OutputChoice : ::testing::Test {
    TestDir tmp;
    VirtualClock clock;
    FakeEngine fake;
    std::shared_ptr<MemorySettingsStore> defaults = std::make_shared<MemorySettingsStore>();
    MovableOutput* output = nullptr;

    std::unique_ptr<AppModel> model() {
        FakeEngine::next = &fake;
        std::filesystem::create_directories(tmp.path / "model");
        AppModel::Config c = coretest::virtualModel(tmp.path, clock, defaults);
        c.narrator = [this](AppModel& a) {
            Narrator::Setup s;
            s.clock = &clock;
            s.main = &clock;
            auto out = std::make_unique<MovableOutput>(clock);
            output = out.get();
            s.output = std::move(out);
            s.audioDir = tmp.path / "audio";
            return std::make_shared<Narrator>(a, std::move(s));
        };
        return std::make_unique<AppModel>(c);
    }
    void TearDown() override { FakeEngine::next = nullptr; }
};

}  // namespace

TEST_F(OutputChoice, TheChosenDeviceIsUsedRememberedAndGivenUpWhenGone) {
    auto app = model();
    Narrator& n = *app->narrator;
    struct Step {
        std::string device;
        bool ok;
        std::optional<std::u16string> stored;
    } steps[] = {{"usb", true, u"usb"}, {"nowhere", false, u"usb"}, {"hdmi", true, u"hdmi"}, {"", true, std::nullopt}};
    for (const Step& s : steps) {
        EXPECT_EQ(n.chooseOutput(s.device), s.ok) << s.device;
        EXPECT_EQ(defaults->getString(Narrator::OUTPUT_KEY), s.stored) << s.device;
    }
    EXPECT_EQ(output->device(), "");

    // The next start plays where the user last chose.
    n.chooseOutput("usb");
    app.reset();
    app = model();
    EXPECT_EQ(output->device(), "usb");

    // The device goes away: the reading says so.
    ASSERT_TRUE(output->listener);
    output->listener->deviceGone("USB speaker");
    ASSERT_TRUE(app->narrator->problem());
    EXPECT_TRUE(app->narrator->problem()->startsWith("USB speaker is gone"));
}
