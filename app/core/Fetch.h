#pragma once
// Downloads for the adding roads: one GET with the application's User-Agent,
// a 20 s time-out without progress and an upper limit on the body. Runs on
// the thread of the given network manager (the main thread); the answer comes
// back there through the callback, exactly once.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace tovan::Fetch {

struct Answer {
    QByteArray body;
    QString contentType;       // the "Content-Type" header, "" when absent
    std::optional<int> status;  // the HTTP status, when the answer had one
    std::optional<QString> error;  // set when nothing usable came back
};

inline constexpr int timeoutMs = 20000;

// Any HTTP answer counts, whatever its status; only a failure to get one (no
// network, bad host, time-out) or a body over `limit` bytes gives an error.
// The reply under way is returned (it deletes itself once done); abort() on
// it ends the download with an error.
QNetworkReply* get(QNetworkAccessManager* network, const QUrl& url, qint64 limit, std::function<void(Answer)> done);

// A free catalogue book's EPUB: root + "/ebooks/" + id + ".epub.noimages",
// then ".epub3.images" when that fails; at most 64 MiB. Errors: "Project
// Gutenberg answered <status>. Try again in a moment." for a status of 400 or
// more, "This book is too large to download." over the limit, else the
// network's own message.
void book(QNetworkAccessManager* network, const std::u16string& root, const std::u16string& id,
          std::function<void(std::string bytes)> done, std::function<void(std::u16string message)> failed);

}  // namespace tovan::Fetch
