#include "FreeBooksScreen.h"

#include "Chips.h"
#include "Regex.h"
#include "SymbolIcon.h"
#include "Theme.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <set>

namespace tovan {

namespace {

QString qs(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// Spaces, tabs and the other space separators; line breaks stay.
bool horizontalSpace(char16_t c) {
    return c == u'\t' || QChar(c).category() == QChar::Separator_Space;
}

std::u16string trimHorizontal(const std::u16string& s) {
    size_t a = 0, b = s.size();
    while (a < b && horizontalSpace(s[a])) ++a;
    while (b > a && horizontalSpace(s[b - 1])) --b;
    return s.substr(a, b - a);
}

QProgressBar* busy(QWidget* parent, const char* name) {
    auto* p = new QProgressBar(parent);
    p->setObjectName(name);
    p->setRange(0, 0);
    p->setTextVisible(false);
    p->setMaximumWidth(120);
    return p;
}

// One book: icon tile, title and subtitle, and the Open/Listen button; a
// double click anywhere on it opens the book too.
class BookRow : public QWidget {
public:
    BookRow(const Gutenberg::Book& book, std::function<void()> open, QWidget* parent)
        : QWidget(parent), open_(std::move(open)) {
        auto* h = new QHBoxLayout(this);
        h->setContentsMargins(8, 3, 8, 3);
        h->setSpacing(12);
        auto* tile = new QLabel(this);
        tile->setObjectName("tile");
        tile->setFixedSize(30, 30);
        tile->setAlignment(Qt::AlignCenter);
        tile->setPixmap(symbolIcon("book.closed").pixmap(18, 18));
        tile->setStyleSheet(QString("background: %1; border-radius: 7px; color: %2;")
                                .arg(Theme::accentSoft().current().name(), Theme::accent().current().name()));
        h->addWidget(tile);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        title_ = new QLabel(qs(book.title), this);
        title_->setObjectName("title");
        QFont f = Theme::font(Theme::TextStyle::body);
        f.setWeight(QFont::Medium);
        title_->setFont(f);
        title_->setWordWrap(true);
        // At most two lines of title.
        title_->setMaximumHeight(QFontMetrics(f).lineSpacing() * 2 + 2);
        subtitle_ = new QLabel(this);
        subtitle_->setObjectName("subtitle");
        subtitle_->setFont(Theme::font(Theme::TextStyle::callout));
        texts->addWidget(title_);
        texts->addWidget(subtitle_);
        h->addLayout(texts, 1);
        button_ = new QPushButton(this);
        button_->setObjectName("open");
        QObject::connect(button_, &QPushButton::clicked, this, [this] { open_(); });
        h->addWidget(button_);
        author_ = qs(book.author);
    }

    void mark(bool listed) {
        QStringList parts;
        if (!author_.isEmpty()) parts << author_;
        if (listed) parts << "In your list";
        subtitle_->setText(parts.join(QString::fromUtf16(u" \u00B7 ")));
        QPalette p = subtitle_->palette();
        p.setColor(QPalette::WindowText, listed ? Theme::accent().resolve(palette()) : Theme::secondary(palette()));
        subtitle_->setPalette(p);
        button_->setText(listed ? "Open" : "Listen");
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        e->accept();
        open_();
    }

private:
    std::function<void()> open_;
    QString author_;
    QLabel* title_;
    QLabel* subtitle_;
    QPushButton* button_;
};

}  // namespace

FreeBooksView::FreeBooksView(Host host, QWidget* parent) : QWidget(parent), host_(std::move(host)) {
    setObjectName("freeBooks");
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    auto* header = new QWidget(this);
    auto* hv = new QVBoxLayout(header);
    hv->setContentsMargins(24, 20, 24, 12);
    hv->setSpacing(10);
    auto* top = new QHBoxLayout;
    auto* heading = new QLabel("70,000 books, free to read and hear", header);
    heading->setObjectName("heading");
    heading->setFont(Theme::font(Theme::TextStyle::title2));
    top->addWidget(heading, 1);
    search_ = new QLineEdit(header);
    search_->setObjectName("search");
    search_->setPlaceholderText("Title or author");
    search_->setClearButtonEnabled(true);
    search_->setMaximumWidth(260);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& t) { query_ = t.toStdU16String(); });
    connect(search_, &QLineEdit::returnPressed, this, &FreeBooksView::submitSearch);
    top->addWidget(search_);
    hv->addLayout(top);
    auto* blurb = new QLabel(
        "Public-domain classics from Project Gutenberg. Stories are performed: each character gets a voice of "
        "their own.",
        header);
    blurb->setObjectName("blurb");
    blurb->setWordWrap(true);
    QPalette bp = blurb->palette();
    bp.setColor(QPalette::WindowText, Theme::secondary(bp));
    blurb->setPalette(bp);
    hv->addWidget(blurb);
    auto* chipScroll = new QScrollArea(header);
    chipScroll->setObjectName("shelves");
    chipScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipScroll->setFrameShape(QFrame::NoFrame);
    chipScroll->setWidgetResizable(true);
    auto* chipRow = new QWidget(chipScroll);
    auto* ch = new QHBoxLayout(chipRow);
    ch->setContentsMargins(0, 0, 0, 0);
    ch->setSpacing(6);
    for (size_t i = 0; i < Gutenberg::shelves.size(); ++i) {
        auto* chip = new Chip(qs(Gutenberg::shelves[i].title), false, chipRow);
        chip->setObjectName("shelf:" + chip->text());
        connect(chip, &QAbstractButton::clicked, this, [this, i] { chooseShelf(static_cast<int>(i)); });
        ch->addWidget(chip);
        chips_.push_back(chip);
    }
    ch->addStretch(1);
    chipScroll->setWidget(chipRow);
    chipScroll->setFixedHeight(chipRow->sizeHint().height() + 2);
    hv->addWidget(chipScroll);
    v->addWidget(header);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    v->addWidget(line);

    auto* body = new QWidget(this);
    auto* grid = new QGridLayout(body);
    grid->setContentsMargins(0, 0, 0, 0);
    list_ = new QListWidget(body);
    list_->setObjectName("books");
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setFrameShape(QFrame::NoFrame);
    grid->addWidget(list_, 0, 0);
    overlay_ = new QWidget(body);
    overlay_->setObjectName("overlay");
    auto* ov = new QVBoxLayout(overlay_);
    spinner_ = busy(overlay_, "progress");
    ov->addWidget(spinner_, 0, Qt::AlignCenter);
    errorBox_ = new QWidget(overlay_);
    auto* ev = new QVBoxLayout(errorBox_);
    ev->setSpacing(10);
    errorLabel_ = new QLabel(errorBox_);
    errorLabel_->setObjectName("error");
    errorLabel_->setAlignment(Qt::AlignCenter);
    QPalette ep = errorLabel_->palette();
    ep.setColor(QPalette::WindowText, Theme::secondary(ep));
    errorLabel_->setPalette(ep);
    ev->addWidget(errorLabel_, 0, Qt::AlignCenter);
    auto* retry = new QPushButton("Try Again", errorBox_);
    retry->setObjectName("tryAgain");
    connect(retry, &QPushButton::clicked, this, [this] { load(true); });
    ev->addWidget(retry, 0, Qt::AlignCenter);
    ov->addWidget(errorBox_, 0, Qt::AlignCenter);
    empty_ = new QLabel("No books found.", overlay_);
    empty_->setObjectName("noBooks");
    empty_->setPalette(ep);
    ov->addWidget(empty_, 0, Qt::AlignCenter);
    grid->addWidget(overlay_, 0, 0, Qt::AlignCenter);
    v->addWidget(body, 1);

    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, &FreeBooksView::checkLastRow);
    connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, this, &FreeBooksView::checkLastRow);
    refresh();
}

bool FreeBooksView::inList(const Gutenberg::Book& book, const std::vector<Doc::Meta>& docs, const std::u16string& root) {
    const std::u16string address = root + book.id;
    for (const Doc::Meta& m : docs) {
        if (m.source == address) return true;
        if (m.source.empty() && m.displayTitle().starts_with(book.title)) return true;
    }
    return false;
}

std::u16string FreeBooksView::current() const {
    if (searched_) return *searched_;
    return std::u16string(Gutenberg::shelves[static_cast<size_t>(shelf_)].query);
}

void FreeBooksView::chooseShelf(int index) {
    if (index < 0 || index >= static_cast<int>(Gutenberg::shelves.size())) return;
    searched_.reset();
    query_.clear();
    search_->clear();
    shelf_ = index;
    load(true);
}

void FreeBooksView::submitSearch() {
    const std::u16string q = trimHorizontal(query_);
    if (q.empty())
        searched_.reset();
    else
        searched_ = q;
    load(true);
}

void FreeBooksView::load(bool reset) {
    const std::u16string q = current();
    int64_t start = nextStart_;
    if (reset) {
        books_.clear();
        more_ = true;
        start = 1;
    }
    loading_ = true;
    error_.reset();
    if (reset) {
        // The row widgets go now, not at the next turn of the event loop,
        // so nothing stale is ever found among the children.
        std::vector<QWidget*> rows;
        for (int i = 0; i < list_->count(); ++i)
            if (QWidget* w = list_->itemWidget(list_->item(i))) rows.push_back(w);
        list_->clear();
        for (QWidget* w : rows) delete w;
        lastItem_ = nullptr;
        lastRow_ = nullptr;
    }
    refresh();
    if (!host_.page) return failed();
    QPointer<FreeBooksView> self(this);
    host_.page(
        q, start,
        [self, q, start](std::vector<Gutenberg::Book> page) {
            if (self) self->arrived(q, start, std::move(page));
        },
        [self](std::u16string) {
            if (self) self->failed();
        });
}

void FreeBooksView::arrived(const std::u16string& query, int64_t start, std::vector<Gutenberg::Book> page) {
    // An answer for a shelf or search no longer in effect changes nothing.
    if (current() != query) return;
    std::set<std::u16string> known;
    for (const auto& b : books_) known.insert(b.id);
    const size_t from = books_.size();
    for (auto& b : page)
        if (!known.count(b.id)) books_.push_back(b);
    more_ = !page.empty();
    nextStart_ = start + Gutenberg::pageSize;
    loading_ = false;
    appendRows(from);
    refresh();
}

void FreeBooksView::failed() {
    error_ = std::u16string(failureText);
    loading_ = false;
    refresh();
}

void FreeBooksView::appendRows(size_t from) {
    const std::vector<Doc::Meta> docs = host_.docs ? host_.docs() : std::vector<Doc::Meta>{};
    int at = lastItem_ ? list_->row(lastItem_) : list_->count();
    for (size_t i = from; i < books_.size(); ++i, ++at) {
        const Gutenberg::Book book = books_[i];
        auto* item = new QListWidgetItem;
        list_->insertItem(at, item);
        auto* row = new BookRow(book, [this, book] { if (host_.open) host_.open(book); }, list_);
        row->setObjectName("book:" + QString::number(i));
        row->mark(inList(book, docs, host_.root));
        item->setSizeHint(row->sizeHint());
        list_->setItemWidget(item, row);
    }
}

void FreeBooksView::markRows() {
    const std::vector<Doc::Meta> docs = host_.docs ? host_.docs() : std::vector<Doc::Meta>{};
    for (size_t i = 0; i < books_.size() && static_cast<int>(i) < list_->count(); ++i)
        if (auto* row = dynamic_cast<BookRow*>(list_->itemWidget(list_->item(static_cast<int>(i)))))
            row->mark(inList(books_[i], docs, host_.root));
}

void FreeBooksView::libraryChanged() {
    markRows();
}

void FreeBooksView::refresh() {
    for (size_t i = 0; i < chips_.size(); ++i) chips_[i]->setOn(!searched_ && static_cast<int>(i) == shelf_);

    const bool wantLast = more_ && !books_.empty();
    if (wantLast && !lastItem_) {
        lastItem_ = new QListWidgetItem;
        list_->addItem(lastItem_);
        lastRow_ = new QWidget(list_);
        lastRow_->setObjectName("lastRow");
        auto* h = new QHBoxLayout(lastRow_);
        h->addStretch(1);
        lastSpinner_ = busy(lastRow_, "moreProgress");
        h->addWidget(lastSpinner_);
        moreButton_ = new QPushButton("More Books", lastRow_);
        moreButton_->setObjectName("moreBooks");
        connect(moreButton_, &QPushButton::clicked, this, [this] { load(false); });
        h->addWidget(moreButton_);
        h->addStretch(1);
        lastItem_->setSizeHint(lastRow_->sizeHint());
        list_->setItemWidget(lastItem_, lastRow_);
        lastShown_ = false;
    } else if (!wantLast && lastItem_) {
        delete list_->takeItem(list_->row(lastItem_));
        delete lastRow_;
        lastItem_ = nullptr;
        lastRow_ = nullptr;
        lastShown_ = false;
    }
    if (lastItem_) {
        lastSpinner_->setVisible(loading_);
        moreButton_->setVisible(!loading_);
    }

    const bool none = books_.empty();
    spinner_->setVisible(loading_ && none);
    errorBox_->setVisible(!(loading_ && none) && error_ && none);
    if (error_) errorLabel_->setText(qs(*error_));
    empty_->setVisible(!loading_ && !error_ && none);
    overlay_->setVisible(none);
    // After the list has laid out its new rows.
    QTimer::singleShot(0, this, &FreeBooksView::checkLastRow);
}

void FreeBooksView::checkLastRow() {
    if (!lastItem_ || !isVisible()) return;
    const bool shown = list_->visualItemRect(lastItem_).intersects(list_->viewport()->rect());
    const bool cameIntoView = shown && !lastShown_;
    lastShown_ = shown;
    if (cameIntoView && !loading_) load(false);
}

void FreeBooksView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!appeared_ || books_.empty()) {
        appeared_ = true;
        if (!loading_) load(true);
    }
}

}  // namespace tovan
