#include "Progress.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace tovan {

struct Progress::State {
    Report report;
    std::atomic<bool> cancelled{false};
    std::atomic<int> shown{-1};  // thousandths last reported
};

Progress::Progress(Report report) : state_(std::make_shared<State>()) { state_->report = std::move(report); }

void Progress::cancel() const {
    if (state_) state_->cancelled.store(true, std::memory_order_relaxed);
}

bool Progress::cancelled() const { return state_ && state_->cancelled.load(std::memory_order_relaxed); }

Progress Progress::part(double from, double to) const {
    Progress p = *this;
    const double span = to_ - from_;
    // The ends are kept exactly, so the last stretch of the last stretch
    // still ends at 1.
    p.from_ = from <= 0 ? from_ : from_ + span * std::min(from, 1.0);
    p.to_ = to >= 1 ? to_ : from_ + span * std::max(to, 0.0);
    return p;
}

void Progress::check() const {
    if (cancelled()) throw Cancelled();
}

void Progress::at(std::uint64_t done, std::uint64_t total) const {
    if (!state_) return;
    check();
    if (!state_->report) return;
    const double f = total == 0 || done >= total ? to_ : from_ + (to_ - from_) * double(done) / double(total);
    // The whole is done only at the end of the last stretch; rounding never
    // claims it earlier.
    const int mille = f >= 1.0 ? 1000 : std::min(999, int(std::floor(f * 1000)));
    int shown = state_->shown.load(std::memory_order_relaxed);
    while (mille > shown) {
        if (state_->shown.compare_exchange_weak(shown, mille, std::memory_order_relaxed)) {
            state_->report(mille == 1000 ? 1.0 : std::max(f, 0.0));
            return;
        }
    }
}

}  // namespace tovan
