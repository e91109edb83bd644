#pragma once
// One worker thread that runs blocks one at a time, in the order they were
// handed in. The engine queue of the application model is one of these.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tovan {

class SerialQueue {
public:
    // The thread carries the name (cut to the 15 bytes the system keeps).
    explicit SerialQueue(std::string name);
    // Runs what is queued, then ends the thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Returns at once. An exception escaping a block is dropped (the queue
    // goes on with the next block).
    void async(std::function<void()> block);
    // Waits until every block handed in before this call has run. Must not be
    // called from a block of this queue (it returns at once there).
    void sync();
    // True on this queue's thread.
    bool isCurrent() const;
    const std::string& name() const { return name_; }

private:
    void loop();

    const std::string name_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> blocks_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tovan
