#pragma once
// Screen lock on Linux: the screen savers' ActiveChanged signals on the
// session bus (org.freedesktop.ScreenSaver, which KDE, Xfce, Cinnamon and
// others send, and org.gnome.ScreenSaver), and logind's Lock and Unlock of
// this login session on the system bus. A desktop may send both; repeats of
// the same state are passed on once.

#include "ScreenLock.h"

#include <QDBusConnection>
#include <QString>

namespace tovan {

class LinuxScreenLock final : public ScreenLock {
    Q_OBJECT
public:
    // `system` may be a disconnected bus (tests, containers): logind is then
    // not watched.
    explicit LinuxScreenLock(QDBusConnection session = QDBusConnection::sessionBus(),
                             QDBusConnection system = QDBusConnection::systemBus());

    // The logind object path of this process's session, empty when logind
    // does not know it.
    static QString sessionPath(QDBusConnection& system);

private slots:
    void activeChanged(bool active);
    void sessionLocked();
    void sessionUnlocked();

private:
    void set(bool state);

    int state_ = -1;  // -1 unknown, 0 unlocked, 1 locked
};

}  // namespace tovan
