#include "LibraryView.h"

#include <QLabel>
#include <QSplitter>
#include <QStackedLayout>
#include <QToolBar>
#include <QVBoxLayout>

#include "AddMenu.h"
#include "Doc.h"
#include "DocList.h"
#include "EmptyLibrary.h"
#include "ReaderView.h"
#include "ReadingState.h"
#include "ViewStyle.h"
#include "core/AppModel.h"

namespace tovan {

LibraryView::LibraryView(AppModel& app, ReadingState& reading, ViewHooks& hooks, QWidget* parent)
    : QWidget(parent), app_(app), reading_(reading), hooks_(hooks) {
    setObjectName(QStringLiteral("libraryView"));
    pages_ = new QStackedLayout(this);
    empty_ = new EmptyLibrary(app_, hooks_, this);
    pages_->addWidget(empty_);

    full_ = new QWidget(this);
    auto* column = new QVBoxLayout(full_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* toolbar = new QToolBar(full_);
    toolbar->setObjectName(QStringLiteral("libraryToolbar"));
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    toolbar->addWidget(new AddMenu(app_, hooks_, toolbar));
    column->addWidget(toolbar);
    split_ = new QSplitter(Qt::Horizontal, full_);
    split_->setChildrenCollapsible(false);
    list_ = new DocList(app_, reading_, hooks_, split_);
    pane_ = new QWidget(split_);
    pane_->setObjectName(QStringLiteral("readerPane"));
    pane_->setMinimumWidth(420);
    auto* paneLayout = new QVBoxLayout(pane_);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    nothing_ = new QLabel(tr("Choose something to read"), pane_);
    nothing_->setObjectName(QStringLiteral("chooseSomething"));
    nothing_->setAlignment(Qt::AlignCenter);
    QPalette dim = nothing_->palette();
    dim.setColor(QPalette::WindowText, ViewStyle::secondary(this));
    nothing_->setPalette(dim);
    paneLayout->addWidget(nothing_);
    split_->addWidget(list_);
    split_->addWidget(pane_);
    split_->setStretchFactor(1, 1);
    split_->setSizes({270, 700});
    column->addWidget(split_, 1);
    pages_->addWidget(full_);

    list_->onSelected = [this] { showPane(); };
    if (auto d = reading_.doc()) currentId_ = d->id;  // no selection when first shown
    connect(&app_.library, &Library::docsChanged, this, &LibraryView::refresh);
    connect(&app_, &AppModel::styleChanged, this, &LibraryView::refresh);
    connect(&reading_, &ReadingState::changed, this, &LibraryView::readingChanged);
    refresh();
}

std::optional<std::u16string> LibraryView::paneId() const {
    if (auto s = list_->selected()) return s;
    if (auto d = reading_.doc()) return d->id;
    if (!app_.library.docs().empty()) return app_.library.docs().front().id;
    return std::nullopt;
}

void LibraryView::readingChanged() {
    const std::shared_ptr<Doc> d = reading_.doc();
    const std::optional<std::u16string> now = d ? std::optional(d->id) : std::nullopt;
    if (now != currentId_) {
        currentId_ = now;
        if (now) list_->setSelected(now);  // a change to no document keeps the selection
    }
    refresh();
}

void LibraryView::refresh() {
    const bool empty = app_.library.docs().empty();
    pages_->setCurrentWidget(empty ? static_cast<QWidget*>(empty_) : full_);
    list_->refresh();
    showPane();
}

void LibraryView::showPane() {
    const std::optional<std::u16string> id = app_.library.docs().empty() ? std::nullopt : paneId();
    if (shownId_ && *shownId_ == id) return;
    shownId_ = id;
    if (reader_) {
        reader_->hide();
        reader_->deleteLater();
        reader_ = nullptr;
    }
    std::shared_ptr<Doc> doc = id ? app_.library.doc(*id) : nullptr;
    nothing_->setVisible(!doc);
    if (!doc) return;
    // A fresh reader per document: its view state belongs to that document.
    reader_ = new ReaderView(doc, app_, reading_, pane_);
    pane_->layout()->addWidget(reader_);
    reader_->show();
}

}  // namespace tovan
