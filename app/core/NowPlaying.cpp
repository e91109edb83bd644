#include "NowPlaying.h"

#include <QDBusConnection>

#include <algorithm>
#include <memory>

#include "DesktopEntry.h"
#include "MprisControls.h"

#include "Narrator.h"
#include "SentencePlayer.h"

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
    i.artist = doc.author.empty() ? QString::fromUtf8(DesktopEntry::kName) : QString::fromStdU16String(doc.author);
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

void NowPlaying::setUp(Narrator& n) {
    Narrator* narrator = &n;
    bind({[narrator] { narrator->toggle(); },
          [narrator] {
              if (!narrator->playing()) narrator->toggle();
          },
          [narrator] { narrator->pause(); }, [narrator] { narrator->nextParagraph(); },
          [narrator] { narrator->previousParagraph(); }, [narrator] { return double(narrator->player().volume()); },
          [narrator](double v) { narrator->player().setVolume(float(v)); }});
    QObject::connect(narrator, &Narrator::nowPlayingChanged, narrator, [narrator] { update(*narrator); });
    update(n);
}

void NowPlaying::update(Narrator& n) { show(n.doc().get(), n.secondsLeft(), n.progress(), n.playing()); }

}  // namespace tovan
