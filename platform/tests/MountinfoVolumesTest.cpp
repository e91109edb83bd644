#include "MountinfoVolumes.h"

#include <gtest/gtest.h>

#include "TempDir.h"

#include <fstream>

namespace tovan {
namespace {
using test::TempDir;
namespace fs = std::filesystem;

TEST(MountinfoVolumes, DrivesOfTheMountTable) {
    const std::string table =
        "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
        "23 22 0:21 / /proc rw - proc proc rw\n"
        "40 22 8:17 / /media/ann/My\\040Stick rw shared:30 - vfat /dev/sdb1 rw\n"
        "41 22 7:0 / /run/media/ann/Image rw - iso9660 /dev/loop0 ro\n"
        "42 22 8:2 /home/shared /srv/shared rw - ext4 /dev/sda2 rw\n"
        "43 22 8:3 / /home rw - ext4 /dev/sda3 rw\n"
        "garbage line\n";
    const auto v = MountinfoVolumes::parse(table);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v.at("/"), (Volumes::Volume{"/", u"/", true, false}));
    EXPECT_EQ(v.at("/home"), (Volumes::Volume{"/home", u"home", true, false}));
    EXPECT_EQ(v.at("/media/ann/My Stick"), (Volumes::Volume{"/media/ann/My Stick", u"My Stick", false, false}));
    EXPECT_EQ(v.at("/run/media/ann/Image"), (Volumes::Volume{"/run/media/ann/Image", u"Image", false, true}));
}

TEST(MountinfoVolumes, ReportsWhatChangedSinceTheLastReading) {
    TempDir t;
    const auto file = t.path / "mountinfo";
    std::ofstream(file) << "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                           "40 22 8:17 / /media/a/Old rw - vfat /dev/sdb1 rw\n";
    MountinfoVolumes m(file.string());
    std::vector<std::string> seen;
    ASSERT_TRUE(m.watch([&](const Volumes::Volume& v) { seen.push_back("+" + v.path); },
                        [&](const Volumes::Volume& v) { seen.push_back("-" + v.path); }));
    std::ofstream(file) << "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                           "41 22 8:33 / /media/a/New rw - vfat /dev/sdc1 rw\n";
    m.rescan();
    EXPECT_EQ(seen, (std::vector<std::string>{"-/media/a/Old", "+/media/a/New"}));
    MountinfoVolumes missing((t.path / "none").string());
    EXPECT_FALSE(missing.watch([](const Volumes::Volume&) {}, [](const Volumes::Volume&) {}));
}

}  // namespace
}  // namespace tovan
