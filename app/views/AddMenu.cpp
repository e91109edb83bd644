#include "AddMenu.h"

#include <QMenu>

#include "SymbolIcon.h"
#include "ViewHooks.h"
#include "core/AppModel.h"

namespace tovan {

void AddMenu::addFiles(AppModel&, ViewHooks& hooks) {
    if (hooks.openFiles) hooks.openFiles();
}

void AddMenu::addLink(AppModel& app, ViewHooks& hooks) {
    if (hooks.showMain) hooks.showMain();
    app.setSheet(AppModel::Sheet::link);
}

void AddMenu::readClipboard(AppModel&, ViewHooks& hooks) {
    if (hooks.readClipboard) hooks.readClipboard();
}

void AddMenu::typeText(AppModel& app, ViewHooks& hooks) {
    if (hooks.showMain) hooks.showMain();
    app.setSheet(AppModel::Sheet::text);
}

AddMenu::AddMenu(AppModel& app, ViewHooks& hooks, QWidget* parent) : QToolButton(parent) {
    setObjectName(QStringLiteral("addMenu"));
    setText(tr("Add"));
    setIcon(symbolIcon(QStringLiteral("plus")));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setToolTip(tr("Add something to listen to"));
    setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("addMenuItems"));
    struct Item {
        const char* name;
        QString title;
        const char* symbol;
        Action action;
    };
    const Item items[] = {
        {"addFiles", tr("Open File\u2026"), "doc", &AddMenu::addFiles},
        {"addLink", tr("Web Page\u2026"), "link", &AddMenu::addLink},
        {"addClipboard", tr("From Clipboard"), "doc.on.clipboard", &AddMenu::readClipboard},
        {"addText", tr("Type Text\u2026"), "character.cursor.ibeam", &AddMenu::typeText},
    };
    for (const Item& i : items) {
        QAction* a = menu->addAction(symbolIcon(QString::fromLatin1(i.symbol)), i.title);
        a->setObjectName(QString::fromLatin1(i.name));
        connect(a, &QAction::triggered, this, [&app, &hooks, f = i.action] { f(app, hooks); });
    }
    setMenu(menu);
}

}  // namespace tovan
