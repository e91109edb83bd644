// A small HTTP/1.1 server on 127.0.0.1 (a free port) for tests: fixed
// answers, every request recorded, one answer per connection. It runs on the
// test's event loop, so the test spins the loop while a client talks to it;
// it makes the application object (coreApp) when there is none yet.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <map>
#include <string>
#include <utility>
#include <vector>

class QTcpSocket;

namespace tovan::test {

class LoopbackHttp : public QObject {
public:
    struct Answer {
        Answer(int status = 200, QByteArray body = {}, QByteArray location = {}, QByteArray contentType = {})
            : status(status), body(std::move(body)), location(std::move(location)),
              contentType(std::move(contentType)) {}
        int status;
        QByteArray body;
        QByteArray location;     // sent as Location when set (redirects)
        QByteArray contentType;  // sent as Content-Type when set
    };
    struct Request {
        QByteArray head;         // request line and header lines as sent
        std::string target;      // path and query
        QByteArray userAgent;
    };

    LoopbackHttp();

    // Answers by request target ("/path?query"), else by the path alone;
    // anything else gets 404.
    std::map<std::string, Answer> answers;
    std::vector<Request> requests;  // in arrival order

    quint16 port() const { return server_.serverPort(); }
    // "http://127.0.0.1:<port>"
    std::string base() const;
    QUrl url(const QString& target) const;

private:
    void serve(QTcpSocket* socket);
    QTcpServer server_;
};

// A loopback port nothing listens on (it was free a moment ago): for
// connections that must be refused.
quint16 closedLoopbackPort();

}  // namespace tovan::test
