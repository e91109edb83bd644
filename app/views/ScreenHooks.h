#pragma once
// Puts the free books, voices and read-anywhere screens into the main
// window's section places, each over the application model, the reading
// controller and the rest of the application. The shell calls it once at
// start-up, before the main window is made, and may hand in what only it
// has (the global keys, the desktop's settings).

#include <functional>

class QWidget;

namespace tovan {

class AppModel;
struct ViewHooks;

struct AnywhereActions {
    // Rebuilds the global keys from the "shortcuts" setting.
    std::function<void()> registerHotkeys;
    // Whether reading another application's selection can work here; the
    // standard answer: an X11 session (selections and key grabs need one).
    std::function<bool()> trusted;
    // "Allow…": what the user can do about it; the standard one explains.
    std::function<void(QWidget* parent)> requestTrust;
    // "Keyboard Shortcuts…": the desktop's keyboard settings.
    std::function<void()> openShortcutSettings;
};

void installScreens(ViewHooks& hooks, AnywhereActions actions = {});
// Book downloads of the application model go through the catalogue client
// (its User-Agent, its limits, its second file). Done by installScreens'
// free books screen too.
void installCatalogue(AppModel& app);

}  // namespace tovan
