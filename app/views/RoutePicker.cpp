#include "RoutePicker.h"

#include <QAudioDevice>
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
    now->setObjectName(QStringLiteral("routeNow"));
    now->setEnabled(false);
    menu_->addSeparator();
    const std::string chosen = output_ ? output_->device() : std::string();
    auto entry = [&](const QString& title, const std::string& id) {
        QAction* a = menu_->addAction(title);
        a->setObjectName(QStringLiteral("route:") + QString::fromStdString(id));
        a->setCheckable(true);
        a->setChecked(output_ && id == chosen);
        a->setEnabled(output_ && static_cast<bool>(onChoose));
        connect(a, &QAction::triggered, this, [this, id] {
            if (onChoose) onChoose(id);
        });
    };
    entry(tr("Default output"), std::string());
    for (const QAudioDevice& d : QMediaDevices::audioOutputs()) entry(d.description(), d.id().toStdString());
}

}  // namespace tovan
