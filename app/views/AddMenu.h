#pragma once
// The ways to add something to the reading list, shared by the toolbar's
// "Add" menu and the welcome screen's tiles, always in this order: open files,
// a web page (the link sheet), the clipboard, typed text (the text sheet).

#include <QToolButton>

namespace tovan {

class AppModel;
struct ViewHooks;

class AddMenu : public QToolButton {
    Q_OBJECT
public:
    AddMenu(AppModel& app, ViewHooks& hooks, QWidget* parent = nullptr);

    // The four actions: the open panel and the clipboard through the hooks;
    // the sheets bring the main window forward, then open on the model.
    using Action = void (*)(AppModel&, ViewHooks&);
    static void addFiles(AppModel& app, ViewHooks& hooks);
    static void addLink(AppModel& app, ViewHooks& hooks);
    static void readClipboard(AppModel& app, ViewHooks& hooks);
    static void typeText(AppModel& app, ViewHooks& hooks);
};

}  // namespace tovan
