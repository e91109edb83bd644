#pragma once
// A clock that moves only when told to, and a main queue that runs only when
// told to: tests post, step time and look, without sleeping.

#include "Clock.h"

#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace tovan {

class VirtualClock final : public Clock, public MainQueue {
public:
    double now() const override;
    TimerId callAt(double at, std::function<void()> task) override;
    void cancel(TimerId id) override;
    void post(std::function<void()> task) override;  // any thread

    // Runs posted tasks and timers that are due, until none is left; returns
    // how many ran. Call on the thread that plays the main thread.
    int run();
    // Moves time forward by seconds, running every timer at its own time (in
    // time order, posted tasks first at each step), then run().
    void advance(double seconds);
    // Time of the next timer, or -1 when none is set.
    double nextTimer() const;

private:
    mutable std::mutex m_;
    double now_ = 0;
    uint64_t seq_ = 0;
    std::deque<std::function<void()>> posted_;
    std::map<std::pair<double, uint64_t>, std::function<void()>> timers_;  // (time, id)
    std::map<uint64_t, double> when_;                                      // id -> time

    bool runOne(double upTo);
};

}  // namespace tovan
