#pragma once
// One document as readable text while it is read aloud: a header with the
// title, the author, the play button and the time left, then every paragraph
// with the heard sentence lit. While the document plays the view follows the
// heard sentence; a wheel or trackpad scroll stops following and "Back to
// Reading" brings it back. Each sentence is a link: a click jumps the reading
// there. The toolbar changes the text size ("readingSize", 14 to 30) and saves
// the document as audio.
//
// A reader belongs to one document for its whole life.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QUrl>
#include <QWidget>

#include "ParagraphView.h"

class QLabel;
class QPushButton;
class QPropertyAnimation;
class QTextBrowser;
class QTextCursor;
class QToolBar;
class QAction;

namespace tovan {

class AppModel;
class SettingsStore;
class Doc;
class ReadingState;

class ReaderView : public QWidget {
    Q_OBJECT
public:
    static constexpr double DEFAULT_SIZE = 19.0;
    static constexpr double MIN_SIZE = 14.0;
    static constexpr double MAX_SIZE = 30.0;

    ReaderView(std::shared_ptr<Doc> doc, AppModel& app, ReadingState& reading, QWidget* parent = nullptr);

    const std::shared_ptr<Doc>& doc() const { return doc_; }
    double size() const { return size_; }
    bool follow() const { return follow_; }
    // The document is the reading's current one.
    bool isCurrent() const;
    // The sentence lit and scrolled to: the heard one while current, else the
    // saved position.
    int64_t position() const;
    // Row k's paragraph (drawn at the moment).
    const std::vector<ParagraphView>& rows() const { return rows_; }

    void smaller();
    void larger();
    // What a click on a link does; every link counts as handled.
    void openLink(const QUrl& url);
    // Scrolls the row of position() to the top part of the view.
    void scrollToPosition(bool animated);
    // What a user's wheel or trackpad scroll over the text does.
    void userScrolled();
    void backToReading();

    // The sentence indices of each paragraph that has any, in order.
    static std::vector<std::vector<int64_t>> group(const Doc& doc);
    // The sentence a "tovantts:" link names by its last path component.
    static std::optional<int64_t> sentenceOf(const QUrl& url);
    // "Book · 2 h 5 min left", "Text · 1 min".
    static QString metaText(const std::u16string& kind, int64_t minutes, bool started);
    // "Play", "Resume" or "Pause".
    QString playTitle() const;
    // The space between two paragraphs at a text size.
    static double paragraphSpacing(double size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void setSize(double size);
    // Draws at the size without storing it.
    void showSize(double size);
    void buildRows();
    void redrawRow(size_t k);
    void spaceRow(QTextCursor& cursor, size_t k);
    ParagraphView rowView(size_t k) const;
    std::optional<size_t> rowOf(int64_t sentence) const;
    void heardChanged();
    void refreshHeader();
    void layoutHeader();
    void placeBackButton();

    std::shared_ptr<Doc> doc_;
    AppModel& app_;
    ReadingState& reading_;
    std::shared_ptr<SettingsStore> defaults_;
    double size_;
    bool follow_ = true;
    bool shownOnce_ = false;
    int64_t litAt_ = -1;  // the position the rows were last drawn for

    std::vector<std::vector<int64_t>> paragraphs_;
    std::vector<int64_t> rowOfParagraph_;  // -1 for a paragraph without a row
    std::vector<ParagraphView> rows_;

    QToolBar* toolbar_;
    QTextBrowser* text_;
    QWidget* header_;
    QLabel* title_;
    QLabel* author_;
    QPushButton* play_;
    QLabel* meta_;
    QPushButton* back_;
    QPropertyAnimation* scrolling_;
};

}  // namespace tovan
