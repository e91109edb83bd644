#pragma once
// Adapts the user's style to the moment an announcement is made: alarming
// wording is faster and louder, good news livelier, a question rises at the
// end, navigation prompts are clear, a screen reader brisk, and at night, with
// the ringer off or a low battery the voice is softer or calmer. Returns an
// adjusted copy whose reason says what changed; the style given is untouched.

#include "Style.h"

#include <optional>
#include <string>
#include <string_view>

namespace tovan {
namespace ContextStyler {

struct DeviceState {
    int hour = 12;            // local hour, 0 to 23
    bool quietRinger = false;  // alert sounds are off
    bool lowBattery = false;

    // The present local hour with the flags as given.
    static DeviceState now(bool quietRinger, bool lowBattery);
};

// Identifiers of apps with their own rules.
constexpr std::u16string_view MAPS = u"com.google.android.apps.maps";
constexpr std::u16string_view WAZE = u"com.waze";
constexpr std::u16string_view TALKBACK = u"com.google.android.marvin.talkback";

// `caller`: the app the text comes from, absent when not known. `textCues`:
// whether the wording may be used; absent means yes unless the caller is the
// screen reader (whose text is interface text, not a message).
Style decide(const Style& style, const std::u16string& text, const std::optional<std::u16string>& caller,
             const DeviceState& device, std::optional<bool> textCues = std::nullopt);

} // namespace ContextStyler
} // namespace tovan
