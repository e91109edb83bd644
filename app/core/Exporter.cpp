#include "Exporter.h"

#include "AppModel.h"
#include "AudioFileWriter.h"
#include "Director.h"
#include "Engine.h"
#include "EngineApi.h"
#include "Narrator.h"
#include "Performer.h"
#include "QtClock.h"

#include <QDBusConnection>
#include <QPointer>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <exception>

namespace tovan {

namespace {

const QString COULD_NOT_SAVE = QStringLiteral("The audio could not be saved: ");

QString q(const std::u16string& s) { return QString::fromStdU16String(s); }

// The words of whatever the job threw.
QString describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Engine::Failure& f) {
        return q(f.message());
    } catch (const AudioFileWriter::Failure& f) {
        return q(f.message());
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

}  // namespace

// Everything the job needs, taken on the main thread when it starts.
struct Exporter::Snapshot {
    std::shared_ptr<Doc> doc;
    std::filesystem::path file;
    Style style;
    float speed = 1.0f;
    bool dialogueVoices = false;
    Voices voices = Voices::fromData("{}", nullptr);
    std::shared_ptr<Director> director;
    float strength = 0.8f;
    std::filesystem::path modelDir;
    const EngineApi* api = nullptr;
    int threads = 4;
    MainQueue* main = nullptr;
    Exporter* owner = nullptr;  // touched only on the main thread, while alive
    uint64_t id = 0;
    std::shared_ptr<std::atomic<bool>> cancelled, alive;
};

Exporter& Exporter::shared() {
    static Exporter* exporter = new Exporter(AppModel::shared());
    return *exporter;
}

Exporter::Exporter(AppModel& app) : Exporter(app, Setup{}) {}

Exporter::Exporter(AppModel& app, Setup setup, QObject* parent)
    : QObject(parent), app_(app), main_(setup.main), engineApi_(setup.engineApi), reveal_(std::move(setup.reveal)),
      threads_(setup.threads) {
    if (!main_) {
        auto real = std::make_unique<QtClock>();
        main_ = real.get();
        ownClock_ = std::move(real);
    }
    if (!reveal_) reveal_ = revealInFileManager;
}

Exporter::~Exporter() {
    alive_->store(false);
    wait();
}

void Exporter::wait() {
    for (std::thread& t : retired_) t.join();
    retired_.clear();
    if (worker_.joinable()) worker_.join();
}

void Exporter::cancel() { cancelled_->store(true); }

void Exporter::setTitle(std::optional<QString> title) {
    title_ = std::move(title);
    emit titleChanged();
}

void Exporter::setFraction(double fraction) {
    fraction_ = fraction;
    emit fractionChanged();
}

QString Exporter::proposedName(const Doc& doc) {
    QString name = q(doc.title);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return name + QStringLiteral(".m4a");
}

void Exporter::revealInFileManager(const std::filesystem::path& file) {
    const QString url = QUrl::fromLocalFile(QString::fromStdString(file.string())).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{url} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage) return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
}

void Exporter::exportDoc(const std::shared_ptr<Doc>& doc) {
    // One dialog at a time: a second one could be confirmed after the first
    // had started its job.
    if (title_ || asking_ || !doc || !ask_) return;
    asking_ = true;
    QPointer<Exporter> self(this);
    ask_(proposedName(*doc), QString::fromUtf8(MESSAGE), [self, doc](std::filesystem::path file) {
        if (!self) return;
        self->asking_ = false;
        if (!file.empty() && !self->title_) self->exportDoc(doc, file);
    });
}

void Exporter::exportDoc(const std::shared_ptr<Doc>& doc, const std::filesystem::path& file) {
    if (!doc) return;
    Snapshot s;
    s.doc = doc;
    s.file = file;
    s.style = app_.style();
    const Narrator* n = app_.narrator;
    s.speed = n ? n->speed() : 1.0f;
    s.dialogueVoices = n ? n->dialogueVoice() : false;
    s.voices = app_.voices;
    if (!n || n->natural()) s.director = app_.directorBox.get(app_.modelDir);
    s.strength = n ? n->expressiveness() : 0.8f;
    s.modelDir = app_.modelDir;
    s.api = engineApi_;
    s.threads = threads_;
    s.main = main_;
    s.owner = this;
    s.id = ++jobs_;

    setTitle(q(doc->title));
    setFraction(0);
    // A fresh flag per job: a job still winding down keeps its own.
    cancelled_ = std::make_shared<std::atomic<bool>>(false);
    s.cancelled = cancelled_;
    s.alive = alive_;

    // An earlier job started through the direct road winds down on its own
    // (it has its flag and publishes nothing any more); waiting for it here
    // would hold the window until it ends.
    if (worker_.joinable()) retired_.push_back(std::move(worker_));
    worker_ = std::thread(job, std::move(s));
}

void Exporter::job(Snapshot s) {
    // Utility priority: the reading and the desktop come first.
    ::setpriority(PRIO_PROCESS, 0, 10);

    auto post = [&s](std::function<void(Exporter&)> task) {
        std::shared_ptr<std::atomic<bool>> alive = s.alive;
        Exporter* owner = s.owner;
        const uint64_t id = s.id;
        // A job started after this one owns what is published now.
        s.main->post([alive, owner, id, task = std::move(task)] {
            if (alive->load() && owner->jobs_ == id) task(*owner);
        });
    };

    std::unique_ptr<Engine> engine;
    std::unique_ptr<AudioFileWriter> writer;
    bool cancelled = false;
    try {
        engine = std::make_unique<Engine>(s.modelDir, s.threads, s.api ? *s.api : EngineApi::real());
        writer = std::make_unique<AudioFileWriter>(s.file);
        const Performer p = Performer::forReading(s.doc, s.director.get(), s.style, s.speed, s.dialogueVoices,
                                                  s.voices, s.strength, *engine);
        const int64_t n = int64_t(s.doc->sentences.size());
        for (int64_t i = 0; i < n; i++) {
            if (!s.alive->load()) {
                writer->discard();
                return;
            }
            if (s.cancelled->load()) {
                cancelled = true;
                break;
            }
            std::optional<std::vector<float>> samples = p.render(i, *engine);
            // A sentence the engine declines is left out.
            if (samples) writer->write(*samples);
            if (i % 10 == 0) {
                const double f = double(i + 1) / double(n);
                post([f](Exporter& e) { e.setFraction(f); });
            }
        }
        if (cancelled)
            writer->discard();
        else
            writer->finish();
    } catch (...) {
        if (writer) writer->discard();
        const QString why = describe(std::current_exception());
        writer.reset();
        engine.reset();
        post([why](Exporter& e) { e.failed(why); });
        return;
    }
    writer.reset();
    engine.reset();
    const std::filesystem::path file = s.file;
    post([cancelled, file](Exporter& e) { e.finished(cancelled, file); });
}

void Exporter::finished(bool cancelled, const std::filesystem::path& file) {
    setTitle(std::nullopt);
    if (!cancelled && reveal_) reveal_(file);
}

void Exporter::failed(const QString& description) {
    setTitle(std::nullopt);
    app_.setProblem(COULD_NOT_SAVE + description);
}

}  // namespace tovan
