#pragma once
// Time and the main thread's queue, as parameters: the real ones run on the
// Qt event loop (QtClock), the virtual one (VirtualClock) lets tests step
// time by hand, so no test sleeps.

#include <cstdint>
#include <functional>

namespace tovan {

// Work handed to the main thread from any thread, run in the order posted.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Thread-safe; the task runs later on the main thread, never inside post.
    virtual void post(std::function<void()> task) = 0;
};

// Seconds on a monotonic scale, and tasks run on the main thread at a time.
class Clock {
public:
    using TimerId = uint64_t;
    virtual ~Clock() = default;
    virtual double now() const = 0;
    // Runs task on the main thread once the time has come (never inside
    // callAt itself); ids are never 0. Main thread only.
    virtual TimerId callAt(double at, std::function<void()> task) = 0;
    // An unknown or already-run id is ignored. Main thread only.
    virtual void cancel(TimerId id) = 0;
};

}  // namespace tovan
