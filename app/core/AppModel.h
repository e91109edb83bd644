#pragma once
// The one process-wide object of the application side. It fixes the support
// and model folders, owns the voice catalogue, the reading Style, the reading
// list (Library) and the reading controller (Narrator), publishes the small
// pieces of window state the views observe, and holds the single entry
// through which all playback-side use of the speech engine passes.
//
// Threads: the object lives on the main thread and every published property
// is read and written there; each change emits its own signal after the value
// changed. onEngine() runs work on one serial worker thread named
// "tovantts.engine"; the adding roads (read/open) do their slow part on worker
// threads and finish on the main thread.
//
// The Narrator (Narrator.h) is made through a factory (Config::narrator);
// the standard one constructs `Narrator(AppModel&)` and restores the last
// document without playing it. A factory may give null: the model then adds
// documents without playing them.

#include <QObject>
#include <QString>
#include <QUrl>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Doc.h"
#include "Library.h"
#include "Progress.h"
#include "Style.h"
#include "Voices.h"

namespace tovan {

class SettingsStore;
class Director;
class Engine;
class Narrator;
class SerialQueue;
struct EngineApi;
}  // namespace tovan
class QNetworkAccessManager;
namespace tovan {

// The shared reading director, loaded on the first get() only. A load that
// fails is not tried again: every later call gives null at once. Callable
// from any thread; a caller waits while a load is under way.
class DirectorBox {
public:
    using Loader = std::function<std::shared_ptr<Director>(const std::filesystem::path& modelDir)>;
    // The standard loader is Director::load; its failures give null.
    explicit DirectorBox(Loader loader = {});
    std::shared_ptr<Director> get(const std::filesystem::path& modelDir);

private:
    std::mutex lock_;
    bool loaded_ = false;
    std::shared_ptr<Director> director_;
    Loader loader_;
};

class AppModel : public QObject {
    Q_OBJECT
public:
    // The main window's sections, in sidebar order.
    enum class Section { library, freeBooks, assistant, voices, anywhere };
    // The add sheets shown over the main window.
    enum class Sheet { link, text };
    // The case names ("library", "freeBooks", …) and back; exact text only.
    static QString sectionName(Section section);
    static std::optional<Section> sectionNamed(const QString& name);
    static QString sheetName(Sheet sheet);

    // One book of the free catalogue.
    struct Book {
        std::u16string id;
        std::u16string title;
        std::u16string author;
    };
    // Downloads a book's EPUB. Called on the main thread; must call exactly
    // one of done (with the bytes) or failed (with the message the user
    // reads), on the main thread, now or later.
    using BookFetch = std::function<void(const Book& book, std::function<void(std::string bytes)> done,
                                         std::function<void(std::u16string message)> failed)>;
    using NarratorFactory = std::function<std::shared_ptr<Narrator>(AppModel& app)>;

    // Everything the model is made from; tests fill their own.
    struct Config {
        std::filesystem::path support;   // made at start-up
        std::filesystem::path modelDir;  // handed to the engine and the director
        std::shared_ptr<SettingsStore> defaults;  // the user's store; null: SettingsStore::standard()
        const EngineApi* engineApi = nullptr;  // null: the real engine
        DirectorBox::Loader directorLoader;    // empty: Director::load
        NarratorFactory narrator;              // empty: the standard factory (see above)
        BookFetch bookFetch;                   // empty: a plain download of the book's EPUB
        // The catalogue's web address; a book's source is this + "/ebooks/" + id.
        std::u16string catalogue = u"https://www.gutenberg.org";
        // Engine threads for playback-side synthesis.
        int threads = 4;
        // Called on the worker's thread at every progress report of an adding
        // road, before the main thread hears of it, with the road's own
        // progress handle: tests hold the work there.
        std::function<void(double fraction, const Progress& work)> addingReport;
    };
    // Support = Paths::support(); model = standardModelDir().
    static Config standardConfig();
    // The model directory of the running program: modelDirFor(Install::self()).
    static std::filesystem::path standardModelDir();
    // $TOVANTTS_MODEL, else the installed copy's own model beside `program`
    // (<bin>/../share/tovantts/model), else the build tree's development
    // model; each taken when it holds config.json, the last one in any case.
    static std::filesystem::path modelDirFor(const std::filesystem::path& program);

    // The one model, made from standardConfig() on first use (main thread).
    static AppModel& shared();
    // True once shared() has made the model (it is never replaced).
    static bool hasShared();

    explicit AppModel(Config config, QObject* parent = nullptr);
    ~AppModel() override;
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    const std::filesystem::path support;
    const std::filesystem::path modelDir;
    // The user's settings; every write through it emits settingChanged.
    const std::shared_ptr<SettingsStore> defaults;
    Voices voices;
    Library library;
    // The reading controller; null only when the factory gave none.
    Narrator* narrator = nullptr;
    DirectorBox directorBox;
    const std::u16string catalogue;

    // ---- published state (main thread) ----
    const Style& style() const { return style_; }
    // Publishes the new style, then saves it to "style.json" in the support
    // folder before returning. Does not restart a reading in progress.
    void setStyle(const Style& style);
    std::optional<Section> section() const { return section_; }
    void setSection(std::optional<Section> section);
    // "Opening …", "Reading …" or "Downloading …" while a document is added:
    // the notice of the latest road still under way.
    const std::optional<QString>& opening() const { return opening_; }
    void setOpening(std::optional<QString> text);
    // How far the road whose notice is shown has come, 0 to 1; nothing while
    // that is not known (a download).
    std::optional<double> openingProgress() const { return openingProgress_; }
    // Stops every road under way: nothing of them is added, their work stops
    // at its next report and frees what it built, a downloaded PDF is
    // deleted, and the notice goes at once.
    void cancelOpening();
    // Adding work still running on worker threads, cancelled work included
    // (it counts until its outcome has come back and been dropped).
    int addingWork() const { return addingWork_; }
    // The last failure the user should read; views clear it.
    const std::optional<QString>& problem() const { return problem_; }
    void setProblem(std::optional<QString> text);
    std::optional<Sheet> sheet() const { return sheet_; }
    void setSheet(std::optional<Sheet> sheet);

    // ---- the engine ----
    // Hands body to the engine thread and returns at once. There the shared
    // Engine is made on first use; when that fails, body is dropped and
    // problem becomes "The voice could not start: " + the engine's message
    // (the next call tries again). Blocks run one at a time in call order.
    void onEngine(std::function<void(Engine&)> body);
    // Blocks until everything handed to the engine thread so far has run.
    // For tests and shutdown; never call it on the engine thread.
    void syncEngine();
    // A style's voice to the engine's voice id: none or "female" give the
    // first featured voice, "male" the second, anything else stays as it is.
    static std::u16string engineVoice(const std::optional<std::u16string>& voice);

    // ---- adding documents (main thread; outcomes through opening, problem,
    // the library and the narrator) ----
    // Trimmed text that is one http(s) address without spaces is opened as a
    // link; other non-blank text becomes a document; blank text does nothing.
    void read(const std::u16string& text, const std::optional<std::u16string>& title, bool play);
    // Fetches the page, PDF or EPUB (20 s time-out) and adds it.
    void open(const QUrl& link, bool play);
    // Reads a file (PDFs through the PDF import, with a copy kept in the
    // library) and adds it.
    void open(const std::filesystem::path& file, bool play);
    // Plays the book when the list has it, else downloads, adds and plays it.
    void open(const Book& book);
    // Replaces the book download (the catalogue client installs its own).
    void setBookFetch(BookFetch fetch);

    // The texts of the roads.
    static QString nothingToRead();  // "There is nothing to read in this."
    static QByteArray userAgent();   // "Mozilla/5.0 (Macintosh) TovanTTS"

signals:
    // A setting was written through `defaults` (its key, e.g. "readingSize").
    void settingChanged(const QString& key);
    void styleChanged();
    void sectionChanged();
    void openingChanged();
    void openingProgressChanged();
    void problemChanged();
    void sheetChanged();

public:
    // One adding road under way (main thread only, but for `progress`, which
    // its worker reports to).
    struct Adding {
        QString notice;
        Progress progress;
        std::optional<double> fraction;
        bool cancelled = false;
        std::function<void()> abort;     // stops the page's download while it runs
        std::filesystem::path download;  // a downloaded PDF only this road uses
    };

private:
    std::shared_ptr<Adding> startAdding(QString notice);
    // The road has ended (or handed over): the notice of the latest road
    // still under way is shown, or none.
    void endAdding(const std::shared_ptr<Adding>& adding);
    void showAdding();
    void progressed(const std::shared_ptr<Adding>& adding, double fraction);
    void setOpeningProgress(std::optional<double> fraction);
    // Stops every road for good (the model goes, the application quits):
    // the work is cancelled and waited for, downloaded PDFs are deleted. No
    // signal is sent: listeners may be gone.
    void stopAdding();
    template <class T, class Work, class Done>
    void detach(const std::shared_ptr<Adding>& adding, Work work, Done done);
    void openFile(const std::filesystem::path& file, bool play, bool downloaded);
    // A worker's outcome: taken into the list, then the notice goes.
    void finishAdding(const std::shared_ptr<Adding>& adding, const Library::Stored& stored, bool play);
    // The document in the list (or kept unsaved, with a problem) is played.
    void finishAdding(const Library::Stored& stored, bool play);
    void failedAdding(const std::shared_ptr<Adding>& adding, const QString& message);
    void playDoc(const std::shared_ptr<Doc>& doc);
    void fetched(const std::shared_ptr<Adding>& adding, const QUrl& link, bool play, const QByteArray& body,
                 const QString& contentType);
    // Made on first use, on the main thread.
    QNetworkAccessManager* network();

    Style style_;
    std::optional<Section> section_ = Section::library;
    std::optional<QString> opening_;
    std::optional<double> openingProgress_;
    std::vector<std::shared_ptr<Adding>> addings_;
    int addingWork_ = 0;
    // The worker threads of adding work, counted until they have ended: a
    // thread left running at exit would use what the exit destroys.
    struct Workers {
        std::mutex mutex;
        std::condition_variable ended;
        int running = 0;
    };
    std::shared_ptr<Workers> workers_ = std::make_shared<Workers>();
    std::optional<QString> problem_;
    std::optional<Sheet> sheet_;

    const EngineApi* engineApi_;
    const int threads_;
    BookFetch bookFetch_;
    std::function<void(double, const Progress&)> addingReport_;
    std::shared_ptr<Narrator> narratorOwner_;
    QNetworkAccessManager* network_ = nullptr;
    // Touched only on the engine thread.
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<SerialQueue> engineQueue_;
};

}  // namespace tovan
