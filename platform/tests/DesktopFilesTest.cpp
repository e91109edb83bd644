#include "AtomicFile.h"
#include "DesktopEntry.h"
#include "LoginItem.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tovan;
using tovan::test::TempDir;

namespace {

TEST(DesktopEntry, QuotesArgumentsTheLaunchersSplitOrExpand) {
    struct Case {
        std::string arg, quoted;
    };
    const Case cases[] = {
        {"/usr/bin/TovanTTS", "/usr/bin/TovanTTS"},
        {"/opt/My Apps/TovanTTS", "\"/opt/My Apps/TovanTTS\""},
        {"/a/$HOME/x", "\"/a/\\\\$HOME/x\""},
        {"/a/100%/x", "\"/a/100%%/x\""},
        {"/a/\"q\"", "\"/a/\\\\\"q\\\\\"\""},
        {"", "\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(DesktopEntry::quote(c.arg), c.quoted) << c.arg;
}

TEST(DesktopEntry, OffersTheThreeActionsAndOpensDocumentsAndLinks) {
    const std::string t = DesktopEntry::text("/opt/x y/TovanTTS");
    EXPECT_NE(t.find("Exec=\"/opt/x y/TovanTTS\" %U\n"), std::string::npos);
    EXPECT_NE(t.find("Actions=read-selection;add-selection;read-clipboard;"), std::string::npos);
    for (const char* a : {"--read-selection", "--add-selection", "--read-clipboard"})
        EXPECT_NE(t.find(std::string("\"/opt/x y/TovanTTS\" ") + a), std::string::npos) << a;
    EXPECT_NE(t.find("application/pdf"), std::string::npos);
    EXPECT_NE(t.find("Name=Read with Lumora"), std::string::npos);
}

TEST(DesktopEntry, InstallWritesOnceAndRewritesAStaleEntry) {
    TempDir dir;
    const auto file = dir.path / "applications" / "org.tovantts.TovanTTS.desktop";
    ASSERT_TRUE(DesktopEntry::install(file, "/usr/bin/TovanTTS"));
    std::string bytes;
    ASSERT_TRUE(AtomicFile::read(file, bytes));
    EXPECT_EQ(bytes, DesktopEntry::text("/usr/bin/TovanTTS"));
    struct stat before {};
    ::stat(file.c_str(), &before);
    ASSERT_TRUE(DesktopEntry::install(file, "/usr/bin/TovanTTS"));
    struct stat after {};
    ::stat(file.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);  // same content: not rewritten
    ASSERT_TRUE(DesktopEntry::install(file, "/new/place/TovanTTS"));
    ASSERT_TRUE(AtomicFile::read(file, bytes));
    EXPECT_NE(bytes.find("/new/place/TovanTTS"), std::string::npos);
}

TEST(XdgAutostart, EnableWritesTheFileAndDisableRemovesIt) {
    TempDir dir;
    XdgAutostart item(dir.path / "autostart" / "org.tovantts.TovanTTS.desktop", "/usr/bin/TovanTTS");
    EXPECT_FALSE(item.enabled());
    ASSERT_TRUE(item.enable());
    EXPECT_TRUE(item.enabled());
    std::string bytes;
    ASSERT_TRUE(AtomicFile::read(item.file(), bytes));
    EXPECT_NE(bytes.find("Exec=/usr/bin/TovanTTS --hidden\n"), std::string::npos);
    ASSERT_TRUE(item.disable());
    EXPECT_FALSE(item.enabled());
    EXPECT_TRUE(item.disable());  // already off is no failure
}

TEST(XdgAutostart, AnEntrySwitchedOffByTheDesktopCountsAsOff) {
    TempDir dir;
    XdgAutostart item(dir.path / "x.desktop", "/usr/bin/TovanTTS");
    struct Case {
        const char* text;
        bool enabled;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nExec=a\n", true},
        {"[Desktop Entry]\nHidden=true\n", false},
        {"[Desktop Entry]\r\nX-GNOME-Autostart-enabled=false\r\n", false},
        {"[Desktop Entry]\nExec=a\n[Desktop Action x]\nHidden=true\n", true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(AtomicFile::write(item.file(), c.text));
        EXPECT_EQ(item.enabled(), c.enabled) << c.text;
    }
}

TEST(XdgAutostart, EnableReportsAFolderThatCannotBeMade) {
    TempDir dir;
    ASSERT_TRUE(AtomicFile::write(dir.path / "autostart", "a file, not a folder"));
    XdgAutostart item(dir.path / "autostart" / "x.desktop", "/usr/bin/TovanTTS");
    std::string error;
    EXPECT_FALSE(item.enable(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(item.enabled());
}

}  // namespace
