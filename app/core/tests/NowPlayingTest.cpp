#include "NowPlaying.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ModelTestUtil.h"

using tovan::Doc;
using tovan::MediaControls;
using tovan::NowPlaying;

TEST(NowPlayingInfo, TitleArtistAndTimesFromTheEstimate) {
    auto withAuthor = std::make_shared<Doc>(u"Moby Dick", u"Herman Melville", u"epub", std::nullopt,
                                            std::vector<std::u16string>{u"Call me Ishmael."});
    auto without = std::make_shared<Doc>(u"Note", std::nullopt, u"text", std::nullopt,
                                         std::vector<std::u16string>{u"Hello."});
    struct Case {
        std::shared_ptr<Doc> doc;
        double left, progress;
        bool playing;
        const char* artist;
        double duration, elapsed, rate;
    } cases[] = {
        {withAuthor, 30, 0.25, true, "Herman Melville", 40, 10, 1},
        {without, 12, 0, false, "Lumora", 12, 0, 0},
        // At the last sentence the floor keeps the total finite.
        {without, 2, 1.0, true, "Lumora", 2000, 1998, 1},
    };
    for (const auto& c : cases) {
        auto i = NowPlaying::info(*c.doc, c.left, c.progress, c.playing);
        EXPECT_EQ(i.title, QString::fromStdU16String(c.doc->title));
        EXPECT_EQ(i.artist, QString::fromUtf8(c.artist));
        EXPECT_TRUE(std::isfinite(i.duration));
        EXPECT_NEAR(i.duration, c.duration, 1e-9);
        EXPECT_NEAR(i.elapsed, c.elapsed, 1e-9);
        EXPECT_EQ(i.rate, c.rate);
    }
}

TEST(NowPlayingInfo, ShowSetsStateAndClearsWithoutADocument) {
    tovan::FakeMediaControls fake;
    NowPlaying::setControls(&fake);
    auto doc = std::make_shared<Doc>(u"Moby Dick", std::nullopt, u"epub", std::nullopt,
                                     std::vector<std::u16string>{u"Call me Ishmael."});
    NowPlaying::show(doc.get(), 10, 0.5, true);
    ASSERT_TRUE(fake.info);
    EXPECT_EQ(fake.state, MediaControls::State::playing);
    NowPlaying::show(doc.get(), 10, 0.5, false);
    EXPECT_EQ(fake.state, MediaControls::State::paused);
    EXPECT_EQ(fake.info->rate, 0.0);
    NowPlaying::show(nullptr, 0, 0, true);
    EXPECT_FALSE(fake.info);
    EXPECT_EQ(fake.state, MediaControls::State::stopped);
    EXPECT_EQ(fake.updates, 3);
    NowPlaying::setControls(nullptr);
}
