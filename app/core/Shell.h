#pragma once
// What screens below the application shell ask of it: the shell (start-up,
// tray, global keys) links above the views, so it installs these functions
// at start; until then they do nothing. Main thread only.
#include <functional>

namespace tovan {

struct Shell {
    // After the "shortcuts" switch changed: grab the global keys again (or none).
    static void registerHotkeys();
    static void setRegisterHotkeys(std::function<void()> fn);
};

}  // namespace tovan
