#pragma once

#include "Instant.h"

#include <functional>
#include <memory>

namespace ambrel::core {

// The main thread's clocks and timers. Engine-side code never reads a clock or sleeps by
// itself: it asks its scheduler, which the app backs with its event loop and tests with virtual
// time.
class Scheduler {
public:
    // A pending timer; destroying or cancelling it stops it.
    class Timer {
    public:
        virtual ~Timer() = default;
        virtual void cancel() = 0;
    };
    using TimerHandle = std::unique_ptr<Timer>;

    virtual ~Scheduler() = default;

    // Wall-clock time, seconds since 1970.
    virtual Instant now() const = 0;
    // Seconds of a clock that never jumps.
    virtual double monotonic() const = 0;

    // Runs `work` on the scheduler's thread soon, after work posted before. Safe from any thread.
    virtual void post(std::function<void()> work) = 0;

    // One-shot and repeating timers; call on the scheduler's thread.
    virtual TimerHandle after(double seconds, std::function<void()> work) = 0;
    virtual TimerHandle every(double seconds, std::function<void()> work) = 0;
};

} // namespace ambrel::core
