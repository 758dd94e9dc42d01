#pragma once

#include "Scheduler.h"
#include "TimerQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace ambrel::core {

// A scheduler whose clocks move only when told: tests run timers in virtual time, and file
// runs use audio time. Work posted from other threads waits until the owner runs it.
class VirtualScheduler : public Scheduler {
public:
    explicit VirtualScheduler(Instant start = 1741939500.0) : now_(start) {}

    Instant now() const override;
    double monotonic() const override;
    void post(std::function<void()> work) override;
    TimerHandle after(double seconds, std::function<void()> work) override;
    TimerHandle every(double seconds, std::function<void()> work) override;

    // Moves both clocks forward, running posted work and every timer due on the way, each at
    // its own due time.
    void advance(double seconds);
    // Runs the posted work (and work that it posts) without moving the clocks.
    void runPending();
    // Waits, in real time, until work has been posted from some thread (or is waiting already);
    // false when none came within the time.
    bool waitForWork(double realSeconds);

private:
    bool runOnePosted();

    mutable std::mutex mutex_;
    std::condition_variable postedSignal_;
    Instant now_;
    double elapsed_ = 0;
    std::deque<std::function<void()>> posted_;
    TimerQueue timers_;
};

} // namespace ambrel::core
