#pragma once
// Idle time on Linux: the X server's screen-saver extension when there is a
// display (it counts every input device of the session), else the desktop's
// idle monitor on the session bus (GNOME's Mutter, then the freedesktop
// screen saver that KDE and others serve). Under Wayland the bus comes first.

#include "InputIdle.h"

#include <QDBusConnection>

struct xcb_connection_t;

namespace tovan {

class LinuxInputIdle final : public InputIdle {
public:
    explicit LinuxInputIdle(QDBusConnection bus = QDBusConnection::sessionBus());
    ~LinuxInputIdle() override;
    LinuxInputIdle(const LinuxInputIdle&) = delete;
    LinuxInputIdle& operator=(const LinuxInputIdle&) = delete;

    double seconds() override;

    // The X answer alone; negative when there is no display or no extension.
    double fromX11();
    // The bus answer alone; negative when no idle monitor answers.
    double fromBus();

private:
    QDBusConnection bus_;
    xcb_connection_t* x_ = nullptr;
    int screen_ = 0;
    bool xTried_ = false;
};

}  // namespace tovan
