#include "TimerQueue.h"

namespace ambrel::core {

namespace {

class QueuedTimer : public Scheduler::Timer {
public:
    explicit QueuedTimer(std::weak_ptr<bool> cancelled) : cancelled_(std::move(cancelled)) {}
    ~QueuedTimer() override { cancel(); }
    void cancel() override {
        if (const auto flag = cancelled_.lock()) {
            *flag = true;
        }
    }

private:
    std::weak_ptr<bool> cancelled_;
};

} // namespace

Scheduler::TimerHandle TimerQueue::add(double due, double interval, std::function<void()> work) {
    auto cancelled = std::make_shared<bool>(false);
    entries_.emplace(
        std::pair(due, sequence_++),
        Entry{interval, std::make_shared<std::function<void()>>(std::move(work)), cancelled});
    return std::make_unique<QueuedTimer>(cancelled);
}

std::optional<double> TimerQueue::nextDue() const {
    for (const auto& [key, entry] : entries_) {
        if (!*entry.cancelled) {
            return key.first;
        }
    }
    return std::nullopt;
}

std::optional<std::function<void()>> TimerQueue::takeDue(double now) {
    while (!entries_.empty()) {
        auto first = entries_.begin();
        if (*first->second.cancelled) {
            entries_.erase(first);
            continue;
        }
        const double due = first->first.first;
        if (due > now) {
            return std::nullopt;
        }
        Entry entry = std::move(first->second);
        entries_.erase(first);
        auto work = entry.work;
        if (entry.interval > 0) {
            // Keep the rhythm; after a long stall start afresh rather than firing in a burst.
            double next = due + entry.interval;
            if (next <= now - entry.interval) {
                next = now + entry.interval;
            }
            entries_.emplace(std::pair(next, sequence_++), std::move(entry));
        }
        // The caller may cancel the timer while it runs; the copy keeps the work alive.
        return [work] { (*work)(); };
    }
    return std::nullopt;
}

} // namespace ambrel::core
