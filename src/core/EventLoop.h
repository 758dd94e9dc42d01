#pragma once

#include "Scheduler.h"
#include "TimerQueue.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace ambrel::core {

// A real-time scheduler driven by the thread that runs it: the command line's main loop, and
// tests that wait for real devices.
class EventLoop : public Scheduler {
public:
    Instant now() const override;
    double monotonic() const override;
    void post(std::function<void()> work) override;
    TimerHandle after(double seconds, std::function<void()> work) override;
    TimerHandle every(double seconds, std::function<void()> work) override;

    // Runs until quit() is called.
    void run();
    // Runs for the given number of seconds.
    void runFor(double seconds);
    // Runs until the condition holds or the time is up; returns the condition. The condition is
    // checked after each piece of work and at least every 10 ms, so it may watch other threads.
    bool runUntil(const std::function<bool()>& condition, double timeoutSeconds);
    // Makes run() return; safe from any thread.
    void quit();

private:
    bool runOnce(double deadline);
    bool quitRequested();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> posted_;
    TimerQueue timers_;
    bool quit_ = false;
    bool quitSeen_ = false;
};

} // namespace ambrel::core
