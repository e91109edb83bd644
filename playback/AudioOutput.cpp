#include "AudioOutput.h"

#include "QtAudioOutput.h"
#include "VirtualAudioOutput.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include <cstdio>
#include <mutex>

namespace tovan {

std::unique_ptr<AudioOutput> AudioOutput::system(Clock& clock) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        static std::once_flag said;
        std::call_once(said, [] {
            std::fprintf(stderr, "audio: no output device; reading goes on without sound\n");
        });
        return std::make_unique<VirtualAudioOutput>(clock);
    }
    return std::make_unique<QtAudioOutput>(device);
}

}  // namespace tovan
