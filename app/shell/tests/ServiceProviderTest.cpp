#include "CommandLine.h"
#include "ServiceProvider.h"
#include "TestApp.h"

#include <gtest/gtest.h>

#include <QDir>

#include <string>
#include <vector>

using namespace tovan;

namespace {

struct Recorder {
    std::vector<std::string> calls;
    ServiceProvider::Roads roads() {
        ServiceProvider::Roads r;
        r.read = [this](const QString& t, bool play) { calls.push_back((play ? "read " : "add ") + t.toStdString()); };
        r.openFile = [this](const QString& f, bool play) {
            calls.push_back("file " + f.toStdString() + (play ? " play" : ""));
        };
        r.readClipboard = [this] { calls.push_back("clipboard"); };
        r.open = [this](const std::vector<QUrl>& urls) {
            for (const auto& u : urls) calls.push_back("open " + u.toString().toStdString());
        };
        r.show = [this] { calls.push_back("show"); };
        return r;
    }
};

TEST(ServiceProvider, TextServicesPassTheTextUntrimmedAndIgnoreNoText) {
    Recorder rec;
    ServiceProvider provider(rec.roads());
    provider.readSelection("  A line.\n");
    provider.addSelection("https://example.org/x");
    provider.readSelection("");
    provider.addSelection("");
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"read   A line.\n", "add https://example.org/x"}));
}

TEST(ServiceProvider, ReadFilesOpensEachFileInOrderAndSkipsOtherUrls) {
    Recorder rec;
    ServiceProvider provider(rec.roads());
    provider.readFiles({"/a/one.pdf", "https://example.org/page", "file:///b/two%20words.txt", "", "/c/three.epub"});
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"file /a/one.pdf play", "file /b/two words.txt play",
                                                   "file /c/three.epub play"}));
}

TEST(ServiceProvider, ArgumentsBecomeUrlsOnlyForTheSchemesTheProgramOpens) {
    struct Case {
        QString arg;
        QString url;  // empty: none
    };
    const Case cases[] = {
        {"/abs/file.pdf", "file:///abs/file.pdf"},
        {"rel/file.txt", "file:///work/rel/file.txt"},
        {"../up.txt", "file:///up.txt"},
        {"notes:3", "file:///work/notes:3"},
        {"https://example.org/a?b=1", "https://example.org/a?b=1"},
        {"HTTP://Example.org", "http://example.org"},
        {"file:///x/y.epub", "file:///x/y.epub"},
        {"~/book.epub", QUrl::fromLocalFile(QDir::homePath() + "/book.epub").toString()},
        {"", ""},
    };
    for (const auto& c : cases) {
        const auto url = ServiceProvider::urlOf(c.arg, "/work");
        EXPECT_EQ(url ? url->toString() : QString(), c.url) << c.arg.toStdString();
    }
}

TEST(CommandLine, ReadsSwitchesAndNamesInOrder) {
    const auto cl = CommandLine::parse({"--hidden", "a.pdf", "--read-selection", "https://x.org", "--bogus", "--",
                                        "--odd-name.txt"},
                                       "/w");
    EXPECT_TRUE(cl.hidden);
    EXPECT_EQ(cl.service, CommandLine::Service::readSelection);
    ASSERT_EQ(cl.urls.size(), 3u);
    EXPECT_EQ(cl.urls[0].toLocalFile(), "/w/a.pdf");
    EXPECT_EQ(cl.urls[1].toString(), "https://x.org");
    EXPECT_EQ(cl.urls[2].toLocalFile(), "/w/--odd-name.txt");
    EXPECT_EQ(cl.problems, QStringList{"unknown option --bogus"});

    const auto plain = CommandLine::parse({}, "/w");
    EXPECT_FALSE(plain.hidden);
    EXPECT_FALSE(plain.service);
    EXPECT_TRUE(plain.urls.empty());
}

}  // namespace
