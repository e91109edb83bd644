#include "VirtualClock.h"

namespace tovan {

double VirtualClock::now() const {
    std::lock_guard g(m_);
    return now_;
}

Clock::TimerId VirtualClock::callAt(double at, std::function<void()> task) {
    std::lock_guard g(m_);
    const uint64_t id = ++seq_;
    timers_.emplace(std::make_pair(at, id), std::move(task));
    when_[id] = at;
    return id;
}

void VirtualClock::cancel(TimerId id) {
    std::lock_guard g(m_);
    auto it = when_.find(id);
    if (it == when_.end()) return;
    timers_.erase({it->second, id});
    when_.erase(it);
}

void VirtualClock::post(std::function<void()> task) {
    std::lock_guard g(m_);
    posted_.push_back(std::move(task));
}

// One posted task, else one timer due by upTo (time moves to it).
bool VirtualClock::runOne(double upTo) {
    std::function<void()> task;
    {
        std::lock_guard g(m_);
        if (!posted_.empty()) {
            task = std::move(posted_.front());
            posted_.pop_front();
        } else if (!timers_.empty() && timers_.begin()->first.first <= upTo) {
            auto it = timers_.begin();
            if (it->first.first > now_) now_ = it->first.first;
            when_.erase(it->first.second);
            task = std::move(it->second);
            timers_.erase(it);
        } else {
            return false;
        }
    }
    task();
    return true;
}

int VirtualClock::run() {
    int n = 0;
    while (runOne(now())) n++;
    return n;
}

void VirtualClock::advance(double seconds) {
    const double target = now() + seconds;
    while (runOne(target)) {
    }
    {
        std::lock_guard g(m_);
        if (target > now_) now_ = target;
    }
    run();
}

double VirtualClock::nextTimer() const {
    std::lock_guard g(m_);
    return timers_.empty() ? -1 : timers_.begin()->first.first;
}

}  // namespace tovan
