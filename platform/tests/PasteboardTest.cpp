#include "Pasteboard.h"
#include "QtPasteboard.h"
#include "TestApp.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QMimeData>

using namespace tovan;
using namespace tovan::test;

namespace {

// The same behaviour is asked of the memory clipboard and of QClipboard.
class PasteboardKinds : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        guiApp();
        if (GetParam()) {
            QGuiApplication::clipboard()->clear();
            board = std::make_unique<QtPasteboard>();
        } else {
            board = std::make_unique<MemoryPasteboard>();
        }
    }
    std::unique_ptr<Pasteboard> board;
};

TEST_P(PasteboardKinds, SavedItemsWrittenBackGiveTheSameTypesAndBytes) {
    Pasteboard::Item item{{{"text/plain", "hello"}, {"text/html", "<b>hello</b>"}, {"image/png", QByteArray("\x89PNG\0x", 6)}}};
    board->write({item});
    const auto saved = board->items();
    ASSERT_EQ(saved.size(), 1u);

    board->setString("something else");
    EXPECT_EQ(board->string(), QString("something else"));
    board->clear();
    EXPECT_EQ(board->string(), std::nullopt);
    board->write(saved);

    const auto back = board->items();
    ASSERT_EQ(back.size(), 1u);
    for (const auto& [type, bytes] : item.types) {
        bool found = false;
        for (const auto& [t, b] : back[0].types)
            if (t == type) {
                found = true;
                EXPECT_EQ(b, bytes) << type.toStdString();
            }
        EXPECT_TRUE(found) << type.toStdString();
    }
    EXPECT_EQ(board->string(), QString("hello"));
}

TEST_P(PasteboardKinds, EveryChangeMovesTheCount) {
    const int64_t start = board->changeCount();
    board->setString("a");
    spinUntil([&] { return board->changeCount() > start; }, 500);
    const int64_t afterSet = board->changeCount();
    EXPECT_GT(afterSet, start);
    board->clear();
    spinUntil([&] { return board->changeCount() > afterSet; }, 500);
    EXPECT_GT(board->changeCount(), afterSet);
}

TEST_P(PasteboardKinds, AnEmptyBoardHasNoItemsAndNoText) {
    board->clear();
    EXPECT_TRUE(board->items().empty());
    EXPECT_EQ(board->string(), std::nullopt);
    Pasteboard::Item image{{{"image/png", "png-bytes"}}};
    board->write({image});
    EXPECT_EQ(board->string(), std::nullopt);  // an image is no text
}

INSTANTIATE_TEST_SUITE_P(Both, PasteboardKinds, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "QClipboard" : "Memory"; });

}  // namespace
