#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 (port 0) for tests: fixed answers by
// request target, every request recorded. Runs on the test's event loop.

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <map>
#include <string>
#include <vector>

namespace tovan::screenstest {

class LoopbackServer : public QObject {
public:
    struct Answer {
        Answer(int status = 200, QByteArray body = {}, QByteArray location = {})
            : status(status), body(std::move(body)), location(std::move(location)) {}
        int status;
        QByteArray body;
        QByteArray location;  // for redirects
    };
    struct Request {
        std::string target;  // path and query as sent
        QByteArray userAgent;
    };

    LoopbackServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) serve(s);
        });
    }

    quint16 port() const { return server_.serverPort(); }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port()); }
    std::u16string root() const {
        const std::string r = base() + "/ebooks/";
        return std::u16string(r.begin(), r.end());
    }

    std::map<std::string, Answer> answers;  // by target; others get 404
    std::vector<Request> requests;

private:
    void serve(QTcpSocket* s) {
        auto* buffer = new QByteArray;
        QObject::connect(s, &QTcpSocket::disconnected, s, [s, buffer] {
            delete buffer;
            s->deleteLater();
        });
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
            *buffer += s->readAll();
            const int end = buffer->indexOf("\r\n\r\n");
            if (end < 0) return;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            buffer->clear();
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            Request r;
            r.target = first.value(1).toStdString();
            for (const QByteArray& line : lines) {
                const int colon = line.indexOf(':');
                if (colon > 0 && line.left(colon).trimmed().toLower() == "user-agent")
                    r.userAgent = line.mid(colon + 1).trimmed();
            }
            requests.push_back(r);
            Answer a{404, "not here", {}};
            if (auto it = answers.find(r.target); it != answers.end()) a = it->second;
            QByteArray head = "HTTP/1.1 " + QByteArray::number(a.status) + " X\r\nContent-Length: " +
                              QByteArray::number(a.body.size()) + "\r\nConnection: close\r\n";
            if (!a.location.isEmpty()) head += "Location: " + a.location + "\r\n";
            s->write(head + "\r\n" + a.body);
            s->disconnectFromHost();
        });
    }

    QTcpServer server_;
};

}  // namespace tovan::screenstest
