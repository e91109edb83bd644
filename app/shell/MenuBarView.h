#pragma once
// The tray window: what is playing with its transport, reading the selection
// or the clipboard, the first four documents of the reading list, opening
// the main window and quitting. Rebuilt whenever the reading, the style or
// the list changes.
#include <QWidget>

#include <functional>

class QVBoxLayout;

namespace tovan {

class AppModel;
class Controls;

class MenuBarView : public QWidget {
    Q_OBJECT
public:
    struct Roads {
        std::function<void()> readSelection, readClipboard, openMain, quit;
    };
    MenuBarView(AppModel& app, Controls& controls, Roads roads, QWidget* parent = nullptr);

    // "Getting the voice ready…" while preparing to play, else "NN% · Voice".
    static QString status(bool preparing, bool playing, double progress, const QString& voiceName);
    // "Finished", else the position as a whole percentage of the count ("2%").
    static QString readingState(bool done, int64_t pos, int64_t count);

private:
    void rebuild();
    AppModel& app_;
    Controls& controls_;
    Roads roads_;
    QVBoxLayout* outer_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    QWidget* body_ = nullptr;
};

}  // namespace tovan
