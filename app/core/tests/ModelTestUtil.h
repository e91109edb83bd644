// Shared bits of the model tests: an application object, waiting on the event
// loop, a model made in a temporary folder, and a loopback web server.
#pragma once

#include "../../../playback/tests/FakeEngine.h"
#include "../../../playback/tests/TestDir.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <csignal>
#include <functional>
#include <memory>

#include <sys/resource.h>

#include "AppModel.h"
#include "SettingsStore.h"

namespace modeltest {

inline QCoreApplication& app() {
    static int argc = 1;
    static char arg0[] = "app_core_tests";
    static char* argv[] = {arg0, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    return *QCoreApplication::instance();
}

// Runs the event loop until done() holds or the time is up; the final value.
inline bool waitUntil(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// While it lives, no file may grow past `bytes`: writes fail as on a full
// disk (even for root, whom a read-only folder does not stop).
struct FullDisk {
    explicit FullDisk(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        handler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny = saved;
        tiny.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
    struct rlimit saved {};
    void (*handler)(int) = SIG_DFL;
};

// A model over a fresh folder: support in dir/support, the model folder
// dir/model (empty), a memory defaults store, and no narrator.
struct Model {
    TestDir dir;
    std::unique_ptr<tovan::AppModel> model;
    explicit Model(std::function<void(tovan::AppModel::Config&)> adjust = {}) {
        app();
        tovan::AppModel::Config c;
        c.support = dir / "support";
        c.modelDir = dir / "model";
        c.defaults = std::make_shared<tovan::MemorySettingsStore>();
        c.engineApi = &FakeEngine::api();
        c.narrator = [](tovan::AppModel&) { return std::shared_ptr<tovan::Narrator>(); };
        if (adjust) adjust(c);
        model = std::make_unique<tovan::AppModel>(std::move(c));
    }
    ~Model() {
        if (model) model->syncEngine();
    }
    tovan::AppModel* operator->() { return model.get(); }
    tovan::AppModel& operator*() { return *model; }
    // Waits for the adding road under way to end.
    bool settle(int ms = 10000) {
        return waitUntil([this] { return !model->opening().has_value(); }, ms);
    }
};

// An HTTP/1.0 server on 127.0.0.1 with a fixed answer per path; each
// connection gets one answer and is closed.
struct WebServer {
    struct Answer {
        int status = 200;
        QByteArray contentType = "text/html";
        QByteArray body;
    };
    QTcpServer server;
    QMap<QString, Answer> pages;
    QList<QByteArray> requests;  // the raw request heads, in arrival order

    WebServer() {
        app();
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                    buffer->append(s->readAll());
                    int end = buffer->indexOf("\r\n\r\n");
                    if (end < 0) return;
                    requests << buffer->left(end);
                    QList<QByteArray> first = buffer->left(buffer->indexOf("\r\n")).split(' ');
                    // Answers go by path; a query does not change the page.
                    QString path = first.size() > 1 ? QString::fromUtf8(first[1]).section('?', 0, 0) : QString();
                    Answer a = pages.value(path, Answer{404, "text/html", "<html><body></body></html>"});
                    QByteArray out = "HTTP/1.0 " + QByteArray::number(a.status) + " X\r\n";
                    if (!a.contentType.isEmpty()) out += "Content-Type: " + a.contentType + "\r\n";
                    out += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\nConnection: close\r\n\r\n";
                    out += a.body;
                    s->write(out);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
    }
};

}  // namespace modeltest
