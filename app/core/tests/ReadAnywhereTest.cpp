// Reading the selection and the clipboard of other applications, over fake
// desktop parts: a selection source, a clipboard, a keyboard and a clock the
// test advances by hand.
#include "KeySender.h"
#include "Pasteboard.h"
#include "ReadAnywhere.h"
#include "SelectedText.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tovan;

namespace {

class ReadAnywhereTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReadAnywhere::Parts p;
        p.selected = selected;
        p.board = board;
        p.keys = keys;
        p.after = [this](int ms, std::function<void()> fn) {
            waits.push_back(ms);
            pending.push_back(std::move(fn));
        };
        p.beep = [this] { beeps++; };
        p.read = [this](const QString& t) { reads.push_back(t); };
        p.problem = [this](const QString& m) { problems.push_back(m); };
        ReadAnywhere::install(std::move(p));
    }
    void TearDown() override { ReadAnywhere::uninstall(); }
    // The 0.25 s have passed.
    void elapse() {
        auto run = std::move(pending);
        pending.clear();
        for (auto& fn : run) fn();
    }
    // The other application answers Copy by putting `text` on the clipboard.
    void answerCopyWith(const QString& text) {
        keys->onCopy = [this, text] { board->setString(text); };
    }

    std::shared_ptr<FakeSelectedText> selected = std::make_shared<FakeSelectedText>();
    std::shared_ptr<MemoryPasteboard> board = std::make_shared<MemoryPasteboard>();
    std::shared_ptr<FakeKeySender> keys = std::make_shared<FakeKeySender>();
    std::vector<std::function<void()>> pending;
    std::vector<int> waits;
    std::vector<QString> reads, problems;
    int beeps = 0;
};

TEST_F(ReadAnywhereTest, SelectionFromTheDesktopIsReadAsIsWithoutTouchingTheClipboard) {
    selected->text = "  The quick fox.\n";
    board->setString("kept");
    const auto before = board->changeCount();
    ReadAnywhere::readSelection();
    EXPECT_EQ(reads, std::vector<QString>{"  The quick fox.\n"});
    EXPECT_EQ(keys->copies, 0);
    EXPECT_EQ(board->changeCount(), before);
}

TEST_F(ReadAnywhereTest, WithoutASelectionCopyIsSentAndTheClipboardPutBackItemByItem) {
    const std::vector<Pasteboard::Item> userItems = {
        {{{"text/plain", "mine"}, {"text/html", "<i>mine</i>"}}},
        {{{"image/png", "PNG"}}},
    };
    board->write(userItems);
    answerCopyWith("copied words");
    for (std::optional<QString> nothing : {std::optional<QString>{}, std::optional<QString>{" \n\t"}}) {
        reads.clear();
        selected->text = nothing;
        ReadAnywhere::readSelection();
        ASSERT_EQ(keys->copies > 0, true);
        EXPECT_TRUE(reads.empty());  // not before the wait
        ASSERT_EQ(waits.back(), 250);
        elapse();
        EXPECT_EQ(reads, std::vector<QString>{"copied words"});
        EXPECT_EQ(board->items(), userItems);
    }
    EXPECT_EQ(beeps, 0);
}

TEST_F(ReadAnywhereTest, CopyThatProducedNothingBeepsAndLeavesTheClipboardAlone) {
    board->setString("mine");
    const auto before = board->changeCount();
    ReadAnywhere::readSelection();  // nothing selected, Copy changes nothing
    elapse();
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(reads.empty());
    EXPECT_EQ(board->changeCount(), before);
    EXPECT_EQ(board->string(), QString("mine"));
}

TEST_F(ReadAnywhereTest, EmptyClipboardBeforeACopyIsEmptyAgainAfterIt) {
    answerCopyWith("from the other app");
    ReadAnywhere::readSelection();
    elapse();
    EXPECT_EQ(reads, std::vector<QString>{"from the other app"});
    EXPECT_TRUE(board->items().empty());
}

TEST_F(ReadAnywhereTest, CopiedBlankTextBeepsButStillRestoresTheClipboard) {
    board->setString("mine");
    answerCopyWith("   \n ");
    ReadAnywhere::readSelection();
    elapse();
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(reads.empty());
    EXPECT_EQ(board->string(), QString("mine"));
}

TEST_F(ReadAnywhereTest, UntrustedProcessAsksOnceShowsTheMessageAndReadsNothing) {
    selected->isTrusted = false;
    selected->text = "selected";
    ReadAnywhere::readSelection();
    EXPECT_EQ(selected->prompts, 1);
    EXPECT_EQ(problems, std::vector<QString>{ReadAnywhere::untrustedMessage()});
    EXPECT_TRUE(reads.empty());
    EXPECT_EQ(keys->copies, 0);
    EXPECT_EQ(beeps, 0);
}

TEST_F(ReadAnywhereTest, TrustLostBetweenTheTwoChecksBeeps) {
    selected->trustAnswers = {true, false};
    selected->text = "selected";
    ReadAnywhere::readSelection();
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(reads.empty());
    EXPECT_TRUE(problems.empty());
}

TEST_F(ReadAnywhereTest, SecondCaptureWhileTheFirstWaitsSendsNoSecondKeystroke) {
    board->setString("mine");
    answerCopyWith("first");
    ReadAnywhere::readSelection();
    ReadAnywhere::readSelection();
    EXPECT_EQ(keys->copies, 1);
    EXPECT_EQ(beeps, 1);  // the refused one
    elapse();
    EXPECT_EQ(reads, std::vector<QString>{"first"});
    EXPECT_EQ(board->string(), QString("mine"));
    ReadAnywhere::readSelection();  // free again afterwards
    EXPECT_EQ(keys->copies, 2);
}

TEST_F(ReadAnywhereTest, ClipboardTextIsReadUntrimmedAndAnythingElseBeeps) {
    struct Case {
        std::vector<Pasteboard::Item> items;
        std::optional<QString> read;
    };
    const Case cases[] = {
        {{{{{"text/plain", " https://example.org/a "}}}}, QString(" https://example.org/a ")},
        {{{{{"image/png", "PNG"}}}}, std::nullopt},
        {{}, std::nullopt},
        {{{{{"text/plain", "\n \n"}}}}, std::nullopt},
    };
    int wantBeeps = 0;
    for (const auto& c : cases) {
        reads.clear();
        board->clear();
        board->write(c.items);
        ReadAnywhere::readClipboard();
        if (c.read) {
            EXPECT_EQ(reads, std::vector<QString>{*c.read});
        } else {
            EXPECT_TRUE(reads.empty());
            wantBeeps++;
        }
        EXPECT_EQ(beeps, wantBeeps);
    }
    EXPECT_EQ(keys->copies, 0);
}

TEST(ReadAnywhereUninstalled, DoesNothing) {
    ReadAnywhere::uninstall();
    ReadAnywhere::readSelection();
    ReadAnywhere::readClipboard();
    SUCCEED();
}

TEST(ReadAnywhereLifetime, ContinuationOutlivingTheInstallStillRestoresTheClipboard) {
    auto board = std::make_shared<MemoryPasteboard>();
    auto keys = std::make_shared<FakeKeySender>();
    board->setString("mine");
    keys->onCopy = [board] { board->setString("copied"); };
    std::function<void()> later;
    ReadAnywhere::Parts p;
    p.selected = std::make_shared<FakeSelectedText>();
    p.board = board;
    p.keys = keys;
    p.after = [&](int, std::function<void()> fn) { later = std::move(fn); };
    int reads = 0;
    p.read = [&](const QString&) { reads++; };
    ReadAnywhere::install(std::move(p));
    ReadAnywhere::readSelection();
    ReadAnywhere::uninstall();
    later();
    EXPECT_EQ(board->string(), QString("mine"));
    EXPECT_EQ(reads, 0);
}

}  // namespace
