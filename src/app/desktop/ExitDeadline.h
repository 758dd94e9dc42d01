#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ambrel {

// Ends the process if tearing the app down takes too long. By the time it is armed the session
// is saved; what could still hold the process is a thread waiting on the network or the sound
// server, and a quit must not wait for that.
class ExitDeadline {
public:
    // Calls `expire` (by default: ends the process with `status` at once) unless destroyed first.
    ExitDeadline(std::chrono::milliseconds allowed, int status, std::function<void()> expire = {});
    ~ExitDeadline();
    ExitDeadline(const ExitDeadline&) = delete;
    ExitDeadline& operator=(const ExitDeadline&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread watcher_;
};

} // namespace ambrel
