// The application's assistant: the shared settings and announcer, the
// reading style of the application model, the desktop's screen lock and the
// command-line tool's events on the session bus.
#include "Assistant.h"

#include "Announcer.h"
#include "Bus.h"
#include "QtClock.h"
#include "ScreenLock.h"
#include "core/AppModel.h"

namespace tovan {

namespace {
Assistant* installed = nullptr;
}

bool Assistant::hasShared() { return installed != nullptr; }

Assistant& Assistant::shared() {
    if (installed) return *installed;
    AppModel& app = AppModel::shared();
    static QtClock* clock = new QtClock();
    Host host;
    host.prefs = &AssistantPrefs::shared();
    host.announcer = &Announcer::shared();
    host.clock = clock;
    host.style = [&app] { return app.style(); };
    auto* a = new Assistant(std::move(host), &app);
    installed = a;

    ScreenLock* lock = ScreenLock::system().release();
    lock->setParent(a);
    QObject::connect(lock, &ScreenLock::locked, a, &Assistant::screenLocked);
    QObject::connect(lock, &ScreenLock::unlocked, a, &Assistant::screenUnlocked);

    auto* bus = new Bus(QDBusConnection::sessionBus(), a);
    QObject::connect(bus, &Bus::eventReceived, a, &Assistant::eventText);
    bus->listen();
    return *a;
}

}  // namespace tovan
