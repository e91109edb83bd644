#include "Bus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace tovan {

QString Bus::service() { return QStringLiteral("org.tovantts.TovanTTS"); }
QString Bus::path() { return QStringLiteral("/org/tovantts/TovanTTS"); }
QString Bus::interface() { return QStringLiteral("org.tovantts.TovanTTS"); }

Bus::Bus(QDBusConnection connection, QObject* parent) : QObject(parent), connection_(std::move(connection)) {}

Bus::~Bus() {
    if (listening_ && connection_.isConnected()) {
        connection_.disconnect(QString(), path(), interface(), QStringLiteral("event"), this, SLOT(onEvent(QString)));
        connection_.disconnect(QString(), path(), interface(), QStringLiteral("dev"), this, SLOT(onDev(QString)));
    }
    releaseName();
}

bool Bus::listen() {
    if (listening_) return true;
    if (!connection_.isConnected()) return false;
    // An empty service matches every sender: the tool posts from its own
    // connection, which owns no name.
    bool a = connection_.connect(QString(), path(), interface(), QStringLiteral("event"), this, SLOT(onEvent(QString)));
    bool b = connection_.connect(QString(), path(), interface(), QStringLiteral("dev"), this, SLOT(onDev(QString)));
    listening_ = a && b;
    // The match rules go to the bus daemon without waiting for its answer. A
    // blocking round trip on the same connection is handled after them, so
    // once it returns no signal sent from now on can be missed.
    if (listening_ && connection_.interface()) connection_.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus"));
    return listening_;
}

bool Bus::claimName() {
    if (!connection_.isConnected()) return false;
    if (ownsName_) return true;
    auto* bus = connection_.interface();
    if (!bus) return false;
    auto reply = bus->registerService(service(), QDBusConnectionInterface::DontQueueService,
                                      QDBusConnectionInterface::DontAllowReplacement);
    ownsName_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    return ownsName_;
}

void Bus::releaseName() {
    if (!ownsName_) return;
    if (connection_.isConnected() && connection_.interface()) connection_.interface()->unregisterService(service());
    ownsName_ = false;
}

bool Bus::nameHasOwner() const {
    if (!connection_.isConnected() || !connection_.interface()) return false;
    auto reply = connection_.interface()->isServiceRegistered(service());
    return reply.isValid() && reply.value();
}

bool Bus::send(const QDBusConnection& connection, const QString& member, const QString& text) {
    if (!connection.isConnected()) return false;
    QDBusMessage message = QDBusMessage::createSignal(path(), interface(), member);
    message << text;
    return connection.send(message);
}

bool Bus::sendEvent(const QString& json) const { return send(connection_, QStringLiteral("event"), json); }
bool Bus::sendDev(const QString& command) const { return send(connection_, QStringLiteral("dev"), command); }

void Bus::onEvent(const QString& json) { emit eventReceived(json); }
void Bus::onDev(const QString& command) { emit devReceived(command); }

}  // namespace tovan
