#include "Narrator.h"

#include "AppModel.h"
#include "SettingsStore.h"
#include "Director.h"
#include "Engine.h"
#include "Regex.h"
#include "QtClock.h"
#include "RenderLoop.h"

#include <QCoreApplication>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace tovan {

namespace {

const QString COULD_NOT_READ = QStringLiteral("The voice could not read this: ");

int64_t clampIndex(int64_t i, const Doc& doc) {
    const int64_t last = std::max<int64_t>(int64_t(doc.sentences.size()) - 1, 0);
    return std::clamp<int64_t>(i, 0, last);
}

}  // namespace

Narrator::Narrator(AppModel& app) : Narrator(app, Setup{}) {}

Narrator::Narrator(AppModel& app, Setup setup)
    : app_(app), clock_(setup.clock), main_(setup.main), gate_(std::make_shared<Gate>()),
      life_(std::make_shared<int>(0)) {
    if (!clock_ || !main_) {
        auto real = std::make_unique<QtClock>();
        if (!clock_) clock_ = real.get();
        if (!main_) main_ = real.get();
        ownClock_ = std::move(real);
    }
    // A stored value of another type counts as absent.
    const auto d = defaults();
    if (auto v = d->getDouble(SPEED_KEY); v && std::isfinite(*v)) speed_ = float(*v);
    if (auto v = d->getBool(NATURAL_KEY)) natural_ = *v;
    if (auto v = d->getDouble(EXPRESSIVENESS_KEY); v && std::isfinite(*v)) expressiveness_ = float(*v);
    if (auto v = d->getBool(DIALOGUE_VOICE_KEY)) dialogueVoice_ = *v;

    const std::string device = u8(d->getString(OUTPUT_KEY).value_or(u""));
    std::unique_ptr<AudioOutput> output;
    if (setup.output) {
        output = std::move(setup.output);
        if (!device.empty()) output->moveTo(device);  // not there now: the default it is
    } else {
        output = AudioOutput::system(*clock_, device);
    }
    player_ = setup.audioDir.empty() ? std::make_shared<SentencePlayer>(std::move(output), *main_)
                                     : std::make_shared<SentencePlayer>(std::move(output), *main_, setup.audioDir);
    player_->onMark = [this](int64_t mark) { heardSentence(mark); };
    player_->onDrained = [this] { drained(); };
    player_->onDeviceGone = [this](const std::string& description) {
        setProblem(QStringLiteral("%1 is gone; the reading goes on through the default output.")
                       .arg(QString::fromStdString(description)));
    };

    // At quit the engine thread is waited for; a loop waiting for the
    // player to make room would wait for ever once the event loop is gone.
    if (QCoreApplication* qapp = QCoreApplication::instance())
        connect(qapp, &QCoreApplication::aboutToQuit, this, [this] {
            gen_++;
            gate_->set(gen_);
        });
}

Narrator::~Narrator() {
    gen_++;
    gate_->set(gen_);
    if (sleepTimer_) clock_->cancel(sleepTimer_);
    player_->onMark = nullptr;
    player_->onDrained = nullptr;
    player_->onDeviceGone = nullptr;
}

std::shared_ptr<SettingsStore> Narrator::defaults() const {
    return app_.defaults ? app_.defaults : SettingsStore::standard();
}

// ---- published state ----

void Narrator::setDoc(std::shared_ptr<Doc> doc) {
    if (!doc) {
        // Whoever clears the document (it was deleted) gets silence, and no
        // position file comes back for it.
        stopRendering();
        setPlaying(false);
        setPreparing(false);
    }
    doc_ = std::move(doc);
    atEnd_ = false;
    emit docChanged();
    if (doc_) setHeard(clampIndex(heard_, *doc_));
}

void Narrator::setProblem(std::optional<QString> problem) {
    problem_ = std::move(problem);
    emit problemChanged();
}

void Narrator::setHeard(int64_t heard) {
    heard_ = heard;
    emit heardChanged();
}

void Narrator::setPlaying(bool playing) {
    playing_ = playing;
    emit playingChanged();
}

void Narrator::setPreparing(bool preparing) {
    preparing_ = preparing;
    emit preparingChanged();
}

void Narrator::setSleepAt(std::optional<QDateTime> at) {
    sleepAt_ = std::move(at);
    emit sleepAtChanged();
}

void Narrator::renderAgain() {
    if (playing_) renderFrom(heard_);
}

void Narrator::setSpeed(float speed) {
    if (!std::isfinite(speed)) return;
    speed_ = speed;
    defaults()->setDouble(SPEED_KEY, speed);
    emit speedChanged();
    renderAgain();
}

void Narrator::setNatural(bool natural) {
    natural_ = natural;
    defaults()->setBool(NATURAL_KEY, natural);
    emit naturalChanged();
    renderAgain();
}

void Narrator::setExpressiveness(float expressiveness) {
    if (!std::isfinite(expressiveness)) return;
    expressiveness_ = expressiveness;
    defaults()->setDouble(EXPRESSIVENESS_KEY, expressiveness);
    emit expressivenessChanged();
    renderAgain();
}

void Narrator::setDialogueVoice(bool on) {
    dialogueVoice_ = on;
    defaults()->setBool(DIALOGUE_VOICE_KEY, on);
    emit dialogueVoiceChanged();
    renderAgain();
}

bool Narrator::chooseOutput(const std::string& device) {
    if (!player_->output().moveTo(device)) return false;
    if (device.empty())
        defaults()->remove(OUTPUT_KEY);
    else
        defaults()->setString(OUTPUT_KEY, u16(device));
    return true;
}

// ---- commands ----

void Narrator::restoreLast() {
    if (doc_) return;
    for (const Doc::Meta& row : app_.library.docs()) {
        if (!(row.opened > row.added || row.pos > 0)) continue;
        std::shared_ptr<Doc> d = app_.library.doc(row.id);
        if (!d) return;
        doc_ = d;
        atEnd_ = false;
        emit docChanged();
        setHeard(d->done ? 0 : clampIndex(d->pos, *d));
        updateNowPlaying();
        return;
    }
}

void Narrator::play(const std::shared_ptr<Doc>& doc, std::optional<int64_t> from) {
    if (!doc) return;
    if (doc_ && doc_->id != doc->id) savePosition();
    doc_ = doc;
    atEnd_ = false;
    emit docChanged();
    const int64_t at = from ? *from : (doc->done ? 0 : doc->pos);
    setHeard(clampIndex(at, *doc));
    doc->opened = Doc::nowMillis();
    app_.library.save(*doc);
    start();
}

void Narrator::start() {
    if (!doc_) return;
    if (atEnd_) {
        atEnd_ = false;
        setHeard(0);
    }
    setPlaying(true);
    setProblem(std::nullopt);
    player_->play();
    renderFrom(heard_);
}

void Narrator::stopRendering() {
    gen_++;
    gate_->set(gen_);
    player_->flush();
    player_->pause();
}

void Narrator::pause() {
    stopRendering();
    setPlaying(false);
    setPreparing(false);
    savePosition();
    updateNowPlaying();
}

void Narrator::toggle() {
    if (playing_) {
        pause();
    } else if (doc_) {
        start();
    } else if (!app_.library.docs().empty()) {
        if (std::shared_ptr<Doc> d = app_.library.doc(app_.library.docs().front().id)) play(d, std::nullopt);
    }
}

void Narrator::seek(int64_t index) {
    if (!doc_) return;
    atEnd_ = false;
    setHeard(clampIndex(index, *doc_));
    savePosition();
    if (playing_)
        renderFrom(heard_);
    else
        updateNowPlaying();
}

void Narrator::nextParagraph() {
    if (!doc_ || doc_->paraOf.empty()) return;
    const auto& paraOf = doc_->paraOf;
    const int64_t count = int64_t(paraOf.size());
    const int64_t p = paraOf[size_t(std::min(heard_, count - 1))];
    int64_t j = std::max<int64_t>(heard_, 0);
    while (j < count && paraOf[size_t(j)] == p) j++;
    seek(std::min(j, int64_t(doc_->sentences.size()) - 1));
}

void Narrator::previousParagraph() {
    if (!doc_ || doc_->paraOf.empty()) return;
    const auto& paraOf = doc_->paraOf;
    const int64_t count = int64_t(paraOf.size());
    const int64_t h = std::clamp<int64_t>(heard_, 0, count - 1);
    const int64_t p = paraOf[size_t(h)];
    // The first sentence of the run of paragraph p that holds the heard one.
    auto runStart = [&](int64_t k, int64_t para) {
        while (k > 0 && paraOf[size_t(k - 1)] == para) k--;
        return k;
    };
    const int64_t s = runStart(h, p);
    if (s == 0 || s != heard_) {
        seek(s);
        return;
    }
    seek(runStart(s - 1, paraOf[size_t(s - 1)]));
}

void Narrator::sleep(std::optional<int64_t> minutes) {
    if (sleepTimer_) {
        clock_->cancel(sleepTimer_);
        sleepTimer_ = 0;
    }
    setSleepAt(std::nullopt);
    if (!minutes || *minutes < 1) return;
    // Minutes beyond a year are a year: the timer's arithmetic stays exact.
    const int64_t seconds = std::min<int64_t>(*minutes, 525600) * 60;
    setSleepAt(QDateTime::currentDateTime().addSecs(seconds));
    sleepTimer_ = clock_->callAt(clock_->now() + double(seconds), [this] {
        sleepTimer_ = 0;
        pause();
        setSleepAt(std::nullopt);
    });
}

void Narrator::renderFrom(int64_t index) {
    if (!doc_) return;
    gen_++;
    gate_->set(gen_);
    setPreparing(true);
    const int64_t token = player_->flush();
    player_->play();
    updateNowPlaying();

    RenderLoop loop;
    loop.doc = doc_;
    loop.style = app_.style();
    loop.speed = speed_;
    loop.dialogueVoice = dialogueVoice_;
    loop.voices = app_.voices;
    loop.director = natural_ ? app_.directorBox.get(app_.modelDir) : nullptr;
    loop.strength = expressiveness_;
    loop.start = index;
    loop.player = player_;
    loop.gate = gate_;
    loop.gen = gen_;
    loop.token = token;
    const int64_t gen = gen_;
    std::weak_ptr<int> alive = life_;
    MainQueue* main = main_;
    loop.failed = [this, gen, alive, main](const std::u16string& description) {
        main->post([this, gen, alive, description] {
            if (alive.lock()) renderFailed(gen, description);
        });
    };
    app_.onEngine([loop = std::move(loop)](Engine& engine) { loop.run(engine); });
}

void Narrator::renderFailed(int64_t gen, const std::u16string& description) {
    // A failure of a loop that was already replaced is nobody's business.
    if (gen != gen_) return;
    pause();
    setProblem(COULD_NOT_READ + QString::fromStdU16String(description));
}

// ---- the player's reports ----

void Narrator::heardSentence(int64_t mark) {
    setPreparing(false);
    if (!doc_) return;
    if (mark == RenderLoop::END_MARK) {
        finished();
        return;
    }
    if (mark < 0 || mark >= int64_t(doc_->sentences.size())) return;
    setHeard(mark);
    if (mark % 5 == 0) savePosition();
    updateNowPlaying();
}

void Narrator::drained() {
    if (playing_ && !preparing_) setPreparing(true);
}

void Narrator::savePosition() {
    // Its end was stored when it finished; the highlight left on the last
    // sentence is no place to come back to.
    if (!doc_ || atEnd_) return;
    doc_->pos = heard_;
    if (heard_ > 0) doc_->done = false;
    app_.library.save(*doc_);
}

void Narrator::finished() {
    if (!doc_) return;
    doc_->pos = 0;
    doc_->done = true;
    app_.library.save(*doc_);
    atEnd_ = true;
    setPlaying(false);
    setPreparing(false);
    player_->pause();
    updateNowPlaying();

    if (auto next = defaults()->getBool(AUTO_NEXT_KEY); next && !*next) return;
    const std::u16string finishedId = doc_->id;
    for (const Doc::Meta& row : app_.library.docs()) {
        if (row.id == finishedId || row.done || row.kind == u"text") continue;
        if (std::shared_ptr<Doc> d = app_.library.doc(row.id)) play(d, std::nullopt);
        return;
    }
}

// ---- estimates ----

double Narrator::progress() const {
    if (!doc_ || doc_->sentences.size() < 2) return 0;
    return double(heard_) / double(doc_->sentences.size() - 1);
}

int64_t Narrator::charactersFrom(int64_t k) const {
    if (countedDoc_ != doc_) {
        // Counted once per document: suffix sums of grapheme clusters.
        countedDoc_ = doc_;
        const auto& s = doc_->sentences;
        charsFrom_.assign(s.size() + 1, 0);
        for (size_t i = s.size(); i-- > 0;) {
            const QString text = QString::fromStdU16String(s[i]);
            QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
            int64_t n = 0;
            while (finder.toNextBoundary() > 0) n++;
            charsFrom_[i] = charsFrom_[i + 1] + n;
        }
    }
    return charsFrom_[size_t(std::clamp<int64_t>(k, 0, int64_t(charsFrom_.size()) - 1))];
}

double Narrator::secondsLeft() const {
    if (!doc_) return 0;
    const float rate = std::max(speed_ * app_.style().pace, 0.5f);
    return double(charactersFrom(heard_)) / 15.0 / double(rate);
}

}  // namespace tovan
