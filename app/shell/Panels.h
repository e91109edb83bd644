#pragma once
// The open panel and bringing the main window forward. Main thread.
#include <QStringList>

#include <filesystem>
#include <functional>

class QWidget;

namespace tovan {

struct Panels {
    // The panel's filter: PDF, EPUB, HTML, plain text, Word and Markdown files.
    static QStringList types();
    static QString message();  // "Choose a book, a PDF, …"

    // Runs the panel (not blocking); what was chosen goes to openChosen.
    static void openFiles(QWidget* parent, std::function<void(const std::filesystem::path&, bool play)> open,
                          std::function<void()> showLibrary);
    // Each file in order, play on for the first only; then the reading list
    // and the main window come forward. An empty choice changes nothing.
    static void openChosen(const QStringList& files, const std::function<void(const std::filesystem::path&, bool)>& open,
                           const std::function<void()>& showLibrary);

    // Activates the program and raises the window named "main" (or titled
    // "Lumora"); without one it only activates.
    static void showMain();
};

}  // namespace tovan
