#pragma once
// The reading-list section: the list of documents beside the reader of the
// chosen one, with the add menu in its toolbar; the welcome screen instead
// while the list is empty. The chosen row follows the reading: whatever starts
// playing, from anywhere, is selected and shown.

#include <optional>
#include <string>

#include <QWidget>

class QLabel;
class QSplitter;
class QStackedLayout;

namespace tovan {

class AppModel;
class DocList;
class EmptyLibrary;
class ReaderView;
class ReadingState;
struct ViewHooks;

class LibraryView : public QWidget {
    Q_OBJECT
public:
    LibraryView(AppModel& app, ReadingState& reading, ViewHooks& hooks, QWidget* parent = nullptr);

    DocList* list() const { return list_; }
    // The reader in the pane, if a document is shown.
    ReaderView* reader() const { return reader_; }
    // The id the pane shows: the selection, else the current document, else
    // the first entry.
    std::optional<std::u16string> paneId() const;

private:
    void refresh();
    void readingChanged();
    void showPane();

    AppModel& app_;
    ReadingState& reading_;
    ViewHooks& hooks_;
    QStackedLayout* pages_;
    EmptyLibrary* empty_;
    QWidget* full_;
    DocList* list_;
    QSplitter* split_;
    QWidget* pane_;
    ReaderView* reader_ = nullptr;
    QLabel* nothing_;
    std::optional<std::optional<std::u16string>> shownId_;  // what the pane was last made for
    std::optional<std::u16string> currentId_;  // the reading's document, last seen
};

}  // namespace tovan
