#pragma once

#include "core/Scheduler.h"

#include <deque>
#include <functional>
#include <memory>
#include <utility>

namespace ambrel {

// Lifecycle work that must not interleave (stopping pipelines, launching new ones), run one
// item at a time on the scheduler's thread: each item calls `done` when it is over, and the
// next starts at the following turn.
class LifecycleQueue {
public:
    using Work = std::function<void(std::function<void()> done)>;

    explicit LifecycleQueue(core::Scheduler& scheduler)
        : scheduler_(scheduler)
        , state_(std::make_shared<State>()) {}
    ~LifecycleQueue() { state_->items.clear(); }
    LifecycleQueue(const LifecycleQueue&) = delete;
    LifecycleQueue& operator=(const LifecycleQueue&) = delete;

    void enqueue(Work work) {
        state_->items.push_back(std::move(work));
        if (!state_->running) {
            state_->running = true;
            scheduleNext(scheduler_, state_);
        }
    }
    // Forgets what has not started yet.
    void clear() { state_->items.clear(); }

private:
    struct State {
        std::deque<Work> items;
        bool running = false;
    };

    static void scheduleNext(core::Scheduler& scheduler, const std::weak_ptr<State>& weak) {
        scheduler.post([&scheduler, weak] {
            const auto state = weak.lock();
            if (!state) {
                return;
            }
            if (state->items.empty()) {
                state->running = false;
                return;
            }
            auto work = std::move(state->items.front());
            state->items.pop_front();
            auto finished = std::make_shared<bool>(false);
            work([&scheduler, weak, finished] {
                if (!std::exchange(*finished, true)) {
                    scheduleNext(scheduler, weak);
                }
            });
        });
    }

    core::Scheduler& scheduler_;
    std::shared_ptr<State> state_;
};

} // namespace ambrel
