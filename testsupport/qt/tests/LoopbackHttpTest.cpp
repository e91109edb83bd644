// The loopback HTTP server and the event-loop waits the Qt tests share.
#include "LoopbackHttp.h"
#include "TestApp.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

namespace tovan::test {
namespace {

struct Got {
    int status = 0;
    QByteArray body, type, location;
};

Got fetch(QNetworkAccessManager& net, const QUrl& url) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, "tests/1");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = net.get(request);
    EXPECT_TRUE(spinUntil([&] { return reply->isFinished(); }));
    Got g;
    g.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    g.body = reply->readAll();
    g.type = reply->rawHeader("Content-Type");
    g.location = reply->rawHeader("Location");
    reply->deleteLater();
    return g;
}

TEST(LoopbackHttp, AnswersByTargetThenByPathAndRecordsEachRequest) {
    LoopbackHttp server;
    server.answers["/a?x=1"] = {200, "exact"};
    server.answers["/b"] = {201, "by path", {}, "text/plain"};
    server.answers["/moved"] = {302, "", "/b"};
    QNetworkAccessManager net;
    struct Case {
        const char* target;
        int status;
        QByteArray body, type, location;
    };
    const Case cases[] = {
        {"/a?x=1", 200, "exact", "", ""},
        {"/b?y=2", 201, "by path", "text/plain", ""},  // a query the answers do not name
        {"/a", 404, "<html><body></body></html>", "text/html", ""},
        {"/a?x=2", 404, "<html><body></body></html>", "text/html", ""},
        {"/moved", 302, "", "", "/b"},
    };
    for (const Case& c : cases) {
        const Got g = fetch(net, server.url(QString::fromLatin1(c.target)));
        EXPECT_EQ(g.status, c.status) << c.target;
        EXPECT_EQ(g.body, c.body) << c.target;
        EXPECT_EQ(g.type, c.type) << c.target;
        EXPECT_EQ(g.location, c.location) << c.target;
        ASSERT_FALSE(server.requests.empty());
        EXPECT_EQ(server.requests.back().target, c.target);
        EXPECT_EQ(server.requests.back().userAgent, "tests/1");
        EXPECT_TRUE(server.requests.back().head.startsWith("GET " + QByteArray(c.target) + " HTTP/1.1"));
    }
    EXPECT_EQ(server.requests.size(), std::size(cases));
}

TEST(LoopbackHttp, AClosedPortRefusesConnections) {
    coreApp();
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), closedLoopbackPort());
    EXPECT_FALSE(socket.waitForConnected(3000));
    EXPECT_EQ(socket.error(), QAbstractSocket::ConnectionRefusedError);
}

TEST(TestApp, SpinUntilTurnsTheLoopAndSaysWhetherTheWaitEndedInTime) {
    coreApp();
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    EXPECT_TRUE(spinUntil([&] { return fired; }));
    EXPECT_FALSE(spinUntil([] { return false; }, 20));
}

}  // namespace
}  // namespace tovan::test
