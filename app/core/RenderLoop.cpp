#include "RenderLoop.h"

#include "Performer.h"

#include <QString>

#include <chrono>
#include <thread>
#include <vector>

namespace tovan {

Performer RenderLoop::performer(Engine& engine) const {
    return Performer::forReading(doc, director.get(), style, speed, dialogueVoice, voices, strength, engine);
}

void RenderLoop::run(Engine& engine) const {
    if (!doc || !player || !gate) return;
    auto wanted = [&] { return gate->holds(gen); };
    try {
        const Performer p = performer(engine);
        const int64_t n = int64_t(doc->sentences.size());
        for (int64_t i = start < 0 ? 0 : start; i < n; i++) {
            while (player->pendingSeconds() > AHEAD_SECONDS && wanted()) {
                if (idle)
                    idle();
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(40));
            }
            if (!wanted()) return;
            std::optional<std::vector<float>> samples = p.render(i, engine);
            // No audio for a segment: no model, or the engine was cancelled.
            if (!samples) return;
            if (!wanted()) return;
            player->enqueue(*samples, i, token);
        }
        if (wanted()) player->enqueue(std::vector<float>(END_SAMPLES, 0.0f), END_MARK, token);
    } catch (const Engine::Failure& f) {
        if (failed) failed(f.errorDescription());
    } catch (const std::exception& e) {
        // Anything else (out of memory) is reported the same way rather than
        // lost on the engine thread.
        if (failed) failed(QString::fromUtf8(e.what()).toStdU16String());
    }
}

}  // namespace tovan
