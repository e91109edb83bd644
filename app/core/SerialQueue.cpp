#include "SerialQueue.h"

#include <pthread.h>

#include <future>

namespace tovan {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)) {
    thread_ = std::thread([this] { loop(); });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void SerialQueue::async(std::function<void()> block) {
    if (!block) return;
    {
        std::lock_guard<std::mutex> g(lock_);
        blocks_.push_back(std::move(block));
    }
    wake_.notify_one();
}

void SerialQueue::sync() {
    if (isCurrent()) return;
    std::promise<void> done;
    auto f = done.get_future();
    async([&done] { done.set_value(); });
    f.wait();
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

void SerialQueue::loop() {
    // The kernel keeps 15 bytes of a thread's name.
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    for (;;) {
        std::function<void()> block;
        {
            std::unique_lock<std::mutex> g(lock_);
            wake_.wait(g, [this] { return stopping_ || !blocks_.empty(); });
            if (blocks_.empty()) return;  // stopping, and nothing left
            block = std::move(blocks_.front());
            blocks_.pop_front();
        }
        try {
            block();
        } catch (...) {
            // A failing block must not end the queue for everyone else.
        }
    }
}

}  // namespace tovan
