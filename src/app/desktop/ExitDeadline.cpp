#include "ExitDeadline.h"

#include "core/Log.h"

#include <cstdlib>
#include <utility>

namespace ambrel {

ExitDeadline::ExitDeadline(std::chrono::milliseconds allowed, int status,
                           std::function<void()> expire) {
    if (!expire) {
        expire = [status] {
            core::Log::transcript().notice("Ending without waiting for the rest of the shutdown");
            std::_Exit(status);
        };
    }
    watcher_ = std::thread([this, allowed, expire = std::move(expire)] {
        std::unique_lock lock(mutex_);
        if (!done_.wait_for(lock, allowed, [this] { return finished_; })) {
            expire();
        }
    });
}

ExitDeadline::~ExitDeadline() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    done_.notify_all();
    watcher_.join();
}

} // namespace ambrel
