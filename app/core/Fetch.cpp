#include "Fetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

#include "AppModel.h"
#include "Extract.h"

namespace tovan::Fetch {

namespace {

constexpr qint64 bookLimit = 67108864;  // 64 MiB

struct State {
    bool tooLarge = false;
    qint64 received = 0;
};

}  // namespace

QNetworkReply* get(QNetworkAccessManager* network, const QUrl& url, qint64 limit, std::function<void(Answer)> done) {
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, AppModel::userAgent());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network->get(request);
    auto state = std::make_shared<State>();
    // The body is collected here as it arrives so that an oversized answer is
    // stopped before it fills memory.
    auto body = std::make_shared<QByteArray>();
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, state, body, limit] {
        if (state->tooLarge) return;
        QByteArray chunk = reply->readAll();
        if (body->size() + chunk.size() > limit) {
            state->tooLarge = true;
            body->clear();
            reply->abort();
            return;
        }
        body->append(chunk);
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, body, limit, done = std::move(done)] {
        reply->deleteLater();
        Answer a;
        if (state->tooLarge) {
            a.error = QString::fromStdU16String(std::u16string(Extract::tooLargeToOpen));
            done(std::move(a));
            return;
        }
        body->append(reply->readAll());
        if (body->size() > limit) {
            a.error = QString::fromStdU16String(std::u16string(Extract::tooLargeToOpen));
            done(std::move(a));
            return;
        }
        QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            a.status = status.toInt();
            a.body = std::move(*body);
            a.contentType = QString::fromUtf8(reply->rawHeader("Content-Type"));
        } else if (reply->error() == QNetworkReply::OperationCanceledError ||
                   reply->error() == QNetworkReply::TimeoutError) {
            a.error = QStringLiteral("The request timed out.");
        } else {
            a.error = reply->errorString();
        }
        done(std::move(a));
    });
    return reply;
}

namespace {

void bookFrom(QNetworkAccessManager* network, const QString& base, int attempt,
              std::function<void(std::string)> done, std::function<void(std::u16string)> failed) {
    static const char* const suffixes[] = {".epub.noimages", ".epub3.images"};
    QUrl url(base + QString::fromLatin1(suffixes[attempt]));
    get(network, url, bookLimit,
        [network, base, attempt, done = std::move(done), failed = std::move(failed)](Answer a) mutable {
            std::optional<std::u16string> error;
            if (a.error) {
                error = a.error->toStdU16String();
                if (*error == Extract::tooLargeToOpen) error = u"This book is too large to download.";
            } else if (a.status && *a.status >= 400) {
                error = u"Project Gutenberg answered " + QString::number(*a.status).toStdU16String() +
                        u". Try again in a moment.";
            }
            if (!error) {
                done(a.body.toStdString());
            } else if (attempt == 0) {
                bookFrom(network, base, 1, std::move(done), std::move(failed));
            } else {
                failed(*error);
            }
        });
}

}  // namespace

void book(QNetworkAccessManager* network, const std::u16string& root, const std::u16string& id,
          std::function<void(std::string)> done, std::function<void(std::u16string)> failed) {
    const QString base = QString::fromStdU16String(root + u"/ebooks/" + id);
    bookFrom(network, base, 0, std::move(done), std::move(failed));
}

}  // namespace tovan::Fetch
