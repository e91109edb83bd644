#include "AtomicFile.h"
#include "DesktopEntry.h"
#include "LoginItem.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>

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
    EXPECT_NE(t.find(std::string("\nName=") + DesktopEntry::kName + "\n"), std::string::npos)
        << "the name the program shows itself";
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

TEST(DesktopEntry, RecognisesOnlyItsOwnEntries) {
    struct Case {
        const char* what;
        std::string entry;
        bool ours;
    };
    std::string edited = DesktopEntry::text("/usr/bin/tovantts");
    edited.replace(edited.find("Name=Lumora"), 11, "Name=My reader");
    const Case cases[] = {
        {"plain path", DesktopEntry::text("/usr/bin/tovantts"), true},
        {"quoted path", DesktopEntry::text("/opt/My Apps/bin/tovantts"), true},
        {"edited by the user", edited, false},
        {"another program's", "[Desktop Entry]\nType=Application\nExec=/usr/bin/x %U\n", false},
        {"no Exec line", "[Desktop Entry]\nName=Lumora\n", false},
        {"empty", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(DesktopEntry::isOurs(c.entry), c.ours) << c.what;
}

// A copy installed with its own entry must not be hidden by the user's entry
// an earlier copy (the build tree, say) wrote; other copies write theirs.
TEST(DesktopEntry, RefreshLeavesTheMenuToAnInstalledCopy) {
    TempDir dir;
    const auto user = dir.path / "home" / "applications" / "org.tovantts.TovanTTS.desktop";
    const auto installed = dir.path / "usr" / "bin" / "tovantts";
    const auto built = dir.path / "build" / "bin" / "tovantts";
    std::filesystem::create_directories(dir.path / "usr/share/applications");
    std::filesystem::create_directories(user.parent_path());
    ASSERT_TRUE(AtomicFile::write(dir.path / "usr/share/applications/org.tovantts.TovanTTS.desktop",
                                  DesktopEntry::text("/usr/bin/tovantts")));
    EXPECT_EQ(DesktopEntry::shipped(installed), dir.path / "usr/share/applications/org.tovantts.TovanTTS.desktop");
    struct Case {
        const char* what;
        std::filesystem::path program;
        std::optional<std::string> before;
        std::optional<std::string> after;  // none: no file
    };
    const std::string mine = "[Desktop Entry]\nName=Mine\nExec=/usr/bin/tovantts %U\n";
    const Case cases[] = {
        {"build tree, no entry yet", built, std::nullopt, DesktopEntry::text(built.string())},
        {"installed, the build tree's entry", installed, DesktopEntry::text(built.string()), std::nullopt},
        {"installed, no entry", installed, std::nullopt, std::nullopt},
        {"installed, the user's own entry", installed, mine, mine},
        {"build tree, the user's own entry", built, mine, DesktopEntry::text(built.string())},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(user);
        if (c.before) {
            ASSERT_TRUE(AtomicFile::write(user, *c.before));
        }
        std::string error;
        EXPECT_TRUE(DesktopEntry::refresh(user, c.program, &error)) << c.what << ": " << error;
        std::string bytes;
        const bool exists = AtomicFile::read(user, bytes);
        EXPECT_EQ(exists ? std::optional<std::string>(bytes) : std::nullopt, c.after) << c.what;
    }
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
