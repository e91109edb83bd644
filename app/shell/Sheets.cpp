#include "Sheets.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Article.h"

namespace tovan {
namespace {

QLabel* title(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 1.25);
    f.setWeight(QFont::DemiBold);
    l->setFont(f);
    return l;
}

QVBoxLayout* column(QWidget* w) {
    auto* v = new QVBoxLayout(w);
    v->setSpacing(14);
    v->setContentsMargins(20, 20, 20, 20);
    return v;
}

// Cancel (Escape) and the default Listen button at the end of a sheet's row.
void addButtons(QHBoxLayout* row, QWidget* parent, QPushButton*& cancel, QPushButton*& listen) {
    cancel = new QPushButton(QObject::tr("Cancel"), parent);
    cancel->setObjectName("cancelButton");
    cancel->setShortcut(QKeySequence(Qt::Key_Escape));
    listen = new QPushButton(QObject::tr("Listen"), parent);
    listen->setObjectName("listenButton");
    listen->setDefault(true);
    row->addWidget(cancel);
    row->addWidget(listen);
}

}  // namespace

LinkSheet::LinkSheet(std::optional<QString> pasteboard, std::function<void(const QUrl&)> listen,
                     std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), listen_(std::move(listen)), dismiss_(std::move(dismiss)) {
    setObjectName("linkSheet");
    setFixedWidth(460);
    auto* v = column(this);
    v->addWidget(title(tr("Listen to a web page"), this));
    auto* about = new QLabel(
        tr("Paste a link to an article, a blog post or a book. Lumora reads the article itself, without menus and ads."),
        this);
    about->setWordWrap(true);
    about->setForegroundRole(QPalette::PlaceholderText);
    // The sheet is as tall as its lines at its one width, however small the
    // window is made.
    about->setMinimumHeight(about->heightForWidth(460 - 40));
    v->addWidget(about);
    field_ = new QLineEdit(this);
    field_->setObjectName("linkField");
    field_->setPlaceholderText("https://");
    v->addWidget(field_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    QPushButton* cancel = nullptr;
    addButtons(row, this, cancel, listenButton_);
    v->addLayout(row);

    if (pasteboard && Article::isLink(pasteboard->toStdU16String())) field_->setText(pasteboard->trimmed());
    auto refresh = [this] { listenButton_->setEnabled(url(field_->text()).has_value()); };
    refresh();
    connect(field_, &QLineEdit::textChanged, this, refresh);
    connect(field_, &QLineEdit::returnPressed, this, [this] { this->listen(); });
    connect(listenButton_, &QPushButton::clicked, this, [this] { this->listen(); });
    connect(cancel, &QPushButton::clicked, this, [this] {
        if (dismiss_) dismiss_();
    });
}

std::optional<QUrl> LinkSheet::url(const QString& link) {
    const QString trimmed = link.trimmed();
    const QString full = trimmed.contains("://") ? trimmed : "https://" + trimmed;
    const QUrl u(full, QUrl::StrictMode);
    if (!u.isValid() || u.host().isEmpty()) return std::nullopt;
    if (!trimmed.contains('.')) return std::nullopt;
    return u;
}

void LinkSheet::listen() {
    const auto u = url(field_->text());
    if (!u) return;
    // The sheet may be gone once dismissed: take what is needed first.
    auto listen = listen_;
    if (dismiss_) dismiss_();
    if (listen) listen(*u);
}

TextSheet::TextSheet(std::function<void(const QString&)> listen, std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent) {
    setObjectName("textSheet");
    setFixedWidth(560);
    auto* v = column(this);
    v->addWidget(title(tr("Type or paste text"), this));
    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName("textEditor");
    editor_->setMinimumHeight(220);
    v->addWidget(editor_);
    auto* row = new QHBoxLayout;
    auto* hint = new QLabel(tr("Times, dates, amounts and links are read the way people say them."), this);
    hint->setObjectName("textHint");
    hint->setForegroundRole(QPalette::PlaceholderText);
    hint->setWordWrap(true);  // beside the buttons it takes two lines in most fonts
    row->addWidget(hint, 1);
    QPushButton* cancel = nullptr;
    addButtons(row, this, cancel, listenButton_);
    v->addLayout(row);

    auto refresh = [this] { listenButton_->setEnabled(!editor_->toPlainText().trimmed().isEmpty()); };
    refresh();
    connect(editor_, &QPlainTextEdit::textChanged, this, refresh);
    connect(listenButton_, &QPushButton::clicked, this, [this, listen, dismiss] {
        const QString text = editor_->toPlainText();
        if (text.trimmed().isEmpty()) return;
        if (dismiss) dismiss();
        if (listen) listen(text);
    });
    connect(cancel, &QPushButton::clicked, this, [dismiss] {
        if (dismiss) dismiss();
    });
}

}  // namespace tovan
