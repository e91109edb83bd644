#pragma once
// How far a long piece of work has come, and a way to stop it. The work says
// at points of its own how much of its stretch is done; such a report throws
// Progress::Cancelled once cancel() was called (from any thread), so the work
// unwinds and frees what it built. The owner's callback sees the fraction of
// the whole, which never goes back and ends at exactly 1.
//
// A Progress is a small handle: copies share one state. part() gives the
// handle for one step of the work, a stretch of its parent's range, so a
// reader need not know what comes before or after it.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

namespace tovan {

class Progress {
public:
    // Thrown by a report after cancel(). Not a failure the user reads: the
    // user asked for it.
    struct Cancelled : std::exception {
        const char* what() const noexcept override { return "cancelled"; }
    };
    using Report = std::function<void(double fraction)>;

    // Reports to nobody and is never cancelled: what work gets by default.
    Progress() = default;
    // `report` runs on the thread doing the work, each time the fraction done
    // has grown by a thousandth or more (so at most 1001 times), and with 1
    // when the whole is done. It may call cancel().
    explicit Progress(Report report);

    // The next report or check of the work throws Cancelled.
    void cancel() const;
    bool cancelled() const;

    // The stretch from..to (fractions of this one's) for one step of the work.
    Progress part(double from, double to) const;

    // `done` of `total` units of this stretch are done (total 0 counts as
    // all done). Throws Cancelled after cancel().
    void at(std::uint64_t done, std::uint64_t total) const;
    // This stretch is done.
    void finish() const { at(1, 1); }
    // Only the cancel check: throws Cancelled after cancel().
    void check() const;

private:
    struct State;
    std::shared_ptr<State> state_;
    double from_ = 0;
    double to_ = 1;
};

}  // namespace tovan
