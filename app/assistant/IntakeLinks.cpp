#include "IntakeLinks.h"

#include "Assistant.h"
#include "AssistantPrefs.h"
#include "ClaudeEvents.h"
#include "Meetings.h"
#include "Notifications.h"
#include "SystemEvents.h"
#include "core/AppModel.h"

#include <chrono>

namespace tovan {

IntakeLinks IntakeLinks::standard() {
    IntakeLinks l;
    AssistantPrefs& p = AssistantPrefs::shared();
    l.handle = [](const Assistant::Event& e) { Assistant::shared().handle(e); };
    l.appOn = [&p](const std::u16string& id) { return p.appOn(id); };
    l.readText = [&p] { return p.readText(); };
    l.personVoices = [&p] { return p.personVoices(); };
    l.downloads = [&p] { return p.downloads(); };
    l.battery = [&p] { return p.battery(); };
    l.devices = [&p] { return p.devices(); };
    l.meetings = [&p] { return p.meetings(); };
    l.ownVoice = [] {
        return AppModel::hasShared() ? AppModel::shared().style().voice : std::optional<std::u16string>();
    };
    l.defaultApps = [] { return AssistantPrefs::defaultApps(); };
    l.hasWaiting = [] { return !Assistant::shared().waiting().empty(); };
    l.catchUp = [] { Assistant::shared().catchUp(false); };
    l.attentive = ClaudeEvents::attentive();
    l.now = [] {
        using namespace std::chrono;
        return duration<double>(system_clock::now().time_since_epoch()).count();
    };
    return l;
}

void startIntake() {
    static bool started = false;
    if (started)
        return;
    started = true;
    Notifications::shared().start();
    SystemEvents& s = SystemEvents::shared();
    s.watchDownloads();
    s.watchBattery();
    s.watchDrives();
    s.watchOutput();
    Meetings::shared().start();
}

}  // namespace tovan
