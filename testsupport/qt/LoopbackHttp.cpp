#include "LoopbackHttp.h"

#include "TestApp.h"

#include <QHostAddress>
#include <QList>
#include <QTcpSocket>

#include <memory>

namespace tovan::test {

LoopbackHttp::LoopbackHttp() {
    coreApp();  // the server's socket needs the event loop of an application object
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection()) serve(s);
    });
}

std::string LoopbackHttp::base() const { return "http://127.0.0.1:" + std::to_string(port()); }

QUrl LoopbackHttp::url(const QString& target) const { return QUrl(QString::fromStdString(base()) + target); }

void LoopbackHttp::serve(QTcpSocket* s) {
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
        buffer->append(s->readAll());
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0) return;
        Request r;
        r.head = buffer->left(end);
        buffer->clear();
        const QList<QByteArray> lines = r.head.split('\n');
        r.target = lines.value(0).trimmed().split(' ').value(1).toStdString();
        for (const QByteArray& line : lines) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == "user-agent")
                r.userAgent = line.mid(colon + 1).trimmed();
        }
        requests.push_back(r);
        Answer a{404, "<html><body></body></html>", {}, "text/html"};
        if (auto it = answers.find(r.target); it != answers.end()) {
            a = it->second;
        } else if (auto it = answers.find(r.target.substr(0, r.target.find('?'))); it != answers.end()) {
            a = it->second;
        }
        QByteArray out = "HTTP/1.1 " + QByteArray::number(a.status) + " X\r\n";
        if (!a.contentType.isEmpty()) out += "Content-Type: " + a.contentType + "\r\n";
        if (!a.location.isEmpty()) out += "Location: " + a.location + "\r\n";
        out += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\nConnection: close\r\n\r\n";
        s->write(out + a.body);
        s->disconnectFromHost();
    });
}

quint16 closedLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

}  // namespace tovan::test
