#pragma once
// The last answer of a slow question (a child process, a blocking bus call),
// asked again on a thread of its own. get() never waits for the question:
// it gives what the last asking found (the initial value before the first
// answer) and, when that is older than the refresh period and no asking is
// under way, starts another. So the window's thread never waits on a child
// process, and the answers are at most one period (plus one asking) old.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tovan {

template <class T>
class BackgroundProbe {
public:
    using Clock = std::chrono::steady_clock;

    // Starts asking at once, so an answer is usually there by the first get().
    BackgroundProbe(std::function<T()> ask, Clock::duration period, T initial = T())
        : s_(std::make_shared<State>(std::move(ask), period, std::move(initial))) {
        std::thread([s = s_] { s->run(); }).detach();
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->wanted = true;
        s_->wake.notify_all();
    }
    // Never waits: an asking under way finishes on its own thread, which
    // then ends (its question and state are its own to keep).
    ~BackgroundProbe() {
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->stopping = true;
        s_->wake.notify_all();
    }
    BackgroundProbe(const BackgroundProbe&) = delete;
    BackgroundProbe& operator=(const BackgroundProbe&) = delete;

    T get() {
        State& s = *s_;
        std::lock_guard<std::mutex> hold(s.lock);
        if (!s.asking && !s.wanted && (!s.answeredAt || Clock::now() - *s.answeredAt >= s.period)) {
            s.wanted = true;
            s.wake.notify_all();
        }
        return s.value;
    }

    // How many answers have come so far.
    int answers() const {
        std::lock_guard<std::mutex> hold(s_->lock);
        return s_->answers;
    }
    // Blocks until at least n answers have come. For tests.
    void waitForAnswers(int n) const {
        std::unique_lock<std::mutex> hold(s_->lock);
        s_->answered.wait(hold, [&] { return s_->answers >= n; });
    }

private:
    struct State {
        State(std::function<T()> a, Clock::duration p, T v) : ask(std::move(a)), period(p), value(std::move(v)) {}
        void run() {
            std::unique_lock<std::mutex> hold(lock);
            for (;;) {
                wake.wait(hold, [&] { return wanted || stopping; });
                if (stopping) return;
                wanted = false;
                asking = true;
                hold.unlock();
                T answer = ask();
                hold.lock();
                value = std::move(answer);
                answeredAt = Clock::now();
                asking = false;
                answers++;
                answered.notify_all();
            }
        }
        std::function<T()> ask;
        const Clock::duration period;
        std::mutex lock;
        std::condition_variable wake, answered;
        T value;
        std::optional<Clock::time_point> answeredAt;
        bool wanted = false, asking = false, stopping = false;
        int answers = 0;
    };
    std::shared_ptr<State> s_;
};

}  // namespace tovan
