#pragma once
// The assistant's part of the developer commands: the demonstration
// announcement ("sample"), the notification intake's state ("notes"), the
// chosen apps ("allowapp"), the while-looking switch ("looking"), the
// announcer's player in "mute" and "unmute", the recent log ("recent") and
// what is being said ("said").

#include "core/DevHooks.h"

namespace tovan {

class Announcer;
class Assistant;
class Notifications;

struct AssistantDevHooks {
    // Fills the assistant's hooks over these objects, which must outlive
    // them. The volume hook keeps what it held (the reader's player) and
    // adds the announcer's.
    static void bind(DevHooks::Hooks& hooks, Assistant& assistant, Notifications& notes, Announcer& announcer);
};

}  // namespace tovan
