#include "Launcher.h"

#include "Bus.h"
#include "Install.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <filesystem>

namespace tovan {

namespace {

// The tool as a file: run from $PATH (no slash), it is the running executable.
std::filesystem::path toolFile(const std::string& toolPath) {
    if (toolPath.find('/') == std::string::npos) return Install::self();
    return toolPath;
}

QString seconds(double s) { return QString::number(s, 'g', 3) + QStringLiteral(" s"); }

}  // namespace

Launcher::Launcher(QDBusConnection bus, std::string toolPath, Timing timing)
    : bus_(std::move(bus)), tool_(std::move(toolPath)), timing_(timing) {}

QString Launcher::application(const std::string& toolPath) {
    const QFileInfo beside(QString::fromStdString(Install::beside(toolFile(toolPath), Install::kProgram).string()));
    if (beside.isFile() && beside.isExecutable()) return beside.absoluteFilePath();
    return QStandardPaths::findExecutable(QString::fromLatin1(Install::kProgram));
}

QString Launcher::serviceFile(const std::string& toolPath) {
    const std::filesystem::path file =
        Install::shared(toolFile(toolPath), "dbus-1/services/" + Bus::service().toStdString() + ".service");
    return QFileInfo(QString::fromStdString(file.string())).isFile() ? QString::fromStdString(file.string())
                                                                     : QString();
}

bool Launcher::running() const {
    if (!bus_.isConnected() || !bus_.interface()) return false;
    auto reply = bus_.interface()->isServiceRegistered(Bus::service());
    return reply.isValid() && reply.value();
}

QString Launcher::activate(const QDeadlineTimer& deadline) {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("/org/freedesktop/DBus"),
                                                       QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("StartServiceByName"));
    call << Bus::service() << 0u;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, int(std::max<qint64>(1, deadline.remainingTime())));
    if (reply.type() != QDBusMessage::ErrorMessage) return {};
    // Still starting when the wait ran out: the wait below decides.
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")) return {};
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

bool Launcher::waitUntilRunning(const QDeadlineTimer& deadline) {
    while (!deadline.hasExpired() && !running()) QThread::msleep(50);
    QThread::msleep(static_cast<unsigned long>(timing_.settle * 1000));
    return running();
}

QString Launcher::ensureRunning() {
    if (running()) return {};
    const QString late = QStringLiteral("TovanTTS was started but did not answer within ") + seconds(timing_.wait) +
                         QStringLiteral("; the event may be lost");
    // One wait for the whole start, however it is made.
    const QDeadlineTimer deadline(qint64(timing_.wait * 1000));
    QString activationProblem;
    const QString app = application(tool_);
    if (!serviceFile(tool_).isEmpty() || app.isEmpty()) {
        activationProblem = activate(deadline);
        if (activationProblem.isEmpty()) return waitUntilRunning(deadline) ? QString() : late;
    }
    if (!app.isEmpty()) {
        if (!QProcess::startDetached(app, {QStringLiteral("--hidden")}))
            return QStringLiteral("TovanTTS could not be started (") + app + QStringLiteral(")");
        return waitUntilRunning(deadline) ? QString() : late;
    }
    return QStringLiteral("TovanTTS is not running and could not be started: there is no ") +
           QString::fromLatin1(Install::kProgram) + QStringLiteral(" beside ") +
           QString::fromStdString(toolFile(tool_).string()) + QStringLiteral(" or on $PATH, and D-Bus activation failed (") +
           activationProblem + QStringLiteral(")");
}

}  // namespace tovan
