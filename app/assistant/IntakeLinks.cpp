#include "IntakeLinks.h"

#include "AssistantPrefs.h"
#include "core/AppModel.h"

#include <chrono>

namespace tovan {

IntakeLinks IntakeLinks::standard() {
    IntakeLinks l;
    AssistantPrefs& p = AssistantPrefs::shared();
    // Until the shared assistant takes events they are dropped here.
    l.handle = [](IntakeEvent) {};
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
    l.hasWaiting = [] { return false; };
    l.catchUp = [] {};
    l.attentive = Expression::Mood::make(u"attentive", u"interest", u"needs you: clear, rising",
                                         {{u"f0_end", 0.8f}, {u"loud", 0.4f}, {u"rate", 0.2f}});
    l.now = [] {
        using namespace std::chrono;
        return duration<double>(system_clock::now().time_since_epoch()).count();
    };
    return l;
}

}  // namespace tovan
