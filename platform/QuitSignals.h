#pragma once
// Termination requests from outside (SIGTERM when the session ends or a
// service manager stops the program, SIGINT from a terminal) quit the
// application the way its Quit command does: the event loop ends,
// aboutToQuit runs and the objects that own child processes or unsaved
// state are destroyed. A second signal while the first is being handled
// ends the process at once, so a quit that hangs can still be ended.

namespace tovan {

struct QuitSignals {
    // Routes SIGTERM and SIGINT to QCoreApplication::quit() on the main
    // thread; call once, after the application object exists. False when
    // the handlers could not be set up (the signals then keep their default).
    static bool install();
};

}  // namespace tovan
