#include "VirtualScheduler.h"

#include <chrono>

namespace ambrel::core {

Instant VirtualScheduler::now() const {
    const std::lock_guard lock(mutex_);
    return now_;
}

double VirtualScheduler::monotonic() const {
    const std::lock_guard lock(mutex_);
    return elapsed_;
}

void VirtualScheduler::post(std::function<void()> work) {
    {
        const std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
    }
    postedSignal_.notify_all();
}

bool VirtualScheduler::waitForWork(double realSeconds) {
    std::unique_lock lock(mutex_);
    return postedSignal_.wait_for(lock, std::chrono::duration<double>(realSeconds),
                                  [this] { return !posted_.empty(); });
}

Scheduler::TimerHandle VirtualScheduler::after(double seconds, std::function<void()> work) {
    const std::lock_guard lock(mutex_);
    return timers_.add(elapsed_ + std::max(seconds, 0.0), 0, std::move(work));
}

Scheduler::TimerHandle VirtualScheduler::every(double seconds, std::function<void()> work) {
    const std::lock_guard lock(mutex_);
    return timers_.add(elapsed_ + seconds, seconds, std::move(work));
}

bool VirtualScheduler::runOnePosted() {
    std::function<void()> work;
    {
        const std::lock_guard lock(mutex_);
        if (posted_.empty()) {
            return false;
        }
        work = std::move(posted_.front());
        posted_.pop_front();
    }
    work();
    return true;
}

void VirtualScheduler::runPending() {
    while (runOnePosted()) {
    }
}

void VirtualScheduler::advance(double seconds) {
    double target = 0;
    {
        const std::lock_guard lock(mutex_);
        target = elapsed_ + seconds;
    }
    runPending();
    while (true) {
        std::optional<std::function<void()>> work;
        {
            const std::lock_guard lock(mutex_);
            const auto due = timers_.nextDue();
            if (!due || *due > target) {
                break;
            }
            if (*due > elapsed_) {
                now_ += *due - elapsed_;
                elapsed_ = *due;
            }
            work = timers_.takeDue(elapsed_);
        }
        if (work) {
            (*work)();
        }
        runPending();
    }
    {
        const std::lock_guard lock(mutex_);
        now_ += target - elapsed_;
        elapsed_ = target;
    }
    runPending();
}

} // namespace ambrel::core
