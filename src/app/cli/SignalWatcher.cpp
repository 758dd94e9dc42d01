#include "SignalWatcher.h"

#include <csignal>
#include <ctime>
#include <pthread.h>

namespace ambrel {

namespace {

sigset_t watchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    const sigset_t set = watchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    thread_ = std::thread([this, set] {
        // Wakes now and then to notice the end.
        const timespec wait{0, 100'000'000};
        while (!stopping_) {
            const int signal = sigtimedwait(&set, nullptr, &wait);
            if (signal > 0) {
                onSignal_(signal);
            }
        }
    });
}

SignalWatcher::~SignalWatcher() {
    stopping_ = true;
    thread_.join();
    const sigset_t set = watchedSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace ambrel
