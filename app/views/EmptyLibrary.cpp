#include "EmptyLibrary.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

#include "AddMenu.h"
#include "AddTile.h"
#include "BrandMark.h"
#include "ViewHooks.h"
#include "ViewStyle.h"
#include "core/AppModel.h"

namespace tovan {

EmptyLibrary::EmptyLibrary(AppModel& app, ViewHooks& hooks, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("emptyLibrary"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* toolbar = new QToolBar(this);
    toolbar->setObjectName(QStringLiteral("emptyLibraryToolbar"));
    auto* spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    toolbar->addWidget(new AddMenu(app, hooks, toolbar));
    outer->addWidget(toolbar);

    auto* body = new QWidget(this);
    auto* stack = new QVBoxLayout(body);
    stack->setContentsMargins(40, 40, 40, 40);
    stack->setSpacing(22);
    stack->addStretch(1);
    stack->addWidget(new AppBadge(84, body), 0, Qt::AlignHCenter);

    auto* words = new QVBoxLayout;
    words->setSpacing(6);
    auto* welcome = new QLabel(tr("Listen to anything"), body);
    welcome->setObjectName(QStringLiteral("emptyWelcome"));
    welcome->setFont(ViewStyle::font(ViewStyle::Role::largeTitle));
    welcome->setAlignment(Qt::AlignCenter);
    auto* line = new QLabel(tr("Books, PDFs, articles and notes, read aloud by a voice that runs on this computer."), body);
    line->setObjectName(QStringLiteral("emptyLine"));
    line->setAlignment(Qt::AlignCenter);
    line->setWordWrap(true);
    words->addWidget(welcome);
    words->addWidget(line);
    stack->addLayout(words);

    auto* tiles = new QHBoxLayout;
    tiles->setSpacing(12);
    tiles->addStretch(1);
    struct Tile {
        const char* name;
        QString title, detail;
        const char* icon;
        AddMenu::Action action;
    };
    const Tile table[] = {
        {"tileFiles", tr("Open a File"), tr("PDF, EPUB, Word, text"), "doc", &AddMenu::addFiles},
        {"tileLink", tr("A Web Page"), tr("Paste a link"), "link", &AddMenu::addLink},
        {"tileClipboard", tr("From Clipboard"), tr("What you copied"), "doc.on.clipboard", &AddMenu::readClipboard},
        {"tileText", tr("Type Text"), tr("Or paste it"), "character.cursor.ibeam", &AddMenu::typeText},
    };
    for (const Tile& t : table) {
        auto* tile = new AddTile(t.title, t.detail, QString::fromLatin1(t.icon),
                                 [&app, &hooks, f = t.action] { f(app, hooks); }, body);
        tile->setObjectName(QString::fromLatin1(t.name));
        tiles->addWidget(tile);
    }
    tiles->addStretch(1);
    stack->addLayout(tiles);

    auto* books = new QPushButton(tr("Or pick one of 70,000 free books"), body);
    books->setObjectName(QStringLiteral("emptyFreeBooks"));
    books->setFlat(true);
    books->setCursor(Qt::PointingHandCursor);
    QPalette accent = books->palette();
    accent.setColor(QPalette::ButtonText, ViewStyle::accent(this));
    books->setPalette(accent);
    connect(books, &QPushButton::clicked, this, [&app] { app.setSection(AppModel::Section::freeBooks); });
    stack->addWidget(books, 0, Qt::AlignHCenter);

    auto* hint = new QLabel(tr("You can also drop files here, or select text in any app and press Ctrl+Alt+R."), body);
    hint->setObjectName(QStringLiteral("emptyHint"));
    hint->setFont(ViewStyle::font(ViewStyle::Role::callout));
    hint->setAlignment(Qt::AlignCenter);
    hint->setWordWrap(true);
    QPalette faint = hint->palette();
    faint.setColor(QPalette::WindowText, ViewStyle::secondary(this));
    hint->setPalette(faint);
    stack->addWidget(hint);
    stack->addStretch(1);
    outer->addWidget(body, 1);
}

}  // namespace tovan
