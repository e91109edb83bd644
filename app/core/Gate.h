#pragma once
// The generation a main-thread owner currently wants, shared with the loop it
// started on the engine thread: the owner moves it on (pause, seek, a new
// setting) and a loop whose generation is no longer current stops at its next
// look. The only state the two threads share.

#include <cstdint>
#include <mutex>

namespace tovan {

class Gate {
public:
    int64_t current() const {
        std::lock_guard<std::mutex> hold(lock_);
        return g_;
    }
    void set(int64_t g) {
        std::lock_guard<std::mutex> hold(lock_);
        g_ = g;
    }
    // Whether a loop of generation `gen` is still wanted.
    bool holds(int64_t gen) const { return current() == gen; }

private:
    mutable std::mutex lock_;
    int64_t g_ = 0;
};

}  // namespace tovan
