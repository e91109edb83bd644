#include "Launcher.h"

#include "Bus.h"

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace tovan {

Launcher::Launcher(QDBusConnection bus, std::string toolPath, Timing timing)
    : bus_(std::move(bus)), tool_(std::move(toolPath)), timing_(timing) {}

QString Launcher::application(const std::string& toolPath) {
    QString tool = QString::fromStdString(toolPath);
    // Run from $PATH (no slash): the running executable itself.
    if (!tool.contains('/')) tool = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    const QString real = QFileInfo(tool).canonicalFilePath();
    if (!real.isEmpty()) {
        const QFileInfo beside(QFileInfo(real).absolutePath() + QStringLiteral("/TovanTTS"));
        if (beside.isFile() && beside.isExecutable()) return beside.absoluteFilePath();
    }
    return QStandardPaths::findExecutable(QStringLiteral("TovanTTS"));
}

bool Launcher::running() const {
    if (!bus_.isConnected() || !bus_.interface()) return false;
    auto reply = bus_.interface()->isServiceRegistered(Bus::service());
    return reply.isValid() && reply.value();
}

bool Launcher::ensureRunning() {
    if (running()) return true;
    const QString app = application(tool_);
    if (app.isEmpty()) return false;
    QProcess::startDetached(app, {QStringLiteral("--hidden")});
    QDeadlineTimer deadline(qint64(timing_.wait * 1000));
    while (!deadline.hasExpired() && !running()) QThread::msleep(50);
    QThread::msleep(static_cast<unsigned long>(timing_.settle * 1000));
    return true;
}

}  // namespace tovan
