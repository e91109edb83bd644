#pragma once
// "Read anywhere": what is selected in any other application, or what is on
// the clipboard, becomes a document and is read at once. Used by the global
// keys, the menus, the tray window and the screens. Main thread only.
//
// The parts it works with are installed once by the program at start-up
// (install(standardParts())); tests install fakes. Before anything is
// installed both operations do nothing.
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "Selection.h"

namespace tovan {

class KeySender;
class Pasteboard;
class SelectedText;

class ReadAnywhere {
public:
    struct Parts {
        std::shared_ptr<SelectedText> selected;
        std::shared_ptr<Pasteboard> board;
        std::shared_ptr<KeySender> keys;
        Selection::After after;
        std::function<void()> beep;
        // The text as captured, untrimmed; the model trims it.
        std::function<void(const QString& text)> read;
        std::function<void(const QString& message)> problem;
    };
    // The desktop's: PRIMARY selection, clipboard, XTest keystrokes, Qt
    // timers, AppModel::shared() for read and problem. `beep` stays for the
    // caller to fill (the system bell belongs to the widget layer).
    static Parts standardParts();
    static void install(Parts parts);
    static void uninstall();

    static void readSelection();
    static void readClipboard();

    // Shown when the selection of other programs cannot be reached.
    static QString untrustedMessage();
};

}  // namespace tovan
