#include "ReaderView.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <QAbstractTextDocumentLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextFrame>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "SettingsStore.h"
#include "Doc.h"
#include "ReadingState.h"
#include "SymbolIcon.h"
#include "ViewStyle.h"
#include "core/AppModel.h"
#include "core/Library.h"

namespace tovan {
namespace {

constexpr const char* SIZE_KEY = "readingSize";
constexpr int PAD_SIDE = 48;
constexpr int PAD_TOP = 36;
constexpr int MAX_WIDTH = 760;
constexpr int HEADER_GAP = 28;

double storedSize(const SettingsStore& d) {
    const double v = d.getDouble(SIZE_KEY).value_or(ReaderView::DEFAULT_SIZE);
    return std::isfinite(v) ? v : ReaderView::DEFAULT_SIZE;
}

}  // namespace

ReaderView::ReaderView(std::shared_ptr<Doc> doc, AppModel& app, ReadingState& reading, QWidget* parent)
    : QWidget(parent), doc_(std::move(doc)), app_(app), reading_(reading), defaults_(app.defaults),
      size_(storedSize(*defaults_)) {
    setObjectName(QStringLiteral("readerView"));
    setWindowTitle(QString::fromStdU16String(doc_->title));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("readerToolbar"));
    QAction* smaller = toolbar_->addAction(symbolIcon(QStringLiteral("textformat.size.smaller")), tr("Smaller"), this,
                                           &ReaderView::smaller);
    smaller->setObjectName(QStringLiteral("readerSmaller"));
    smaller->setToolTip(tr("Smaller text"));
    QAction* larger = toolbar_->addAction(symbolIcon(QStringLiteral("textformat.size.larger")), tr("Larger"), this,
                                          &ReaderView::larger);
    larger->setObjectName(QStringLiteral("readerLarger"));
    larger->setToolTip(tr("Larger text"));
    QAction* save = toolbar_->addAction(symbolIcon(QStringLiteral("square.and.arrow.down")), tr("Save as Audio"), this,
                                        [this] { reading_.exportAudio(doc_); });
    save->setObjectName(QStringLiteral("readerSave"));
    save->setToolTip(tr("Save as audio (an audiobook file)"));
    column->addWidget(toolbar_);

    text_ = new QTextBrowser(this);
    text_->setObjectName(QStringLiteral("readerText"));
    text_->setOpenLinks(false);
    text_->setOpenExternalLinks(false);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->document()->setDocumentMargin(0);
    text_->viewport()->installEventFilter(this);
    connect(text_, &QTextBrowser::anchorClicked, this, &ReaderView::openLink);
    column->addWidget(text_, 1);

    header_ = new QWidget(text_->viewport());
    header_->setObjectName(QStringLiteral("readerHeader"));
    auto* head = new QVBoxLayout(header_);
    head->setContentsMargins(0, 0, 0, 0);
    head->setSpacing(10);
    title_ = new QLabel(QString::fromStdU16String(doc_->title), header_);
    title_->setObjectName(QStringLiteral("readerTitle"));
    title_->setTextFormat(Qt::PlainText);
    title_->setWordWrap(true);
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    head->addWidget(title_);
    author_ = new QLabel(QString::fromStdU16String(doc_->author), header_);
    author_->setObjectName(QStringLiteral("readerAuthor"));
    author_->setTextFormat(Qt::PlainText);
    author_->setWordWrap(true);
    author_->setVisible(!doc_->author.empty());
    head->addWidget(author_);
    auto* actions = new QHBoxLayout;
    actions->setContentsMargins(0, 6, 0, 0);
    actions->setSpacing(12);
    play_ = new QPushButton(header_);
    play_->setObjectName(QStringLiteral("readerPlay"));
    play_->setMinimumWidth(80);
    play_->setDefault(true);
    connect(play_, &QPushButton::clicked, this, [this] {
        if (isCurrent())
            reading_.toggle();
        else
            reading_.play(doc_, std::nullopt);
    });
    meta_ = new QLabel(header_);
    meta_->setObjectName(QStringLiteral("readerMeta"));
    meta_->setFont(ViewStyle::font(ViewStyle::Role::callout));
    actions->addWidget(play_);
    actions->addWidget(meta_);
    actions->addStretch(1);
    head->addLayout(actions);
    connect(text_->verticalScrollBar(), &QScrollBar::valueChanged, this, &ReaderView::layoutHeader);

    back_ = new QPushButton(symbolIcon(QStringLiteral("arrow.down.to.line")), tr("Back to Reading"), this);
    back_->setObjectName(QStringLiteral("readerBackToReading"));
    back_->setProperty("floats", true);  // drawn over the text on purpose
    back_->hide();
    connect(back_, &QPushButton::clicked, this, &ReaderView::backToReading);

    scrolling_ = new QPropertyAnimation(text_->verticalScrollBar(), "value", this);
    scrolling_->setDuration(350);
    scrolling_->setEasingCurve(QEasingCurve::InOutQuad);

    paragraphs_ = group(*doc_);
    rowOfParagraph_.assign(doc_->paragraphs.size(), -1);
    for (size_t k = 0; k < paragraphs_.size(); ++k) {
        const int64_t p = doc_->paraOf[static_cast<size_t>(paragraphs_[k].front())];
        rowOfParagraph_[static_cast<size_t>(p)] = static_cast<int64_t>(k);
    }
    buildRows();
    refreshHeader();

    connect(&reading_, &ReadingState::changed, this, &ReaderView::heardChanged);
    connect(&app_, &AppModel::styleChanged, this, &ReaderView::refreshHeader);
    // A pause stores the position after it says the reading stopped: the
    // button ("Resume") and the time left follow the stored position.
    connect(&app_.library, &Library::docsChanged, this, &ReaderView::refreshHeader);
    // The settings window (or another reader) changed the size: take it.
    connect(&app_, &AppModel::settingChanged, this, [this](const QString& key) {
        if (key == QLatin1String(SIZE_KEY)) showSize(storedSize(*defaults_));
    });
}

bool ReaderView::isCurrent() const {
    const std::shared_ptr<Doc> current = reading_.doc();
    return current && current->id == doc_->id;
}

int64_t ReaderView::position() const { return isCurrent() ? reading_.heard() : doc_->pos; }

std::vector<std::vector<int64_t>> ReaderView::group(const Doc& doc) {
    std::vector<std::vector<int64_t>> buckets(doc.paragraphs.size());
    for (size_t i = 0; i < doc.sentences.size() && i < doc.paraOf.size(); ++i) {
        const int64_t p = doc.paraOf[i];
        if (p >= 0 && static_cast<size_t>(p) < buckets.size())
            buckets[static_cast<size_t>(p)].push_back(static_cast<int64_t>(i));
    }
    std::erase_if(buckets, [](const auto& b) { return b.empty(); });
    return buckets;
}

std::optional<int64_t> ReaderView::sentenceOf(const QUrl& url) {
    if (url.scheme() != QStringLiteral("tovantts")) return std::nullopt;
    const QString path = url.path();
    const std::string last = path.mid(path.lastIndexOf(u'/') + 1).toStdString();
    const char* begin = last.data();
    const char* end = begin + last.size();
    // An optional sign, then decimal digits only, within 64 bits.
    const bool plus = begin != end && *begin == '+';
    if (plus) ++begin;
    const char* digits = !plus && begin != end && *begin == '-' ? begin + 1 : begin;
    if (digits == end || !std::all_of(digits, end, [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    int64_t n = 0;
    auto [ptr, ec] = std::from_chars(begin, end, n);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return n;
}

QString ReaderView::metaText(const std::u16string& kind, int64_t m, bool started) {
    QString label = QStringLiteral("Text");
    if (kind == u"epub") label = QStringLiteral("Book");
    else if (kind == u"pdf") label = QStringLiteral("PDF");
    else if (kind == u"web") label = QStringLiteral("Web page");
    else if (kind == u"docx") label = QStringLiteral("Word document");
    else if (kind == u"markdown") label = QStringLiteral("Markdown");
    const QString time = m < 60 ? QString::number(std::max<int64_t>(m, 1)) : QStringLiteral("%1 h %2").arg(m / 60).arg(m % 60);
    return label + QStringLiteral(" \u00B7 ") + time + QStringLiteral(" min") + (started ? QStringLiteral(" left") : QString());
}

QString ReaderView::playTitle() const {
    if (isCurrent() && reading_.playing()) return tr("Pause");
    return doc_->pos > 0 && !doc_->done ? tr("Resume") : tr("Play");
}

void ReaderView::smaller() { setSize(std::max(size_ - 1, MIN_SIZE)); }
void ReaderView::larger() { setSize(std::min(size_ + 1, MAX_SIZE)); }

void ReaderView::setSize(double size) {
    defaults_->setDouble(SIZE_KEY, size);
    showSize(size);
}

void ReaderView::showSize(double size) {
    if (size == size_) return;
    size_ = size;
    for (size_t k = 0; k < rows_.size(); ++k) redrawRow(k);
    refreshHeader();
}

ParagraphView ReaderView::rowView(size_t k) const {
    const std::vector<int64_t>& g = paragraphs_[k];
    const int64_t s = position();
    const bool holds = std::binary_search(g.begin(), g.end(), s);
    return ParagraphView(doc_, g, holds ? std::optional<int64_t>(s) : std::nullopt, size_);
}

void ReaderView::buildRows() {
    QTextDocument* d = text_->document();
    d->clear();
    rows_.clear();
    QTextCursor cursor(d);
    litAt_ = position();
    for (size_t k = 0; k < paragraphs_.size(); ++k) {
        if (k > 0) cursor.insertBlock();
        rows_.push_back(rowView(k));
        rows_.back().render(cursor, ViewStyle::text(this), ViewStyle::accent(this), ViewStyle::accentSoft(this));
        spaceRow(cursor, k);
    }
}

double ReaderView::paragraphSpacing(double size) { return size * 0.85; }

void ReaderView::spaceRow(QTextCursor& cursor, size_t k) {
    // The gap between paragraphs comes on top of a heading's own space.
    QTextBlockFormat f = cursor.blockFormat();
    f.setTopMargin(rows_[k].topPadding() + (k > 0 ? paragraphSpacing(size_) : 0.0));
    cursor.setBlockFormat(f);
}

void ReaderView::redrawRow(size_t k) {
    ParagraphView next = rowView(k);
    if (next == rows_[k]) return;  // only rows whose value changed are drawn again
    QTextBlock block = text_->document()->findBlockByNumber(static_cast<int>(k));
    if (!block.isValid()) return;
    QTextCursor cursor(block);
    cursor.beginEditBlock();
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    next.render(cursor, ViewStyle::text(this), ViewStyle::accent(this), ViewStyle::accentSoft(this));
    rows_[k] = std::move(next);
    spaceRow(cursor, k);
    cursor.endEditBlock();
}

std::optional<size_t> ReaderView::rowOf(int64_t sentence) const {
    if (sentence < 0 || static_cast<size_t>(sentence) >= doc_->paraOf.size()) return std::nullopt;
    const int64_t p = doc_->paraOf[static_cast<size_t>(sentence)];
    if (p < 0 || static_cast<size_t>(p) >= rowOfParagraph_.size() || rowOfParagraph_[static_cast<size_t>(p)] < 0)
        return std::nullopt;
    return static_cast<size_t>(rowOfParagraph_[static_cast<size_t>(p)]);
}

void ReaderView::heardChanged() {
    const int64_t s = position();
    if (s != litAt_) {
        const int64_t was = litAt_;
        litAt_ = s;
        if (auto k = rowOf(was)) redrawRow(*k);
        if (auto k = rowOf(s)) redrawRow(*k);
        if (isCurrent() && follow_) scrollToPosition(true);
    } else {
        // The same position, maybe another document became current.
        if (auto k = rowOf(s)) redrawRow(*k);
    }
    refreshHeader();
}

void ReaderView::scrollToPosition(bool animated) {
    const auto k = rowOf(position());
    if (!k) return;
    const QTextBlock block = text_->document()->findBlockByNumber(static_cast<int>(*k));
    if (!block.isValid()) return;
    const QRectF r = text_->document()->documentLayout()->blockBoundingRect(block);
    const double viewHeight = text_->viewport()->height();
    QScrollBar* bar = text_->verticalScrollBar();
    const int target = std::clamp(static_cast<int>(std::lround(r.top() + 0.08 * r.height() - 0.08 * viewHeight)),
                                  bar->minimum(), bar->maximum());
    scrolling_->stop();
    if (!animated) {
        bar->setValue(target);
        return;
    }
    scrolling_->setStartValue(bar->value());
    scrolling_->setEndValue(target);
    scrolling_->start();
}

void ReaderView::openLink(const QUrl& url) {
    const auto n = sentenceOf(url);
    if (!n) return;
    follow_ = true;
    placeBackButton();
    if (isCurrent() && reading_.playing())
        reading_.seek(*n);
    else
        reading_.play(doc_, *n);
}

void ReaderView::userScrolled() {
    follow_ = false;
    scrolling_->stop();
    placeBackButton();
}

void ReaderView::backToReading() {
    follow_ = true;
    placeBackButton();
    scrollToPosition(true);
}

bool ReaderView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_->viewport() && event->type() == QEvent::Wheel) {
        // A wheel without phases, or a trackpad gesture starting or moving,
        // is the user's; momentum and the gesture's end are not.
        const auto phase = static_cast<QWheelEvent*>(event)->phase();
        if (phase == Qt::NoScrollPhase || phase == Qt::ScrollBegin || phase == Qt::ScrollUpdate) userScrolled();
    }
    return QWidget::eventFilter(watched, event);  // the scroll itself still happens
}

void ReaderView::refreshHeader() {
    title_->setFont(ViewStyle::serif(size_ * 1.6, QFont::Bold));
    author_->setFont(ViewStyle::serif(size_ * 0.95));
    QPalette dim = author_->palette();
    dim.setColor(QPalette::WindowText, ViewStyle::secondary(this));
    author_->setPalette(dim);
    meta_->setPalette(dim);
    const bool pause = isCurrent() && reading_.playing();
    const QString symbol = pause ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
    play_->setText(playTitle());
    play_->setIcon(symbolIcon(symbol));
    play_->setProperty("symbol", symbol);
    const float rate = reading_.speed() * app_.style().pace;
    meta_->setText(metaText(doc_->kind, doc_->minutesLeft(rate), doc_->pos > 0 && !doc_->done));
    placeBackButton();
    layoutHeader();
}

void ReaderView::layoutHeader() {
    const int avail = text_->viewport()->width();
    const int column = std::min(avail, MAX_WIDTH);
    const int side = (avail - column) / 2 + PAD_SIDE;
    const int inner = std::max(column - 2 * PAD_SIDE, 60);
    header_->setFixedWidth(inner);
    const int h = header_->layout()->heightForWidth(inner) > 0 ? header_->layout()->heightForWidth(inner)
                                                               : header_->sizeHint().height();
    header_->setFixedHeight(h);
    QTextFrameFormat f = text_->document()->rootFrame()->frameFormat();
    const double top = PAD_TOP + h + HEADER_GAP;
    if (f.leftMargin() != side || f.rightMargin() != side || f.topMargin() != top) {
        f.setLeftMargin(side);
        f.setRightMargin(side);
        f.setTopMargin(top);
        f.setBottomMargin(PAD_TOP);
        text_->document()->rootFrame()->setFrameFormat(f);
    }
    header_->move(side, PAD_TOP - text_->verticalScrollBar()->value());
}

void ReaderView::placeBackButton() {
    const bool shown = !follow_ && isCurrent();
    back_->setVisible(shown);
    if (!shown) return;
    back_->adjustSize();
    const int scrollbar = text_->verticalScrollBar()->isVisible() ? text_->verticalScrollBar()->width() : 0;
    back_->move(width() - back_->width() - 16 - scrollbar, height() - back_->height() - 16);
    back_->raise();
}

void ReaderView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layoutHeader();
    placeBackButton();
}

void ReaderView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (shownOnce_) return;
    shownOnce_ = true;
    layoutHeader();
    // Once the rows are laid out: straight to the position, no animation.
    QTimer::singleShot(0, this, [this] { scrollToPosition(false); });
}

}  // namespace tovan
