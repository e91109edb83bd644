#include "AssistantPrefs.h"

#include "Machine.h"
#include "core/AppModel.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <cmath>
#include <ctime>
#include <limits>
#include <vector>

namespace tovan {

namespace {

// Seconds without input after which the user counts as away.
constexpr double kAwaySeconds = 300.0;

int hourOf(const std::shared_ptr<SettingsStore>& store, const char* key, int fallback) {
    const std::optional<int64_t> v = store->getInt(key);
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) return fallback;
    return int(*v);
}

}  // namespace

AssistantPrefs& AssistantPrefs::shared() {
    // The application's store when the model is up (it is the user's store
    // in the program, a test's own store in tests that make the model).
    static AssistantPrefs* prefs =
        new AssistantPrefs(AppModel::hasShared() && AppModel::shared().defaults ? AppModel::shared().defaults
                                                                                 : SettingsStore::standard());
    return *prefs;
}

const std::set<std::u16string>& AssistantPrefs::defaultApps() {
    // The same kinds of apps as on a Mac (messages, calls and video calls,
    // team chat, mail, calendar and reminders), by the desktop ids their
    // entries have as Debian packages and as Flatpaks.
    static const std::set<std::u16string> apps{
        // messaging
        u"org.telegram.desktop", u"signal-desktop", u"org.signal.Signal",
        u"com.github.eneshecan.WhatsAppForLinux", u"io.github.mimbrero.WhatsAppDesktop",
        u"element-desktop", u"io.element.Element", u"org.kde.kdeconnect.app", u"sm.puri.Chatty",
        u"discord", u"com.discordapp.Discord", u"slack", u"com.slack.Slack",
        // calls and video calls
        u"org.gnome.Calls", u"teams-for-linux", u"com.github.IsmaelMartinez.teams_for_linux",
        u"Zoom", u"us.zoom.Zoom", u"skypeforlinux", u"com.skype.Client",
        // mail, calendar, reminders
        u"thunderbird", u"org.mozilla.Thunderbird", u"org.gnome.Evolution", u"org.gnome.Geary",
        u"org.kde.kmail2", u"org.gnome.Calendar", u"org.kde.korganizer", u"org.gnome.Todo"};
    return apps;
}

const std::set<std::u16string>& AssistantPrefs::macDefaultApps() {
    static const std::set<std::u16string> apps{
        u"net.whatsapp.WhatsApp",   u"com.apple.MobileSMS",
        u"com.apple.iChat",         u"com.apple.FaceTime",
        u"com.apple.TelephonyUtilities", u"com.tinyspeck.slackmacgap",
        u"ru.keepcoder.Telegram",   u"org.whispersystems.signal-desktop",
        u"com.hnc.Discord",         u"com.microsoft.teams2",
        u"us.zoom.xos",             u"com.anthropic.claudefordesktop",
        u"com.apple.reminders"};
    return apps;
}

int AssistantPrefs::localHour() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_hour;
}

AssistantPrefs::AssistantPrefs(std::shared_ptr<SettingsStore> store, Hour hour)
    : store_(std::move(store)), hour_(hour ? std::move(hour) : Hour(localHour)) {
    auto b = [&](const char* key, bool fallback) { return store_->getBool(key).value_or(fallback); };
    on_ = b("a.on", true);
    readText_ = b("a.readText", true);
    personVoices_ = b("a.personVoices", true);
    claude_ = b("a.claude", true);
    whileLooking_ = b("a.whileLooking", false);
    commands_ = b("a.commands", true);
    const std::optional<double> secs = store_->getDouble("a.commandSeconds");
    commandSeconds_ = secs && std::isfinite(*secs) ? *secs : 20.0;
    meetings_ = b("a.meetings", true);
    downloads_ = b("a.downloads", true);
    battery_ = b("a.battery", true);
    devices_ = b("a.devices", true);
    welcomeBack_ = b("a.welcomeBack", true);
    quietInCalls_ = b("a.quietInCalls", true);
    respectFocus_ = b("a.respectFocus", true);
    quietHours_ = b("a.quietHours", false);
    quietFrom_ = hourOf(store_, "a.quietFrom", 22);
    quietTo_ = hourOf(store_, "a.quietTo", 7);
    // The defaults are not written here: only a change of the list stores it.
    if (auto list = store_->getStrings("a.apps"))
        apps_ = std::set<std::u16string>(list->begin(), list->end());
    else
        apps_ = defaultApps();
}

void AssistantPrefs::setBool(bool& field, const char* key, bool v) {
    field = v;
    emit changed();
    store_->setBool(key, v);
}

void AssistantPrefs::setCommandSeconds(double v) {
    if (!std::isfinite(v)) return;
    commandSeconds_ = v;
    emit changed();
    store_->setDouble("a.commandSeconds", v);
}

void AssistantPrefs::setQuietFrom(int hour) {
    quietFrom_ = hour;
    emit changed();
    store_->setInt("a.quietFrom", hour);
}

void AssistantPrefs::setQuietTo(int hour) {
    quietTo_ = hour;
    emit changed();
    store_->setInt("a.quietTo", hour);
}

void AssistantPrefs::setApps(std::set<std::u16string> apps) {
    apps_ = std::move(apps);
    emit changed();
    store_->setStrings("a.apps", std::vector<std::u16string>(apps_.begin(), apps_.end()));
}

bool AssistantPrefs::appOn(const std::u16string& bundleID) const {
    if (apps_.count(bundleID)) return true;
    const icu::UnicodeString id(bundleID.data(), int32_t(bundleID.size()));
    for (const std::u16string& a : apps_)
        if (icu::UnicodeString(a.data(), int32_t(a.size())).caseCompare(id, U_FOLD_CASE_DEFAULT) == 0) return true;
    return false;
}

bool AssistantPrefs::inQuietHours() const {
    const int h = hour_();
    if (quietTo_ >= quietFrom_) return quietFrom_ <= h && h < quietTo_;
    return h >= quietFrom_ || h < quietTo_;
}

std::optional<std::u16string> AssistantPrefs::whyNotNow(bool urgent) const {
    if (!on_) return u"the assistant is off";
    // Calls come before the urgent exemption: nothing talks over a call.
    if (quietInCalls_ && !Machine::callApps().empty()) return u"you're in a call";
    if (respectFocus_) {
        if (Machine::focusOn()) return u"Do not disturb is on";
        if (urgent) return std::nullopt;
    } else if (urgent) {
        return std::nullopt;
    }
    if (quietHours_ && inQuietHours()) return u"quiet hours";
    if (Machine::locked || Machine::idleSeconds() > kAwaySeconds) return u"you're away";
    return std::nullopt;
}

}  // namespace tovan
