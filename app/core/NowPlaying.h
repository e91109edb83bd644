#pragma once
// Connects the reading controller to the desktop's media controls: play,
// pause, toggle, next and previous (paragraph) drive the reader, and the
// current document shows with its estimated duration and position.
//
// Main thread only. The controls are the MPRIS2 backend on the session bus
// unless setControls() gave others (tests give a FakeMediaControls).

#include <optional>

#include "Doc.h"
#include "MediaControls.h"

namespace tovan {

class Narrator;

struct NowPlaying {
    // The controls used from now on (not owned); null goes back to the
    // session bus's MPRIS2 controls, made on first use.
    static void setControls(MediaControls* controls);
    static MediaControls& controls();

    // Once, when the reading controller is made: the media commands call its
    // toggle(), pause(), nextParagraph() and previousParagraph(); "play"
    // toggles only when it is not playing; the volume is its player's.
    static void setUp(Narrator& narrator);
    // After every change of the controller's document, position or state.
    static void update(Narrator& narrator);

    // What is shown for a document: its title, its author or the program's
    // name (DesktopEntry::kName), a
    // total of secondsLeft / max(1 - progress, 0.001) and the elapsed part of
    // it, rate 1 while playing.
    static MediaControls::Info info(const Doc& doc, double secondsLeft, double progress, bool playing);
    // Shows the document (none clears the display and reports stopped).
    static void show(const Doc* doc, double secondsLeft, double progress, bool playing);
    // The commands, for the controller's side to bind.
    static void bind(MediaControls::Commands commands);
};

}  // namespace tovan
