#include "SerialQueue.h"

#include "Log.h"

#include <future>
#include <pthread.h>

namespace ambrel::core {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
    thread_ = std::thread([this] { run(); });
    const auto dot = label_.rfind('.');
    const std::string name = label_.substr(dot == std::string::npos ? 0 : dot + 1).substr(0, 15);
    pthread_setname_np(thread_.native_handle(), name.c_str());
}

SerialQueue::~SerialQueue() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    thread_.join();
}

void SerialQueue::async(std::function<void()> work) {
    {
        const std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    ready_.notify_all();
}

void SerialQueue::sync(const std::function<void()>& work) {
    std::promise<void> done;
    auto finished = done.get_future();
    async([&] {
        // Signalled also when the work throws (the queue logs that), so the caller never hangs.
        const struct Signal {
            std::promise<void>& done;
            ~Signal() { done.set_value(); }
        } signal{done};
        work();
    });
    finished.wait();
}

void SerialQueue::run() {
    while (true) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return stopping_ || !work_.empty(); });
            if (work_.empty()) {
                return; // stopping, and nothing left to do
            }
            work = std::move(work_.front());
            work_.pop_front();
        }
        try {
            work();
        } catch (const std::exception& error) {
            Log::transcript().fault(label_ + ": " + error.what());
        }
    }
}

} // namespace ambrel::core
