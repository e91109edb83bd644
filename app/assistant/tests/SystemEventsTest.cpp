#include "SystemEvents.h"

#include "FakeIntake.h"
#include "FakeOutputDevices.h"
#include "FakePowerSource.h"
#include "FakeVolumes.h"
#include "Regex.h"
#include "TempDir.h"
#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tovan {
namespace {

using test::FakeIntake;
using test::TempDir;

struct Machine {
    TempDir d;
    FakeIntake fake;
    VirtualClock clock;
    FakePowerSource power;
    FakeVolumes volumes;
    FakeOutputDevices output;
    SystemEvents events;
    Machine() : events(fake.links(), clock, d.path(), power, volumes, output) {}

    void grow(const std::string& name, size_t bytes) { std::ofstream(d.path() / name, std::ios::app) << std::string(bytes, 'x'); }
    std::vector<std::u16string> texts() const {
        std::vector<std::u16string> out;
        for (const auto& e : fake.events)
            out.push_back(e.speech.text());
        return out;
    }
};

TEST(SystemEvents, DownloadWordsAndKinds) {
    struct Case {
        std::u16string file, said;
    };
    const Case cases[] = {
        {u"my_report-final.pdf", u"Downloaded my report final, a PDF."},
        {u"IMG.JPG", u"Downloaded IMG, a photo."},
        {u"notes", u"Downloaded notes."},
        {u"backup.tar.gz", u"Downloaded backup.tar."},
        {u"report (2).docx", u"Downloaded report, a Word document."},
        {u"talk__slides--v2.pptx", u"Downloaded talk slides v2, a presentation."},
    };
    for (const auto& c : cases) {
        Machine m;
        m.events.watchDownloads();
        m.grow(u8(c.file), 10);
        m.events.downloadsChanged();
        m.clock.advance(3.0);
        ASSERT_EQ(m.fake.events.size(), 1u) << u8(c.file);
        const auto& e = m.fake.events[0];
        EXPECT_EQ(u8(e.speech.text()), u8(c.said));
        EXPECT_EQ(e.kind, Assistant::Event::Kind::download);
        EXPECT_EQ(e.app, u"Downloads");
        EXPECT_EQ(e.who, c.file);
        EXPECT_EQ(e.away, c.said);
        EXPECT_FALSE(e.urgent);
        EXPECT_FALSE(e.bundleID);
        EXPECT_EQ(e.speech.parts[0].mood, Expression::CALM());
    }
    EXPECT_EQ(SystemEvents::kindName(u""), u"");
    EXPECT_EQ(SystemEvents::kindName(u"EPUB"), u"a book");
}

TEST(SystemEvents, PartialAndHiddenFilesWaitForTheirFinalName) {
    Machine m;
    m.grow("already.pdf", 5);
    m.events.watchDownloads();  // present at start: never said
    for (const char* n : {".DS_Store", "clip.mp4.crdownload", "data.PART", "x.opdownload", "y.tmp"})
        m.grow(n, 5);
    m.events.downloadsChanged();
    m.clock.advance(10);
    EXPECT_TRUE(m.fake.events.empty());
    std::filesystem::rename(m.d.path() / "clip.mp4.crdownload", m.d.path() / "clip.mp4");
    m.events.downloadsChanged();
    m.clock.advance(3.0);
    EXPECT_EQ(m.texts(), (std::vector<std::u16string>{u"Downloaded clip, a video."}));
}

TEST(SystemEvents, AGrowingFileIsSaidOnceItStopsGrowing) {
    Machine m;
    m.events.watchDownloads();
    m.grow("big.zip", 1);
    m.events.downloadsChanged();
    for (int i = 0; i < 7; ++i) {  // written to for about 10 s
        m.clock.advance(1.5);
        m.grow("big.zip", 100);
    }
    EXPECT_TRUE(m.fake.events.empty());
    m.clock.advance(1.5);
    EXPECT_TRUE(m.fake.events.empty());  // the first equal reading follows
    m.clock.advance(1.5);
    EXPECT_EQ(m.fake.events.size(), 1u);
    m.clock.advance(30);
    EXPECT_EQ(m.fake.events.size(), 1u);
}

TEST(SystemEvents, DownloadsSwitchedOffAreNeverSaid) {
    Machine m;
    m.events.watchDownloads();
    m.grow("a.pdf", 3);
    m.events.downloadsChanged();
    m.clock.advance(1.5);
    m.fake.downloads = false;  // while it settles
    m.clock.advance(5);
    m.grow("b.pdf", 3);  // arrives while off
    m.events.downloadsChanged();
    m.clock.advance(5);
    m.fake.downloads = true;
    m.events.downloadsChanged();
    m.clock.advance(5);
    EXPECT_TRUE(m.fake.events.empty());
    std::filesystem::remove(m.d.path() / "a.pdf");
    m.events.downloadsChanged();
    m.grow("a.pdf", 3);  // gone and back: new again
    m.events.downloadsChanged();
    m.clock.advance(3);
    EXPECT_EQ(m.fake.events.size(), 1u);
}

TEST(SystemEvents, DownloadsInProgressAreSaidOnlyWhenWhole) {
    // How browsers write: a placeholder under the final name with the data
    // going to a partial file beside it, then renamed over it.
    struct Case {
        const char* browser;
        const char* partial;
        size_t placeholder;  // bytes under the final name meanwhile
    };
    const Case cases[] = {{"placeholder and .part", "clip.mp4.part", 0},
                          {"placeholder and .crdownload", "clip.mp4.crdownload", 0},
                          {"placeholder and upper-case .PART", "clip.mp4.PART", 0},
                          {"space set aside under the final name", "clip.mp4.part", 4096}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.browser);
        Machine m;
        m.events.watchDownloads();
        m.grow("clip.mp4", c.placeholder);
        m.grow(c.partial, 10);
        m.events.downloadsChanged();
        for (int i = 0; i < 8; ++i) {
            m.clock.advance(1.5);
            m.grow(c.partial, 100);
        }
        m.clock.advance(10);
        EXPECT_TRUE(m.fake.events.empty()) << "said while still downloading";
        std::filesystem::rename(m.d.path() / c.partial, m.d.path() / "clip.mp4");
        m.events.downloadsChanged();
        m.clock.advance(3.0);
        EXPECT_EQ(m.texts(), (std::vector<std::u16string>{u"Downloaded clip, a video."}));
        m.clock.advance(30);
        EXPECT_EQ(m.fake.events.size(), 1u) << "said once";
    }
    // A placeholder filled in place is said once it is whole and still.
    Machine m;
    m.events.watchDownloads();
    m.grow("notes.txt", 0);
    m.events.downloadsChanged();
    m.clock.advance(20);
    EXPECT_TRUE(m.fake.events.empty()) << "an empty file is no download yet";
    m.grow("notes.txt", 40);
    m.clock.advance(3.0);
    EXPECT_EQ(m.texts(), (std::vector<std::u16string>{u"Downloaded notes, text."}));
}

TEST(SystemEvents, AFailedListingDoesNotMakeOldFilesNew) {
    Machine m;
    m.grow("old.pdf", 5);
    m.grow("older.zip", 5);
    m.events.watchDownloads();
    const auto away = m.d.path().parent_path() / (m.d.path().filename().string() + "-away");
    std::filesystem::rename(m.d.path(), away);  // the folder cannot be listed
    m.events.downloadsChanged();
    std::filesystem::rename(away, m.d.path());
    m.grow("new.pdf", 5);
    m.events.downloadsChanged();
    m.clock.advance(5);
    EXPECT_EQ(m.texts(), (std::vector<std::u16string>{u"Downloaded new, a PDF."}));

    // Without a baseline at the start, the first listing that works is it.
    Machine late;
    const auto hidden = late.d.path().parent_path() / (late.d.path().filename().string() + "-late");
    std::filesystem::rename(late.d.path(), hidden);
    late.events.watchDownloads();
    std::filesystem::rename(hidden, late.d.path());
    late.grow("there.pdf", 5);
    late.events.downloadsChanged();
    late.grow("fresh.pdf", 5);
    late.events.downloadsChanged();
    late.clock.advance(5);
    EXPECT_EQ(late.texts(), (std::vector<std::u16string>{u"Downloaded fresh, a PDF."}));
}

TEST(SystemEvents, BatteryThresholds) {
    struct Case {
        int from, to;
        bool charging;
        std::u16string said;  // "" when nothing
        bool urgent;
    };
    const Case cases[] = {
        {21, 20, false, u"Battery at 20 percent. Time to charge.", false},
        {11, 10, false, u"Battery at 10 percent. Time to charge.", true},
        {6, 5, false, u"Battery at 5 percent. Time to charge.", true},
        {20, 19, false, u"", false},
        {9, 8, false, u"", false},
        {25, 4, false, u"Battery at 4 percent. Time to charge.", false},  // only the first threshold
        {99, 100, true, u"The battery is fully charged.", false},
        {100, 100, true, u"", false},
        {50, 20, true, u"", false},  // on mains nothing falls
    };
    for (const auto& c : cases) {
        Machine m;
        m.power.reading = PowerSource::Reading{c.from, c.charging};
        m.events.watchBattery();
        m.power.change(PowerSource::Reading{c.to, c.charging});
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        if (c.said.empty()) {
            EXPECT_TRUE(m.fake.events.empty());
            continue;
        }
        ASSERT_EQ(m.fake.events.size(), 1u);
        const auto& e = m.fake.events[0];
        EXPECT_EQ(u8(e.speech.text()), u8(c.said));
        EXPECT_EQ(e.kind, Assistant::Event::Kind::battery);
        EXPECT_EQ(e.app, u"Battery");
        EXPECT_EQ(e.urgent, c.urgent);
        if (!c.charging) {
            EXPECT_EQ(e.away, u"The battery got down to " + u16(std::to_string(c.to)) + u" percent.");
        } else {
            EXPECT_FALSE(e.away);
        }
    }
}

TEST(SystemEvents, BatteryComparesWithTheLastReadingTakenWhileOn) {
    Machine m;
    m.power.reading = PowerSource::Reading{50, false};
    m.events.watchBattery();
    m.fake.battery = false;
    m.power.change(PowerSource::Reading{15, false});
    m.fake.battery = true;
    m.power.change(PowerSource::Reading{14, false});
    EXPECT_EQ(m.texts(), (std::vector<std::u16string>{u"Battery at 14 percent. Time to charge."}));
    EXPECT_FALSE(m.fake.events[0].urgent);

    Machine unplugged;  // 100 on mains, then on battery at 100: nothing
    unplugged.power.reading = PowerSource::Reading{100, true};
    unplugged.events.watchBattery();
    unplugged.power.change(PowerSource::Reading{100, false});
    EXPECT_TRUE(unplugged.fake.events.empty());

    Machine nobase;  // no battery at start: the first reading is only stored
    nobase.events.watchBattery();
    nobase.power.change(PowerSource::Reading{4, false});
    nobase.power.change(PowerSource::Reading{3, false});
    EXPECT_TRUE(nobase.fake.events.empty());
}

TEST(SystemEvents, DrivesComingAndGoing) {
    Machine m;
    m.events.watchDrives();
    m.volumes.mount({"/", u"", true, false});
    m.volumes.mount({"/run/media/u/disk.img", u"Image", false, true});
    m.volumes.mount({"/media/u/STICK", u"STICK", false, false});
    m.volumes.unmount({"/run/media/u/disk.img", u"Image", false, true});
    m.volumes.unmount({"/media/u/Photos", u"", false, false});
    m.fake.devices = false;
    m.volumes.mount({"/media/u/Other", u"Other", false, false});
    EXPECT_EQ(m.texts(), (std::vector<std::u16string>{u"STICK is connected.", u"Image was ejected.",
                                                      u"Photos was ejected."}));
    EXPECT_EQ(m.fake.events[0].app, u"Drives");
    EXPECT_EQ(m.fake.events[0].kind, Assistant::Event::Kind::device);
}

TEST(SystemEvents, HeadphonesAndBluetoothOutputsAreSaidAndCatchUp) {
    Machine m;
    m.output.device = OutputDevices::Device{u"Built-in Audio", false};
    m.events.watchOutput();
    m.output.change(OutputDevices::Device{u"Speakers", false});  // recorded, not said
    m.output.change(OutputDevices::Device{u"Zenna's Buds", true});
    m.output.change(OutputDevices::Device{u"Zenna's Buds", true});  // the same again
    m.output.change(std::nullopt);                                   // unreadable: kept
    m.output.change(OutputDevices::Device{u"Zenna's Buds", true});
    EXPECT_EQ(m.texts(), (std::vector<std::u16string>{u"Zenna's Buds connected."}));
    EXPECT_EQ(m.fake.events[0].app, u"Sound");

    m.fake.devices = false;
    m.output.change(OutputDevices::Device{u"USB Headphones", false});  // switch off: the name is still kept
    m.fake.devices = true;
    m.output.change(OutputDevices::Device{u"USB Headphones", false});
    EXPECT_EQ(m.fake.events.size(), 1u);

    m.fake.waiting = true;
    m.output.change(OutputDevices::Device{u"Analog Headphones", false});
    EXPECT_EQ(m.fake.events.size(), 2u);
    m.clock.advance(1.9);
    EXPECT_EQ(m.fake.catchUps, 0);
    m.clock.advance(0.1);
    EXPECT_EQ(m.fake.catchUps, 1);
}

}  // namespace
}  // namespace tovan
