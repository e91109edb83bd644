#pragma once
// The client of the free public-domain book catalogue (Project Gutenberg):
// one page of books at a time from its OPDS (Atom) feeds, parsed into Book
// records, and the EPUB file of a chosen book.
//
// The client keeps no state between calls beyond its configuration (the
// catalogue root and the network manager). Requests run on the network
// manager's thread (the main thread) without blocking it; each call ends in
// exactly one of its two callbacks, on that thread.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QNetworkAccessManager;

namespace tovan {

class Gutenberg {
public:
    struct Book {
        std::u16string id;      // decimal digits only
        std::u16string title;   // cleaned
        std::u16string author;  // cleaned; may be empty
        bool operator==(const Book&) const = default;
    };

    struct Shelf {
        std::u16string_view title;  // the chip label
        std::u16string_view query;  // what page() receives
    };
    static const std::array<Shelf, 9> shelves;

    static constexpr int64_t pageLimit = 4194304;   // 4 MiB
    static constexpr int64_t bookLimit = 67108864;  // 64 MiB
    static constexpr int pageSize = 25;             // entries callers take a page to hold
    static constexpr int timeoutMs = 30000;
    static const QByteArray userAgent;
    // The public catalogue's book area.
    static constexpr std::u16string_view publicRoot = u"https://www.gutenberg.org/ebooks/";

    using Failed = std::function<void(std::u16string message)>;
    using Books = std::function<void(std::vector<Book> books)>;
    using Bytes = std::function<void(QByteArray bytes)>;

    // root is the catalogue's book area and ends in "/ebooks/" (a missing
    // final slash is added). The network manager must outlive every call.
    Gutenberg(std::u16string root, QNetworkAccessManager* network);

    const std::u16string& root() const { return root_; }
    // The book address: root followed by the id; the source of a downloaded book.
    std::u16string address(const Book& book) const { return root_ + book.id; }
    // The address of one page of a shelf or search, counting from 1.
    std::u16string pageAddress(const std::u16string& query, int64_t start) const;

    // The books of one page, in feed order. Failures: the status and size
    // messages below, or the network's own message.
    void page(const std::u16string& query, int64_t start, Books done, Failed failed) const;
    // The book's EPUB: the file without images first, then the EPUB 3 file
    // with images; the second failure is the one reported.
    void epub(const Book& book, Bytes done, Failed failed) const;

    // Never fails: a text without usable entries gives no books.
    static std::vector<Book> parse(std::string_view feed);
    // UTF-8 with every character outside letters, digits and -._~!$'()*,;:@/?
    // as %XX per byte (upper-case hex).
    static std::u16string percentEncode(const std::u16string& query);

    // "Project Gutenberg answered <status>. Try again in a moment."
    static std::u16string answered(int status);
    static constexpr std::u16string_view tooLarge = u"This book is too large to download.";

private:
    // One GET: a status of 400 or more fails with answered(status) whatever
    // the body; then a body over `limit` bytes fails with tooLarge (the
    // transfer is stopped as soon as it passes the limit).
    void get(const std::u16string& address, int64_t limit, Bytes done, Failed failed) const;

    std::u16string root_;
    QNetworkAccessManager* network_;
};

}  // namespace tovan
