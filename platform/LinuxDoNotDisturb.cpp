#include "LinuxDoNotDisturb.h"

#include "BackgroundProbe.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>

namespace tovan {

namespace {

constexpr int kCallTimeoutMs = 500;

// A Boolean property of the notification server; absent or failing is false.
bool serverFlag(QDBusConnection& bus, const char* iface, const char* name) {
    QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                    "org.freedesktop.DBus.Properties", "Get");
    m << QString::fromLatin1(iface) << QString::fromLatin1(name);
    m.setAutoStartService(false);
    QDBusMessage r = bus.call(m, QDBus::Block, kCallTimeoutMs);
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return false;
    const QVariant v = r.arguments().first().value<QDBusVariant>().variant();
    return v.typeId() == QMetaType::Bool && v.toBool();
}

QString runGsettings(const QStringList& args) {
    const QString exe = QStandardPaths::findExecutable("gsettings");
    if (exe.isEmpty()) return {};
    QProcess p;
    p.start(exe, args);
    if (!p.waitForFinished(1000)) {
        p.kill();
        p.waitForFinished(200);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The desktop's answer as last found on a thread of its own: gsettings is a
// child process and the bus calls may wait half a second each.
class SampledDoNotDisturb final : public DoNotDisturb {
public:
    explicit SampledDoNotDisturb(std::shared_ptr<DoNotDisturb> real)
        : probe_([real] { return real->on(); }, std::chrono::seconds(2), false) {}
    bool on() override { return probe_.get(); }

private:
    BackgroundProbe<bool> probe_;
};

}  // namespace

std::shared_ptr<DoNotDisturb> DoNotDisturb::system() {
    return std::make_shared<SampledDoNotDisturb>(std::make_shared<LinuxDoNotDisturb>());
}

LinuxDoNotDisturb::LinuxDoNotDisturb(QDBusConnection bus, Runner gsettings, QString desktop)
    : bus_(std::move(bus)), gsettings_(gsettings ? std::move(gsettings) : Runner(runGsettings)),
      desktop_(std::move(desktop)) {}

bool LinuxDoNotDisturb::notificationServerInhibited() {
    if (!bus_.isConnected()) return false;
    return serverFlag(bus_, "org.freedesktop.Notifications", "Inhibited") ||
           serverFlag(bus_, "org.dunstproject.cmd0", "paused");
}

bool LinuxDoNotDisturb::gnomeBannersOff() {
    if (!desktop_.contains("GNOME", Qt::CaseInsensitive)) return false;
    const QString out = gsettings_({"get", "org.gnome.desktop.notifications", "show-banners"}).trimmed();
    return out == "false";
}

bool LinuxDoNotDisturb::on() { return notificationServerInhibited() || gnomeBannersOff(); }

}  // namespace tovan
