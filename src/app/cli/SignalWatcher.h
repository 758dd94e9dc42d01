#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace ambrel {

// Turns SIGINT and SIGTERM into calls of `onSignal` from a thread of its own. Blocks both in the
// calling thread, so create it before any other thread: threads started later inherit the mask
// and the signals reach only this watcher.
class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void(int signal)> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    std::function<void(int)> onSignal_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace ambrel
