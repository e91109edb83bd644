#include "AudioOutput.h"

#include "QtAudioOutput.h"
#include "VirtualAudioOutput.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include <cstdio>
#include <mutex>

namespace tovan {

std::unique_ptr<AudioOutput> AudioOutput::system(Clock& clock, const std::string& chosen) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        static std::once_flag said;
        std::call_once(said, [] {
            std::fprintf(stderr, "audio: no output device; reading goes on without sound\n");
        });
        return std::make_unique<VirtualAudioOutput>(clock);
    }
    auto out = std::make_unique<QtAudioOutput>(device);
    if (!chosen.empty()) out->moveTo(chosen);  // not there now: the default it is
    return out;
}

}  // namespace tovan
