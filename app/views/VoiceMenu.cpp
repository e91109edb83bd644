#include "VoiceMenu.h"

#include <QMenu>

#include "core/AppModel.h"
#include "ReadingState.h"
#include "SymbolIcon.h"

namespace tovan {

VoiceMenu::VoiceMenu(AppModel& app, ReadingState& reading, QWidget* parent)
    : QToolButton(parent), app_(app), reading_(reading), menu_(new QMenu(this)) {
    setObjectName(QStringLiteral("voiceMenu"));
    menu_->setObjectName(QStringLiteral("voiceMenuItems"));
    setMenu(menu_);
    setPopupMode(QToolButton::InstantPopup);
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIcon(symbolIcon(QStringLiteral("person.wave.2")));
    setToolTip(tr("The reading voice"));
    build();
    connect(&app_, &AppModel::styleChanged, this, &VoiceMenu::rebuild);
    rebuild();
}

QString VoiceMenu::label(const AppModel& app) {
    return QString::fromStdU16String(app.voices.nameOf(AppModel::engineVoice(app.style().voice)));
}

QString VoiceMenu::itemTitle(const Voices::Voice& v, const std::optional<std::u16string>& styleVoice) {
    QString title = QString::fromStdU16String(v.name) + QStringLiteral(" \u00B7 ") +
                    (v.gender == u"female" ? QStringLiteral("Female") : QStringLiteral("Male")) +
                    QStringLiteral(", ") + QString::fromStdU16String(v.describe()).toLower();
    if (styleVoice && *styleVoice == v.id) title += QStringLiteral("  \u2713");
    return title;
}

void VoiceMenu::choose(const Voices::Voice& voice) {
    Style next = app_.style().copy();
    next.voice = voice.id;
    app_.setStyle(next);
    if (reading_.playing()) reading_.renderFrom(reading_.heard());
}

void VoiceMenu::build() {
    // The catalogue is fixed for the run: the items are made once and only
    // their titles follow the style (an item may be the one being chosen).
    for (const Voices::Voice& v : app_.voices.featured()) {
        QAction* a = menu_->addAction(QString());
        a->setObjectName(QStringLiteral("voice:") + QString::fromStdU16String(v.id));
        connect(a, &QAction::triggered, this, [this, v] { choose(v); });
        voices_.push_back({a, v});
    }
    menu_->addSeparator();
    QAction* more = menu_->addAction(tr("More Voices\u2026"));
    more->setObjectName(QStringLiteral("moreVoices"));
    connect(more, &QAction::triggered, this, [this] { app_.setSection(AppModel::Section::voices); });
}

void VoiceMenu::rebuild() {
    setText(label(app_));
    for (auto& [action, voice] : voices_) action->setText(itemTitle(voice, app_.style().voice));
}

}  // namespace tovan
