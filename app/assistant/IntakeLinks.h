#pragma once
// What the assistant's event sources (notifications, live banners, system
// events, meetings) need of the rest of the assistant, gathered in one place:
// where events go, the switches they read and the shared moods. Sources take
// these links as a parameter, so tests give their own and the application
// gives standard().

#include "Assistant.h"
#include "Expression.h"
#include "Speech.h"

#include <functional>
#include <optional>
#include <set>
#include <string>

namespace tovan {

struct IntakeLinks {
    // Decides and acts on one event (speak, keep or drop).
    std::function<void(const Assistant::Event&)> handle;
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

// Starts every event source of this folder, once launching has finished, in
// this order: the notification intake (with its live watcher), the
// downloads, battery, drive and output watchers, then the meeting checks.
// Each takes its baseline first, so nothing already there is announced.
// Main thread; a second call does nothing.
void startIntake();

}  // namespace tovan
