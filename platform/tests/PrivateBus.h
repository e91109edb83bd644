// A session bus of the test's own: a dbus-daemon started for the fixture and
// stopped with it, so tests never touch the user's bus. Tests skip when the
// daemon cannot be started.
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <atomic>

struct PrivateBus {
    QProcess daemon;
    QString address;
    QStringList names;

    PrivateBus() : PrivateBus(QProcessEnvironment::systemEnvironment()) {}
    // The daemon's environment: its XDG_DATA_DIRS name the folders whose
    // dbus-1/services it starts programs from, and those programs inherit it.
    explicit PrivateBus(const QProcessEnvironment& env) {
        daemon.setProcessEnvironment(env);
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon.waitForStarted(5000)) return;
        while (address.isEmpty() && daemon.waitForReadyRead(5000)) {
            address = QString::fromUtf8(daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        for (const QString& n : names) QDBusConnection::disconnectFromBus(n);
        if (daemon.state() != QProcess::NotRunning) {
            daemon.terminate();
            if (!daemon.waitForFinished(3000)) daemon.kill();
            daemon.waitForFinished(1000);
        }
    }
    bool ok() const { return !address.isEmpty(); }
    // A new connection to this bus, one per call.
    QDBusConnection connect() {
        static std::atomic<int> counter{0};
        QString name = QStringLiteral("tovan-test-%1").arg(counter++);
        names << name;
        return QDBusConnection::connectToBus(address, name);
    }
};
