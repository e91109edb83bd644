#include "Shell.h"

namespace tovan {
namespace {
std::function<void()>& hotkeys() {
    static std::function<void()> fn;
    return fn;
}
}  // namespace

void Shell::registerHotkeys() {
    if (hotkeys()) hotkeys()();
}
void Shell::setRegisterHotkeys(std::function<void()> fn) { hotkeys() = std::move(fn); }

}  // namespace tovan
