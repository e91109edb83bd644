// A session bus of the test's own: a dbus-daemon started for the test and
// stopped with it, so nothing reaches the user's desktop. Tests skip when
// there is no dbus-daemon.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

// Qt needs an application object for its event loop and D-Bus.
inline QCoreApplication& testApp() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                 : new QCoreApplication(argc, argv);
    return *app;
}

class PrivateBus {
public:
    PrivateBus() {
        testApp();
        const QString exe = QStandardPaths::findExecutable("dbus-daemon");
        if (exe.isEmpty()) return;
        daemon_.start(exe, {"--session", "--nofork", "--print-address"});
        if (!daemon_.waitForStarted(5000)) return;
        while (address_.isEmpty() && daemon_.waitForReadyRead(5000)) {
            buffer_ += daemon_.readAllStandardOutput();
            const int nl = buffer_.indexOf('\n');
            if (nl >= 0) address_ = QString::fromUtf8(buffer_.left(nl)).trimmed();
        }
    }
    ~PrivateBus() {
        for (const QString& n : names_) QDBusConnection::disconnectFromBus(n);
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.terminate();
            if (!daemon_.waitForFinished(3000)) daemon_.kill();
            daemon_.waitForFinished(1000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool ok() const { return !address_.isEmpty(); }
    const QString& address() const { return address_; }

    // A new connection to this bus (each with a name of its own).
    QDBusConnection connect() {
        const QString name = QString("testbus-%1-%2").arg(quintptr(this)).arg(names_.size());
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QByteArray buffer_;
    QString address_;
    QStringList names_;
};

// A thread with its own event loop, for service objects the test calls
// synchronously from the main thread.
class ServiceThread {
public:
    ServiceThread() { thread_.start(); }
    ~ServiceThread() {
        thread_.quit();
        thread_.wait();
    }
    QThread* thread() { return &thread_; }

private:
    QThread thread_;
};

// Runs the event loop until `done` holds or the time is up (bus messages
// arrive through it); true when it holds.
inline bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
