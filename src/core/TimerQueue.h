#pragma once

#include "Scheduler.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace ambrel::core {

// The timers of a scheduler, ordered by due time (ties in creation order). Times are whatever
// clock the owner uses. Not thread-safe: the owner calls it from its own thread.
class TimerQueue {
public:
    // `interval` > 0 makes the timer repeat.
    Scheduler::TimerHandle add(double due, double interval, std::function<void()> work);

    std::optional<double> nextDue() const;

    // The work of the earliest timer due at or before `now`, taken off the queue (a repeating
    // timer is put back for its next time). Absent when nothing is due.
    std::optional<std::function<void()>> takeDue(double now);

    bool empty() const { return entries_.empty(); }

private:
    struct Entry {
        double interval;
        std::shared_ptr<std::function<void()>> work; // shared so a repeating timer keeps one copy
        std::shared_ptr<bool> cancelled;
    };

    std::multimap<std::pair<double, std::uint64_t>, Entry> entries_;
    std::uint64_t sequence_ = 0;
};

} // namespace ambrel::core
