#include "BookCatalog.h"

#include "Extract.h"
#include "Regex.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <memory>

namespace tovan {

const std::array<Gutenberg::Shelf, 9> Gutenberg::shelves{{
    {u"Popular", u""},
    {u"Children's", u"bookshelf/20"},
    {u"Fairy tales", u"bookshelf/216"},
    {u"Adventure", u"s.adventure l.en"},
    {u"Mystery", u"s.detective l.en"},
    {u"Science fiction", u"s.science fiction l.en"},
    {u"Poetry", u"s.poetry l.en"},
    {u"Humour", u"s.humor l.en"},
    {u"Classics", u"s.fiction l.en"},
}};

const QByteArray Gutenberg::userAgent = "TovanTTS (Linux; free books from Project Gutenberg)";

namespace {

constexpr std::u16string_view entryPattern = u"(?s)<entry>(.*?)</entry>";
constexpr std::u16string_view idPattern = u"/ebooks/(\\d+)\\.opds";
constexpr std::u16string_view titlePattern = u"(?s)<title>(.*?)</title>";
constexpr std::u16string_view authorPattern = u"(?s)<content type=\"text\">(.*?)</content>";
constexpr std::u16string_view downloadsPattern = u"\\d+ downloads?";
constexpr std::u16string_view languagePattern =
    u"\\((German|Dutch|French|Spanish|Italian|Portuguese|Finnish|Swedish|Danish|Norwegian|Esperanto|Latin|"
    u"Hungarian|Polish|Czech|Greek|Russian|Chinese|Japanese|Tagalog|Catalan|Welsh|Icelandic|Afrikaans|Frisian|"
    u"Galician|Romanian|Bulgarian|Slovenian|Serbian|Croatian|Hebrew|Arabic)\\)\\s*$";

std::u16string cleaned(const std::u16string& s) {
    return trimmed(replaceAll(Extract::decode(s), u"\\s+", u" "));
}

std::u16string decimal(int64_t n) {
    return QString::number(n).toStdU16String();
}

}  // namespace

Gutenberg::Gutenberg(std::u16string root, QNetworkAccessManager* network)
    : root_(std::move(root)), network_(network) {
    if (root_.empty() || root_.back() != u'/') root_ += u'/';
}

std::u16string Gutenberg::answered(int status) {
    return u"Project Gutenberg answered " + decimal(status) + u". Try again in a moment.";
}

std::u16string Gutenberg::percentEncode(const std::u16string& query) {
    // The characters a query may hold as they are, less '&', '=' and '+',
    // which would end the value or read as a blank on the other side.
    static constexpr std::string_view keep = "-._~!$'()*,;:@/?";
    static constexpr char hex[] = "0123456789ABCDEF";
    std::u16string out;
    for (unsigned char c : u8(query)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           keep.find(static_cast<char>(c)) != std::string_view::npos;
        if (plain) {
            out += static_cast<char16_t>(c);
        } else {
            out += u'%';
            out += static_cast<char16_t>(hex[c >> 4]);
            out += static_cast<char16_t>(hex[c & 15]);
        }
    }
    return out;
}

std::u16string Gutenberg::pageAddress(const std::u16string& query, int64_t start) const {
    if (query.starts_with(u"bookshelf/"))
        return root_ + query + u".opds?sort_order=downloads&start_index=" + decimal(start);
    std::u16string a = root_ + u"search.opds/?sort_order=downloads&start_index=" + decimal(start);
    if (!query.empty()) a += u"&query=" + percentEncode(query);
    return a;
}

std::vector<Gutenberg::Book> Gutenberg::parse(std::string_view feed) {
    // An Atom feed is XML without a declared encoding: UTF-8.
    const std::u16string text = u16(feed);
    std::vector<Book> books;
    for (const JMatch& entry : rx(entryPattern).all(text)) {
        const std::u16string body = entry.group(1).value_or(u"");
        const auto id = rx(idPattern).find(body);
        if (!id) continue;
        const auto title = rx(titlePattern).find(body);
        if (!title) continue;
        Book b;
        b.id = id->group(1).value_or(u"");
        b.title = cleaned(title->group(1).value_or(u""));
        if (const auto author = rx(authorPattern).find(body)) b.author = cleaned(author->group(1).value_or(u""));
        if (rx(downloadsPattern).whole(b.author)) b.author.clear();
        if (rx(languagePattern).find(b.title)) continue;
        books.push_back(std::move(b));
    }
    return books;
}

void Gutenberg::get(const std::u16string& address, int64_t limit, Bytes done, Failed failed) const {
    QNetworkRequest request(QUrl::fromEncoded(QString::fromStdU16String(address).toUtf8(), QUrl::StrictMode));
    request.setTransferTimeout(timeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network_->get(request);

    struct State {
        QByteArray body;
        bool over = false;
        int refused = 0;  // a status of 400 or more, once seen
        bool finished = false;
    };
    auto state = std::make_shared<State>();
    auto status = [reply]() -> int {
        const QVariant v = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        return v.isValid() ? v.toInt() : 0;
    };
    // The body is gathered as it comes, so an oversized answer is stopped
    // once it passes the limit instead of filling memory first.
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, state, limit, status] {
        if (state->over || state->refused) return;
        if (const int code = status(); code >= 400) {
            // The answer is a refusal whatever follows: read no more of it.
            state->refused = code;
            reply->abort();
            return;
        }
        state->body += reply->readAll();
        if (state->body.size() > limit) {
            state->over = true;
            state->body.clear();
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [reply, state, limit, status, done = std::move(done), failed = std::move(failed)] {
                         reply->deleteLater();
                         if (state->finished) return;
                         state->finished = true;
                         const int code = state->refused ? state->refused : status();
                         if (code >= 400) return failed(answered(code));
                         if (state->over) return failed(std::u16string(tooLarge));
                         if (reply->error() != QNetworkReply::NoError)
                             return failed(reply->errorString().toStdU16String());
                         state->body += reply->readAll();
                         if (state->body.size() > limit) return failed(std::u16string(tooLarge));
                         done(std::move(state->body));
                     });
}

void Gutenberg::page(const std::u16string& query, int64_t start, Books done, Failed failed) const {
    get(pageAddress(query, start), pageLimit,
        [done = std::move(done)](QByteArray body) {
            done(parse(std::string_view(body.constData(), static_cast<size_t>(body.size()))));
        },
        std::move(failed));
}

void Gutenberg::epub(const Book& book, Bytes done, Failed failed) const {
    const std::u16string base = root_ + book.id;
    // A copy of the client goes with the first attempt's failure handler, so
    // the second attempt does not depend on this object still being alive.
    Gutenberg self = *this;
    get(base + u".epub.noimages", bookLimit, done,
        [self, base, done, failed = std::move(failed)](std::u16string) {
            self.get(base + u".epub3.images", bookLimit, done, failed);
        });
}

}  // namespace tovan
