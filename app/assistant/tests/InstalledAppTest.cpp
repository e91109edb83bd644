#include "InstalledApp.h"

#include "Regex.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tovan {
namespace {

using test::TempDir;

std::string entry(const std::string& name, const std::string& extra = "") {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=x\n" + extra;
}

std::vector<std::u16string> names(const std::vector<InstalledApp>& apps) {
    std::vector<std::u16string> out;
    for (const auto& a : apps)
        out.push_back(a.name);
    return out;
}

TEST(InstalledApp, ListsOnlyApplicationEntriesOfTheFoldersThemselves) {
    TempDir d;
    d.write("a/org.gnome.Calls.desktop", entry("Calls"));
    d.write("a/not-an-entry.desktop", "just text\n");
    d.write("a/other-group.desktop", "[Something]\nName=X\n");
    d.write("a/link.desktop", "[Desktop Entry]\nType=Link\nName=Link\nURL=x\n");
    d.write("a/gone.desktop", entry("Gone", "Hidden=true\n"));
    d.write("a/helper.desktop", entry("Helper", "NoDisplay=true\n"));
    d.write("a/Capital.DESKTOP", entry("Capital"));
    d.write("a/notes.txt", entry("Text"));
    d.write("a/deeper/deep.desktop", entry("Deep"));
    std::filesystem::create_directories(d.path / "a/folder.desktop");
    d.write("a/" + u8(InstalledApp::ownID()) + ".desktop", entry("TovanTTS"));

    const auto apps = InstalledApp::all({d.file("a")});
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].id, u"org.gnome.Calls");
    EXPECT_EQ(apps[0].name, u"Calls");
    EXPECT_EQ(apps[0].url, d.file("a/org.gnome.Calls.desktop"));
}

TEST(InstalledApp, LaterFolderWinsForTheSameId) {
    TempDir d;
    d.write("system/org.telegram.desktop.desktop", entry("Telegram"));
    d.write("user/org.telegram.desktop.desktop", entry("Telegram (mine)"));
    const auto apps = InstalledApp::all({d.file("system"), d.file("missing"), d.file("user")});
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].name, u"Telegram (mine)");
    EXPECT_EQ(apps[0].url, d.file("user/org.telegram.desktop.desktop"));

    auto found = InstalledApp::find(u"org.telegram.desktop", {d.file("system"), d.file("user")});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->url, d.file("user/org.telegram.desktop.desktop"));
    EXPECT_FALSE(InstalledApp::find(u"org.absent", {d.file("system"), d.file("user")}));
    EXPECT_FALSE(InstalledApp::find(u"../system/org.telegram.desktop", {d.file("user")}));
}

TEST(InstalledApp, NameRules) {
    TempDir d;
    d.write("a/plain.desktop", "[Desktop Entry]\nType=Application\nExec=x\n");
    d.write("a/viewer.desktop.desktop", "[Desktop Entry]\nType=Application\nExec=x\n");
    d.write("a/empty.desktop", "[Desktop Entry]\nType=Application\nName=\n");
    d.write("a/esc.desktop", entry("Back\\sslash\\\\"));
    d.write("a/local.desktop", entry("Files", "Name[de]=Dateien\nName[de_AT]=Dateien AT\n"));

    setenv("LC_ALL", "de_DE.UTF-8", 1);
    const auto apps = InstalledApp::all({d.file("a")});
    unsetenv("LC_ALL");
    std::map<std::u16string, std::u16string> byID;
    for (const auto& a : apps)
        byID[a.id] = a.name;
    EXPECT_EQ(byID[u"plain"], u"plain");
    EXPECT_EQ(byID[u"viewer.desktop"], u"viewer");  // every ".desktop" goes
    EXPECT_EQ(byID[u"empty"], u"");                  // a Name key is used even when empty
    EXPECT_EQ(byID[u"esc"], u"Back slash\\");
    EXPECT_EQ(byID[u"local"], u"Dateien");
}

TEST(InstalledApp, SortsByNameIgnoringCase) {
    TempDir d;
    d.write("a/g.desktop", entry("gamma"));
    d.write("a/a.desktop", entry("Alpha"));
    d.write("a/b.desktop", entry("beta"));
    EXPECT_EQ(names(InstalledApp::all({d.file("a")})), (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));
    EXPECT_TRUE(InstalledApp::all({d.file("none1"), d.file("none2")}).empty());
}

TEST(InstalledApp, FoldersFollowTheXdgVariables) {
    const char* h = std::getenv("HOME");
    const std::string home = h ? h : "";
    struct Case {
        const char* dataDirs;  // null: unset
        const char* dataHome;
        std::vector<std::string> folders;
    };
    const Case cases[] = {
        {"/usr/share/:/opt/x:relative",
         "/home/u/data",
         {"/opt/x/applications", "/usr/share/applications", "/var/lib/flatpak/exports/share/applications",
          "/home/u/data/flatpak/exports/share/applications", "/home/u/data/applications"}},
        {nullptr,
         nullptr,
         {"/usr/share/applications", "/usr/local/share/applications", "/var/lib/flatpak/exports/share/applications",
          "/home/v/.local/share/flatpak/exports/share/applications", "/home/v/.local/share/applications"}},
        // Flatpak's profile already put its exports first: they keep their place.
        {"/home/u/data/flatpak/exports/share/:/var/lib/flatpak/exports/share:/usr/share",
         "/home/u/data/",
         {"/usr/share/applications", "/var/lib/flatpak/exports/share/applications",
          "/home/u/data/flatpak/exports/share/applications", "/home/u/data/applications"}},
        {"/var/lib/flatpak/exports/share:/usr/share",
         "/home/u/data",
         {"/usr/share/applications", "/var/lib/flatpak/exports/share/applications",
          "/home/u/data/flatpak/exports/share/applications", "/home/u/data/applications"}},
    };
    setenv("HOME", "/home/v", 1);
    for (const auto& c : cases) {
        auto set = [](const char* name, const char* value) {
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        };
        set("XDG_DATA_DIRS", c.dataDirs);
        set("XDG_DATA_HOME", c.dataHome);
        EXPECT_EQ(InstalledApp::folders(), c.folders) << (c.dataDirs ? c.dataDirs : "(unset)");
    }
    unsetenv("XDG_DATA_DIRS");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", home.c_str(), 1);
}

TEST(InstalledApp, IconOfTheEntry) {
    TempDir d;
    InstalledApp app = *InstalledApp::load(d.write("a/x.desktop", entry("X", "Icon=org.x.X\n")));
    EXPECT_EQ(app.icon(), u"org.x.X");
    app.url = d.file("a/missing.desktop");
    EXPECT_EQ(app.icon(), u"");
}

}  // namespace
}  // namespace tovan
