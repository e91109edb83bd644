#include "AppModel.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QPointer>

#include <cstdlib>
#include <exception>
#include <system_error>

#include "SettingsStore.h"
#include "DevHooks.h"
#include "Extract.h"
#include "Director.h"
#include "Engine.h"
#include "EngineApi.h"
#include "Fetch.h"
#include "Install.h"
#include "NowPlaying.h"
#include "Paths.h"
#include "SerialQueue.h"
#include "VoicesStore.h"
#include "WatchedSettings.h"

#include "Narrator.h"

#ifndef TOVANTTS_DEV_MODEL
#define TOVANTTS_DEV_MODEL "engine/models/dev"
#endif

namespace tovan {

namespace fs = std::filesystem;

namespace {

QString q(const std::u16string& s) { return QString::fromStdU16String(s); }

bool hasConfig(const fs::path& dir) {
    std::error_code ec;
    return !dir.empty() && fs::exists(dir / "config.json", ec);
}

// The message a user reads for anything the adding roads throw.
QString describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Extract::Unsupported& e) {
        return q(e.message());
    } catch (const Engine::Failure& e) {
        return q(e.message());
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Something went wrong.");
    }
}

}  // namespace

// ---- DirectorBox ----

DirectorBox::DirectorBox(Loader loader) : loader_(std::move(loader)) {}

std::shared_ptr<Director> DirectorBox::get(const fs::path& modelDir) {
    std::lock_guard<std::mutex> g(lock_);
    if (!loaded_) {
        loaded_ = true;
        try {
            director_ = loader_ ? loader_(modelDir) : Director::load(modelDir);
        } catch (...) {
            director_ = nullptr;  // narration goes on without plans
        }
    }
    return director_;
}

// ---- names ----

QString AppModel::sectionName(Section s) {
    switch (s) {
        case Section::library: return QStringLiteral("library");
        case Section::freeBooks: return QStringLiteral("freeBooks");
        case Section::assistant: return QStringLiteral("assistant");
        case Section::voices: return QStringLiteral("voices");
        case Section::anywhere: return QStringLiteral("anywhere");
    }
    return QStringLiteral("library");
}

std::optional<AppModel::Section> AppModel::sectionNamed(const QString& name) {
    for (Section s : {Section::library, Section::freeBooks, Section::assistant, Section::voices, Section::anywhere})
        if (sectionName(s) == name) return s;
    return std::nullopt;
}

QString AppModel::sheetName(Sheet s) { return s == Sheet::link ? QStringLiteral("link") : QStringLiteral("text"); }

QString AppModel::nothingToRead() { return QStringLiteral("There is nothing to read in this."); }
QByteArray AppModel::userAgent() { return QByteArrayLiteral("Mozilla/5.0 (Macintosh) TovanTTS"); }

// ---- start-up ----

fs::path AppModel::standardModelDir() { return modelDirFor(Install::self()); }

fs::path AppModel::modelDirFor(const fs::path& program) {
    if (const char* env = std::getenv("TOVANTTS_MODEL"); env && *env && hasConfig(env)) return env;
    const fs::path own = Install::shared(program, fs::path(Install::kProgram) / "model");
    if (hasConfig(own)) return own;
    return fs::path(TOVANTTS_DEV_MODEL).lexically_normal();
}

AppModel::Config AppModel::standardConfig() {
    Config c;
    c.support = Paths::support();
    c.modelDir = standardModelDir();
    c.defaults = SettingsStore::standard();
    return c;
}

namespace {
AppModel* sharedModel = nullptr;
}

AppModel& AppModel::shared() {
    static AppModel* model = [] {
        sharedModel = new AppModel(standardConfig());
        // The desktop's media controls and the developer commands follow
        // the one reading controller of the process.
        if (sharedModel->narrator) NowPlaying::setUp(*sharedModel->narrator);
        DevHooks::bindNarrator(*sharedModel);
        return sharedModel;
    }();
    return *model;
}

bool AppModel::hasShared() { return sharedModel != nullptr; }

namespace {
fs::path madeSupport(const fs::path& support) {
    std::error_code ec;
    fs::create_directories(support, ec);  // later saves report their own failures
    return support;
}
// The store with its change notice (settingChanged).
std::shared_ptr<SettingsStore> watched(std::shared_ptr<SettingsStore> d) {
    return std::make_shared<WatchedSettings>(d ? std::move(d) : SettingsStore::standard());
}
}  // namespace

AppModel::AppModel(Config config, QObject* parent)
    : QObject(parent),
      support(madeSupport(config.support)),
      modelDir(config.modelDir),
      defaults(watched(config.defaults)),
      voices(Voices::fromFile(modelDir / "voices.json", std::make_shared<SettingsVoicesStore>(defaults))),
      library(support / "library"),
      directorBox(std::move(config.directorLoader)),
      catalogue(config.catalogue),
      style_(Style::load(support / "style.json")),
      engineApi_(config.engineApi),
      threads_(config.threads),
      bookFetch_(std::move(config.bookFetch)),
      addingReport_(std::move(config.addingReport)),
      engineQueue_(std::make_unique<SerialQueue>("tovantts.engine")) {
    connect(static_cast<WatchedSettings*>(defaults.get()), &WatchedSettings::changed, this, &AppModel::settingChanged);
    if (!bookFetch_) {
        const std::u16string root = catalogue;
        bookFetch_ = [this, root](const Book& book, std::function<void(std::string)> done,
                                  std::function<void(std::u16string)> failed) {
            Fetch::book(network(), root, book.id, std::move(done), std::move(failed));
        };
    }
    if (config.narrator) {
        narratorOwner_ = config.narrator(*this);
    } else {
        narratorOwner_ = std::make_shared<Narrator>(*this);
        narratorOwner_->restoreLast();
    }
    narrator = narratorOwner_.get();
    // The shared model lives until the process ends, so adding work is
    // stopped at quit, before the exit tears down what the work uses.
    if (QCoreApplication* qapp = QCoreApplication::instance())
        connect(qapp, &QCoreApplication::aboutToQuit, this, &AppModel::stopAdding);
}

AppModel::~AppModel() {
    // Adding roads under way stop at their next report and are waited for;
    // their outcomes find no model and are dropped.
    stopAdding();
    // A render loop waiting for the player to make room only ends once the
    // reading stops; without this the queue's end would wait for ever.
    // Whoever listened to the reading or the list may be gone by now, so
    // the pause (which keeps the position) tells nobody.
    if (narrator) {
        narrator->blockSignals(true);
        library.blockSignals(true);
        narrator->pause();
    }
    // The queue ends after its last block; only then may the engine go.
    engineQueue_.reset();
    engine_.reset();
    narrator = nullptr;
    narratorOwner_.reset();
}

QNetworkAccessManager* AppModel::network() {
    if (!network_) network_ = new QNetworkAccessManager(this);
    return network_;
}

// ---- published state ----

void AppModel::setStyle(const Style& style) {
    style_ = style;
    emit styleChanged();
    style_.save(support / "style.json");
}

void AppModel::setSection(std::optional<Section> s) {
    if (section_ == s) return;
    section_ = s;
    emit sectionChanged();
}

void AppModel::setOpening(std::optional<QString> text) {
    if (opening_ == text) return;
    opening_ = std::move(text);
    emit openingChanged();
}

void AppModel::setProblem(std::optional<QString> text) {
    problem_ = std::move(text);
    emit problemChanged();
}

void AppModel::setSheet(std::optional<Sheet> s) {
    if (sheet_ == s) return;
    sheet_ = s;
    emit sheetChanged();
}

// ---- the engine ----

void AppModel::onEngine(std::function<void(Engine&)> body) {
    QPointer<AppModel> self(this);
    engineQueue_->async([this, self, body = std::move(body)] {
        if (!engine_) {
            try {
                engine_ = std::make_unique<Engine>(modelDir, threads_, engineApi_ ? *engineApi_ : EngineApi::real());
            } catch (const std::exception& e) {
                const QString message = QStringLiteral("The voice could not start: ") + describe(std::current_exception());
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, message] {
                        if (self) self->setProblem(message);
                    },
                    Qt::QueuedConnection);
                return;
            }
        }
        body(*engine_);
    });
}

void AppModel::syncEngine() { engineQueue_->sync(); }

std::u16string AppModel::engineVoice(const std::optional<std::u16string>& voice) {
    if (!voice || *voice == u"female") return std::u16string(Voices::FEATURED[0]);
    if (*voice == u"male") return std::u16string(Voices::FEATURED[1]);
    return *voice;
}

}  // namespace tovan
