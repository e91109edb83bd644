#pragma once
// Links for the event sources that record what they hand over, with
// switches and a wall clock the test sets.

#include "IntakeLinks.h"

#include <set>
#include <vector>

namespace tovan::test {

struct FakeIntake {
    std::vector<IntakeEvent> events;
    std::set<std::u16string> chosen;  // compared ignoring case, as the settings do
    bool readText = true, personVoices = true, downloads = true, battery = true, devices = true, meetings = true;
    bool waiting = false;
    int catchUps = 0;
    double now = 1.7e9;
    std::set<std::u16string> defaults;
    Expression::MoodRef attentive = Expression::Mood::make(u"attentive", u"interest", u"needs you");

    IntakeLinks links() {
        IntakeLinks l;
        l.handle = [this](IntakeEvent e) { events.push_back(std::move(e)); };
        l.appOn = [this](const std::u16string& id) {
            for (const auto& c : chosen)
                if (c.size() == id.size() &&
                    std::equal(c.begin(), c.end(), id.begin(), [](char16_t a, char16_t b) {
                        auto low = [](char16_t x) { return x >= u'A' && x <= u'Z' ? char16_t(x + 32) : x; };
                        return low(a) == low(b);
                    }))
                    return true;
            return false;
        };
        l.readText = [this] { return readText; };
        l.personVoices = [this] { return personVoices; };
        l.downloads = [this] { return downloads; };
        l.battery = [this] { return battery; };
        l.devices = [this] { return devices; };
        l.meetings = [this] { return meetings; };
        l.ownVoice = [] { return std::optional<std::u16string>(); };
        l.defaultApps = [this] { return defaults; };
        l.hasWaiting = [this] { return waiting; };
        l.catchUp = [this] { ++catchUps; };
        l.attentive = attentive;
        l.now = [this] { return now; };
        return l;
    }
};

}  // namespace tovan::test
