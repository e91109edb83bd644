#include "Panels.h"

#include <QApplication>
#include <QFileDialog>
#include <QWidget>

#include "FileDialogs.h"

namespace tovan {

QStringList Panels::types() {
    return {QStringLiteral("Documents (*.pdf *.epub *.html *.htm *.xhtml *.txt *.text *.docx *.md *.markdown)"),
            QStringLiteral("PDF (*.pdf)"), QStringLiteral("EPUB (*.epub)"), QStringLiteral("Web pages (*.html *.htm *.xhtml)"),
            QStringLiteral("Text (*.txt *.text)"), QStringLiteral("Word documents (*.docx)"),
            QStringLiteral("Markdown (*.md *.markdown)")};
}

QString Panels::message() {
    return QStringLiteral("Choose a book, a PDF, a Word document, a web page or text to listen to.");
}

void Panels::openFiles(QWidget* parent, std::function<void(const std::filesystem::path&, bool)> open,
                       std::function<void()> showLibrary) {
    auto* dialog = FileDialogs::make(parent, QObject::tr("Open"), message(), QString());
    dialog->setObjectName("openPanel");
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setNameFilters(types());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::accepted, dialog, [dialog, open, showLibrary] {
        openChosen(dialog->selectedFiles(), open, showLibrary);
    });
    dialog->open();
}

void Panels::openChosen(const QStringList& files, const std::function<void(const std::filesystem::path&, bool)>& open,
                        const std::function<void()>& showLibrary) {
    if (files.isEmpty()) return;
    bool first = true;
    for (const QString& f : files) {
        if (open) open(f.toStdString(), first);
        first = false;
    }
    if (showLibrary) showLibrary();
    showMain();
}

void Panels::showMain() {
    QWidget* target = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && (w->objectName() == "main" || w->windowTitle() == "Lumora") &&
            !w->testAttribute(Qt::WA_DontShowOnScreen)) {
            target = w;
            break;
        }
    if (!target) return;
    target->show();
    target->setWindowState((target->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    target->raise();
    target->activateWindow();
}

}  // namespace tovan
