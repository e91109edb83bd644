#pragma once
// Every setting of the assistant, kept in the user-defaults store under "a."
// keys, and the one question each event source needs answered before
// anything is spoken: is there a reason not to speak now?
//
// Main thread only. A write publishes first (changed()) and then stores the
// value at once; nothing else writes the "a." keys. A stored value of the
// wrong type reads as the default and is left as it is.

#include "SettingsStore.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace tovan {

class AssistantPrefs : public QObject {
    Q_OBJECT
public:
    // The local hour, 0 to 23.
    using Hour = std::function<int()>;

    // The user's store and the real local hour.
    static AssistantPrefs& shared();
    // For tests and for the store's owner; `hour` null means the local hour.
    explicit AssistantPrefs(std::shared_ptr<SettingsStore> store, Hour hour = nullptr);

    // Desktop ids of the apps announced when the user has chosen none.
    static const std::set<std::u16string>& defaultApps();
    // The same choice on a Mac, by bundle identifier: what a store carried
    // over from there, and the Mac notification database, name.
    static const std::set<std::u16string>& macDefaultApps();
    static int localHour();

    bool on() const { return on_; }
    bool readText() const { return readText_; }
    bool personVoices() const { return personVoices_; }
    bool claude() const { return claude_; }
    bool whileLooking() const { return whileLooking_; }
    bool commands() const { return commands_; }
    double commandSeconds() const { return commandSeconds_; }
    bool meetings() const { return meetings_; }
    bool downloads() const { return downloads_; }
    bool battery() const { return battery_; }
    bool devices() const { return devices_; }
    bool welcomeBack() const { return welcomeBack_; }
    bool quietInCalls() const { return quietInCalls_; }
    bool respectFocus() const { return respectFocus_; }
    bool quietHours() const { return quietHours_; }
    int quietFrom() const { return quietFrom_; }
    int quietTo() const { return quietTo_; }
    const std::set<std::u16string>& apps() const { return apps_; }

    void setOn(bool v) { setBool(on_, "a.on", v); }
    void setReadText(bool v) { setBool(readText_, "a.readText", v); }
    void setPersonVoices(bool v) { setBool(personVoices_, "a.personVoices", v); }
    void setClaude(bool v) { setBool(claude_, "a.claude", v); }
    void setWhileLooking(bool v) { setBool(whileLooking_, "a.whileLooking", v); }
    void setCommands(bool v) { setBool(commands_, "a.commands", v); }
    // Not-a-number and infinities are refused (the stored value stays).
    void setCommandSeconds(double v);
    void setMeetings(bool v) { setBool(meetings_, "a.meetings", v); }
    void setDownloads(bool v) { setBool(downloads_, "a.downloads", v); }
    void setBattery(bool v) { setBool(battery_, "a.battery", v); }
    void setDevices(bool v) { setBool(devices_, "a.devices", v); }
    void setWelcomeBack(bool v) { setBool(welcomeBack_, "a.welcomeBack", v); }
    void setQuietInCalls(bool v) { setBool(quietInCalls_, "a.quietInCalls", v); }
    void setRespectFocus(bool v) { setBool(respectFocus_, "a.respectFocus", v); }
    void setQuietHours(bool v) { setBool(quietHours_, "a.quietHours", v); }
    void setQuietFrom(int hour);
    void setQuietTo(int hour);
    void setApps(std::set<std::u16string> apps);

    // The app's notifications are announced: in `apps` exactly, or equal to
    // a member ignoring case.
    bool appOn(const std::u16string& bundleID) const;
    // Why not to speak now ("the assistant is off", "you're in a call",
    // "Focus is on", "quiet hours", "you're away"), or nothing. Asks the
    // machine afresh on every call.
    std::optional<std::u16string> whyNotNow(bool urgent) const;
    bool inQuietHours() const;

signals:
    void changed();

private:
    void setBool(bool& field, const char* key, bool v);

    std::shared_ptr<SettingsStore> store_;
    Hour hour_;
    bool on_, readText_, personVoices_, claude_, whileLooking_, commands_;
    double commandSeconds_;
    bool meetings_, downloads_, battery_, devices_, welcomeBack_, quietInCalls_, respectFocus_, quietHours_;
    int quietFrom_, quietTo_;
    std::set<std::u16string> apps_;
};

}  // namespace tovan
