#pragma once
// Holds a worker thread at a point of the test's choosing: the worker calls
// hold(), the test waits on the event loop until reached(), looks and acts,
// then release()s it. No sleeps and no timing: the worker is simply parked.

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tovan::test {

class HeldWork {
public:
    // On the worker: parks it until release().
    void hold() {
        std::unique_lock<std::mutex> lock(mutex_);
        reached_ = true;
        released_cv_.wait(lock, [this] { return released_; });
    }
    bool reached() const { return reached_; }
    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        released_cv_.notify_all();
    }
    ~HeldWork() { release(); }

private:
    std::mutex mutex_;
    std::condition_variable released_cv_;
    std::atomic<bool> reached_{false};
    bool released_ = false;
};

}  // namespace tovan::test
