#include "MenuBarView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "AppModel.h"
#include "BrandMark.h"
#include "Controls.h"
#include "ElidedLabel.h"
#include "SymbolIcon.h"
#include "Theme.h"

namespace tovan {
namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setObjectName("divider");
    return line;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    l->setFont(f);
    l->setForegroundRole(QPalette::PlaceholderText);
    return l;
}

// One whole-width row: symbol, title, and a hint on the right.
QPushButton* row(const QString& name, const QString& symbol, const QString& title, const QString& keys,
                 std::function<void()> action, QWidget* parent) {
    auto* b = new QPushButton(parent);
    b->setObjectName(name);
    b->setFlat(true);
    b->setCursor(Qt::PointingHandCursor);
    auto* h = new QHBoxLayout(b);
    h->setContentsMargins(6, 4, 6, 4);
    h->setSpacing(8);
    auto* icon = new QLabel(b);
    icon->setObjectName("icon");
    icon->setFixedWidth(18);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(symbolIcon(symbol, Theme::accent().current()).pixmap(16, 16));
    h->addWidget(icon);
    auto* t = new ElidedLabel(title, b);  // one line
    t->setObjectName("title");
    h->addWidget(t, 1);
    auto* k = caption(keys, b);
    k->setObjectName("hint");
    h->addWidget(k);
    b->setMinimumHeight(t->sizeHint().height() + 10);
    b->setStyleSheet(QStringLiteral("QPushButton{border:none;border-radius:5px;text-align:left;}"
                                    "QPushButton:hover{background:%1;}")
                         .arg(Theme::accentSoft().current().name()));
    QObject::connect(b, &QPushButton::clicked, b, [action] {
        if (action) action();
    });
    return b;
}

}  // namespace

QString MenuBarView::status(bool preparing, bool playing, double progress, const QString& voiceName) {
    if (preparing && playing) return QStringLiteral("Getting the voice ready…");
    const int percent = static_cast<int>(std::trunc(progress * 100.0));
    return QStringLiteral("%1% · %2").arg(percent).arg(voiceName);
}

QString MenuBarView::readingState(bool done, int64_t pos, int64_t count) {
    if (done) return QStringLiteral("Finished");
    float fraction = count == 0 ? 0.0f : std::min(static_cast<float>(pos) / static_cast<float>(count), 1.0f);
    return QStringLiteral("%1%").arg(static_cast<int>(fraction * 100.0f));
}

MenuBarView::MenuBarView(AppModel& app, Controls& controls, Roads roads, QWidget* parent)
    : QWidget(parent), app_(app), controls_(controls), roads_(std::move(roads)) {
    setObjectName("menuBarView");
    setFixedWidth(300);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer_ = outer;
    auto later = [this] { QTimer::singleShot(0, this, [this] { rebuild(); }); };
    connect(&controls_, &Controls::changed, this, later);
    connect(&app_, &AppModel::styleChanged, this, later);
    connect(&app_.library, &Library::docsChanged, this, later);
    rebuild();
}

void MenuBarView::rebuild() {
    // Everything is made afresh inside one body widget, which replaces the last one.
    delete body_;
    body_ = new QWidget(this);
    outer_->addWidget(body_);
    layout_ = new QVBoxLayout(body_);
    layout_->setContentsMargins(14, 14, 14, 14);
    layout_->setSpacing(12);
    QWidget* const self = body_;
    auto* header = new QWidget(self);
    header->setObjectName(controls_.hasDoc() ? "nowPlaying" : "idle");
    auto* hv = new QVBoxLayout(header);
    hv->setContentsMargins(0, 0, 0, 0);
    if (controls_.hasDoc()) {
        auto* title = new ElidedLabel(controls_.docTitle(), header, 2);  // two lines at most
        title->setObjectName("docTitle");
        QFont f = title->font();
        f.setBold(true);
        title->setFont(f);
        hv->addWidget(title);
        const QString voice = QString::fromStdU16String(
            app_.voices.nameOf(AppModel::engineVoice(app_.style().voice)));
        auto* line = caption(status(controls_.preparing(), controls_.playing(), controls_.progress(), voice), header);
        line->setObjectName("status");
        hv->addWidget(line);
        auto* transport = new QHBoxLayout;
        transport->setSpacing(22);
        transport->addStretch();
        Controls* c = &controls_;
        auto button = [&](const QString& name, const QIcon& icon, std::function<void()> fn, int size) {
            auto* b = new QToolButton(header);
            b->setObjectName(name);
            b->setAutoRaise(true);
            b->setIcon(icon);
            b->setIconSize(QSize(size, size));
            connect(b, &QToolButton::clicked, b, fn);
            transport->addWidget(b);
        };
        button("previousButton", symbolIcon("backward.fill"), [c] { c->previousParagraph(); }, 18);
        button(controls_.playing() ? "pauseButton" : "playButton",
               symbolIcon(controls_.playing() ? "pause.circle.fill" : "play.circle.fill", Theme::accent().current()),
               [c] { c->toggle(); }, 30);
        button("nextButton", symbolIcon("forward.fill"), [c] { c->nextParagraph(); }, 18);
        transport->addStretch();
        hv->addLayout(transport);
    } else {
        auto* h = new QHBoxLayout;
        h->setSpacing(10);
        h->addWidget(new AppBadge(30, header));
        auto* names = new QVBoxLayout;
        auto* name = new QLabel("Lumora", header);
        QFont f = name->font();
        f.setBold(true);
        name->setFont(f);
        names->addWidget(name);
        names->addWidget(caption(tr("Nothing playing"), header));
        h->addLayout(names);
        h->addStretch();
        hv->addLayout(h);
    }
    layout_->addWidget(header);
    layout_->addWidget(divider(self));
    layout_->addWidget(row("readSelectionRow", "text.cursor", tr("Read Selection"), "Ctrl+Alt+R", roads_.readSelection, self));
    layout_->addWidget(row("readClipboardRow", "doc.on.clipboard", tr("Read Clipboard"), "Ctrl+Alt+V", roads_.readClipboard, self));

    const auto& docs = app_.library.docs();
    if (!docs.empty()) {
        layout_->addWidget(divider(self));
        layout_->addWidget(caption(tr("Reading list"), self));
        for (size_t i = 0; i < docs.size() && i < 4; i++) {
            const auto& meta = docs[i];
            const std::u16string id = meta.id;
            layout_->addWidget(row(QStringLiteral("docRow%1").arg(i), "book", QString::fromStdU16String(meta.title),
                                   readingState(meta.done, meta.pos, meta.count),
                                   [this, id] {
                                       if (auto doc = app_.library.doc(id)) controls_.play(doc);
                                   },
                                   self));
        }
    }
    layout_->addWidget(divider(self));
    auto* bottom = new QHBoxLayout;
    auto* open = new QPushButton(tr("Open Lumora"), self);
    open->setObjectName("openMainButton");
    open->setFlat(true);
    auto* quit = new QPushButton(tr("Quit"), self);
    quit->setObjectName("quitButton");
    quit->setFlat(true);
    connect(open, &QPushButton::clicked, this, [this] {
        if (roads_.openMain) roads_.openMain();
    });
    connect(quit, &QPushButton::clicked, this, [this] {
        if (roads_.quit) roads_.quit();
    });
    bottom->addWidget(open);
    bottom->addStretch();
    bottom->addWidget(quit);
    layout_->addLayout(bottom);
    adjustSize();
}

}  // namespace tovan
