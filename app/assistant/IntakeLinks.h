#pragma once
// What the assistant's event sources (notifications, live banners, system
// events, meetings) need of the rest of the assistant, gathered in one place:
// where events go, the switches they read and the shared moods. Sources take
// these links as a parameter, so tests give their own and the application
// gives standard().

#include "Expression.h"
#include "Speech.h"

#include <functional>
#include <optional>
#include <set>
#include <string>

namespace tovan {

// One occasion worth announcing, as a source hands it over: the kind's name
// ("message", "call", "claude", "download", "meeting", "battery", "device",
// "system"), the app or source shown in the log, the posting app's
// identifier, the person or thing concerned, the words, whether it may break
// through quiet hours, and the line for the welcome-back summary.
struct IntakeEvent {
    std::u16string kind;
    std::u16string app;
    std::optional<std::u16string> bundleID;
    std::u16string who;
    Speech speech;
    bool urgent = false;
    std::optional<std::u16string> away;
};

struct IntakeLinks {
    // Decides and acts on one event (speak, keep or drop).
    std::function<void(IntakeEvent)> handle;
    // Whether notifications of this app are read (exact or ignoring case).
    std::function<bool(const std::u16string& id)> appOn;
    // The settings the sources read at the moment of each occasion.
    std::function<bool()> readText, personVoices, downloads, battery, devices, meetings;
    // The voice of the user's reading style (a sender's voice is chosen apart from it).
    std::function<std::optional<std::u16string>()> ownVoice;
    // The apps chosen for a fresh user.
    std::function<std::set<std::u16string>()> defaultApps;
    // Events kept for the user's return, and the summary of them.
    std::function<bool()> hasWaiting;
    std::function<void()> catchUp;
    // The "needs you" mood of assistant announcements.
    Expression::MoodRef attentive;
    // Wall-clock seconds since 1970.
    std::function<double()> now;

    // The application's own: the shared assistant, its settings and the
    // reading style.
    static IntakeLinks standard();
};

}  // namespace tovan
