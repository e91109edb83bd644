#pragma once
// What is dropped on the main window: every file goes to the file road,
// every other link to the link road, and text (only when no link came with
// it) to the text road, each with play on and after the reading list was
// put in front. Anything else is ignored; a drop is always accepted.
#include <QUrl>

#include <filesystem>
#include <functional>

class QMimeData;

namespace tovan {

struct Drops {
    struct Roads {
        std::function<void()> showLibrary;
        std::function<void(const std::filesystem::path&, bool play)> openFile;
        std::function<void(const QUrl&, bool play)> openLink;
        std::function<void(const QString& text, bool play)> read;
    };
    static void handle(const QMimeData& data, const Roads& roads);
};

}  // namespace tovan
