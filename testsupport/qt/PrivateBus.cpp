#include "PrivateBus.h"

#include <atomic>

namespace tovan::test {

PrivateBus::PrivateBus(const QProcessEnvironment& env) {
    daemon_.setProcessEnvironment(env);
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000)) return;
    while (address.isEmpty() && daemon_.waitForReadyRead(5000)) address = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
    for (const QString& n : names_) QDBusConnection::disconnectFromBus(n);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(3000)) daemon_.kill();
        daemon_.waitForFinished(1000);
    }
}

QDBusConnection PrivateBus::connect() {
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("tovan-test-%1").arg(counter++);
    names_ << name;
    return QDBusConnection::connectToBus(address, name);
}

}  // namespace tovan::test
