#pragma once
// The free books section: the public-domain catalogue by shelf or by search,
// page after page (the next one asked for as the end of the list comes into
// view), with the books already in the reading list marked, and a button or
// double click to open one. Downloading, adding and playing a book belong to
// the application model; this screen only lists books and reports listing
// failures.

#include "BookCatalog.h"
#include "Doc.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace tovan {

class Chip;

class FreeBooksView : public QWidget {
    Q_OBJECT
public:
    // What the screen needs of the rest of the application.
    struct Host {
        // One catalogue page (Gutenberg::page or a stand-in); must end in
        // exactly one callback, on the main thread.
        std::function<void(const std::u16string& query, int64_t start, Gutenberg::Books, Gutenberg::Failed)> page;
        // The reading list as it is now.
        std::function<std::vector<Doc::Meta>()> docs;
        // Plays a listed book, or downloads, adds and plays it.
        std::function<void(const Gutenberg::Book&)> open;
        // The catalogue root: a book's address is root + id.
        std::u16string root;
    };

    static constexpr std::u16string_view failureText = u"Project Gutenberg could not be reached. Check your connection.";

    explicit FreeBooksView(Host host, QWidget* parent = nullptr);

    // Whether a book is in the reading list: an entry whose source is the
    // book's address, or an entry without a source whose display title
    // ("title · author") begins with the book's title.
    static bool inList(const Gutenberg::Book& book, const std::vector<Doc::Meta>& docs, const std::u16string& root);

    // The reading list changed: rows are marked again.
    void libraryChanged();

    // Actions, as the controls do them.
    void chooseShelf(int index);
    void submitSearch();
    void load(bool reset);

    // State, for the main window and tests.
    int shelf() const { return shelf_; }
    const std::optional<std::u16string>& searched() const { return searched_; }
    const std::vector<Gutenberg::Book>& books() const { return books_; }
    bool loading() const { return loading_; }
    bool more() const { return more_; }
    const std::optional<std::u16string>& error() const { return error_; }
    int64_t nextStart() const { return nextStart_; }
    // The query in effect: the search when set, else the shelf's.
    std::u16string current() const;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void arrived(const std::u16string& query, int64_t start, std::vector<Gutenberg::Book> page);
    void failed();
    void refresh();        // chips, overlay and last row after a state change
    void appendRows(size_t from);
    void markRows();       // subtitles and buttons of every book row
    void checkLastRow();   // the last row in view loads the next page

    Host host_;
    int shelf_ = 1;
    std::u16string query_;
    std::optional<std::u16string> searched_;
    std::vector<Gutenberg::Book> books_;
    bool loading_ = false;
    bool more_ = true;
    std::optional<std::u16string> error_;
    int64_t nextStart_ = 1;
    bool appeared_ = false;
    bool lastShown_ = false;  // the last row was in view at the last check

    std::vector<Chip*> chips_;
    QLineEdit* search_;
    QListWidget* list_;
    QListWidgetItem* lastItem_ = nullptr;
    QWidget* lastRow_ = nullptr;
    QProgressBar* lastSpinner_ = nullptr;
    QPushButton* moreButton_ = nullptr;
    QWidget* overlay_;
    QProgressBar* spinner_;
    QWidget* errorBox_;
    QLabel* errorLabel_;
    QLabel* empty_;
};

}  // namespace tovan
