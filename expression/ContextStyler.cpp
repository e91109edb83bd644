#include "ContextStyler.h"

#include "Regex.h"

#include <ctime>
#include <vector>

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tovan {
namespace ContextStyler {

namespace {

// Both are matched against lower-cased text.
const Regex& alert() {
    static const Regex& r = rx(u"\\b(urgent|warning|emergency|alarm|critical|danger|fraud alert|low battery|"
                               u"battery (is )?low|wake up|incoming call)\\b");
    return r;
}

const Regex& good() {
    static const Regex& r = rx(u"\\b(congratulations|congrats|great news|happy birthday|well done)\\b");
    return r;
}

std::u16string lower(const std::u16string& s) {
    icu::UnicodeString u(s.data(), static_cast<int32_t>(s.size()));
    u.toLower(icu::Locale::getRoot());
    return std::u16string(u.getBuffer(), static_cast<size_t>(u.length()));
}

bool endsWith(const std::u16string& s, std::u16string_view end) {
    return s.size() >= end.size() && std::u16string_view(s).substr(s.size() - end.size()) == end;
}

} // namespace

DeviceState DeviceState::now(bool quietRinger, bool lowBattery) {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return DeviceState{local.tm_hour, quietRinger, lowBattery};
}

Style decide(const Style& style, const std::u16string& text, const std::optional<std::u16string>& caller,
             const DeviceState& device, std::optional<bool> textCues) {
    const bool cues = textCues.value_or(!(caller && *caller == TALKBACK));
    Style s = style.copy();
    if (!style.contextual) {
        s.reason = u"your settings (context styling off)";
        return s;
    }
    std::vector<std::u16string> reasons;
    const std::u16string low = lower(text);
    const std::u16string trimmedText = jtrim(text);

    const bool textAlerts = cues && (alert().find(low).has_value() || endsWith(trimmedText, u"!!"));
    const bool callerAlerts =
        caller && (caller->find(u"deskclock") != std::u16string::npos || caller->find(u"alarm") != std::u16string::npos);
    const bool alerted = textAlerts || callerAlerts;
    if (alerted) {
        s.add(u"rate", 0.8f);
        s.add(u"loud", 1.2f);
        s.add(u"f0_med", 0.5f);
        s.add(u"tilt", 0.8f);
        s.add(u"pause", -0.5f);
        reasons.push_back(u"alert: faster, louder, brighter");
    } else if (cues && good().find(low).has_value()) {
        s.add(u"f0_iqr", 1.2f);
        s.add(u"f0_med", 0.4f);
        s.add(u"loud", 0.3f);
        reasons.push_back(u"good news: livelier");
    }
    if (cues && endsWith(trimmedText, u"?")) {
        s.add(u"f0_end", 1.5f);
        reasons.push_back(u"question: rising end");
    }

    bool deviceRules = !alerted;
    if (caller) {
        if (*caller == MAPS || *caller == WAZE) {
            s.add(u"rate", 0.3f);
            s.add(u"loud", 0.6f);
            reasons.push_back(u"navigation: clear");
            deviceRules = false;  // a navigation prompt must stay clear at any hour
        } else if (*caller == TALKBACK) {
            s.add(u"rate", 1.0f);
            reasons.push_back(u"screen reader: brisk");
        }
    }
    if (deviceRules) {
        const bool night = device.hour < 7 || device.hour > 21;
        if (night) {
            s.add(u"loud", -1.2f);
            s.add(u"h1h2", 0.6f);
            reasons.push_back(u"night: softer");
        } else if (device.quietRinger) {
            s.add(u"loud", -0.8f);
            reasons.push_back(u"ringer off: softer");
        }
        if (device.lowBattery) {
            s.add(u"rate", -0.3f);
            reasons.push_back(u"battery low: calmer");
        }
    }

    if (reasons.empty()) {
        s.reason = u"neutral: your settings";
    } else {
        s.reason.clear();
        for (size_t i = 0; i < reasons.size(); ++i) {
            if (i) s.reason += u"; ";
            s.reason += reasons[i];
        }
    }
    return s;
}

} // namespace ContextStyler
} // namespace tovan
