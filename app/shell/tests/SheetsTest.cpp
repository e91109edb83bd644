#include "Drops.h"
#include "Panels.h"
#include "TestApp.h"
#include "Sheets.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace tovan;
using tovan::test::widgetApp;

namespace {

TEST(LinkSheet, NormalisesTheLinkOrRefusesIt) {
    struct Case {
        QString typed;
        QString url;  // empty: refused
    };
    const Case cases[] = {
        {"  example.org/story  ", "https://example.org/story"},
        {"http://example.org/a", "http://example.org/a"},
        {"ftp://files.example.org/x", "ftp://files.example.org/x"},
        {"localhost:8080", ""},
        {"intranet/page", ""},
        {"", ""},
        {"https://", ""},
        {"news.example.com\n", "https://news.example.com"},
    };
    for (const auto& c : cases) {
        const auto u = LinkSheet::url(c.typed);
        EXPECT_EQ(u ? u->toString() : QString(), c.url) << c.typed.toStdString();
    }
}

TEST(LinkSheet, PasteboardLinkFillsTheFieldAndListenDismissesThenOpens) {
    widgetApp();
    std::vector<std::string> calls;
    LinkSheet sheet(QString(" https://example.org/post \n"),
                    [&](const QUrl& u) { calls.push_back("listen " + u.toString().toStdString()); },
                    [&] { calls.push_back("dismiss"); });
    auto* field = sheet.findChild<QLineEdit*>("linkField");
    auto* listen = sheet.findChild<QPushButton*>("listenButton");
    EXPECT_EQ(field->text(), "https://example.org/post");
    EXPECT_TRUE(listen->isEnabled());
    emit field->returnPressed();
    EXPECT_EQ(calls, (std::vector<std::string>{"dismiss", "listen https://example.org/post"}));

    LinkSheet other(QString("just some words"), [&](const QUrl&) { calls.push_back("wrong"); }, [] {});
    EXPECT_TRUE(other.findChild<QLineEdit*>("linkField")->text().isEmpty());
    EXPECT_FALSE(other.findChild<QPushButton*>("listenButton")->isEnabled());
    emit other.findChild<QLineEdit*>("linkField")->returnPressed();
    EXPECT_EQ(calls.size(), 2u);
}

TEST(TextSheet, BlankTextKeepsListenOffAndTypedTextGoesOnWithItsSpaces) {
    widgetApp();
    std::vector<QString> heard;
    int dismissed = 0;
    TextSheet sheet([&](const QString& t) { heard.push_back(t); }, [&] { dismissed++; });
    auto* editor = sheet.findChild<QPlainTextEdit*>("textEditor");
    auto* listen = sheet.findChild<QPushButton*>("listenButton");
    editor->setPlainText("  \n\t ");
    EXPECT_FALSE(listen->isEnabled());
    editor->setPlainText("  It is 3:15 pm.  ");
    EXPECT_TRUE(listen->isEnabled());
    listen->click();
    EXPECT_EQ(heard, std::vector<QString>{"  It is 3:15 pm.  "});
    EXPECT_EQ(dismissed, 1);
    sheet.findChild<QPushButton*>("cancelButton")->click();
    EXPECT_EQ(dismissed, 2);
    EXPECT_EQ(heard.size(), 1u);
}

struct DropLog {
    std::vector<std::string> calls;
    Drops::Roads roads() {
        return {[this] { calls.push_back("library"); },
                [this](const std::filesystem::path& f, bool play) {
                    calls.push_back("file " + f.string() + (play ? " play" : ""));
                },
                [this](const QUrl& u, bool play) {
                    calls.push_back("link " + u.toString().toStdString() + (play ? " play" : ""));
                },
                [this](const QString& t, bool play) { calls.push_back("text " + t.toStdString() + (play ? " play" : "")); }};
    }
};

TEST(Drops, FilesLinksAndTextEachTakeTheirRoadAfterTheReadingList) {
    struct Case {
        std::function<void(QMimeData&)> fill;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {[](QMimeData& d) { d.setUrls({QUrl::fromLocalFile("/home/u/a.pdf")}); },
         {"library", "file /home/u/a.pdf play"}},
        {[](QMimeData& d) {
             d.setUrls({QUrl("https://example.org/a")});
             d.setText("https://example.org/a");
         },
         {"library", "link https://example.org/a play"}},
        {[](QMimeData& d) { d.setText(" https://example.org/b "); }, {"library", "text  https://example.org/b  play"}},
        {[](QMimeData& d) { d.setUrls({QUrl::fromLocalFile("/x/1.epub"), QUrl("http://e.org/2")}); },
         {"library", "file /x/1.epub play", "library", "link http://e.org/2 play"}},
        {[](QMimeData& d) { d.setImageData(QImage(2, 2, QImage::Format_RGB32)); }, {}},
        {[](QMimeData&) {}, {}},
    };
    for (const auto& c : cases) {
        DropLog log;
        QMimeData data;
        c.fill(data);
        Drops::handle(data, log.roads());
        EXPECT_EQ(log.calls, c.calls);
    }
}

TEST(Panels, ChosenFilesOpenInOrderWithPlayOnTheFirstOnly) {
    widgetApp();
    std::vector<std::string> calls;
    auto open = [&](const std::filesystem::path& f, bool play) { calls.push_back(f.string() + (play ? " play" : "")); };
    auto library = [&] { calls.push_back("library"); };
    Panels::openChosen({"/a.pdf", "/b.epub", "/c.txt"}, open, library);
    EXPECT_EQ(calls, (std::vector<std::string>{"/a.pdf play", "/b.epub", "/c.txt", "library"}));
    calls.clear();
    Panels::openChosen({}, open, library);  // cancelled: nothing, not even the section
    EXPECT_TRUE(calls.empty());
}

TEST(Panels, ShowMainRaisesTheWindowNamedMainOrDoesNothing) {
    widgetApp();
    Panels::showMain();  // no such window: no crash, nothing shown
    QMainWindow other;
    other.setWindowTitle("Something else");
    QMainWindow main;
    main.setObjectName("main");
    Panels::showMain();
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(other.isVisible());
}

}  // namespace
