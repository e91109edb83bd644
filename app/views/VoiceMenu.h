#pragma once
// The player bar's menu of the reading voice: the featured voices with a line
// about each and a tick on the style's voice, then "More Voices…". Choosing a
// voice stores a copy of the style with that voice and, while reading,
// continues in the new voice from the heard sentence.

#include <QToolButton>

#include <utility>
#include <vector>

#include "Voices.h"

class QAction;
class QMenu;

namespace tovan {

class AppModel;
class ReadingState;

class VoiceMenu : public QToolButton {
    Q_OBJECT
public:
    VoiceMenu(AppModel& app, ReadingState& reading, QWidget* parent = nullptr);

    // "Ava · Female, warm, steady", with "  ✓" when it is the style's voice.
    static QString itemTitle(const Voices::Voice& voice, const std::optional<std::u16string>& styleVoice);
    // The display name of the voice the style reads in.
    static QString label(const AppModel& app);

    void choose(const Voices::Voice& voice);
    QMenu* items() const { return menu_; }

private:
    void build();
    void rebuild();

    AppModel& app_;
    ReadingState& reading_;
    QMenu* menu_;
    std::vector<std::pair<QAction*, Voices::Voice>> voices_;
};

}  // namespace tovan
