// The application's announcer: its host is the application model.
#include "Announcer.h"

#include "Machine.h"
#include "QtClock.h"
#include "core/AppModel.h"
#include "core/Performer.h"

#if __has_include("core/Narrator.h")
#include "core/Narrator.h"
#define TOVAN_HAS_NARRATOR 1
#endif

namespace tovan {

Announcer& Announcer::shared() {
    if (installed) return *installed;
    AppModel& app = AppModel::shared();
    static QtClock* clock = new QtClock();
    Host host;
#ifdef TOVAN_HAS_NARRATOR
    host.readerPlaying = [&app] { return app.narrator && app.narrator->playing(); };
    host.pauseReader = [&app] {
        if (app.narrator) app.narrator->pause();
    };
    host.resumeReader = [&app] {
        // Only the document it paused: without one, a toggle would start the
        // first entry of the reading list.
        if (app.narrator && app.narrator->doc() && !app.narrator->playing()) app.narrator->toggle();
    };
#endif
    host.style = [&app] { return app.style(); };
    host.onEngine = [&app](std::function<void(Engine&)> job) { app.onEngine(std::move(job)); };
    host.moodStyle = &Performer::moodStyle;
    host.focusOn = &Machine::focusOn;
    auto* a = new Announcer(std::move(host), std::make_unique<SentencePlayer>(AudioOutput::system(*clock), *clock),
                            &app);
    // The model drops engine work it cannot start and says so in its
    // problem; the phrase waiting for it is then given up, so the
    // announcer does not stay busy for ever.
    QObject::connect(&app, &AppModel::problemChanged, a, [a, &app] {
        const auto& p = app.problem();
        if (p && p->startsWith(QStringLiteral("The voice could not start: "))) a->engineUnavailable();
    });
    installed = a;
    return *a;
}

}  // namespace tovan
