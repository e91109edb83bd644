#include "AppCommands.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "Controls.h"

namespace tovan {

AppCommands::AppCommands(Controls& controls, Roads roads, QMenuBar* bar) : QObject(bar), controls_(controls) {
    auto add = [this](QMenu* menu, const QString& name, const QString& title, const QKeySequence& keys,
                      std::function<void()> fn) {
        QAction* a = menu->addAction(title);
        a->setObjectName(name);
        if (!keys.isEmpty()) a->setShortcut(keys);
        connect(a, &QAction::triggered, this, [fn] {
            if (fn) fn();
        });
        return a;
    };
    file_ = bar->addMenu(tr("&File"));
    file_->setObjectName("fileMenu");
    add(file_, "openAction", tr("Open…"), QKeySequence(Qt::CTRL | Qt::Key_O), roads.openFiles);
    add(file_, "openLinkAction", tr("Open Link…"), QKeySequence(Qt::CTRL | Qt::Key_L), roads.openLink);
    add(file_, "fromClipboardAction", tr("New from Clipboard"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V),
        roads.fromClipboard);
    add(file_, "fromTextAction", tr("New from Text…"), QKeySequence(Qt::CTRL | Qt::Key_N), roads.fromText);
    file_->addSeparator();
    export_ = add(file_, "exportAction", tr("Export Audio…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
                  [this] {
                      if (controls_.hasDoc()) controls_.exportDoc();
                  });

    Controls* c = &controls_;
    controlsMenu_ = bar->addMenu(tr("Controls"));
    controlsMenu_->setObjectName("controlsMenu");
    play_ = add(controlsMenu_, "playAction", tr("Play"), QKeySequence(Qt::Key_Space), [c] { c->toggle(); });
    add(controlsMenu_, "nextParagraphAction", tr("Next Paragraph"), QKeySequence(Qt::CTRL | Qt::Key_Right),
        [c] { c->nextParagraph(); });
    add(controlsMenu_, "previousParagraphAction", tr("Previous Paragraph"), QKeySequence(Qt::CTRL | Qt::Key_Left),
        [c] { c->previousParagraph(); });
    add(controlsMenu_, "nextSentenceAction", tr("Next Sentence"), QKeySequence(Qt::ALT | Qt::CTRL | Qt::Key_Right),
        [c] { c->seek(c->heard() + 1); });
    add(controlsMenu_, "previousSentenceAction", tr("Previous Sentence"),
        QKeySequence(Qt::ALT | Qt::CTRL | Qt::Key_Left), [c] { c->seek(c->heard() - 1); });
    controlsMenu_->addSeparator();
    add(controlsMenu_, "fasterAction", tr("Faster"), QKeySequence(Qt::CTRL | Qt::Key_BracketRight),
        [c] { c->setSpeed(faster(c->speed())); });
    add(controlsMenu_, "slowerAction", tr("Slower"), QKeySequence(Qt::CTRL | Qt::Key_BracketLeft),
        [c] { c->setSpeed(slower(c->speed())); });
    add(controlsMenu_, "normalSpeedAction", tr("Normal Speed"), QKeySequence(Qt::CTRL | Qt::Key_0),
        [c] { c->setSpeed(1.0f); });
    controlsMenu_->addSeparator();
    add(controlsMenu_, "readSelectionAction", tr("Read Selection in Any App"), {}, roads.readSelection);
    add(controlsMenu_, "stopAction", tr("Stop"), QKeySequence(Qt::CTRL | Qt::Key_Period), [c] { c->stop(); });

    connect(&controls_, &Controls::changed, this, [this] { refresh(); });
    refresh();
}

QAction* AppCommands::action(const QString& objectName) const {
    for (QMenu* m : {file_, controlsMenu_})
        for (QAction* a : m->actions())
            if (a->objectName() == objectName) return a;
    return nullptr;
}

void AppCommands::refresh() {
    play_->setText(controls_.playing() ? tr("Pause") : tr("Play"));
    export_->setEnabled(controls_.hasDoc());
}

}  // namespace tovan
