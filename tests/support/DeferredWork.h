#pragma once

#include "core/VirtualScheduler.h"

#include <deque>
#include <functional>

namespace ambrel::testing {

// Background work that waits until the test runs it: code that hands work to a worker thread
// gets this queue instead, and the test decides when the work happens.
class DeferredWork {
public:
    using Work = std::function<void()>;

    std::function<void(Work)> submitter() {
        return [this](Work work) { queue_.push_back(std::move(work)); };
    }

    bool empty() const { return queue_.empty(); }
    std::size_t size() const { return queue_.size(); }

    // Runs the oldest piece of work.
    void runOne() {
        auto work = std::move(queue_.front());
        queue_.pop_front();
        work();
    }

    // Runs queued work and what it posts to the scheduler's thread, until neither has any left.
    void settle(core::VirtualScheduler& scheduler) {
        scheduler.runPending();
        while (!queue_.empty()) {
            runOne();
            scheduler.runPending();
        }
    }

private:
    std::deque<Work> queue_;
};

} // namespace ambrel::testing
