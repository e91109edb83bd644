#include "Announcer.h"

#include "AssistantPrefs.h"
#include "ContextStyler.h"
#include "Expression.h"

namespace tovan {

Announcer* Announcer::installed = nullptr;

namespace {

// One phrase into one clip, on the engine queue.
std::vector<float> render(Engine& engine, const Speech& speech, const std::optional<std::u16string>& about,
                          const Style& style, const Announcer::Host& host, int hour, bool focus,
                          const std::function<bool()>& current) {
    std::vector<float> clip;
    const std::optional<std::u16string> fallback = engine.resolve(style.voice);
    const ContextStyler::DeviceState device{hour, focus, false};
    for (const Speech::Part& part : speech.parts) {
        if (!current()) return {};
        Style styled = ContextStyler::decide(style, part.text, about, device, std::nullopt);
        if (part.mood) styled = host.moodStyle(styled, *part.mood);
        std::optional<std::u16string> voice = fallback;
        if (part.voice && engine.gender(*part.voice)) voice = part.voice;
        std::optional<std::vector<float>> samples;
        try {
            samples = engine.synthesize(Expression::bmp(part.text), voice, styled.tagOrNull(), styled.ctrl(),
                                        styled.pace, false);
        } catch (const Engine::Failure&) {
            continue;  // a part that fails is left out; the rest is still said
        }
        if (!samples || samples->empty()) continue;
        clip.insert(clip.end(), samples->begin(), samples->end());
        if (part.pauseAfterMs > 0)
            clip.insert(clip.end(), size_t(int64_t(part.pauseAfterMs) * Engine::sampleRate / 1000), 0.0f);
    }
    clip.insert(clip.end(), Announcer::kTailSamples, 0.0f);
    return clip;
}

}  // namespace

bool Announcer::hasShared() { return installed != nullptr; }
void Announcer::setShared(Announcer* a) { installed = a; }

Announcer::Announcer(Host host, std::unique_ptr<SentencePlayer> player, QObject* parent)
    : QObject(parent), host_(std::move(host)), player_(std::move(player)) {
    if (!host_.hour) host_.hour = AssistantPrefs::localHour;
    if (!host_.focusOn) host_.focusOn = [] { return false; };
    // The player dies with the announcer, so the callback never outlives it.
    player_->onDrained = [this] { next(); };
}

Announcer::~Announcer() {
    player_->onDrained = nullptr;
    if (installed == this) installed = nullptr;
}

void Announcer::advance() {
    gen_++;
    gate_->set(gen_);
}

void Announcer::say(const Speech& speech, const std::optional<std::u16string>& about, bool interrupt) {
    if (speech.isEmpty()) return;
    if (interrupt) {
        queue_.clear();
        advance();
        player_->flush();
        busy_ = false;
    }
    queue_.push_back({speech, about});
    if (!busy_) next();
}

void Announcer::next() {
    if (queue_.empty()) {
        finish();
        return;
    }
    Entry entry = std::move(queue_.front());
    queue_.pop_front();
    if (host_.readerPlaying && host_.readerPlaying()) {
        if (host_.pauseReader) host_.pauseReader();
        resumeReading_ = true;
    }
    busy_ = true;
    speaking_ = entry.speech.text();
    emit changed();

    const int64_t gen = gen_;
    const int64_t token = player_->flush();
    player_->play();
    const Style style = host_.style ? host_.style().copy() : Style();
    const bool focus = host_.focusOn();
    const int hour = host_.hour();
    auto gate = gate_;
    auto player = player_;
    Host host = host_;
    host_.onEngine([=, speech = std::move(entry.speech), about = std::move(entry.about)](Engine& engine) {
        auto current = [&] { return gate->holds(gen); };
        std::vector<float> clip = render(engine, speech, about, style, host, hour, focus, current);
        if (!clip.empty() && current()) player->enqueue(clip, 0, token);
    });
}

void Announcer::finish() {
    busy_ = false;
    speaking_.reset();
    emit changed();
    if (resumeReading_) {
        resumeReading_ = false;
        // A reading the user started meanwhile is theirs: resuming (a toggle)
        // would pause it.
        const bool readingNow = host_.readerPlaying && host_.readerPlaying();
        if (!readingNow && host_.resumeReader) host_.resumeReader();
    }
}

void Announcer::stop() {
    queue_.clear();
    advance();
    player_->flush();
    player_->pause();
    finish();
}

void Announcer::engineUnavailable() {
    if (!busy_) return;
    // Nothing of this phrase will come; what was rendered for it is dropped.
    advance();
    next();
}

}  // namespace tovan
