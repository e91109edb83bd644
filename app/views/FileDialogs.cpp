#include "FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>

namespace tovan::FileDialogs {

QFileDialog* make(QWidget* parent, const QString& title, const QString& message, const QString& folder,
                  const QString& filter) {
    auto* dialog = new QFileDialog(parent, title, folder, filter);
    // Qt's own dialog: the one whose body can carry the message.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        auto* words = new QLabel(message, dialog);
        words->setObjectName(QStringLiteral("dialogMessage"));
        words->setWordWrap(true);
        words->setTextFormat(Qt::PlainText);
        // Above everything else: the grid's rows move down by one.
        QList<std::tuple<QLayoutItem*, int, int, int, int>> items;
        while (grid->count() > 0) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(0, &row, &column, &rows, &columns);
            items.append({grid->takeAt(0), row, column, rows, columns});
        }
        grid->addWidget(words, 0, 0, 1, -1);
        for (const auto& [item, row, column, rows, columns] : items) grid->addItem(item, row + 1, column, rows, columns);
    } else {
        dialog->setWindowTitle(message);
    }
    return dialog;
}

QString musicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QDir(music).exists()) return music;
    return QDir::homePath();
}

}  // namespace tovan::FileDialogs
