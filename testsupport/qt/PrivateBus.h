// A session bus of the test's own: a dbus-daemon started with this object and
// stopped with it, so tests never touch the user's bus. Tests skip when ok()
// is false (no daemon could be started).
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "NonCopyable.h"

namespace tovan::test {

class PrivateBus : NonCopyable {
public:
    // The daemon's environment: its XDG_DATA_DIRS name the folders whose
    // dbus-1/services it starts programs from, and those programs inherit it.
    explicit PrivateBus(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    ~PrivateBus();

    bool ok() const { return !address.isEmpty(); }
    // A new connection to this bus, one per call; closed with the bus.
    QDBusConnection connect();

    QString address;  // as the daemon printed it; "" when it did not start

private:
    QProcess daemon_;
    QStringList names_;
};

}  // namespace tovan::test
