#include "IntakeLinks.h"

#include <chrono>

namespace tovan {

IntakeLinks IntakeLinks::standard() {
    IntakeLinks l;
    // Until the shared assistant takes events, no app is chosen: nothing is
    // admitted, so nothing is lost or said half-wired.
    l.handle = [](IntakeEvent) {};
    l.appOn = [](const std::u16string&) { return false; };
    auto on = [] { return true; };
    l.readText = l.personVoices = l.downloads = l.battery = l.devices = l.meetings = on;
    l.ownVoice = [] { return std::optional<std::u16string>(); };
    l.defaultApps = [] { return std::set<std::u16string>(); };
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
