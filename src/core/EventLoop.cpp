#include "EventLoop.h"

#include "Clocks.h"

#include <chrono>
#include <limits>
#include <utility>

namespace ambrel::core {

Instant EventLoop::now() const {
    return Clocks::now();
}

double EventLoop::monotonic() const {
    return Clocks::monotonic();
}

void EventLoop::post(std::function<void()> work) {
    {
        const std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
    }
    wake_.notify_one();
}

Scheduler::TimerHandle EventLoop::after(double seconds, std::function<void()> work) {
    const std::lock_guard lock(mutex_);
    return timers_.add(Clocks::monotonic() + std::max(seconds, 0.0), 0, std::move(work));
}

Scheduler::TimerHandle EventLoop::every(double seconds, std::function<void()> work) {
    const std::lock_guard lock(mutex_);
    return timers_.add(Clocks::monotonic() + seconds, seconds, std::move(work));
}

bool EventLoop::quitRequested() {
    const std::lock_guard lock(mutex_);
    return std::exchange(quitSeen_, false);
}

void EventLoop::quit() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
}

// Runs one piece of work, waiting for it until `deadline`; false when the deadline passed or
// quit() was called first.
bool EventLoop::runOnce(double deadline) {
    std::function<void()> work;
    {
        std::unique_lock lock(mutex_);
        while (true) {
            if (quit_) {
                quit_ = false;
                quitSeen_ = true;
                return false;
            }
            if (!posted_.empty()) {
                work = std::move(posted_.front());
                posted_.pop_front();
                break;
            }
            const double now = Clocks::monotonic();
            if (auto due = timers_.takeDue(now)) {
                work = std::move(*due);
                break;
            }
            if (now >= deadline) {
                return false;
            }
            const double wakeAt = std::min(deadline, timers_.nextDue().value_or(deadline));
            if (wakeAt == std::numeric_limits<double>::infinity()) {
                wake_.wait(lock);
            } else {
                wake_.wait_for(lock, std::chrono::duration<double>(std::max(wakeAt - now, 0.0)));
            }
        }
    }
    work();
    return true;
}

void EventLoop::run() {
    while (runOnce(std::numeric_limits<double>::infinity())) {
    }
}

void EventLoop::runFor(double seconds) {
    const double deadline = Clocks::monotonic() + seconds;
    while (runOnce(deadline)) {
    }
}

bool EventLoop::runUntil(const std::function<bool()>& condition, double timeoutSeconds) {
    const double deadline = Clocks::monotonic() + timeoutSeconds;
    while (!condition()) {
        const double now = Clocks::monotonic();
        if (now >= deadline) {
            return false;
        }
        // A piece of work, or a short wait before looking again.
        if (!runOnce(std::min(deadline, now + 0.01)) && quitRequested()) {
            return condition();
        }
    }
    return true;
}

} // namespace ambrel::core
