#include "ColorScheme.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace tovan {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString portalSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorScheme = QStringLiteral("color-scheme");

// The portal answers a variant holding a variant; unwrap whatever depth.
QVariant unwrap(QVariant v) {
    for (int i = 0; i < 4; ++i) {
        if (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>()) {
            v = qvariant_cast<QDBusVariant>(v).variant();
        } else if (v.userType() == qMetaTypeId<QDBusArgument>()) {
            QDBusVariant inner;
            qvariant_cast<QDBusArgument>(v) >> inner;
            v = inner.variant();
        } else {
            break;
        }
    }
    return v;
}

}  // namespace

ColorScheme::Scheme ColorScheme::fromPortal(const QVariant& reply) {
    const QVariant v = unwrap(reply);
    bool ok = false;
    const uint n = v.toUInt(&ok);
    if (!ok) return Scheme::noPreference;
    if (n == 1) return Scheme::dark;
    if (n == 2) return Scheme::light;
    return Scheme::noPreference;
}

ColorScheme::Scheme ColorScheme::fromGtkTheme(const QString& theme) {
    const QString t = theme.trimmed().toLower();
    if (t.isEmpty()) return Scheme::noPreference;
    return t.endsWith(QStringLiteral(":dark")) || t.endsWith(QStringLiteral("-dark")) ? Scheme::dark : Scheme::light;
}

ColorScheme::Scheme ColorScheme::read(const QDBusConnection& bus) {
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, portalSettings, QStringLiteral("Read"));
        call << appearance << colorScheme;
        const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const Scheme s = fromPortal(reply.arguments().first());
            if (s != Scheme::noPreference) return s;
        }
    }
    return fromGtkTheme(qEnvironmentVariable("GTK_THEME"));
}

ColorScheme::ColorScheme(const QDBusConnection& bus, QObject* parent) : QObject(parent) {
    QDBusConnection(bus).connect(portalService, portalPath, portalSettings, QStringLiteral("SettingChanged"), this,
                                 SLOT(settingChanged(QString, QString, QDBusVariant)));
}

void ColorScheme::settingChanged(const QString& ns, const QString& key, const QDBusVariant& value) {
    if (ns != appearance || key != colorScheme) return;
    emit changed(fromPortal(value.variant()));
}

}  // namespace tovan
