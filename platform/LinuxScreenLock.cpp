#include "LinuxScreenLock.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

#include <unistd.h>

namespace tovan {


LinuxScreenLock::LinuxScreenLock(QDBusConnection session, QDBusConnection system) {
    if (session.isConnected()) {
        // Empty service and path: whoever sends it, on any object path
        // (KDE uses both /ScreenSaver and /org/freedesktop/ScreenSaver).
        session.connect(QString(), QString(), "org.freedesktop.ScreenSaver", "ActiveChanged", this,
                        SLOT(activeChanged(bool)));
        session.connect(QString(), QString(), "org.gnome.ScreenSaver", "ActiveChanged", this,
                        SLOT(activeChanged(bool)));
    }
    if (system.isConnected()) {
        const QString path = sessionPath(system);
        if (!path.isEmpty()) {
            system.connect("org.freedesktop.login1", path, "org.freedesktop.login1.Session", "Lock", this,
                           SLOT(sessionLocked()));
            system.connect("org.freedesktop.login1", path, "org.freedesktop.login1.Session", "Unlock", this,
                           SLOT(sessionUnlocked()));
        }
    }
}

QString LinuxScreenLock::sessionPath(QDBusConnection& system) {
    QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                    "org.freedesktop.login1.Manager", "GetSessionByPID");
    m << quint32(::getpid());
    m.setAutoStartService(false);
    QDBusMessage r = system.call(m, QDBus::Block, 1000);
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return {};
    return r.arguments().first().value<QDBusObjectPath>().path();
}

void LinuxScreenLock::activeChanged(bool active) { set(active); }
void LinuxScreenLock::sessionLocked() { set(true); }
void LinuxScreenLock::sessionUnlocked() { set(false); }

void LinuxScreenLock::set(bool state) {
    if (state_ == int(state)) return;
    state_ = int(state);
    if (state)
        emit locked();
    else
        emit unlocked();
}

}  // namespace tovan
