#pragma once
// Sends keystrokes to whichever window has the focus, as if typed.
#include <functional>
#include <string>

namespace tovan {

class KeySender {
public:
    virtual ~KeySender() = default;
    // Ctrl+C to the focused window. False when nothing could be sent.
    virtual bool sendCopy() = 0;
};

// Counts the Copy keystrokes and runs `onCopy` for each (a test plays the
// other application there).
class FakeKeySender final : public KeySender {
public:
    bool sendCopy() override {
        copies++;
        if (onCopy) onCopy();
        return true;
    }
    int copies = 0;
    std::function<void()> onCopy;
};

// X11: fake key events through the XTEST extension on a connection of its own.
// Modifiers the user still holds (Alt of a Ctrl+Alt shortcut) are let go
// first, so the window sees Ctrl+C and not Ctrl+Alt+C.
class XcbKeySender final : public KeySender {
public:
    explicit XcbKeySender(const std::string& display = {}) : display_(display) {}
    bool sendCopy() override;

private:
    std::string display_;
};

}  // namespace tovan
