#include "NarratorReading.h"

#include <gtest/gtest.h>

#include <fstream>

#include <QTemporaryDir>

#include "SettingsStore.h"
#include "Director.h"
#include "TestApp.h"
#include "VirtualAudioOutput.h"
#include "VirtualClock.h"
#include "core/AppModel.h"
#include "core/Exporter.h"
#include "core/Narrator.h"

namespace tovan {
namespace {

// The views' face over a real Narrator on a virtual clock; nothing here
// makes sound, so no engine is needed.
class NarratorReadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::widgetApp();
        const std::filesystem::path root = dir.path().toStdString();
        std::filesystem::create_directories(root / "model");
        std::ofstream(root / "model" / "voices.json") << R"({"voices":[{"name":"voice_1688"}]})";
        AppModel::Config c;
        c.support = root / "support";
        c.modelDir = root / "model";
        c.defaults = std::make_shared<MemorySettingsStore>();
        c.directorLoader = [](const std::filesystem::path&) { return std::shared_ptr<Director>(); };
        c.narrator = [this, root](AppModel& a) {
            Narrator::Setup s;
            s.clock = &clock;
            s.main = &clock;
            s.output = std::make_unique<VirtualAudioOutput>(clock);
            s.audioDir = root / "audio";
            return std::make_shared<Narrator>(a, std::move(s));
        };
        app = std::make_unique<AppModel>(std::move(c));
        ASSERT_NE(app->narrator, nullptr);
        Exporter::Setup es;
        es.main = &clock;
        exporter = std::make_unique<Exporter>(*app, std::move(es));
        reading = std::make_unique<NarratorReading>(*app->narrator, *exporter);
    }

    QTemporaryDir dir;
    VirtualClock clock;
    std::unique_ptr<AppModel> app;
    std::unique_ptr<Exporter> exporter;
    std::unique_ptr<NarratorReading> reading;
};

TEST_F(NarratorReadingTest, ForwardsSettingsAndSaysWhenTheyChange) {
    int changes = 0;
    QObject::connect(reading.get(), &ReadingState::changed, [&] { ++changes; });
    reading->setSpeed(1.5f);
    EXPECT_EQ(app->narrator->speed(), 1.5f);
    EXPECT_EQ(reading->speed(), 1.5f);
    reading->sleep(15);
    ASSERT_TRUE(reading->sleepAt());
    reading->sleep(std::nullopt);
    EXPECT_FALSE(reading->sleepAt());
    EXPECT_GE(changes, 3);
    EXPECT_NE(reading->output(), nullptr);
}

TEST_F(NarratorReadingTest, CloseLeavesNoCurrentDocument) {
    auto doc = app->library.saveOrExisting(Doc::create(u"T", u"text", std::nullopt, {u"One. Two."}));
    app->narrator->setDoc(doc);
    EXPECT_EQ(reading->doc(), doc);
    reading->close();
    EXPECT_EQ(reading->doc(), nullptr);
    EXPECT_FALSE(reading->playing());
    EXPECT_FALSE(reading->exportTitle());
}

}  // namespace
}  // namespace tovan
