#include "VoicePreview.h"

#include "Engine.h"
#include "SentencePlayer.h"

#include <stdexcept>

namespace tovan {

namespace {
std::unique_ptr<Speaker>& sharedSlot() {
    static std::unique_ptr<Speaker> s;
    return s;
}
}  // namespace

Speaker::Speaker(Host host, std::shared_ptr<SentencePlayer> player)
    : host_(std::move(host)), player_(std::move(player)) {}

Speaker& Speaker::shared() {
    if (!sharedSlot()) throw std::logic_error("the voice preview is used before the application made it");
    return *sharedSlot();
}

bool Speaker::hasShared() {
    return sharedSlot() != nullptr;
}

void Speaker::setShared(std::unique_ptr<Speaker> speaker) {
    sharedSlot() = std::move(speaker);
}

void Speaker::say(const std::u16string& text, const Style& style) {
    if (host_.readerPlaying && host_.readerPlaying() && host_.pauseReader) host_.pauseReader();
    const int64_t token = player_->flush();
    player_->play();
    if (!host_.onEngine) return;
    // The work keeps its own copies, so later edits of the caller's style do
    // not reach a preview under way; the player lives as long as the work.
    host_.onEngine([text, copy = style.copy(), player = player_, token](Engine& engine) {
        perform(engine, text, copy, *player, token);
    });
}

void Speaker::perform(Engine& engine, const std::u16string& text, const Style& style, SentencePlayer& player,
                      int64_t token) {
    try {
        const std::optional<std::u16string> voice = engine.resolve(style.voice);
        engine.stream(text, voice, style.tagOrNull(), style.ctrl(), style.pace,
                      [&player, token](std::vector<float> samples, int32_t index) {
                          return player.enqueue(samples, index, token);
                      });
    } catch (const Engine::Failure&) {
        // A preview that cannot be made stays silent; what was queued plays.
    }
}

}  // namespace tovan
