#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

namespace ambrel {

// Lets a recogniser's thread call its owner back until the owner closes the gate; once close()
// has returned, no callback runs or starts. A callback may close the gate itself.
class CallbackGate {
public:
    void close() {
        if (delivering_.load() == std::this_thread::get_id()) {
            closed_ = true; // from inside a callback, which holds the lock already
            return;
        }
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }

    bool isClosed() const { return closed_.load(); }

    template <typename Call>
    void deliver(Call&& call) {
        const std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        struct Delivering {
            std::atomic<std::thread::id>& id;
            explicit Delivering(std::atomic<std::thread::id>& id) : id(id) {
                id = std::this_thread::get_id();
            }
            ~Delivering() { id = std::thread::id(); }
        } delivering(delivering_);
        std::forward<Call>(call)();
    }

private:
    std::mutex mutex_;
    std::atomic<bool> closed_{false};
    std::atomic<std::thread::id> delivering_{};
};

} // namespace ambrel
