#pragma once
// Do-not-disturb on Linux, where the desktop has one:
// - the notification server's "Inhibited" property (KDE Plasma and servers
//   that follow it) and dunst's "paused" property, on the session bus;
// - GNOME's setting org.gnome.desktop.notifications show-banners, which is
//   false while "Do Not Disturb" is on (read with gsettings, on GNOME only).
// Any of them on means on. Nothing is started to answer: a server that is
// not running counts as off.

#include "DoNotDisturb.h"

#include <QDBusConnection>
#include <QString>

#include <functional>

namespace tovan {

class LinuxDoNotDisturb final : public DoNotDisturb {
public:
    // `gsettings` runs the command's arguments and gives its standard output,
    // or an empty text when it fails; null means the real gsettings program.
    using Runner = std::function<QString(const QStringList& args)>;

    explicit LinuxDoNotDisturb(QDBusConnection bus = QDBusConnection::sessionBus(), Runner gsettings = nullptr,
                               QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP"));

    bool on() override;

    bool notificationServerInhibited();
    bool gnomeBannersOff();

private:
    QDBusConnection bus_;
    Runner gsettings_;
    QString desktop_;
};

}  // namespace tovan
