#include "RoutePicker.h"

#include <QMediaDevices>
#include <QMenu>

#include "AudioOutput.h"
#include "SymbolIcon.h"

namespace tovan {

RoutePicker::RoutePicker(AudioOutput* output, QWidget* parent)
    : QToolButton(parent), output_(output), menu_(new QMenu(this)) {
    setObjectName(QStringLiteral("routePicker"));
    menu_->setObjectName(QStringLiteral("routePickerItems"));
    setFixedSize(26, 22);
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIcon(symbolIcon(QStringLiteral("hifispeaker")));
    setToolTip(tr("Play on another speaker or headphones"));
    setMenu(menu_);
    setPopupMode(QToolButton::InstantPopup);
    connect(menu_, &QMenu::aboutToShow, this, &RoutePicker::fill);
}

void RoutePicker::fill() {
    menu_->clear();
    QAction* now = menu_->addAction(output_ ? tr("Now: %1").arg(QString::fromStdString(output_->name()))
                                            : tr("No audio output"));
    now->setEnabled(false);
    menu_->addSeparator();
    const QAudioDevice fallback = QMediaDevices::defaultAudioOutput();
    for (const QAudioDevice& d : QMediaDevices::audioOutputs()) {
        QAction* a = menu_->addAction(d.description());
        a->setCheckable(true);
        a->setChecked(d.id() == fallback.id());
        a->setEnabled(static_cast<bool>(onChoose));
        connect(a, &QAction::triggered, this, [this, d] {
            if (onChoose) onChoose(d);
        });
    }
}

}  // namespace tovan
