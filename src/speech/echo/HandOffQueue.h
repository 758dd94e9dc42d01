#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

namespace ambrel {

// Hands items from one thread to another without either ever waiting: both sides only try the
// lock. When the consumer holds it, the producer keeps the item in a staging list of its own
// and passes it on with the next push; when the consumer falls behind, the oldest items go.
// One producer thread and one consumer thread.
template <typename Item, typename Mutex = std::mutex>
class HandOffQueue {
public:
    explicit HandOffQueue(std::size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}

    // Producer side.
    void push(Item item) {
        staged_.push_back(std::move(item));
        trim(staged_);
        std::unique_lock lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) {
            return; // goes with the next push
        }
        for (auto& waiting : staged_) {
            shared_.push_back(std::move(waiting));
        }
        staged_.clear();
        trim(shared_);
    }

    // Consumer side: appends what is waiting to `into`, oldest first. False when the producer
    // held the lock; what it handed over then comes with the next call.
    template <typename Container>
    bool takeAll(Container& into) {
        std::unique_lock lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) {
            return false;
        }
        for (auto& item : shared_) {
            into.push_back(std::move(item));
        }
        shared_.clear();
        return true;
    }

    // Items dropped because nobody took them in time. Safe from any thread.
    std::size_t dropped() const { return dropped_.load(std::memory_order_relaxed); }
    std::size_t capacity() const { return capacity_; }
    // The lock both sides try, for tests that hold it.
    Mutex& mutex() { return mutex_; }

private:
    void trim(std::deque<Item>& items) {
        while (items.size() > capacity_) {
            items.pop_front();
            dropped_.fetch_add(1, std::memory_order_relaxed);
        }
    }

    const std::size_t capacity_;
    Mutex mutex_;
    std::deque<Item> shared_;
    std::deque<Item> staged_; // the producer's own
    std::atomic<std::size_t> dropped_{0};
};

} // namespace ambrel
