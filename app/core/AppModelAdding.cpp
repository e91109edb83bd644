// The roads by which documents enter the reading list. The slow part of each
// (reading, extracting, importing) runs on a detached worker thread; the
// result always comes back to the main thread, where it is stored and played
// or the failure is shown.
#include "AppModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QUuid>

#include <exception>
#include <stdexcept>
#include <thread>

#include "Article.h"
#include "AtomicFile.h"
#include "Engine.h"
#include "Extract.h"
#include "ExtractDocument.h"
#include "ExtractEpub.h"
#include "Fetch.h"
#include "PdfImport.h"

#include "Narrator.h"

namespace tovan {

namespace fs = std::filesystem;

namespace {

const QString ellipsis = QString(QChar(0x2026));

QString describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Extract::Unsupported& e) {
        return QString::fromStdU16String(e.message());
    } catch (const Engine::Failure& e) {
        return QString::fromStdU16String(e.message());
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Something went wrong.");
    }
}

// What a worker hands back: a value, or the message of what it threw.
template <class T>
struct Outcome {
    std::optional<T> value;
    QString error;
};

// Runs work on its own thread and then done(outcome) on the main thread, as
// long as the model still exists.
template <class T, class Work, class Done>
void detach(AppModel* model, Work work, Done done) {
    QPointer<AppModel> guard(model);
    std::thread([guard, work = std::move(work), done = std::move(done)]() mutable {
        Outcome<T> out;
        try {
            out.value.emplace(work());
        } catch (...) {
            out.error = describe(std::current_exception());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, out = std::move(out), done = std::move(done)]() mutable {
                if (guard) done(std::move(out));
            },
            Qt::QueuedConnection);
    }).detach();
}

std::u16string lastComponent(const QUrl& url) {
    QString name = url.fileName();
    return name.toStdU16String();
}

QString lowerSuffix(const QString& path) { return QFileInfo(path).suffix().toLower(); }

}  // namespace

void AppModel::read(const std::u16string& text, const std::optional<std::u16string>& title, bool play) {
    const QString trimmed = QString::fromStdU16String(text).trimmed();
    if (trimmed.isEmpty()) return;
    if (!trimmed.contains(QLatin1Char(' '))) {
        QUrl url(trimmed, QUrl::StrictMode);
        if (url.isValid() && url.scheme().startsWith(QLatin1String("http"))) {
            open(url, play);
            return;
        }
    }
    finishAdding(Doc::create(Extract::fromText(trimmed.toStdU16String(), title)), play);
}

void AppModel::open(const QUrl& link, bool play) {
    const QString host = link.host();
    setOpening(QStringLiteral("Reading ") + (host.isEmpty() ? QStringLiteral("the page") : host) + ellipsis);
    QPointer<AppModel> guard(this);
    Fetch::get(network(), link, Extract::maxDocumentBytes, [guard, link, play](Fetch::Answer a) {
        if (!guard) return;
        if (a.error) {
            guard->failedAdding(*a.error);
            return;
        }
        guard->fetched(link, play, a.body, a.contentType);
    });
}

void AppModel::fetched(const QUrl& link, bool play, const QByteArray& body, const QString& contentType) {
    const QString ext = lowerSuffix(link.path());
    const std::u16string source = link.toString(QUrl::FullyEncoded).toStdU16String();
    if (contentType.contains(QLatin1String("pdf")) || ext == QLatin1String("pdf")) {
        auto data = std::make_shared<QByteArray>(body);
        detach<fs::path>(
            this,
            [data] {
                fs::path file = QDir::temp()
                                    .filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                              QStringLiteral(".pdf"))
                                    .toStdString();
                std::string error;
                if (!AtomicFile::write(file, std::string_view(data->constData(), size_t(data->size())), &error))
                    throw std::runtime_error(error.empty() ? "The downloaded PDF could not be saved." : error);
                return file;
            },
            [this, play](Outcome<fs::path> out) {
                if (!out.value) return failedAdding(out.error);
                open(*out.value, play);
            });
        return;
    }
    auto data = std::make_shared<std::string>(body.toStdString());
    const bool epub = contentType.contains(QLatin1String("epub")) || ext == QLatin1String("epub");
    const std::u16string name = lastComponent(link);
    const std::u16string type = contentType.toStdU16String();
    detach<ExtractedDoc>(
        this,
        [data, epub, name, source, type] {
            if (epub) return Extract::epub(*data, name, source);
            // The whole body: the fetch already holds it to the document limit,
            // and a cut could fall before the article or inside a character.
            std::u16string html = Article::textOf(*data, type);
            Article article = Article::extract(html, source);
            return Extract::fromArticle(article, source);
        },
        [this, play](Outcome<ExtractedDoc> out) {
            if (!out.value) return failedAdding(out.error);
            finishAdding(Doc::create(*out.value), play);
        });
}

void AppModel::open(const fs::path& file, bool play) {
    setOpening(QStringLiteral("Opening ") + QString::fromStdString(file.filename().string()) + ellipsis);
    const bool pdf = lowerSuffix(QString::fromStdString(file.string())) == QLatin1String("pdf");
    if (pdf) {
        detach<PdfImport::Result>(
            this, [file] { return PdfImport::read(file); },
            [this, file, play](Outcome<PdfImport::Result> out) {
                if (!out.value) return failedAdding(out.error);
                auto doc = Doc::createPdf(Doc::newId(), std::move(out.value->title),
                                          QString::fromStdString(file.string()).toStdU16String(),
                                          std::move(out.value->paragraphs), std::move(out.value->spans));
                library.copyPdf(file, *doc);
                finishAdding(doc, play);
            });
        return;
    }
    detach<ExtractedDoc>(
        this, [file] { return Extract::document(file); },
        [this, play](Outcome<ExtractedDoc> out) {
            if (!out.value) return failedAdding(out.error);
            finishAdding(Doc::create(std::move(*out.value)), play);
        });
}

void AppModel::open(const Book& book) {
    const std::u16string source = catalogue + u"/ebooks/" + book.id;
    if (auto found = library.find(source, book.title)) {
        setSection(Section::library);
        playDoc(found);
        return;
    }
    setOpening(QStringLiteral("Downloading ") + QString::fromStdU16String(book.title) + ellipsis);
    QPointer<AppModel> guard(this);
    const std::u16string title = book.title;
    bookFetch_(
        book,
        [guard, title, source](std::string bytes) {
            if (!guard) return;
            auto data = std::make_shared<std::string>(std::move(bytes));
            AppModel* self = guard.data();
            detach<ExtractedDoc>(
                self, [data, title, source] { return Extract::epub(*data, title, source); },
                [self](Outcome<ExtractedDoc> out) {
                    if (!out.value) return self->failedAdding(out.error);
                    self->setSection(Section::library);
                    self->finishAdding(Doc::create(*out.value), true);
                });
        },
        [guard](std::u16string message) {
            if (guard) guard->failedAdding(QString::fromStdU16String(message));
        });
}

void AppModel::setBookFetch(BookFetch fetch) {
    if (fetch) bookFetch_ = std::move(fetch);
}

void AppModel::finishAdding(const std::shared_ptr<Doc>& doc, bool play) {
    setOpening(std::nullopt);
    if (!doc || doc->sentences.empty()) {
        setProblem(nothingToRead());
        return;
    }
    bool saved = true;
    auto stored = library.saveOrExisting(doc, &saved);
    // Unsaved, the document still opens from memory; the user learns that it
    // will not be there after a restart.
    if (!saved)
        setProblem(QStringLiteral("\u201C%1\u201D could not be saved in the library (is the disk full or read-only?). "
                                  "It stays open until you quit.")
                       .arg(QString::fromStdU16String(doc->displayTitle())));
    if (play) playDoc(stored);
}

void AppModel::failedAdding(const QString& message) {
    setOpening(std::nullopt);
    setProblem(message);
}

void AppModel::playDoc(const std::shared_ptr<Doc>& doc) {
    if (narrator && doc) narrator->play(doc, std::nullopt);
}

}  // namespace tovan
