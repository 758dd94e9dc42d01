#pragma once

#include <functional>
#include <initializer_list>
#include <memory>

class QSocketNotifier;

namespace ambrel {

// Delivers SIGTERM-like signals to the Qt event loop: the handler only writes the signal's
// number into a pipe, and the loop reads it and calls `onSignal`. One at a time per process.
class UnixSignalNotifier {
public:
    UnixSignalNotifier(std::initializer_list<int> numbers, std::function<void(int)> onSignal);
    ~UnixSignalNotifier();
    UnixSignalNotifier(const UnixSignalNotifier&) = delete;
    UnixSignalNotifier& operator=(const UnixSignalNotifier&) = delete;

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int fds_[2] = {-1, -1};
};

} // namespace ambrel
