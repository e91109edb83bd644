// The open and save dialogs carry their sentence in the body, under a short
// title.
#include "FileDialogs.h"
#include "QtTestApp.h"

#include <QFileDialog>
#include <QLabel>

#include <gtest/gtest.h>

#include <memory>

namespace tovan {
namespace {

TEST(FileDialogs, TheMessageStandsInTheBodyAboveTheFiles) {
    test::qtApp();
    const QString message =
        QStringLiteral("Choose a book, a PDF, a Word document, a web page or text to listen to.");
    std::unique_ptr<QFileDialog> dialog(FileDialogs::make(nullptr, QStringLiteral("Open"), message, QDir::tempPath()));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Open"));
    auto* words = dialog->findChild<QLabel*>(QStringLiteral("dialogMessage"));
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words->text(), message);
    EXPECT_TRUE(words->wordWrap());
    dialog->resize(600, 400);
    dialog->show();
    // Above every other part of the dialog.
    for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != words && w->isVisible()) {
            EXPECT_GE(w->geometry().top(), words->geometry().bottom()) << w->objectName().toStdString();
        }
    }
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(QDir::tempPath()).canonicalPath());
}

TEST(FileDialogs, MusicFolderIsAFolderThatExists) {
    test::qtApp();
    EXPECT_TRUE(QDir(FileDialogs::musicFolder()).exists());
}

}  // namespace
}  // namespace tovan
