#pragma once
// What the machine is doing right now, for the assistant's quiet rules:
// do-not-disturb, programs in a call, whether the user is looking at a
// terminal, idle time and the screen lock. Every probe asks the desktop
// afresh (through the platform layers) and never fails outward: anything the
// desktop cannot tell counts as "no".

#include "AudioInputUsers.h"
#include "DoNotDisturb.h"
#include "FrontApp.h"
#include "InputIdle.h"

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tovan::Machine {

// The layers the probes ask. An empty member is filled with the desktop's
// own backend on first use; tests put fakes in.
struct Probes {
    std::shared_ptr<DoNotDisturb> focus;
    std::shared_ptr<AudioInputUsers> audio;
    std::shared_ptr<FrontApp> front;
    std::shared_ptr<InputIdle> idle;
};
Probes& probes();
// Replaces every layer at once (members left empty become the desktop's).
void use(Probes p);

// Do-not-disturb is on.
bool focusOn();
// The programs recording from an input whose identifier looks like a call
// app (a call fragment in it, compared in lower case), as reported, in
// order, duplicates kept.
std::vector<std::u16string> callApps();
// The front application is one of `apps` (exact comparison) and the user
// touched keyboard or mouse less than 20 seconds ago.
bool looking(const std::set<std::u16string>& apps);
// Seconds since the last input event.
double idleSeconds();

// The screen is locked, as last reported by the lock watch (false at start,
// whatever the screen shows). Main thread only.
inline bool locked = false;

// Terminal and editor applications: their identifiers on macOS and on
// Linux (X11 window classes and desktop application ids).
const std::set<std::u16string>& terminals();
// Lower-case pieces of identifiers of programs that hold calls.
const std::vector<std::u16string_view>& callFragments();

}  // namespace tovan::Machine
