#pragma once
// The application's menu entries: the File group (open, link, clipboard,
// text, export) and the Controls menu (play, paragraphs, sentences, speed,
// read the selection, stop). Titles and the export entry's state follow the
// reading. Every action has an objectName ("openAction", "playAction", …).
#include <QObject>

#include <algorithm>
#include <functional>

class QAction;
class QMenu;
class QMenuBar;

namespace tovan {

class Controls;

class AppCommands : public QObject {
    Q_OBJECT
public:
    struct Roads {
        std::function<void()> openFiles;      // the open panel
        std::function<void()> openLink;       // main window forward, link sheet
        std::function<void()> fromClipboard;  // read the clipboard
        std::function<void()> fromText;       // main window forward, text sheet
        std::function<void()> readSelection;  // read the selection of any app
    };
    AppCommands(Controls& controls, Roads roads, QMenuBar* bar);

    QMenu* fileMenu() const { return file_; }
    QMenu* controlsMenu() const { return controlsMenu_; }
    QAction* action(const QString& objectName) const;

    // One step of the speed, in single precision, kept within 0.6 … 2.5.
    static float faster(float speed) { return std::min(speed + 0.1f, 2.5f); }
    static float slower(float speed) { return std::max(speed - 0.1f, 0.6f); }

private:
    void refresh();
    Controls& controls_;
    QMenu* file_;
    QMenu* controlsMenu_;
    QAction* play_;
    QAction* export_;
};

}  // namespace tovan
