#pragma once
// The places the main window leaves for screens and actions built elsewhere
// in the application: the section screens (free books, assistant, voices,
// read anywhere), the add sheets, drop handling and the add actions. The
// start-up code fills them before the window is made; an empty place shows a
// plain placeholder or does nothing.

#include <functional>
#include <map>

#include <QList>
#include <QUrl>

#include "core/AppModel.h"

class QMimeData;
class QWidget;

namespace tovan {

struct ViewHooks {
    // Makes one section's screen, parented to `parent`.
    using Screen = std::function<QWidget*(AppModel& app, QWidget* parent)>;
    // Makes an add sheet; it calls `dismiss` when it closes by its own buttons.
    using Sheet = std::function<QWidget*(AppModel& app, std::function<void()> dismiss, QWidget* parent)>;

    std::map<AppModel::Section, Screen> screens;  // freeBooks, assistant, voices, anywhere
    std::map<AppModel::Sheet, Sheet> sheets;       // link, text
    // Files, links and text dropped on the main window.
    std::function<void(const QMimeData& data)> drop;
    // The add actions: the open panel, bringing the main window forward, and
    // reading the clipboard.
    std::function<void()> openFiles;
    std::function<void()> showMain;
    std::function<void()> readClipboard;
    // Opens a web address in the default browser.
    std::function<void(const QUrl& url)> openUrl;

    // The application's hooks.
    static ViewHooks& shared();
};

}  // namespace tovan
