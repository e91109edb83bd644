// Saving a whole document as audio: the job on its own thread and engine
// (the fake one), its word to the main thread through the virtual clock, the
// file manager faked.
#include "Exporter.h"

#include "AppModel.h"
#include "CoreTestUtil.h"
#include "SettingsStore.h"
#include "Narrator.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace tovan;
using coretest::duringSynthesis;

namespace {

constexpr size_t SENTENCE = 3 + 120 * 24;  // the fake's samples and the pause after

struct ExporterTest : ::testing::Test {
    TestDir tmp;
    VirtualClock clock;
    FakeEngine fake;
    std::unique_ptr<AppModel> app;
    std::unique_ptr<Exporter> exporter;
    std::vector<std::filesystem::path> revealed;
    std::vector<double> fractions;
    std::vector<std::optional<QString>> titles;

    void SetUp() override {
        FakeEngine::next = &fake;
        std::filesystem::create_directories(tmp.path / "model");
        app = std::make_unique<AppModel>(
            coretest::virtualModel(tmp.path, clock, std::make_shared<MemorySettingsStore>()));
        Exporter::Setup s;
        s.main = &clock;
        s.engineApi = &coretest::hookedApi();
        s.reveal = [this](const std::filesystem::path& f) { revealed.push_back(f); };
        exporter = std::make_unique<Exporter>(*app, std::move(s));
        QObject::connect(exporter.get(), &Exporter::fractionChanged, [this] { fractions.push_back(exporter->fraction()); });
        QObject::connect(exporter.get(), &Exporter::titleChanged, [this] { titles.push_back(exporter->title()); });
    }
    void TearDown() override {
        exporter.reset();
        app.reset();
        duringSynthesis = nullptr;
        FakeEngine::next = nullptr;
    }
    // The job's end, and what it sent to the main thread.
    void finish() {
        exporter->wait();
        clock.run();
    }
    static std::shared_ptr<Doc> sentences(int n, std::u16string title = u"Book") {
        std::vector<std::u16string> paras;
        for (int i = 0; i < n; i++) paras.push_back(u"Sentence number " + std::u16string(1, char16_t(u'a' + i % 26)) + u" is here.");
        return coretest::doc(paras, u"epub", std::move(title));
    }
};

}  // namespace

TEST(ExporterName, SlashesBecomeDashesAndTheNameEndsInM4a) {
    struct Case {
        std::u16string title;
        const char* name;
    } cases[] = {{u"Plain", "Plain.m4a"}, {u"A/B/C", "A-B-C.m4a"}, {u"/", "-.m4a"}, {u"", ".m4a"}};
    for (const Case& c : cases) EXPECT_EQ(Exporter::proposedName(*coretest::doc({}, u"epub", c.title)), c.name);
}

TEST_F(ExporterTest, WavOfTwentyFiveSentencesWithProgressThenRevealed) {
    auto d = sentences(25, u"Long/Book");
    ASSERT_EQ(d->sentences.size(), 25u);
    const auto file = tmp.path / "out.WAV";
    exporter->exportDoc(d, file);
    EXPECT_EQ(exporter->title(), QStringLiteral("Long/Book"));
    EXPECT_EQ(exporter->fraction(), 0);
    finish();
    EXPECT_EQ(fractions, (std::vector<double>{0, 1.0 / 25, 11.0 / 25, 21.0 / 25}));
    EXPECT_FALSE(exporter->title());
    EXPECT_EQ(revealed, (std::vector<std::filesystem::path>{file}));
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 44 + 2 * 25 * SENTENCE) << "16-bit PCM, every sentence";
    EXPECT_EQ(slurp(file).substr(0, 4), "RIFF");
    EXPECT_EQ(fake.calls.size(), 25u);
    EXPECT_FALSE(app->problem());
}

TEST_F(ExporterTest, M4aIsAac) {
    const auto file = tmp.path / "out.m4a";
    exporter->exportDoc(sentences(3), file);
    finish();
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(slurp(file).substr(4, 4), "ftyp");
    EXPECT_EQ(revealed.size(), 1u);
}

TEST_F(ExporterTest, CancelStopsBeforeTheNextSentenceAndLeavesTheOldFile) {
    const auto file = tmp.path / "out.wav";
    spit(file, "the user's earlier file");
    int n = 0;
    duringSynthesis = [&] {
        if (++n == 3) exporter->cancel();  // while sentence 2 is synthesized
    };
    exporter->exportDoc(sentences(10), file);
    finish();
    EXPECT_EQ(fake.calls.size(), 3u);
    EXPECT_TRUE(exporter->cancelled());
    EXPECT_FALSE(exporter->title());
    EXPECT_TRUE(revealed.empty());
    EXPECT_EQ(slurp(file), "the user's earlier file");
    EXPECT_FALSE(app->problem()) << "a cancel is not a problem";
    for (auto& e : std::filesystem::directory_iterator(tmp.path))
        EXPECT_EQ(e.path().filename().string().find(".out.wav"), std::string::npos) << "temporary left: " << e.path();

    // The next export clears the flag.
    exporter->exportDoc(sentences(1), file);
    EXPECT_FALSE(exporter->cancelled());
    finish();
    EXPECT_EQ(revealed.size(), 1u);
}

TEST_F(ExporterTest, FailuresBecomeTheProblemAndLeaveNoFile) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* problem;
    } cases[] = {
        {"engine cannot be created",
         [&] {
             FakeEngine::next = nullptr;
             FakeEngine::createError = "model: no config.json in /m";
         },
         "The audio could not be saved: model: no config.json in /m"},
        {"synthesis fails",
         [&] { fake.failWith = "synthesis: broken"; },
         "The audio could not be saved: synthesis: broken"},
    };
    const auto file = tmp.path / "out.wav";
    for (const Case& c : cases) {
        FakeEngine::next = &fake;
        fake.failWith.reset();
        app->setProblem(std::nullopt);
        c.arrange();
        exporter->exportDoc(sentences(4), file);
        finish();
        ASSERT_TRUE(app->problem()) << c.name;
        EXPECT_EQ(*app->problem(), QString::fromUtf8(c.problem)) << c.name;
        EXPECT_FALSE(exporter->title()) << c.name;
        EXPECT_FALSE(std::filesystem::exists(file)) << c.name;
        EXPECT_TRUE(revealed.empty()) << c.name;
    }
}

TEST_F(ExporterTest, DestinationFolderThatCannotTakeAFileIsAProblem) {
    exporter->exportDoc(sentences(2), tmp.path / "missing" / "folder" / "out.wav");
    finish();
    ASSERT_TRUE(app->problem());
    EXPECT_TRUE(app->problem()->startsWith(QStringLiteral("The audio could not be saved: "))) << app->problem()->toStdString();
}

TEST_F(ExporterTest, EmptyDocumentMakesAnEmptyFileAndShowsIt) {
    const auto file = tmp.path / "empty.wav";
    exporter->exportDoc(coretest::doc({}), file);
    finish();
    EXPECT_EQ(std::filesystem::file_size(file), 44u);
    EXPECT_EQ(revealed.size(), 1u);
    EXPECT_FALSE(exporter->title());
}

TEST_F(ExporterTest, ThePanelRoadAsksOnceAndIgnoresRequestsWhileRunning) {
    std::vector<QString> asked;
    std::function<void(std::filesystem::path)> answer;
    exporter->setAskDestination([&](const QString& name, const QString& message,
                                    std::function<void(std::filesystem::path)> chosen) {
        asked.push_back(name);
        EXPECT_TRUE(message.startsWith(QStringLiteral("The whole document, read in your voice and style.")));
        answer = std::move(chosen);
    });
    auto d = sentences(2, u"A/B");
    exporter->exportDoc(d);
    ASSERT_EQ(asked, (std::vector<QString>{QStringLiteral("A-B.m4a")}));
    EXPECT_FALSE(exporter->title()) << "nothing starts before an answer";
    answer(tmp.path / "A-B.wav");
    EXPECT_TRUE(exporter->title());
    exporter->exportDoc(d);
    EXPECT_EQ(asked.size(), 1u) << "ignored while one runs";
    finish();
    exporter->exportDoc(d);
    EXPECT_EQ(asked.size(), 2u);
    answer({});  // the user cancelled the panel
    EXPECT_FALSE(exporter->title());
}

// A second save dialog is not opened while the first is up, and a job started
// while another runs never makes the window wait for the first one.
TEST_F(ExporterTest, OneDialogAtATimeAndNoWaitingForARunningJob) {
    std::vector<std::function<void(std::filesystem::path)>> dialogs;
    exporter->setAskDestination([&](const QString&, const QString&, std::function<void(std::filesystem::path)> chosen) {
        dialogs.push_back(std::move(chosen));
    });
    auto d = sentences(3);
    exporter->exportDoc(d);
    exporter->exportDoc(d);
    ASSERT_EQ(dialogs.size(), 1u) << "a second dialog while the first is up";
    dialogs[0]({});  // cancelled
    exporter->exportDoc(d);
    ASSERT_EQ(dialogs.size(), 2u) << "asked again after a cancel";

    // The first job is held inside its first sentence until the test lets go.
    std::mutex m;
    std::condition_variable cv;
    bool release = false, holding = false;
    duringSynthesis = [&] {
        std::unique_lock<std::mutex> hold(m);
        holding = true;
        cv.notify_all();
        cv.wait(hold, [&] { return release; });
    };
    dialogs[1](tmp.path / "first.wav");
    {
        std::unique_lock<std::mutex> hold(m);
        cv.wait(hold, [&] { return holding; });
    }
    exporter->exportDoc(d);
    EXPECT_EQ(dialogs.size(), 2u) << "no dialog while a job runs";
    // Straight to a file while the first is held: returns at once.
    exporter->exportDoc(sentences(1), tmp.path / "second.wav");
    EXPECT_EQ(exporter->title(), QStringLiteral("Book"));
    {
        std::lock_guard<std::mutex> hold(m);
        release = true;
        cv.notify_all();
    }
    finish();
    EXPECT_FALSE(exporter->title());
    EXPECT_TRUE(std::filesystem::exists(tmp.path / "second.wav"));
}

TEST_F(ExporterTest, TakesTheReadingSettingsWhenItStarts) {
    Style s = app->style();
    s.voice = u"male";
    s.pace = 1.2f;
    s.tag = u"calm";
    app->setStyle(s);
    app->narrator->setSpeed(1.5f);
    exporter->exportDoc(sentences(1), tmp.path / "out.wav");
    app->narrator->setSpeed(0.7f);  // too late for this export
    finish();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_FLOAT_EQ(fake.calls[0].pace, 1.5f * 1.2f);
    EXPECT_EQ(fake.calls[0].voice, "voice_2500");
    EXPECT_EQ(fake.calls[0].tag, "calm");
}

TEST_F(ExporterTest, WordsOfAJobWhoseExporterIsGoneAreDropped) {
    const auto file = tmp.path / "out.wav";
    duringSynthesis = [&] {
        if (fake.calls.size() == 1) exporter->cancel();
    };
    exporter->exportDoc(sentences(5), file);
    exporter.reset();  // waits for the job
    clock.run();       // what it sent is dropped
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(revealed.empty());
}
