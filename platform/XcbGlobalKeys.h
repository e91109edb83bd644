#pragma once
// Global keys on X11: passive key grabs on the root window, over a connection
// of our own whose events are read from the main loop. Each combination is
// grabbed four times, with and without Caps Lock and Num Lock, so the locks
// never disable a shortcut.
#include "GlobalKeys.h"

#include <QObject>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;
struct _XCBKeySymbols;

namespace tovan {

class XcbGlobalKeys final : public QObject, public GlobalKeys {
    Q_OBJECT
public:
    // `display` as in $DISPLAY; empty means $DISPLAY itself.
    explicit XcbGlobalKeys(const std::string& display = {});
    ~XcbGlobalKeys() override;

    // False when no X server could be reached; every grab then fails.
    bool connected() const { return conn_ != nullptr; }

    bool grab(uint32_t id, uint32_t keysym, uint32_t modifiers) override;
    void release(uint32_t id) override;
    void setPressed(Pressed pressed) override { pressed_ = std::move(pressed); }

private:
    struct Held {
        std::vector<uint8_t> keycodes;
        uint32_t modifiers;
    };
    void ungrab(const Held& held);
    void readEvents();
    std::vector<uint16_t> lockVariants() const;

    xcb_connection_t* conn_ = nullptr;
    _XCBKeySymbols* symbols_ = nullptr;
    uint32_t root_ = 0;
    uint16_t numLock_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    std::map<uint32_t, Held> held_;
    Pressed pressed_;
};

}  // namespace tovan
