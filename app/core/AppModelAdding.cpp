// The roads by which documents enter the reading list. The slow part of each
// (reading, extracting, importing, writing the document into the library)
// runs on a detached worker thread; the result always comes back to the main
// thread, where the list takes it in and it is played, or the failure is
// shown.
#include "AppModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
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
#include "Progress.h"

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

}  // namespace

// Runs work(progress) on its own thread and then done(outcome) on the main
// thread, as long as the model still exists. A cancelled road's outcome is
// dropped there (the work itself stops at its next report), so nothing of it
// is added; the worker frees what it built as it unwinds.
template <class T, class Work, class Done>
void AppModel::detach(const std::shared_ptr<Adding>& adding, Work work, Done done) {
    QPointer<AppModel> guard(this);
    const Progress progress = adding->progress;
    ++addingWork_;
    std::shared_ptr<Workers> workers = workers_;
    {
        std::lock_guard<std::mutex> lock(workers->mutex);
        ++workers->running;
    }
    std::thread([guard, adding, progress, workers, work = std::move(work), done = std::move(done)]() mutable {
        // Counted off on every way out, once nothing of the model is used.
        struct Ended {
            Workers& w;
            ~Ended() {
                std::lock_guard<std::mutex> lock(w.mutex);
                --w.running;
                w.ended.notify_all();
            }
        } ended{*workers};
        Outcome<T> out;
        try {
            out.value.emplace(work(progress));
        } catch (...) {
            out.error = describe(std::current_exception());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, adding, out = std::move(out), done = std::move(done)]() mutable {
                if (!guard) return;
                --guard->addingWork_;
                if (!adding->cancelled) done(std::move(out));
            },
            Qt::QueuedConnection);
    }).detach();
}

namespace {

// The shares of a road's progress: extracting, cutting the sentences, then
// storing (about 50 : 35 : 15 for a large text,
// documents/bench/large_text_bench); the PDF import's pages take nearly all
// of a PDF's time.
constexpr double extractShare = 0.5;
constexpr double sentencesEnd = 0.85;
constexpr double pdfImportShare = 0.85;
constexpr double pdfSentencesEnd = 0.95;

// The last step of every worker: the new document written into the library
// (or the equal one already listed read from it). Nothing is stored when
// there is nothing to read.
Library::Stored store(const fs::path& library, std::shared_ptr<Doc> doc, const Progress& progress,
                      const fs::path& pdf = {}) {
    if (!doc || doc->sentences.empty()) return {std::move(doc), false};
    return Library::store(library, doc, progress, pdf);
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
    const auto doc = Doc::create(Extract::fromText(trimmed.toStdU16String(), title));
    if (doc->sentences.empty()) {
        setProblem(nothingToRead());
        return;
    }
    bool saved = true;
    const auto stored = library.saveOrExisting(doc, &saved);
    finishAdding({stored, saved}, play);
}

void AppModel::open(const QUrl& link, bool play) {
    const QString host = link.host();
    auto adding = startAdding(QStringLiteral("Reading ") + (host.isEmpty() ? QStringLiteral("the page") : host) +
                              ellipsis);
    QPointer<AppModel> guard(this);
    QPointer<QNetworkReply> reply =
        Fetch::get(network(), link, Extract::maxDocumentBytes, [guard, adding, link, play](Fetch::Answer a) {
            if (!guard || adding->cancelled) return;
            adding->abort = nullptr;
            if (a.error) {
                guard->failedAdding(adding, *a.error);
                return;
            }
            guard->fetched(adding, link, play, a.body, a.contentType);
        });
    adding->abort = [reply] {
        if (reply) reply->abort();
    };
}

void AppModel::fetched(const std::shared_ptr<Adding>& adding, const QUrl& link, bool play, const QByteArray& body,
                       const QString& contentType) {
    const QString ext = lowerSuffix(link.path());
    const std::u16string source = link.toString(QUrl::FullyEncoded).toStdU16String();
    if (contentType.contains(QLatin1String("pdf")) || ext == QLatin1String("pdf")) {
        auto data = std::make_shared<QByteArray>(body);
        // Named here, so that a cancel knows what to delete.
        const fs::path file =
            QDir::temp().filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".pdf")).toStdString();
        adding->download = file;
        detach<fs::path>(
            adding,
            [data, file](const Progress& progress) {
                std::string error;
                if (!AtomicFile::write(file, std::string_view(data->constData(), size_t(data->size())), &error))
                    throw std::runtime_error(error.empty() ? "The downloaded PDF could not be saved." : error);
                // A cancel that came while the file was written may have
                // found nothing to delete yet.
                if (progress.cancelled()) {
                    std::error_code ec;
                    fs::remove(file, ec);
                    throw Progress::Cancelled();
                }
                return file;
            },
            [this, adding, play](Outcome<fs::path> out) {
                if (!out.value) return failedAdding(adding, out.error);
                // The file road takes over the file and the notice (its own
                // comes first, so the notice never blinks out between the two).
                adding->download.clear();
                openFile(*out.value, play, true);
                endAdding(adding);
            });
        return;
    }
    auto data = std::make_shared<std::string>(body.toStdString());
    const bool epub = contentType.contains(QLatin1String("epub")) || ext == QLatin1String("epub");
    const std::u16string name = lastComponent(link);
    const std::u16string type = contentType.toStdU16String();
    detach<Library::Stored>(
        adding,
        [data, epub, name, source, type, library = library.dir](const Progress& progress) {
            const Progress extracting = progress.part(0, extractShare);
            ExtractedDoc extracted;
            if (epub) {
                extracted = Extract::epub(*data, name, source, extracting);
            } else {
                // The whole body: the fetch already holds it to the document
                // limit, and a cut could fall before the article or inside a
                // character.
                std::u16string html = Article::textOf(*data, type);
                extracting.check();
                Article article = Article::extract(html, source);
                extracting.check();
                extracted = Extract::fromArticle(article, source);
            }
            return store(library, Doc::create(std::move(extracted), progress.part(extractShare, sentencesEnd)),
                         progress.part(sentencesEnd, 1));
        },
        [this, adding, play](Outcome<Library::Stored> out) {
            if (!out.value) return failedAdding(adding, out.error);
            finishAdding(adding, *out.value, play);
        });
}

void AppModel::open(const fs::path& file, bool play) { openFile(file, play, false); }

void AppModel::openFile(const fs::path& file, bool play, bool downloaded) {
    auto adding = startAdding(QStringLiteral("Opening ") + QString::fromStdString(file.filename().string()) + ellipsis);
    // A downloaded PDF serves this road alone: a cancel or a failure deletes it.
    if (downloaded) adding->download = file;
    const bool pdf = lowerSuffix(QString::fromStdString(file.string())) == QLatin1String("pdf");
    if (pdf) {
        const std::u16string source = QString::fromStdString(file.string()).toStdU16String();
        detach<Library::Stored>(
            adding,
            [file, source, library = library.dir](const Progress& progress) {
                PdfImport::Result pdf = PdfImport::read(file, progress.part(0, pdfImportShare));
                auto doc = Doc::createPdf(Doc::newId(), std::move(pdf.title), source, std::move(pdf.paragraphs),
                                          std::move(pdf.spans), Doc::nowMillis(),
                                          progress.part(pdfImportShare, pdfSentencesEnd));
                return store(library, std::move(doc), progress.part(pdfSentencesEnd, 1), file);
            },
            [this, adding, play](Outcome<Library::Stored> out) {
                if (!out.value) return failedAdding(adding, out.error);
                adding->download.clear();  // the document's source now
                finishAdding(adding, *out.value, play);
            });
        return;
    }
    detach<Library::Stored>(
        adding,
        [file, library = library.dir](const Progress& progress) {
            ExtractedDoc extracted = Extract::document(file, std::nullopt, progress.part(0, extractShare));
            return store(library, Doc::create(std::move(extracted), progress.part(extractShare, sentencesEnd)),
                         progress.part(sentencesEnd, 1));
        },
        [this, adding, play](Outcome<Library::Stored> out) {
            if (!out.value) return failedAdding(adding, out.error);
            finishAdding(adding, *out.value, play);
        });
}

void AppModel::open(const Book& book) {
    const std::u16string source = catalogue + u"/ebooks/" + book.id;
    if (auto found = library.find(source, book.title)) {
        setSection(Section::library);
        playDoc(found);
        return;
    }
    auto adding = startAdding(QStringLiteral("Downloading ") + QString::fromStdU16String(book.title) + ellipsis);
    QPointer<AppModel> guard(this);
    const std::u16string title = book.title;
    // The download itself is not stopped by a cancel; its bytes are dropped.
    bookFetch_(
        book,
        [guard, adding, title, source](std::string bytes) {
            if (!guard || adding->cancelled) return;
            auto data = std::make_shared<std::string>(std::move(bytes));
            AppModel* self = guard.data();
            self->detach<Library::Stored>(
                adding,
                [data, title, source, library = self->library.dir](const Progress& progress) {
                    return store(library,
                                 Doc::create(Extract::epub(*data, title, source, progress.part(0, extractShare)),
                                             progress.part(extractShare, sentencesEnd)),
                                 progress.part(sentencesEnd, 1));
                },
                [self, adding](Outcome<Library::Stored> out) {
                    if (!out.value) return self->failedAdding(adding, out.error);
                    self->setSection(Section::library);
                    self->finishAdding(adding, *out.value, true);
                });
        },
        [guard, adding](std::u16string message) {
            if (guard && !adding->cancelled) guard->failedAdding(adding, QString::fromStdU16String(message));
        });
}

void AppModel::setBookFetch(BookFetch fetch) {
    if (fetch) bookFetch_ = std::move(fetch);
}

void AppModel::finishAdding(const std::shared_ptr<Adding>& adding, const Library::Stored& stored, bool play) {
    if (!stored.doc || stored.doc->sentences.empty()) {
        endAdding(adding);
        setProblem(nothingToRead());
        return;
    }
    // The notice goes once the document is in the list.
    const auto doc = library.added(stored);
    endAdding(adding);
    finishAdding({doc, stored.saved}, play);
}

void AppModel::finishAdding(const Library::Stored& stored, bool play) {
    // Unsaved, the document still opens from memory; the user learns that it
    // will not be there after a restart.
    if (!stored.saved)
        setProblem(QStringLiteral("\u201C%1\u201D could not be saved in the library (is the disk full or read-only?). "
                                  "It stays open until you quit.")
                       .arg(QString::fromStdU16String(stored.doc->displayTitle())));
    if (play) playDoc(stored.doc);
}

void AppModel::failedAdding(const std::shared_ptr<Adding>& adding, const QString& message) {
    if (!adding->download.empty()) {
        std::error_code ec;
        fs::remove(adding->download, ec);
    }
    endAdding(adding);
    setProblem(message);
}

std::shared_ptr<AppModel::Adding> AppModel::startAdding(QString notice) {
    auto adding = std::make_shared<Adding>();
    adding->notice = std::move(notice);
    // Reports come on the worker's thread; the main thread takes them in
    // order, after any cancel that came first.
    QPointer<AppModel> guard(this);
    std::weak_ptr<Adding> road = adding;
    adding->progress = Progress([guard, road, probe = addingReport_](double fraction) {
        if (probe) {
            const auto a = road.lock();
            probe(fraction, a ? a->progress : Progress());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, road, fraction] {
                const auto a = road.lock();
                if (guard && a) guard->progressed(a, fraction);
            },
            Qt::QueuedConnection);
    });
    addings_.push_back(adding);
    showAdding();
    return adding;
}

void AppModel::progressed(const std::shared_ptr<Adding>& adding, double fraction) {
    if (adding->cancelled) return;
    adding->fraction = fraction;
    if (!addings_.empty() && addings_.back() == adding) showAdding();
}

void AppModel::endAdding(const std::shared_ptr<Adding>& adding) {
    std::erase(addings_, adding);
    showAdding();
}

void AppModel::showAdding() {
    if (addings_.empty()) {
        setOpening(std::nullopt);
        setOpeningProgress(std::nullopt);
        return;
    }
    setOpening(addings_.back()->notice);
    setOpeningProgress(addings_.back()->fraction);
}

void AppModel::setOpeningProgress(std::optional<double> fraction) {
    if (openingProgress_ == fraction) return;
    openingProgress_ = fraction;
    emit openingProgressChanged();
}

namespace {

// The road's outcome is dropped and its work stops at its next report; a
// PDF downloaded for it alone is deleted. A road whose document is already
// being written is left to finish (false): its files are the library's now.
bool cancel(AppModel::Adding& adding) {
    if (!adding.progress.cancel()) return false;
    adding.cancelled = true;
    if (!adding.download.empty()) {
        std::error_code ec;
        fs::remove(adding.download, ec);
    }
    return true;
}

}  // namespace

void AppModel::cancelOpening() {
    std::vector<std::shared_ptr<Adding>> roads, committed;
    roads.swap(addings_);
    for (const auto& adding : roads) {
        // A road whose document is being written finishes: it is in the list
        // a moment later, and its notice stays until then.
        if (!cancel(*adding)) {
            committed.push_back(adding);
            continue;
        }
        if (adding->abort) adding->abort();
    }
    addings_ = std::move(committed);
    showAdding();
}

void AppModel::stopAdding() {
    for (const auto& adding : addings_) cancel(*adding);
    addings_.clear();
    std::unique_lock<std::mutex> lock(workers_->mutex);
    workers_->ended.wait(lock, [this] { return workers_->running == 0; });
}

void AppModel::playDoc(const std::shared_ptr<Doc>& doc) {
    if (narrator && doc) narrator->play(doc, std::nullopt);
}

}  // namespace tovan
