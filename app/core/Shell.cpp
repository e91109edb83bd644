#include "Shell.h"

namespace tovan {
namespace {
std::function<void()>& hotkeys() {
    static std::function<void()> fn;
    return fn;
}
std::function<void()>& menuBar() {
    static std::function<void()> fn;
    return fn;
}
}  // namespace

void Shell::registerHotkeys() {
    if (hotkeys()) hotkeys()();
}
void Shell::menuBarItemChanged() {
    if (menuBar()) menuBar()();
}
void Shell::setRegisterHotkeys(std::function<void()> fn) { hotkeys() = std::move(fn); }
void Shell::setMenuBarItemChanged(std::function<void()> fn) { menuBar() = std::move(fn); }

}  // namespace tovan
