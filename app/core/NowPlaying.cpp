#include "NowPlaying.h"

#include <QDBusConnection>

#include <algorithm>
#include <memory>

#include "MprisControls.h"

#if __has_include("Narrator.h")
#include "Narrator.h"
#define TOVAN_HAS_NARRATOR 1
#endif

namespace tovan {

namespace {
MediaControls* chosen = nullptr;
}  // namespace

void NowPlaying::setControls(MediaControls* c) { chosen = c; }

MediaControls& NowPlaying::controls() {
    if (chosen) return *chosen;
    static std::unique_ptr<MprisControls> mpris = std::make_unique<MprisControls>(QDBusConnection::sessionBus());
    return *mpris;
}

MediaControls::Info NowPlaying::info(const Doc& doc, double secondsLeft, double progress, bool playing) {
    MediaControls::Info i;
    i.title = QString::fromStdU16String(doc.title);
    i.artist = doc.author.empty() ? QStringLiteral("Lumora") : QString::fromStdU16String(doc.author);
    // The floor keeps the division finite at the last sentence.
    const double total = secondsLeft / std::max(1.0 - progress, 0.001);
    i.duration = total;
    i.elapsed = total - secondsLeft;
    i.rate = playing ? 1.0 : 0.0;
    return i;
}

void NowPlaying::show(const Doc* doc, double secondsLeft, double progress, bool playing) {
    if (!doc) {
        controls().setInfo(std::nullopt, MediaControls::State::stopped);
        return;
    }
    controls().setInfo(info(*doc, secondsLeft, progress, playing),
                       playing ? MediaControls::State::playing : MediaControls::State::paused);
}

void NowPlaying::bind(MediaControls::Commands commands) { controls().setCommands(std::move(commands)); }

#ifdef TOVAN_HAS_NARRATOR
void NowPlaying::setUp(Narrator& n) {
    Narrator* narrator = &n;
    bind({[narrator] { narrator->toggle(); },
          [narrator] {
              if (!narrator->playing()) narrator->toggle();
          },
          [narrator] { narrator->pause(); }, [narrator] { narrator->nextParagraph(); },
          [narrator] { narrator->previousParagraph(); }});
    QObject::connect(narrator, &Narrator::nowPlayingChanged, narrator, [narrator] { update(*narrator); });
    update(n);
}

void NowPlaying::update(Narrator& n) { show(n.doc().get(), n.secondsLeft(), n.progress(), n.playing()); }
#else
// Without the reading controller in the build there is nothing to show.
void NowPlaying::setUp(Narrator&) {}
void NowPlaying::update(Narrator&) {}
#endif

}  // namespace tovan
