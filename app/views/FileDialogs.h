#pragma once
// The open and save dialogs: a short title, and the sentence that says what
// to choose in the dialog's body, over the file list (a title bar cuts a
// sentence off).

#include <QString>

class QFileDialog;
class QWidget;

namespace tovan::FileDialogs {

QFileDialog* make(QWidget* parent, const QString& title, const QString& message, const QString& folder,
                  const QString& filter = QString());

// Where exported audio goes first: the user's music folder (XDG), else the
// home folder.
QString musicFolder();

}  // namespace tovan::FileDialogs
